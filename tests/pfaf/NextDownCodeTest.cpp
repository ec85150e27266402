#include "WorkedResults.h"
#include "pfaf/modPfafTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using drennow::modPfafTools::GetNextDownCode;
using drennow::runtime::Variant;
using drennow::runtime::VariantArray;

using namespace drennow::pfaftest;

TEST(GetNextDownCode, WorkedResults)
{
    for (const WorkedList& worked : WorkedResults()) {
        for (const Expected& c : worked.cases) {
            EXPECT_EQ(GetNextDownCode(c.basin, worked.list, false), c.withoutTrailingZeros)
                << worked.name << ": " << c.basin << " (No)";
            EXPECT_EQ(GetNextDownCode(c.basin, worked.list, true), c.withTrailingZeros)
                << worked.name << ": " << c.basin << " (Yes)";
        }
    }
}

TEST(GetNextDownCode, WorkedResultsOfOtherRules)
{
    for (const WorkedRules& worked : WorkedResultsOfOtherRules()) {
        for (const ExpectedUnder& c : worked.cases) {
            EXPECT_EQ(GetNextDownCode(c.basin, worked.list, worked.rules), c.nextDown) << worked.name << ": " << c.basin;
        }
    }
}

TEST(GetNextDownCode, LevelOneCodesAlwaysDrainToTheWaterbody)
{
    VariantArray list = Descending({1, 2, 3, 4, 5, 6, 7, 8, 9});
    for (int32_t code = 1; code <= 9; ++code) {
        EXPECT_EQ(GetNextDownCode(code, list, false), -9);
        EXPECT_EQ(GetNextDownCode(code, list, true), -9);
    }
}

TEST(GetNextDownCode, WithoutTrailingZerosNothingEndingInZeroIsInvolved)
{
    std::vector<int32_t> codes;
    for (int32_t code = 1000; code <= 1999; ++code) {
        codes.push_back(code);
    }
    VariantArray list = Descending(codes);
    for (int32_t basin : codes) {
        int32_t result = GetNextDownCode(basin, list, false);
        if (basin % 10 == 0) {
            EXPECT_EQ(result, -9) << basin;
        }
        if (result > 0) {
            EXPECT_NE(result % 10, 0) << basin << " -> " << result;
        }
    }
}

TEST(GetNextDownCode, NothingDownstreamGivesMinusFive)
{
    EXPECT_EQ(GetNextDownCode(1234, Descending({1234}), false), -5);
    EXPECT_EQ(GetNextDownCode(1234, Descending({1235, 1299, 1234}), false), -5);
}

TEST(GetNextDownCode, AnUnconvertibleElementFailsOnlyWhenTheScanReachesIt)
{
    VariantArray list = Descending({1239, 1233, 1231, 1219});
    list.ReDimPreserve(5);
    list(5) = Variant("not a code");
    EXPECT_EQ(GetNextDownCode(1234, list, false), 1233);   // matched before
    EXPECT_EQ(GetNextDownCode(1212, list, false), -1);     // scan reaches it
    EXPECT_EQ(GetNextDownCode(1211, list, false), -9);     // never scans
    list(1) = Variant::Null();
    EXPECT_EQ(GetNextDownCode(1234, list, false), -1);
}

TEST(GetNextDownCode, NumericTextAndFractionsAreConvertedWhenExamined)
{
    VariantArray list;
    list.ReDim(1, 2);
    list(1) = Variant(" 1233 ");
    list(2) = Variant(1230.6);
    EXPECT_EQ(GetNextDownCode(1234, list, false), 1233);
    EXPECT_EQ(GetNextDownCode(1232, list, false), 1231);
}

TEST(GetNextDownCode, AListThatWasNeverFilledFails)
{
    VariantArray never;
    EXPECT_EQ(GetNextDownCode(1234, never, false), -1);
    EXPECT_EQ(GetNextDownCode(1211, never, false), -9);
    EXPECT_EQ(GetNextDownCode(0, never, false), -8);
}
