#pragma once
// The fields of one line of a CSV file, for the tests that read real data.

#include <string>
#include <vector>

namespace drennow::testing {

// Commas inside double quotes belong to a field; the quotes are dropped.
inline std::vector<std::string> CsvFields(const std::string& line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace drennow::testing
