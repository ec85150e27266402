#pragma once
// The options of a run, in one table: for each, its command-line name, its
// Python keyword, the question it answers, its usage lines and what it sets
// in the request. The command-line parser, the keyword filler, the terminal's
// hints and the help text all come from it.

#include "request/OptionTable.h"
#include "request/RunRequest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace drennow::request {

// What the command line asks for: a run request, and how to run it.
struct CommandLine : RunRequest {
    bool batch = false;
    bool help = false;
    bool version = false;
};

using RunOption = Option<CommandLine>;

const std::vector<RunOption>& RunOptionTable();

// The option that answers a question ("an answer" for a question no option
// answers).
const char* OptionAnswering(host::Prompt question);

// Raises RequestError for words the command line refuses.
CommandLine ParseCommandLine(const std::vector<std::string>& words);

// A keyword's value as another surface gives it: a yes-or-no, a text, or a
// list of feature ids.
using KeywordValue = std::variant<bool, std::string, std::vector<int64_t>>;

// The request of a run in batch mode, from the datasets and keyword values;
// refused with the command line's texts for what the command line refuses.
CommandLine RequestFromKeywords(const std::vector<std::string>& datasets,
                                const std::vector<std::pair<std::string, KeywordValue>>& keywords);

// What --help prints.
std::string Usage();

}  // namespace drennow::request
