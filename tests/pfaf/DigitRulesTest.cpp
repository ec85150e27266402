#include "pfaf/modPfafTools.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace drennow::modPfafTools;

TEST(DigitRules, IsEvenCountsZeroAsEven)
{
    EXPECT_TRUE(IsEven(0));
    EXPECT_TRUE(IsEven(8));
    EXPECT_FALSE(IsEven(7));
    EXPECT_FALSE(IsEven(-3));
}

TEST(DigitRules, StripTrailingZeros)
{
    EXPECT_EQ(StripTrailingZeros(1230), 123);
    EXPECT_EQ(StripTrailingZeros(1200), 12);
    EXPECT_EQ(StripTrailingZeros(1203), 1203);
    EXPECT_EQ(StripTrailingZeros(0), 0);
    EXPECT_EQ(StripTrailingZeros(2000000000), 2);
}

TEST(DigitRules, DigitsAfterLastZero)
{
    EXPECT_EQ(DigitsAfterLastZero(1203), 3);
    EXPECT_EQ(DigitsAfterLastZero(12043), 43);
    EXPECT_EQ(DigitsAfterLastZero(1234), 1234);
    EXPECT_EQ(DigitsAfterLastZero(1230), 0);
    EXPECT_EQ(DigitsAfterLastZero(101), 1);
    EXPECT_EQ(DigitsAfterLastZero(0), 0);
    EXPECT_EQ(DigitsAfterLastZero(2147483647), 2147483647);
}

TEST(DigitRules, DrainsToWaterbody)
{
    for (const char* code : {"1357", "1211", "1121", "12", "1998", "1", "1203"}) {
        EXPECT_TRUE(DrainsToWaterbody(code, false)) << code;
        EXPECT_TRUE(DrainsToWaterbody(code, true)) << code;
    }
    for (const char* code : {"1234", "1212", "12043"}) {
        EXPECT_FALSE(DrainsToWaterbody(code, false)) << code;
        EXPECT_FALSE(DrainsToWaterbody(code, true)) << code;
    }
    EXPECT_TRUE(DrainsToWaterbody("1230", false));
    EXPECT_FALSE(DrainsToWaterbody("1230", true));
}

TEST(DigitRules, HasOddLeadingDigits)
{
    EXPECT_FALSE(HasOddLeadingDigits("1233", false));
    EXPECT_TRUE(HasOddLeadingDigits("1199", false));
    EXPECT_TRUE(HasOddLeadingDigits("1210", false));
    EXPECT_FALSE(HasOddLeadingDigits("1210", true));
    EXPECT_FALSE(HasOddLeadingDigits("12041", false));
    EXPECT_TRUE(HasOddLeadingDigits("8", false));
}

TEST(DigitRules, ACandidateMustBeSmallerOfTheSameLengthAndFirstDigit)
{
    EXPECT_TRUE(IsDownstreamOf(1234, 1233, false));
    EXPECT_FALSE(IsDownstreamOf(1233, 1233, false));  // equal
    EXPECT_FALSE(IsDownstreamOf(1233, 1235, false));  // larger
    EXPECT_FALSE(IsDownstreamOf(1234, 123, false));   // other length
    EXPECT_FALSE(IsDownstreamOf(2234, 1233, false));  // other first digit
    EXPECT_FALSE(IsDownstreamOf(1, 0, false));
    EXPECT_FALSE(IsDownstreamOf(1234, 0, false));
    EXPECT_FALSE(IsDownstreamOf(1234, -1, false));
}

TEST(DigitRules, TrailingZerosOfACandidateCountOnlyWhenAllowed)
{
    EXPECT_TRUE(IsDownstreamOf(1234, 1210, true));
    EXPECT_FALSE(IsDownstreamOf(1234, 1210, false));
    EXPECT_FALSE(IsDownstreamOf(1234, 1200, true));
    EXPECT_FALSE(IsDownstreamOf(1234, 1201, true));
}

