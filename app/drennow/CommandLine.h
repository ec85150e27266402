#pragma once

#include "command/RunOptions.h"
#include "host/Answers.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace drennow::app {

// The rows to select before the run.
struct Selection {
    std::optional<std::string> layer;  // every layer when absent
    std::optional<std::string> where;  // an attribute filter
    std::optional<std::vector<int64_t>> fids;
};

// What the command line asks for.
struct CommandLine {
    std::vector<std::string> datasets;
    host::Answers answers;
    command::RunOptions options;
    Selection selection;
    std::optional<std::string> logFolder;
    bool batch = false;
    bool help = false;
    bool version = false;
};

// A command line that cannot be run; its text is for the user.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The most ids a --fid list may name; a longer list is surely a slip.
constexpr int64_t kMostListedIds = 10'000'000;

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help prints.
std::string Usage();

}  // namespace drennow::app
