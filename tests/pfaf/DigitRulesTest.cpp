#include "pfaf/modPfafTools.h"

#include <gtest/gtest.h>

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
