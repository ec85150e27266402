#include "runtime/Error.h"
#include "runtime/Variant.h"

#include <gtest/gtest.h>

#include <functional>

using drennow::runtime::Error;
using drennow::runtime::IsNumeric;
using drennow::runtime::ToInteger;
using drennow::runtime::ToLong;
using drennow::runtime::ToText;
using drennow::runtime::Variant;

namespace {

int32_t ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.Number();
    }
    return 0;
}

}  // namespace

TEST(ToLong, RoundsFractionsToNearestAndHalvesToEven)
{
    EXPECT_EQ(ToLong(Variant(2.5)), 2);
    EXPECT_EQ(ToLong(Variant(3.5)), 4);
    EXPECT_EQ(ToLong(Variant(-2.5)), -2);
    EXPECT_EQ(ToLong(Variant(-3.5)), -4);
    EXPECT_EQ(ToLong(Variant(2.4999)), 2);
    EXPECT_EQ(ToLong(Variant(2.5001)), 3);
    EXPECT_EQ(ToLong(Variant(1233.0)), 1233);
}

TEST(ToLong, ConvertsNumericTextWithBlanksAround)
{
    EXPECT_EQ(ToLong(Variant("1234")), 1234);
    EXPECT_EQ(ToLong(Variant("  1234 ")), 1234);
    EXPECT_EQ(ToLong(Variant("0123")), 123);
    EXPECT_EQ(ToLong(Variant("-17")), -17);
    EXPECT_EQ(ToLong(Variant("4.5")), 4);
    EXPECT_EQ(ToLong(Variant("1e3")), 1000);
}

TEST(ToLong, RaisesTheStatedErrors)
{
    EXPECT_EQ(ErrorOf([] { ToLong(Variant("12a")); }), 13);
    EXPECT_EQ(ErrorOf([] { ToLong(Variant("")); }), 13);
    EXPECT_EQ(ErrorOf([] { ToLong(Variant("   ")); }), 13);
    EXPECT_EQ(ErrorOf([] { ToLong(Variant("1 2")); }), 13);
    EXPECT_EQ(ErrorOf([] { ToLong(Variant::Null()); }), 94);
    EXPECT_EQ(ErrorOf([] { ToLong(Variant(int64_t{2147483648})); }), 6);
    EXPECT_EQ(ErrorOf([] { ToLong(Variant(int64_t{-2147483649})); }), 6);
    EXPECT_EQ(ErrorOf([] { ToLong(Variant(2147483647.5)); }), 6);
    EXPECT_EQ(ErrorOf([] { ToLong(Variant("99999999999")); }), 6);
    EXPECT_EQ(ErrorOf([] { ToLong(Variant("1e400")); }), 6);
}

TEST(ToLong, KeepsTheWholeRangeAndEmptyIsZero)
{
    EXPECT_EQ(ToLong(Variant(int64_t{2147483647})), 2147483647);
    EXPECT_EQ(ToLong(Variant(int64_t{-2147483648})), -2147483647 - 1);
    EXPECT_EQ(ToLong(Variant(-2147483648.5)), -2147483647 - 1);
    EXPECT_EQ(ToLong(Variant(int16_t{-7})), -7);
    EXPECT_EQ(ToLong(Variant()), 0);
}

TEST(ToInteger, UsesTheSixteenBitRange)
{
    EXPECT_EQ(ToInteger(Variant("3")), 3);
    EXPECT_EQ(ToInteger(Variant(" 3 ")), 3);
    EXPECT_EQ(ToInteger(Variant("3.5")), 4);
    EXPECT_EQ(ToInteger(Variant("2.5")), 2);
    EXPECT_EQ(ToInteger(Variant("32767")), 32767);
    EXPECT_EQ(ToInteger(Variant("-32768")), -32768);
    EXPECT_EQ(ErrorOf([] { ToInteger(Variant("40000")); }), 6);
    EXPECT_EQ(ErrorOf([] { ToInteger(Variant("32767.5")); }), 6);
    EXPECT_EQ(ErrorOf([] { ToInteger(Variant(int64_t{-32769})); }), 6);
}

TEST(IsNumeric, AcceptsNumbersAndNumericTextOnly)
{
    EXPECT_TRUE(IsNumeric(Variant(" 3 ")));
    EXPECT_TRUE(IsNumeric(Variant("-.5")));
    EXPECT_TRUE(IsNumeric(Variant(4.0)));
    EXPECT_FALSE(IsNumeric(Variant("")));
    EXPECT_FALSE(IsNumeric(Variant("abc")));
    EXPECT_FALSE(IsNumeric(Variant(".")));
    EXPECT_FALSE(IsNumeric(Variant("1e")));
    EXPECT_FALSE(IsNumeric(Variant::Null()));
}

TEST(ToText, WritesDecimalDigitsAndWholeFloatsWithoutPoint)
{
    EXPECT_EQ(ToText(Variant(int32_t{-1234})), "-1234");
    EXPECT_EQ(ToText(Variant(int64_t{12345678901})), "12345678901");
    EXPECT_EQ(ToText(Variant(1230.0)), "1230");
    EXPECT_EQ(ToText(Variant(12.5)), "12.5");
    EXPECT_EQ(ToText(Variant("0123")), "0123");
    EXPECT_EQ(ToText(Variant()), "");
    EXPECT_EQ(ErrorOf([] { ToText(Variant::Null()); }), 94);
}

TEST(Variant, KindTravelsWithTheValue)
{
    EXPECT_NE(Variant("12"), Variant(int32_t{12}));
    EXPECT_NE(Variant(int16_t{12}), Variant(int32_t{12}));
    EXPECT_TRUE(Variant().IsEmpty());
    EXPECT_FALSE(Variant().IsNull());
    EXPECT_TRUE(Variant(int64_t{1}).IsInteger());
    EXPECT_FALSE(Variant(1.0).IsInteger());
}
