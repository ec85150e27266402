#include "Reliability.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace drennow::reliability {

e2e::ChildResult Drennow(const std::vector<std::string>& arguments, const e2e::ChildOptions& options)
{
    return e2e::RunChild(DRENNOW_BINARY, arguments, options);
}

std::vector<std::string> CodeAnswers(gdaltest::Format format)
{
    return {"--batch", "--trailing-zeros", "no", "--layer", "Watershed", "--pfaf-field",
            gdaltest::PfafFieldName(format), "--level", "2", "--populate", "pfaf"};
}

std::vector<std::string> IdAnswers(gdaltest::Format format)
{
    std::vector<std::string> answers = CodeAnswers(format);
    answers.back() = "id";
    answers.insert(answers.end(), {"--id-field", "HydroID"});
    return answers;
}

std::vector<gdaltest::Basin> Subdivision(int level, size_t most)
{
    std::vector<int64_t> codes{0};
    for (int i = 0; i < level; ++i) {
        std::vector<int64_t> next;
        for (int64_t code : codes) {
            for (int digit = 1; digit <= 9; ++digit) {
                next.push_back(code * 10 + digit);
            }
        }
        codes = std::move(next);
    }
    std::vector<gdaltest::Basin> basins;
    for (size_t i = 0; i < codes.size() && i < most; ++i) {
        basins.push_back({codes[i], static_cast<int64_t>(i) + 1000, -77});
    }
    return basins;
}

std::string IntegrityCheck(const std::string& path)
{
    sqlite3* db = nullptr;
    std::string result;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_exec(
            db, "PRAGMA integrity_check",
            [](void* into, int columns, char** values, char**) {
                auto& text = *static_cast<std::string*>(into);
                text += (text.empty() ? "" : "\n") + std::string(columns > 0 && values[0] ? values[0] : "");
                return 0;
            },
            &result, nullptr);
    } else {
        result = sqlite3_errmsg(db);
    }
    sqlite3_close(db);
    return result;
}

std::string ShapefileTableProblems(const std::string& folder, const std::string& layer)
{
    std::string table = gdaltest::ReadFile(folder + "/" + layer + ".dbf");
    size_t shapes = (gdaltest::ReadFile(folder + "/" + layer + ".shx").size() - 100) / 8;
    auto number = [&](size_t at, size_t bytes) {
        size_t value = 0;
        for (size_t i = bytes; i-- > 0 && at + i < table.size();) {
            value = value << 8 | static_cast<unsigned char>(table[at + i]);
        }
        return value;
    };
    size_t descriptorsEnd = 32;
    size_t fieldWidths = 1;  // the deletion mark
    for (; descriptorsEnd + 32 < table.size() && table[descriptorsEnd] != 0x0D; descriptorsEnd += 32) {
        fieldWidths += number(descriptorsEnd + 16, 1);
    }
    size_t records = number(4, 4);
    std::string lengths = std::to_string(number(8, 2)) + "/" + std::to_string(number(10, 2)) + "/" +
                          std::to_string(table.size());
    bool sound = number(8, 2) == descriptorsEnd + 1 && number(10, 2) == fieldWidths && records == shapes &&
                 table.size() == descriptorsEnd + 1 + records * fieldWidths + 1 && table.ends_with('\x1A');
    return sound ? "" : "header/record/file lengths " + lengths + " for " + std::to_string(records) + " records, " +
                            std::to_string(shapes) + " shapes";
}

void PrintOutcome(const std::string& situation, const e2e::ChildResult& run, double seconds)
{
    std::string text = run.out + run.err;
    // From the error report or the program's own complaint; else the last line.
    size_t from = std::min(text.rfind("Error "), text.rfind("drennow: "));
    if (from == std::string::npos) {
        from = text.rfind('\n', text.find_last_not_of('\n'));
        from = from == std::string::npos ? 0 : from + 1;
    }
    std::string shown = text.substr(from);
    std::replace(shown.begin(), shown.end(), '\n', ' ');
    std::printf("%s: exit %d after %.1f s: %s\n", situation.c_str(), run.exitStatus, seconds, shown.c_str());
}

std::vector<std::pair<std::string, std::string>> FolderContents(const std::string& folder)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.emplace_back(entry.path().filename().string(), gdaltest::ReadFile(entry.path().string()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace drennow::reliability
