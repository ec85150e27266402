#include "pfaf/modPfafTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using drennow::modPfafTools::GetNextDownCode;
using drennow::runtime::Variant;
using drennow::runtime::VariantArray;

namespace {

VariantArray Descending(std::vector<int32_t> codes)
{
    std::sort(codes.begin(), codes.end(), std::greater<>());
    VariantArray list;
    list.ReDim(1, static_cast<int32_t>(codes.size()));
    for (size_t i = 0; i < codes.size(); ++i) {
        list(static_cast<int32_t>(i + 1)) = Variant(codes[i]);
    }
    return list;
}

// Every four-digit code of region 1 without a zero digit.
std::vector<int32_t> Region1Level4()
{
    std::vector<int32_t> codes;
    for (int32_t code = 1111; code <= 1999; ++code) {
        if (std::to_string(code).find('0') == std::string::npos) {
            codes.push_back(code);
        }
    }
    return codes;
}

struct Expected {
    int32_t basin;
    int32_t withoutTrailingZeros;
    int32_t withTrailingZeros;
};

void ExpectResults(const VariantArray& list, const std::vector<Expected>& cases)
{
    for (const Expected& c : cases) {
        EXPECT_EQ(GetNextDownCode(c.basin, list, false), c.withoutTrailingZeros) << c.basin << " (No)";
        EXPECT_EQ(GetNextDownCode(c.basin, list, true), c.withTrailingZeros) << c.basin << " (Yes)";
    }
}

}  // namespace

TEST(GetNextDownCode, CompleteLevelFourSubdivision)
{
    ExpectResults(Descending(Region1Level4()), {
                                                   {1234, 1233, 1233},
                                                   {1239, 1237, 1237},
                                                   {1233, 1231, 1231},
                                                   {1231, 1219, 1219},
                                                   {1221, 1219, 1219},
                                                   {1291, 1279, 1279},
                                                   {1212, 1211, 1211},
                                                   {1211, -9, -9},
                                                   {1357, -9, -9},
                                                   {1998, -9, -9},
                                                   {1, -9, -9},
                                                   {9, -9, -9},
                                                   {1230, -9, 1219},
                                                   {1203, -9, -9},
                                                   {0, -8, -8},
                                                   {-1234, -3, -3},
                                                   {-2147483647 - 1, -3, -3},
                                               });
}

TEST(GetNextDownCode, UndividedUnitWithTrailingZero)
{
    std::vector<int32_t> codes = Region1Level4();
    std::erase_if(codes, [](int32_t code) { return code >= 1211 && code <= 1219; });
    codes.push_back(1210);
    ExpectResults(Descending(codes), {
                                         {1230, -9, 1210},
                                         {1220, -9, 1210},
                                         {1231, -5, 1210},
                                         {1234, 1233, 1233},
                                     });
}

TEST(GetNextDownCode, ClosedBasinSubdividedFurther)
{
    ExpectResults(Descending({12045, 12043, 12041, 12033, 12031, 12023, 12021}), {
                                                                                     {12045, 12043, 12043},
                                                                                     {12043, 12041, 12041},
                                                                                     {12023, 12021, 12021},
                                                                                     {12041, -9, -9},
                                                                                     {12033, -9, -9},
                                                                                 });
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

TEST(GetNextDownCode, TenDigitCodes)
{
    VariantArray list = Descending({2147483647, 2147483645, 2147483643, 2147483641, 1999999999});
    EXPECT_EQ(GetNextDownCode(2147483647, list, false), 2147483645);
    EXPECT_EQ(GetNextDownCode(2147483641, list, false), -5);
}
