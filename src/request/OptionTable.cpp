#include "request/OptionTable.h"

#include "command/ExitStatus.h"
#include "runtime/Variant.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace drennow::request {

std::string UsageLines(const char* name, const char* value, const char* help)
{
    constexpr size_t kTextColumn = 30;
    std::string left = std::string("  ") + name + (value ? std::string(" ") + value : "");
    std::string lines = left;
    if (left.size() + 2 > kTextColumn) {
        lines += "\n" + std::string(kTextColumn, ' ');
    } else {
        lines += std::string(kTextColumn - left.size(), ' ');
    }
    std::string text = help;
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1 + kTextColumn)) {
        text.insert(at + 1, kTextColumn, ' ');
    }
    return lines + text + "\n";
}

namespace {

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

int64_t ParseInteger(const std::string& text, const std::string& option)
{
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        throw RequestError(option + ": not a whole number: " + text);
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

void AppendItem(const std::string& option, std::vector<int64_t>& fids, const std::string& item)
{
    size_t dash = item.find('-', 1);
    if (dash == std::string::npos) {
        fids.push_back(ParseInteger(item, option));
        return;
    }
    int64_t first = ParseInteger(item.substr(0, dash), option);
    int64_t last = ParseInteger(item.substr(dash + 1), option);
    if (last < first) {
        throw RequestError(option + ": not a range of ids: " + item);
    }
    // Unsigned, so that a range across the whole of int64_t cannot overflow.
    if (static_cast<uint64_t>(last) - static_cast<uint64_t>(first) >= static_cast<uint64_t>(kMostListedIds)) {
        throw RequestError(option + ": " + item + " names more ids than a list may hold (" +
                           std::to_string(kMostListedIds) + ")");
    }
    AppendRange(fids, first, last);
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

}  // namespace

std::string ExitStatusLines()
{
    std::string statuses = "Exit status:";
    for (const command::ExitStatusMeaning& status : command::kExitStatuses) {
        statuses += std::string(statuses.size() > 12 ? ", " : " ") + std::to_string(status.status) + " " +
                    status.meaning;
    }
    return Wrapped(statuses + ".");
}

namespace values {

// An empty list would select nothing, and so write every feature.
void CheckIdCount(const std::string& option, size_t count)
{
    if (count == 0) {
        throw RequestError(option + ": the list is empty; without " + option + " every feature is written");
    }
    if (count > static_cast<size_t>(kMostListedIds)) {
        throw RequestError(option + ": more ids than a list may hold (" + std::to_string(kMostListedIds) + ")");
    }
}

std::vector<int64_t> FidList(const std::string& option, const std::string& list)
{
    CheckIdCount(option, list.size());
    std::vector<int64_t> fids;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        AppendItem(option, fids, list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        CheckIdCount(option, fids.size());
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return fids;
}

// An empty filter would select nothing, and so write every feature; the
// databases read a filter's first statement and drop the rest unseen.
std::string Filter(const std::string& text)
{
    if (IsBlank(text)) {
        throw RequestError("--where: the filter is empty; without --where every feature is written");
    }
    if (std::string rest = AfterFirstStatement(text); !IsBlank(rest)) {
        throw RequestError("--where: the filter holds more than one statement; the text after its ';' would be "
                           "dropped: " + rest.substr(rest.find_first_not_of(" \t\n")));
    }
    return text;
}

// The run ends quietly on a level that is not a number, as when a person
// cancels; given in advance it is a slip to point out.
std::string Level(const std::string& text)
{
    if (!runtime::IsNumeric(runtime::Variant(text))) {
        throw RequestError("--level: not a number: " + text);
    }
    return text;
}

bool YesOrNo(const std::string& option, const std::string& value)
{
    return OneOf<bool>(option, value, {{"yes", true}, {"no", false}});
}

bool ZerosUnsubdivided(const std::string& value)
{
    return OneOf<bool>("--zeros", value, {{"closed", false}, {"unsubdivided", true}});
}

}  // namespace values

}  // namespace drennow::request
