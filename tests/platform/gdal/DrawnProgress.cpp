#include "DrawnProgress.h"

#include <algorithm>
#include <regex>
#include <string_view>

namespace drennow::gdaltest {

namespace {

// What the bar writes before each line: back to the start, clear to its end.
constexpr std::string_view kClearLine = "\r\x1b[K";

}  // namespace

std::vector<DrawnLine> DrawnLines(const std::string& written)
{
    static const std::regex kBar(R"((.*) \[([#-]+)\] (\d+)%)");
    static const std::regex kCount(R"( (\d+)\.\. Hit Esc to Cancel$)");
    std::vector<DrawnLine> lines;
    for (size_t at = written.find(kClearLine); at != std::string::npos;) {
        size_t start = at + kClearLine.size();
        at = written.find(kClearLine, start);
        std::string text = written.substr(start, at == std::string::npos ? std::string::npos : at - start);
        text = text.substr(0, text.find_first_of("\r\n"));
        std::smatch bar;
        if (!std::regex_match(text, bar, kBar)) {
            continue;
        }
        DrawnLine line;
        line.message = bar[1];
        std::string marks = bar[2];
        line.filled = static_cast<int>(marks.find('-') == std::string::npos ? marks.size() : marks.find('-'));
        line.width = static_cast<int>(marks.size());
        line.percent = std::stoi(bar[3]);
        if (std::smatch count; std::regex_search(line.message, count, kCount)) {
            line.count = std::stoi(count[1]);
        }
        lines.push_back(line);
    }
    return lines;
}

bool CountAndBarAgree(const DrawnLine& line, int32_t total)
{
    if (!line.count || total <= 0) {
        return false;
    }
    int64_t done = std::min<int64_t>(*line.count, total);
    return line.percent == done * 100 / total && line.filled == done * line.width / total;
}

}  // namespace drennow::gdaltest
