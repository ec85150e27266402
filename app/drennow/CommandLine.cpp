#include "CommandLine.h"

#include "command/ExitStatus.h"
#include "runtime/Variant.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <map>
#include <set>

namespace drennow::app {

namespace {

const char* const kOptionsText =
    "Usage: drennow [options] DATASET...\n"
    "\n"
    "Fills NextDownID of the watershed polygons of a GeoPackage, Shapefile, SQLite\n"
    "or PostgreSQL layer (PG:\"dbname=...\") from their Pfafstetter codes. The map is\n"
    "every layer of the datasets given; the failure log Drennow.log goes beside the\n"
    "first one. Each question of the run can be answered by an option; the others\n"
    "are asked on the terminal, or take their default in batch mode.\n"
    "\n"
    "Answers:\n"
    "  --trailing-zeros yes|no     allow trailing zeros in Pfafstetter codes\n"
    "  --layer NAME                the watershed layer\n"
    "  --pfaf-field NAME           the Pfafstetter code field\n"
    "  --level N                   the Pfafstetter level (1-9)\n"
    "  --populate pfaf|id          write downstream Pfafstetter codes or identifiers\n"
    "  --id-field NAME             the identifier field (with --populate id)\n"
    "  --save-edits yes|no|cancel  pending edits of another edit session\n"
    "Large and differently coded data sets:\n"
    "  --int64                     codes and identifiers as 64-bit integers: codes\n"
    "                              of up to 19 digits, levels 1-19; NextDownID, when\n"
    "                              added, is a 64-bit integer field\n"
    "  --zeros closed|unsubdivided\n"
    "                              a 0 digit marks a closed basin (the default), or\n"
    "                              a unit not subdivided at its level, as HydroBASINS\n"
    "                              writes its codes (no trailing-zeros question then)\n"
    "  --compare-with FIELD        after the run, compare NextDownID with FIELD (such\n"
    "                              as HydroBASINS' NEXT_DOWN): prints the agreement\n"
    "                              and lists the differences in Drennow-compare.log\n"
    "Selection (without one, every feature is written):\n"
    "  --where SQL                 the features that match an attribute filter, in\n"
    "                              the SQL of the dataset (its database's, if any)\n"
    "  --fid LIST                  features by id, as in 1,5,9-12\n"
    "Other:\n"
    "  --log-dir DIR               write Drennow.log into DIR\n"
    "  --batch                     never wait for input (so too when stdin is not a\n"
    "                              terminal): every question takes its default; a\n"
    "                              list with no entry of a name the run looks for\n"
    "                              must be answered by its option\n"
    "  --help, --version\n"
    "\n"
    "While the run works, and at its questions, Esc, Ctrl-C, SIGTERM or SIGHUP\n"
    "cancels it; nothing is then saved. Ctrl-D at a question declines it. Error\n"
    "reports and check messages go to stderr.\n"
    "\n";

// Words joined into lines of at most 79 characters.
std::string Wrapped(const std::string& text)
{
    std::string lines;
    size_t lineLength = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find(' ', start), text.size());
        std::string word = text.substr(start, end - start);
        if (lineLength > 0 && lineLength + 1 + word.size() > 79) {
            lines += "\n";
            lineLength = 0;
        } else if (lineLength > 0) {
            lines += " ";
            ++lineLength;
        }
        lines += word;
        lineLength += word.size();
        start = end + 1;
    }
    return lines + "\n";
}

}  // namespace

std::string Usage()
{
    std::string statuses = "Exit status:";
    for (const command::ExitStatusMeaning& status : command::kExitStatuses) {
        statuses += std::string(statuses.size() > 12 ? ", " : " ") + std::to_string(status.status) + " " +
                    status.meaning;
    }
    return kOptionsText + Wrapped(statuses + ".");
}

namespace {

int64_t ParseInteger(const std::string& text, const std::string& option)
{
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        throw UsageError(option + ": not a whole number: " + text);
    }
    return value;
}

// first to last, both included; last may be the largest int64_t.
void AppendRange(std::vector<int64_t>& fids, int64_t first, int64_t last)
{
    for (int64_t fid = first;; ++fid) {
        fids.push_back(fid);
        if (fid == last) {
            return;
        }
    }
}

std::vector<int64_t> ParseFidList(const std::string& list)
{
    std::vector<int64_t> fids;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t dash = item.find('-', 1);
        if (dash == std::string::npos) {
            fids.push_back(ParseInteger(item, "--fid"));
        } else {
            int64_t first = ParseInteger(item.substr(0, dash), "--fid");
            int64_t last = ParseInteger(item.substr(dash + 1), "--fid");
            if (last < first) {
                throw UsageError("--fid: not a range of ids: " + item);
            }
            // Unsigned, so that a range across the whole of int64_t cannot overflow.
            if (static_cast<uint64_t>(last) - static_cast<uint64_t>(first) >= static_cast<uint64_t>(kMostListedIds)) {
                throw UsageError("--fid: " + item + " names more ids than a list may hold (" +
                                 std::to_string(kMostListedIds) + ")");
            }
            AppendRange(fids, first, last);
        }
        if (fids.size() > static_cast<size_t>(kMostListedIds)) {
            throw UsageError("--fid: more ids than a list may hold (" + std::to_string(kMostListedIds) + ")");
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return fids;
}

bool IsBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c) != 0; });
}

