#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace drennow::command {

// Choices beyond the run's questions, for large and differently coded data
// sets, set by the host before the click. With the defaults the run is
// exactly the usual one.
struct RunOptions {
    // Codes and identifiers as 64-bit integers: codes of 1 to 19 digits.
    bool int64 = false;
    // A 0 digit marks a unit that is not subdivided at its level, rather
    // than a closed basin; the trailing-zeros question is then not asked.
    bool zerosUnsubdivided = false;
    // The code field may be a real, 64-bit or text field, whose values are
    // converted as every value is: set when the user named the field.
    bool convertCodeField = false;
    // A field of the layer to compare the values written with, after a run
    // that finished.
    std::optional<std::string> compareWith;
};

// What the comparison with an existing field found: agreement when the value
// written equals the field's, or when a failure code was written and the
// field holds 0 or nothing.
struct Comparison {
    std::string field;
    int64_t agreeing = 0;
    int64_t compared = 0;
    std::string logPath;  // the disagreements, tab-separated
};

}  // namespace drennow::command
