// The unsubdivided reading of zeros against the drainage topology of real
// data: the HydroBASINS units of the Rhine, whose codes write a 0 for a unit
// left whole at a level. The extract lives beside the project, not in it.
#include "pfaf/NextDownIndex.h"
#include "support/CsvFields.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

using drennow::modPfafTools::CodeWidth;
using drennow::modPfafTools::DigitRules;
using drennow::modPfafTools::NextDownIndex;
using drennow::modPfafTools::ZeroReading;
using drennow::runtime::Variant;
using drennow::runtime::VariantArray;

namespace {

constexpr int kLevels = 12;

struct Unit {
    int64_t nextDown;                 // HYBAS_ID of the unit it drains into, 0 at an outlet
    std::vector<int64_t> pfafByLevel;  // index 0 for PFAF_1
};

using drennow::testing::CsvFields;

// Units by HYBAS_ID; empty when the file cannot be read.
std::map<int64_t, Unit> ReadUnits(const char* path)
{
    std::map<int64_t, Unit> units;
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line)) {
        return units;
    }
    std::map<std::string, size_t> column;
    std::vector<std::string> header = CsvFields(line);
    for (size_t i = 0; i < header.size(); ++i) {
        column[header[i]] = i;
    }
    while (std::getline(in, line)) {
        std::vector<std::string> fields = CsvFields(line);
        Unit unit{std::stoll(fields.at(column.at("NEXT_DOWN"))), {}};
        for (int level = 1; level <= kLevels; ++level) {
            unit.pfafByLevel.push_back(std::stoll(fields.at(column.at("PFAF_" + std::to_string(level)))));
        }
        units[std::stoll(fields.at(column.at("HYBAS_ID")))] = unit;
    }
    return units;
}

// At one level, the basins are the groups of units by their code there. A
// basin drains into the basin of the unit its outlet unit (the one draining
// out of the group, or nowhere) drains into; with no such unit it is a
// terminal outlet, where the search must fail. Returns the basins where the
// reading differs from the topology, described.
std::vector<std::string> DisagreementsAt(const std::map<int64_t, Unit>& units, int level)
{
    auto codeOf = [&](const Unit& unit) { return unit.pfafByLevel[static_cast<size_t>(level - 1)]; };
    std::map<int64_t, int64_t, std::greater<>> topologicalNextDown;  // 0: terminal outlet
    std::map<int64_t, int> outlets;
    for (const auto& [id, unit] : units) {
        int64_t code = codeOf(unit);
        topologicalNextDown.try_emplace(code, 0);
        if (unit.nextDown == 0 || codeOf(units.at(unit.nextDown)) != code) {
            topologicalNextDown[code] = unit.nextDown == 0 ? 0 : codeOf(units.at(unit.nextDown));
            ++outlets[code];
        }
    }
    VariantArray list;
    list.ReDim(1, static_cast<int32_t>(topologicalNextDown.size()));
    int32_t i = 0;
    for (const auto& [code, next] : topologicalNextDown) {
        list(++i) = Variant(code);  // descending
    }
    DigitRules rules{ZeroReading::kUnsubdivided, false, level >= 10 ? CodeWidth::k64Bit : CodeWidth::k32Bit};
    NextDownIndex index(list, rules);
    std::vector<std::string> disagreements;
    for (const auto& [code, next] : topologicalNextDown) {
        EXPECT_EQ(outlets[code], 1) << "level " << level << ", basin " << code;
        int64_t found = index.GetNextDownCode(code);
        if (next == 0 ? found > 0 : found != next) {
            disagreements.push_back(std::to_string(code) + " -> " + std::to_string(found) + " instead of " +
                                    std::to_string(next));
        }
    }
    return disagreements;
}

}  // namespace

TEST(Rhine, TheUnsubdividedReadingFollowsTheTopologyToLevelSeven)
{
    std::map<int64_t, Unit> units = ReadUnits(DRENNOW_RHINE_CSV);
    if (units.empty()) {
        GTEST_SKIP() << "no HydroBASINS Rhine extract at " << DRENNOW_RHINE_CSV;
    }
    ASSERT_EQ(units.size(), 1246u);
    for (int level = 1; level <= kLevels; ++level) {
        std::vector<std::string> disagreements = DisagreementsAt(units, level);
        if (level <= 7) {
            EXPECT_EQ(disagreements, std::vector<std::string>{}) << "level " << level;
        }
        // Finer levels are counted, not required: there the codes number the
        // pieces of an unbranched stem 1, 2, 3, ... upstream, and write a 0
        // for a closed sink beside subdivided siblings, which no digit rule
        // reads as the topology has it.
        RecordProperty("disagreeing_at_level_" + std::to_string(level), std::to_string(disagreements.size()));
    }
}