// The text after the first semicolon outside quotes; empty when there is
// none. Quotes of either kind, and SQLite's brackets and backquotes, enclose
// names and texts in which a semicolon is a character like another.
std::string AfterFirstStatement(const std::string& sql)
{
    char closing = 0;  // of the quote the scan is in
    for (size_t i = 0; i < sql.size(); ++i) {
        char c = sql[i];
        if (closing != 0) {
            closing = c == closing ? 0 : closing;
        } else if (c == '\'' || c == '"' || c == '`') {
            closing = c;
        } else if (c == '[') {
            closing = ']';
        } else if (c == ';') {
            return sql.substr(i + 1);
        }
    }
    return "";
}

// An empty filter would select nothing, and so write every feature; the
// databases read a filter's first statement and drop the rest unseen.
std::string Filter(const std::string& text)
{
    if (IsBlank(text)) {
        throw UsageError("--where: the filter is empty; without --where every feature is written");
    }
    if (std::string rest = AfterFirstStatement(text); !IsBlank(rest)) {
        throw UsageError("--where: the filter holds more than one statement; the text after its ';' would be "
                         "dropped: " + rest.substr(rest.find_first_not_of(" \t\n")));
    }
    return text;
}

// The run ends quietly on a level that is not a number, as when a person
// cancels; given on the command line it is a slip to point out.
std::string Level(const std::string& text)
{
    if (!runtime::IsNumeric(runtime::Variant(text))) {
        throw UsageError("--level: not a number: " + text);
    }
    return text;
}

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
    throw UsageError(option + " takes " + names + ", not " + value);
}

using OptionSetter = std::function<void(const std::string&)>;

// The options that take a value, each with what it sets in line.
std::map<std::string, OptionSetter> ValuedOptions(CommandLine& line)
{
    const std::map<std::string, bool> yesNo{{"yes", true}, {"no", false}};
    return {
        {"--trailing-zeros",
         [&line, yesNo](const std::string& v) { line.answers.trailingZeros = OneOf("--trailing-zeros", v, yesNo); }},
        {"--layer", [&line](const std::string& v) { line.answers.layer = v; line.selection.layer = v; }},
        {"--pfaf-field", [&line](const std::string& v) { line.answers.pfafField = v; }},
        {"--level", [&line](const std::string& v) { line.answers.level = Level(v); }},
        {"--populate",
         [&line](const std::string& v) {
             line.answers.populatePfaf = OneOf<bool>("--populate", v, {{"pfaf", true}, {"id", false}});
         }},
        {"--id-field", [&line](const std::string& v) { line.answers.idField = v; }},
        {"--save-edits",
         [&line](const std::string& v) {
             line.answers.saveEdits = OneOf<host::MessageAnswer>(
                 "--save-edits", v, {{"yes", host::kAnswerYes}, {"no", host::kAnswerNo}, {"cancel", host::kAnswerCancel}});
         }},
        {"--where", [&line](const std::string& v) { line.selection.where = Filter(v); }},
        {"--fid", [&line](const std::string& v) { line.selection.fids = ParseFidList(v); }},
        {"--log-dir", [&line](const std::string& v) { line.logFolder = v; }},
        {"--zeros",
         [&line](const std::string& v) {
             line.options.zerosUnsubdivided = OneOf<bool>("--zeros", v, {{"closed", false}, {"unsubdivided", true}});
         }},
        {"--compare-with", [&line](const std::string& v) { line.options.compareWith = v; }},
    };
}

// Options that cannot go together, and a line without data.
void CheckCombinations(const CommandLine& line)
{
    if (line.selection.where && line.selection.fids) {
        throw UsageError("--where and --fid cannot be used together");
    }
    if (line.answers.idField && line.answers.populatePfaf.value_or(false)) {
        throw UsageError("--id-field cannot be used with --populate pfaf, which writes the codes themselves");
    }
    if (line.options.zerosUnsubdivided && line.answers.trailingZeros) {
        throw UsageError("--trailing-zeros cannot be used with --zeros unsubdivided: zeros there are no closed basins");
    }
    if (line.datasets.empty()) {
        throw UsageError("no DATASET given");
    }
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    const std::map<std::string, OptionSetter> valued = ValuedOptions(line);
    const std::map<std::string, bool*> flags{{"--batch", &line.batch}, {"--help", &line.help},
                                             {"-h", &line.help},        {"--version", &line.version},
                                             {"--int64", &line.options.int64}};

    std::set<std::string> given;  // the options with a value met so far
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            line.datasets.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        size_t equals = argument.find('=');
        std::string name = argument.substr(0, equals);
        if (auto flag = flags.find(name); flag != flags.end() && equals == std::string::npos) {
            *flag->second = true;
            continue;
        }
        auto option = valued.find(name);
        if (option == valued.end()) {
            throw UsageError("unknown option " + argument);
        }
        // The last of two answers would silently win over the first.
        if (!given.insert(name).second) {
            throw UsageError(name + " is given more than once");
        }
        if (equals != std::string::npos) {
            option->second(argument.substr(equals + 1));
        } else if (i + 1 < arguments.size()) {
            option->second(arguments[++i]);
        } else {
            throw UsageError(name + " needs a value");
        }
    }
    if (!line.help && !line.version) {
        CheckCombinations(line);
    }
    return line;
}

}  // namespace drennow::app
