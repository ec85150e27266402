#pragma once
// The first position of each whole-number key: an open-addressing hash table
// of 12 bytes a slot, for filing codes and identifiers by the basin read first.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace drennow::network {

class PositionsByKey {
public:
    // Room for this many keys.
    explicit PositionsByKey(size_t keys);

    // Files the key under the position; false, and nothing changed, when
    // the key is filed already (the first position keeps it).
    bool Add(int64_t key, int32_t position);
    // The key's position, or -1.
    int32_t Find(int64_t key) const;
    // Asks for the memory that Find of this key will read.
    void Prefetch(int64_t key) const { __builtin_prefetch(&slots_[Home(key)]); }

private:
    struct [[gnu::packed]] Slot {
        int64_t key;
        int32_t position;  // -1: free
    };
    static_assert(sizeof(Slot) == 12);

    size_t Home(int64_t key) const;
    size_t Next(size_t slot) const { return slot + 1 == slots_.size() ? 0 : slot + 1; }

    std::vector<Slot> slots_;
    size_t filed_ = 0;
};

}  // namespace drennow::network
