#pragma once

#include "runtime/Variant.h"

#include <cstdint>
#include <vector>

namespace drennow::runtime {

// A one-dimensional, growable array of general values with explicit bounds.
// Until it is first dimensioned it is unallocated: asking its bounds or an
// element raises error 9, like any index outside the bounds.
class VariantArray {
public:
    bool IsAllocated() const { return allocated_; }
    int32_t LBound() const;
    int32_t UBound() const;

    Variant& operator()(int32_t index);
    const Variant& operator()(int32_t index) const;

    // Dimensions the array afresh to lower..upper, every element empty.
    void ReDim(int32_t lower, int32_t upper);
    // Moves the upper bound, keeping the contents and the lower bound (1
    // when the array was unallocated).
    void ReDimPreserve(int32_t upper);
    // Reserves room for this many elements, so that growing one element at a
    // time stays cheap.
    void Reserve(size_t count) { items_.reserve(count); }

private:
    size_t Offset(int32_t index) const;

    bool allocated_ = false;
    int32_t lower_ = 1;
    std::vector<Variant> items_;
};

}  // namespace drennow::runtime
