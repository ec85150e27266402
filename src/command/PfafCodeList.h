#pragma once

#include "pfaf/NextDownIndex.h"
#include "runtime/Checkpoint.h"
#include "runtime/VariantArray.h"

#include <cstdint>
#include <variant>
#include <vector>

namespace drennow::command {

// The layer's Pfafstetter codes, the candidates of every next-down search.
// While every value is an integer of the codes' range (32 or 64 bits) they
// are held as plain integers (a few bytes each, sorted by the standard
// library); the first other value turns the list into general values. Either
// way, sorting and searching give exactly what the Shell sort and the
// first-match scan over the general values give.
class PfafCodeList {
public:
    PfafCodeList() = default;  // 32-bit codes
    explicit PfafCodeList(modPfafTools::CodeWidth width);

    // Appends a non-null value; a count past the 32-bit range raises 6.
    void Add(const runtime::Variant& value);
    int32_t Count() const { return count_; }
    // Descending numeric order. Non-numeric text raises 13 as the Shell sort
    // does, after the exchanges it would have made. Sorting numbers passes
    // the checkpoint at every comparison.
    void SortDescending(const runtime::Checkpoint& checkpoint = {});
    // The closed-basin reading.
    modPfafTools::NextDownIndex BuildIndex(bool allowTrailingZeros) const;
    // Elements convert at the list's width.
    modPfafTools::NextDownIndex BuildIndex(modPfafTools::ZeroReading zeros, bool allowTrailingZeros,
                                           const runtime::Checkpoint& checkpoint = {}) const;

private:
    void BecomeGeneral();

    modPfafTools::CodeWidth width_ = modPfafTools::CodeWidth::k32Bit;
    int32_t count_ = 0;
    bool general_ = false;
    std::variant<std::vector<int32_t>, std::vector<int64_t>> plain_;
    runtime::VariantArray values_;  // indices 1..count_ once general
};

}  // namespace drennow::command