TEST(DigitRules, AnInteriorZeroRestartsTheDrainageRules)
{
    // 12043 drains like 43, but the digit comparison runs over all five.
    EXPECT_TRUE(IsDownstreamOf(12043, 12041, false));
    EXPECT_FALSE(IsDownstreamOf(12043, 12033, false));
}

namespace {

constexpr DigitRules kUnsubdivided{.zeros = ZeroReading::kUnsubdivided};
constexpr DigitRules kClosedBasin{};

bool Drains(int64_t code, const DigitRules& rules)
{
    return DrainsToWaterbody(CodeDigits(code), rules);
}

bool OddLeading(int64_t code, const DigitRules& rules)
{
    return HasOddLeadingDigits(CodeDigits(code), rules);
}

}  // namespace

TEST(DigitRules, UnsubdividedZerosCountAsOnesInTheOutletTest)
{
    for (int64_t code : std::vector<int64_t>{2100, 1100, 2010, 1000, 2111000000000000000, 1}) {
        EXPECT_TRUE(Drains(code, kUnsubdivided)) << code;
    }
    // The closed-basin reading cuts the last three at their last zero, and
    // what is left drains.
    for (int64_t code : {2300, 2200, 1203, 1230, 2120}) {
        EXPECT_FALSE(Drains(code, kUnsubdivided)) << code;
    }
    for (int64_t code : {1203, 1230, 2120}) {
        EXPECT_TRUE(Drains(code, kClosedBasin)) << code;
    }
}

TEST(DigitRules, UnsubdividedZerosCountAsOddAndNothingIsCutOff)
{
    EXPECT_TRUE(OddLeading(1002, kUnsubdivided));
    EXPECT_FALSE(OddLeading(1210, kUnsubdivided));  // the closed-basin reading keeps nothing of it
    EXPECT_TRUE(OddLeading(1210, kClosedBasin));
    EXPECT_FALSE(OddLeading(2011, kUnsubdivided));  // the closed-basin reading keeps 11
    EXPECT_TRUE(OddLeading(2011, kClosedBasin));
    // A 0 at the first difference and after it is odd.
    EXPECT_TRUE(IsDownstreamOf(1234, 1201, kUnsubdivided));
    EXPECT_TRUE(IsDownstreamOf(1234, 1200, kUnsubdivided));
    EXPECT_FALSE(IsDownstreamOf(1234, 1201, DigitRules{.allowTrailingZeros = true}));
    EXPECT_TRUE(IsDownstreamOf(12033, 12031, kUnsubdivided));
    EXPECT_FALSE(IsDownstreamOf(12033, 12031, kClosedBasin));  // 33 lies on the outlet's interbasins
}

TEST(DigitRules, CodesOfUpToNineteenDigits)
{
    constexpr int64_t kLargest = INT64_MAX;  // 9223372036854775807
    EXPECT_EQ(CodeDigits(kLargest).Count(), 19);
    EXPECT_EQ(CodeDigits(INT64_MIN).Value(), uint64_t{9223372036854775808U});
    EXPECT_TRUE(IsDownstreamOf(kLargest, kLargest - 2, kUnsubdivided));
    EXPECT_FALSE(IsDownstreamOf(kLargest, kLargest - 1, kUnsubdivided));
    EXPECT_FALSE(IsDownstreamOf(kLargest, kLargest - 2, kClosedBasin));  // 7 after its last zero drains
    for (const DigitRules& rules : {DigitRules{.allowTrailingZeros = true}, kUnsubdivided}) {
        EXPECT_TRUE(IsDownstreamOf(8888888888888888889, 8888888888888888887, rules));
        EXPECT_TRUE(IsDownstreamOf(4123456789, 4123456787, rules));       // past 32 bits
        EXPECT_FALSE(IsDownstreamOf(232610141300, 23261014110, rules));  // one digit fewer
    }
}
