#pragma once

namespace drennow::runtime {

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
