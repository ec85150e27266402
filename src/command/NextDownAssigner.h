#pragma once

#include "command/FailureCodes.h"
#include "command/RunOptions.h"
#include "pfaf/NextDownIndex.h"
#include "runtime/Collection.h"
#include "runtime/Variant.h"

#include <cstdint>
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
    // A code or identifier converted at the run's width.
    int64_t WholeNumber(const runtime::Variant& value) const;
    // The value written, of the run's width.
    runtime::Variant AsWritten(int64_t number) const;

private:
    const modPfafTools::NextDownIndex& index_;
    const runtime::Collection* ids_;
    bool int64_;
};

// The failure log's line for a feature.
std::string FailureLine(int32_t objectId, int32_t code, const std::string& description);

// The index and identifiers of a layer that holds exactly these codes, in
// this order (nulls included), with the identifiers beside them when given,
// built once; then asked feature by feature, so a caller can write and stop
// between features. Identifiers must be as many as the codes.
class LayerAssigner {
public:
    LayerAssigner(const std::vector<runtime::Variant>& codes, const std::vector<runtime::Variant>* ids,
                  const RunOptions& options, bool allowTrailingZeros);
    LayerAssigner(const LayerAssigner&) = delete;
    LayerAssigner& operator=(const LayerAssigner&) = delete;

    Assigned Assign(const runtime::Variant& code) const { return assigner_.Assign(code); }

private:
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

}  // namespace drennow::command
