#pragma once

#include "runtime/VariantArray.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace drennow::modPfafTools {

// Answers GetNextDownCode for one codes list and one trailing-zeros answer
// without scanning the list: every basin gets exactly the element (or the
// failure code) the first-match scan over the same list would give.
//
// A candidate lies downstream of a basin through one digit position k: it
// shares the basin's first k digits, has a smaller odd digit at k, and only
// odd digits after k (then trailing zeros, when they are allowed). So each
// candidate is filed under the k-digit prefix plus the odd digit, for every
// k in its final odd run, and a basin looks up at most four digits at each
// of its positions. Only the first element of each prefix is kept, which is
// the one the scan would meet first.
class NextDownIndex {
public:
    // From the list the scan would search, exactly as it stands (any order,
    // unconvertible elements included; unallocated fails every search).
    NextDownIndex(const runtime::VariantArray& codes, bool allowTrailingZeros);

    // From codes already held as plain integers, in list order (index 0
    // standing for the list's first element).
    NextDownIndex(const std::vector<int32_t>& codes, bool allowTrailingZeros);

    int32_t GetNextDownCode(int32_t basinCode) const;

    // Heap bytes held by the index.
    size_t MemoryBytes() const;

private:
    // The first element of the list filed under one prefix key.
    struct Slot {
        uint32_t key = 0;  // 0: empty; keys are at least 10
        int32_t code = 0;
        uint32_t position = 0;
    };

    void Build(const std::vector<int32_t>& codes);
    void Insert(uint32_t key, int32_t code, uint32_t position);
    void Grow();
    const Slot* Find(uint32_t key) const;
    size_t Home(uint32_t key) const;

    bool allowTrailingZeros_;
    // A basin without a match fails rather than finding nothing: the list
    // holds an unconvertible element (the index keeps only what precedes
    // it) or was never allocated.
    bool scanMeetsFailure_ = false;
    // Converted codes never rise along the list, so the largest match is
    // also the first one.
    bool descending_ = true;
    std::vector<Slot> slots_;
    size_t used_ = 0;
    int shift_ = 0;
};

}  // namespace drennow::modPfafTools
