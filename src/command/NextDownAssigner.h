#pragma once

#include "command/FailureCodes.h"
#include "command/RunOptions.h"
#include "pfaf/NextDownIndex.h"
#include "runtime/Checkpoint.h"
#include "runtime/Collection.h"
#include "runtime/Variant.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace drennow::command {

// The digit rules' width and reading of zeros that the options ask for.
modPfafTools::CodeWidth CodeWidthOf(const RunOptions& options);
modPfafTools::ZeroReading ZeroReadingOf(const RunOptions& options);

// What the pass writes into one feature's NextDownID: the value, and the
// failure line's code and text when the value is a failure code.
struct Assigned {
    struct Failure {
        int32_t code;
        std::string description;
    };
    runtime::Variant value;
    std::optional<Failure> failure;
};

// The pass's answer for one feature's code, from the layer's next-down index
// and, when identifiers are written, the layer's identifiers filed under
// their codes. Every surface that fills NextDownID asks this, so the values
// and failure lines are the run's own.
class NextDownAssigner {
public:
    // Without identifiers (ids null) the downstream codes are written.
    NextDownAssigner(const modPfafTools::NextDownIndex& index, const runtime::Collection* ids,
                     const RunOptions& options);

    // A code that does not convert raises the conversion's error (13, 6).
    Assigned Assign(const runtime::Variant& code) const;
    // Whether the code converts at the run's width (nulls do): which of the
    // values that Assign converts raised its error.
    bool Converts(const runtime::Variant& code) const;
    // The identifier, as read, of the basin a converting code drains into;
    // nothing when there is none.
    std::optional<runtime::Variant> DownstreamId(const runtime::Variant& code) const;
    // Ask for the memory that Assign of a basin with this code will read:
    // first the index's; once that has come, the search itself is made
    // ahead (and kept for Assign a while) and the identifier's is asked for.
    void PrefetchIndex(int64_t code) const { index_.Prefetch(code); }
    void SearchAhead(int64_t code) const;

private:
    // A code or identifier converted at the run's width.
    int64_t WholeNumber(const runtime::Variant& value) const;
    // The value written, of the run's width.
    runtime::Variant AsWritten(int64_t number) const;
    int64_t NextDownCode(int64_t basin) const;

    const modPfafTools::NextDownIndex& index_;
    const runtime::Collection* ids_;
    bool int64_;
    // Searches made ahead, by the basin's code: a search gives the same
    // answer whenever it is made.
    struct Searched {
        int64_t basin = 0;
        int64_t next = 0;
    };
    mutable std::array<Searched, 32> searchedAhead_{};
};


// Asks, at a position of a pass over features whose plain codes (0 for any
// other value) are known in the order the pass meets them, for the memory
// that features a few positions ahead will read; nothing it does changes an
// answer.
void LookAhead(const NextDownAssigner& assigner, const std::vector<int64_t>& upcoming, size_t position);

// A code as LookAhead takes it.
int64_t PlainCode(const runtime::Variant& code);

// A layer's value by the feature's position; an empty one for values a
// layer does not have.
using ValueAt = std::function<runtime::Variant(size_t)>;

// The index and identifiers of a layer that holds exactly these codes, in
// this order (nulls included), with the identifiers beside them when given,
// built once; then asked feature by feature, so a caller can write and stop
// between features. Identifiers must be as many as the codes. Building
// passes the checkpoint at every feature and every step of the sort.
class LayerAssigner {
public:
    LayerAssigner(size_t count, const ValueAt& codeAt, const ValueAt& idAt, const RunOptions& options,
                  bool allowTrailingZeros, const runtime::Checkpoint& checkpoint = {});
    LayerAssigner(const std::vector<runtime::Variant>& codes, const std::vector<runtime::Variant>* ids,
                  const RunOptions& options, bool allowTrailingZeros);
    LayerAssigner(const LayerAssigner&) = delete;
    LayerAssigner& operator=(const LayerAssigner&) = delete;

    Assigned Assign(const runtime::Variant& code) const { return assigner_.Assign(code); }
    // Before asking for the feature at this position, when features are
    // asked for in layer order.
    void LookAhead(size_t position) const;

private:
    std::vector<int64_t> readOrder_;  // the plain codes
    modPfafTools::NextDownIndex index_;
    runtime::Collection filed_;
    NextDownAssigner assigner_;
};

// The run's pass over a layer that holds exactly these codes, in this order
// (nulls included), with the identifiers beside them when given: every
// feature's NextDownID, as the run writes it when every feature is written.
// Identifiers must be as many as the codes.
std::vector<Assigned> AssignLayer(const std::vector<runtime::Variant>& codes, const std::vector<runtime::Variant>* ids,
                                  const RunOptions& options, bool allowTrailingZeros);

// The same pass over count features whose codes (and identifiers) are read
// by position as they are needed, each feature's answer handed to take in
// order: large layers need neither their values nor their answers held as
// general values. The checkpoint is passed throughout, so the caller can stop
// the pass at any time.
void AssignLayer(size_t count, const ValueAt& codeAt, const ValueAt& idAt, const RunOptions& options,
                 bool allowTrailingZeros, const std::function<void(size_t, Assigned&&)>& take,
                 const runtime::Checkpoint& checkpoint = {});

}  // namespace drennow::command
