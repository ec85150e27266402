#pragma once

#include "pfaf/modPfafTools.h"

#include <cstdint>
#include <string>

namespace drennow::command {

// The failure-log description of a next-down failure code.
std::string DescribeFailureCode(int32_t code);

// Whether NextDownID can hold this code as a failure code.
bool IsFailureCode(int32_t code);

// A feature that got a failure code: what its line in the failure log
// says, kept as it is for every surface that reports failures.
struct FailureRecord {
    int32_t objectId = 0;
    int32_t code = 0;
    std::string description;
    bool operator==(const FailureRecord&) const = default;
};

// The failure log's line: object id, code and description, tab-separated.
std::string FailureLine(const FailureRecord& failure);

// A failure the run records itself, without asking the search; its log
// text is its own, not the description of its code.
struct RunFailure {
    int16_t code;
    const char* text;
};

inline constexpr RunFailure kNullCodeFailure{modPfafTools::kNullCode, "Pfafstetter ID is <Null>"};
inline constexpr RunFailure kZeroCodeFailure{modPfafTools::kZeroCode, "Basin drains internally"};
inline constexpr RunFailure kMissingIdFailure{modPfafTools::kNothingDownstream,
                                              "Required ID missing in downstream feature"};

}  // namespace drennow::command
