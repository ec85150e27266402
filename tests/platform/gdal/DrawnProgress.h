#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the terminal's progress bar drew, one line after another, as the
// user saw them: each line is drawn over the one before.
namespace drennow::gdaltest {

struct DrawnLine {
    std::string message;
    std::optional<int32_t> count;  // of a message "<label> <count>.. Hit Esc to Cancel"
    int filled = 0;                // the bar's marks of the share done
    int width = 0;                 // the bar's marks in all
    int percent = 0;
};

// The progress lines in what was written to a terminal; other text (a
// question, a line of its own) is left out.
std::vector<DrawnLine> DrawnLines(const std::string& written);

// Whether the line's count, bar and percentage all tell the same share of
// total steps.
bool CountAndBarAgree(const DrawnLine& line, int32_t total);

}  // namespace drennow::gdaltest
