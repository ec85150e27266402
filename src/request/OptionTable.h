#pragma once
// A table of a command's options and what is built from it: the parsing of
// command-line words into the command's record, and the options' usage lines.

#include "host/UserInterface.h"
#include "request/RunRequest.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace drennow::request {

// One option of a command whose words fill a Line (a record with datasets).
template <typename Line>
struct Option {
    const char* name;                      // as the command line spells it: "--layer"
    const char* keyword;                   // Python's keyword, nullptr for an option of the command line only
    const char* value;                     // what the value is ("NAME", "yes|no"); nullptr for a flag
    std::optional<host::Prompt> question;  // the question it answers, if any
    const char* section;                   // the heading of the usage section it is listed in
    const char* help;                      // its usage text; lines after the first start with '\n'
    void (*set)(Line& line, const std::string& value);  // a flag's value is empty
    bool repeatable = false;               // may be given more than once, each adding to the record
};

// An option's usage lines: its name and value, and its text in a column of
// its own.
std::string UsageLines(const char* name, const char* value, const char* help);

// The usage of every option of the table, under the headings of their
// sections; options without a text of their own are listed together last.
template <typename Line>
std::string OptionLines(const std::vector<Option<Line>>& table)
{
    std::string lines;
    const char* section = nullptr;
    std::string unexplained;
    for (const Option<Line>& option : table) {
        if (section != option.section) {
            section = option.section;
            lines += std::string(section) + "\n";
        }
        if (option.help[0] == '\0') {
            unexplained += (unexplained.empty() ? "  " : ", ") + std::string(option.name);
        } else {
            lines += UsageLines(option.name, option.value, option.help);
        }
    }
    return lines + (unexplained.empty() ? "" : unexplained + "\n");
}

// The paragraph of the exit statuses and their meanings.
std::string ExitStatusLines();

// The option that a command-line word names ("-h" is --help), or nothing.
template <typename Line>
const Option<Line>* OptionNamed(const std::vector<Option<Line>>& table, const std::string& name)
{
    const std::string spelled = name == "-h" ? std::string("--help") : name;
    for (const Option<Line>& option : table) {
        if (spelled == option.name) {
            return &option;
        }
    }
    return nullptr;
}

// The words' options set in line, the other words its datasets ("--" ends
// the options). Raises RequestError for an unknown option, a missing value,
// and an option with a value given twice that may not be repeated.
template <typename Line>
void ParseWords(const std::vector<Option<Line>>& table, const std::vector<std::string>& words, Line& line)
{
    std::set<std::string> given;  // the options with a value met so far
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            line.datasets.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        size_t equals = word.find('=');
        const Option<Line>* option = OptionNamed(table, word.substr(0, equals));
        if (option == nullptr || (option->value == nullptr && equals != std::string::npos)) {
            throw RequestError("unknown option " + word);
        }
        if (option->value == nullptr) {
            option->set(line, "");
            continue;
        }
        // The last of two answers would silently win over the first.
        if (!given.insert(option->name).second && !option->repeatable) {
            throw RequestError(std::string(option->name) + " is given more than once");
        }
        if (equals != std::string::npos) {
            option->set(line, word.substr(equals + 1));
        } else if (i + 1 < words.size()) {
            option->set(line, words[++i]);
        } else {
            throw RequestError(std::string(option->name) + " needs a value");
        }
    }
}

// Values of options that more than one command reads.
namespace values {

// The value of a choice among names; refused with the names there are.
template <typename T>
T OneOf(const std::string& option, const std::string& value, const std::map<std::string, T>& choices)
{
    auto found = choices.find(value);
    if (found != choices.end()) {
        return found->second;
    }
    std::string names;
    for (const auto& [name, ignored] : choices) {
        names += (names.empty() ? "" : "|") + name;
    }
    throw RequestError(option + " takes " + names + ", not " + value);
}

std::vector<int64_t> FidList(const std::string& option, const std::string& list);
void CheckIdCount(const std::string& option, size_t count);  // not empty, not beyond kMostListedIds
std::string Filter(const std::string& text);
std::string Level(const std::string& text);
bool YesOrNo(const std::string& option, const std::string& value);
bool ZerosUnsubdivided(const std::string& value);  // of --zeros
}  // namespace values

}  // namespace drennow::request
