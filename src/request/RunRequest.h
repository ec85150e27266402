#pragma once
// One run of the command as a surface asks for it: the datasets, the answers
// given in advance, the options, the selection and the log folder; and the
// checks that every surface's request passes.

#include "command/RunOptions.h"
#include "host/Answers.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace drennow::request {

// The rows to select before the run.
struct SelectionRequest {
    std::optional<std::string> layer;  // every layer when absent
    std::optional<std::string> where;  // an attribute filter
    std::optional<std::vector<int64_t>> fids;
};

struct RunRequest {
    std::vector<std::string> datasets;  // the failure log goes beside the first
    host::Answers answers;
    command::RunOptions options;
    SelectionRequest selection;
    std::optional<std::string> logFolder;
};

// A request that cannot be run; its text is for the user, and names the
// options concerned as the command line spells them.
struct RequestError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The most ids a list may name; a longer list is surely a slip.
constexpr int64_t kMostListedIds = 10'000'000;

// Refusals that more than one command makes.
inline constexpr const char* kWhereWithFid = "--where and --fid cannot be used together";
inline constexpr const char* kTrailingZerosWithUnsubdivided =
    "--trailing-zeros cannot be used with --zeros unsubdivided: zeros there are no closed basins";
inline constexpr const char* kNoDataset = "no DATASET given";

// Refuses options that cannot go together, and a request without data.
void CheckRequest(const RunRequest& request);

}  // namespace drennow::request
