#pragma once

#include "command/FailureCodes.h"
#include "command/PfafCodeList.h"
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
#include <utility>
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

// A layer's codes as a pass reads them, feature by feature in read order
// (nulls included): the list the next-down searches are made in, and each
// feature's code as a plain integer (0 for any other value), to look ahead
// with.
class CodeColumn {
public:
    explicit CodeColumn(const RunOptions& options);

    void Add(const runtime::Variant& code);
    // Before the answers are asked for; raises as PfafCodeList's sort does.
    void SortDescending(const runtime::Checkpoint& checkpoint = {}) { list_.SortDescending(checkpoint); }
    size_t Size() const { return plain_.size(); }

private:
    friend class NextDownAssigner;
    PfafCodeList list_;
    std::vector<int64_t> plain_;
};

// A value of a layer by the feature's position; an empty one for values a
// layer does not have.
using ValueAt = std::function<runtime::Variant(size_t)>;

// The run's answers over a layer's columns: its codes, read in order, and,
// when identifiers are written, its identifiers filed under their codes.
// Every surface that fills NextDownID asks this, so the values and failure
// lines are the run's own; a caller that writes feature by feature asks for
// one answer at a time, and can stop between features.
class NextDownAssigner {
public:
    // From the codes, sorted; without identifiers (nothing) the downstream
    // codes are written. Building the index passes the checkpoint.
    NextDownAssigner(CodeColumn codes, std::optional<runtime::Collection> ids, const RunOptions& options,
                     bool allowTrailingZeros, const runtime::Checkpoint& checkpoint = {});
    // From count features whose codes (and identifiers, when idAt is given)
    // are read by position; the first feature of a code gives its
    // identifier. Passes the checkpoint at every feature and every step of
    // the sort.
    NextDownAssigner(size_t count, const ValueAt& codeAt, const ValueAt& idAt, const RunOptions& options,
                     bool allowTrailingZeros, const runtime::Checkpoint& checkpoint = {});
    NextDownAssigner(const NextDownAssigner&) = delete;
    NextDownAssigner& operator=(const NextDownAssigner&) = delete;

    // The answer for a feature's code. A code that does not convert raises
    // the conversion's error (13, 6).
    Assigned Assign(const runtime::Variant& code) const;
    // The same for the feature at this position of a pass that meets every
    // feature in read order: the memory that features a few positions ahead
    // will read is asked for first; nothing it does changes an answer.
    Assigned AssignAt(size_t position, const runtime::Variant& code) const;
    // Every feature's answer in read order, its code read by position, handed
    // to take; the checkpoint is passed at every feature.
    void AssignAll(const ValueAt& codeAt, const std::function<void(size_t, Assigned&&)>& take,
                   const runtime::Checkpoint& checkpoint = {}) const;

    // Whether the code converts at the run's width (nulls do): which of the
    // values that Assign converts raised its error.
    bool Converts(const runtime::Variant& code) const;
    // The identifier, as read, of the basin a converting code drains into;
    // nothing when there is none.
    std::optional<runtime::Variant> DownstreamId(const runtime::Variant& code) const;

private:
    using Columns = std::pair<CodeColumn, std::optional<runtime::Collection>>;
    NextDownAssigner(Columns columns, const RunOptions& options, bool allowTrailingZeros,
                     const runtime::Checkpoint& checkpoint);
    void LookAhead(size_t position) const;
    void SearchAhead(int64_t code) const;
    // A code or identifier converted at the run's width.
    int64_t WholeNumber(const runtime::Variant& value) const;
    // The value written, of the run's width.
    runtime::Variant AsWritten(int64_t number) const;
    int64_t NextDownCode(int64_t basin) const;

    std::vector<int64_t> readOrder_;  // the plain codes
    modPfafTools::NextDownIndex index_;
    std::optional<runtime::Collection> ids_;
    bool int64_;
    // Searches made ahead, by the basin's code: a search gives the same
    // answer whenever it is made.
    struct Searched {
        int64_t basin = 0;
        int64_t next = 0;
    };
    mutable std::array<Searched, 32> searchedAhead_{};
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
