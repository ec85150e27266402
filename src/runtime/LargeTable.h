#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace drennow::runtime {

// An allocator for hash tables of many megabytes that are read at random
// places: where the system offers it, their memory is asked for in large
// pages, so that a lookup does not also miss the address translation cache.
// Smaller tables and other systems get ordinary memory.
template <typename T>
struct LargeTableAllocator {
    using value_type = T;
    static constexpr size_t kLargePage = size_t{2} << 20;

    LargeTableAllocator() = default;
    template <typename U>
    LargeTableAllocator(const LargeTableAllocator<U>&)
    {
    }

    T* allocate(size_t count)
    {
        size_t bytes = count * sizeof(T);
        if (bytes < kLargePage) {
            return std::allocator<T>().allocate(count);
        }
        size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
        void* memory = std::aligned_alloc(kLargePage, rounded);
        if (!memory) {
            throw std::bad_alloc();
        }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        ::madvise(memory, rounded, MADV_HUGEPAGE);  // a hint: refused, the pages are ordinary ones
#endif
        return static_cast<T*>(memory);
    }

    void deallocate(T* memory, size_t count)
    {
        if (count * sizeof(T) < kLargePage) {
            std::allocator<T>().deallocate(memory, count);
        } else {
            std::free(memory);
        }
    }

    template <typename U>
    bool operator==(const LargeTableAllocator<U>&) const
    {
        return true;
    }
};

template <typename T>
using LargeTable = std::vector<T, LargeTableAllocator<T>>;

// Asks for the memory at the address ahead of its use, so that the waits
// of several lookups in a large table overlap rather than follow each other.
inline void Prefetch(const void* address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

}  // namespace drennow::runtime
