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

// The one table of failure codes and their texts: each code NextDownID can
// hold, the failure log's description of it, and, for a failure the run
// records itself without asking the search, the text it writes then (nothing:
// the description).
struct FailureTexts {
    int16_t code;
    const char* description;
    const char* recorded = nullptr;
};
inline constexpr const char* kUnknownFailureText = "Unknown Error";
inline constexpr FailureTexts kFailureTable[] = {
    {modPfafTools::kSearchFailed, kUnknownFailureText},
    {modPfafTools::kBoundsUnknown, "Could not determine bounds for downstream ID"},
    {modPfafTools::kNegativeCode, "PfafsetterID < 0"},
    {modPfafTools::kTooManyDigits, "PfafsetterID has more digits than specified Level"},
    {modPfafTools::kNothingDownstream, "Downstream ID not found in database",
     "Required ID missing in downstream feature"},
    {modPfafTools::kNullCode, "PfafsetterID is <Null>", "Pfafstetter ID is <Null>"},
    {modPfafTools::kZeroCode, "Basin drains internally"},
    {modPfafTools::kDrainsToWaterbody, "Basin drains to waterbody/internally"},
};

// A failure the run records itself, without asking the search, and the
// text it writes for it.
struct RunFailure {
    int16_t code;
    const char* text;
};

constexpr RunFailure RecordedFailure(int16_t code)
{
    for (const FailureTexts& row : kFailureTable) {
        if (row.code == code) {
            return {code, row.recorded ? row.recorded : row.description};
        }
    }
    return {code, kUnknownFailureText};
}

inline constexpr RunFailure kNullCodeFailure = RecordedFailure(modPfafTools::kNullCode);
inline constexpr RunFailure kZeroCodeFailure = RecordedFailure(modPfafTools::kZeroCode);
// A downstream feature without the identifier asked for.
inline constexpr RunFailure kMissingIdFailure = RecordedFailure(modPfafTools::kNothingDownstream);

}  // namespace drennow::command
