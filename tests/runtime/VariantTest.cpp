#include "runtime/Error.h"
#include "runtime/Variant.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>

#include <stdlib.h>

using drennow::runtime::Error;
using drennow::runtime::IsNumeric;
using drennow::runtime::ToInteger;
using drennow::runtime::ToLong;
using drennow::runtime::ToLongLong;
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

TEST(ToLongLong, KeepsEveryDigitOfTheRangeAndRaisesPastIt)
{
    constexpr int64_t kMax = INT64_MAX;
    constexpr int64_t kMin = INT64_MIN;
    EXPECT_EQ(ToLongLong(Variant(kMax)), kMax);
    EXPECT_EQ(ToLongLong(Variant(kMin)), kMin);
    EXPECT_EQ(ToLongLong(Variant(" 9223372036854775807 ")), kMax);
    EXPECT_EQ(ToLongLong(Variant("-9223372036854775808")), kMin);
    EXPECT_EQ(ToLongLong(Variant("+0000232610141300")), 232610141300);
    EXPECT_EQ(ToLongLong(Variant("1234567890123456789")), 1234567890123456789);  // past a double's digits
    EXPECT_EQ(ToLongLong(Variant(-9223372036854775808.0)), kMin);                 // -2^63
    EXPECT_EQ(ToLongLong(Variant(9223372036854774784.0)), 9223372036854774784);   // the largest double below 2^63
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("9223372036854775808")); }), 6);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("-9223372036854775809")); }), 6);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("99999999999999999999")); }), 6);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant(9223372036854775808.0)); }), 6);    // 2^63
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant(-9223372036854777856.0)); }), 6);   // the next double below -2^63
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("1e19")); }), 6);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant(std::numeric_limits<double>::infinity())); }), 6);
}

TEST(ToLongLong, RoundsHalvesToEvenInNumbersAndText)
{
    EXPECT_EQ(ToLongLong(Variant(2.5)), 2);
    EXPECT_EQ(ToLongLong(Variant(-3.5)), -4);
    EXPECT_EQ(ToLongLong(Variant(2.5001)), 3);
    EXPECT_EQ(ToLongLong(Variant("2.5")), 2);
    EXPECT_EQ(ToLongLong(Variant("3.5")), 4);
    EXPECT_EQ(ToLongLong(Variant("-2.5")), -2);
    EXPECT_EQ(ToLongLong(Variant("2.50000000000000000001")), 3);
    EXPECT_EQ(ToLongLong(Variant("2.49999999999999999999")), 2);
    EXPECT_EQ(ToLongLong(Variant(".5")), 0);
    EXPECT_EQ(ToLongLong(Variant("7.")), 7);
    EXPECT_EQ(ToLongLong(Variant("9223372036854775806.5")), 9223372036854775806);
    EXPECT_EQ(ToLongLong(Variant("-9223372036854775808.5")), INT64_MIN);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("9223372036854775807.5")); }), 6);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("-9223372036854775808.6")); }), 6);
    EXPECT_EQ(ToLongLong(Variant("1.5e3")), 1500);
}

TEST(ToLongLong, RaisesLikeToLongForTextNullAndKeepsEmptyAsZero)
{
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("12a")); }), 13);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("")); }), 13);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("1 2")); }), 13);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant("1.2.3")); }), 13);
    EXPECT_EQ(ErrorOf([] { ToLongLong(Variant::Null()); }), 94);
    EXPECT_EQ(ToLongLong(Variant()), 0);
    EXPECT_EQ(ToLongLong(Variant(int16_t{-7})), -7);
    EXPECT_EQ(ToLongLong(Variant(int32_t{-2147483647 - 1})), -2147483648);
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

// Numbers are read and written with a full stop whatever the locale, as a
// host that sets the locale from the environment (QGIS) has it.
TEST(Conversions, IgnoreTheLocalesDecimalMark)
{
    std::string folder = (std::filesystem::temp_directory_path() / "drennow-locale-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    std::string build = "localedef -i de_DE -f UTF-8 " + folder + "/de_DE.UTF-8 2>/dev/null";
    bool made = std::system(build.c_str()) == 0;
    ::setenv("LOCPATH", folder.c_str(), 1);
    const char* german = made ? std::setlocale(LC_NUMERIC, "de_DE.UTF-8") : nullptr;
    if (german == nullptr) {
        std::filesystem::remove_all(folder);
        GTEST_SKIP() << "no locale with a decimal comma could be made";
    }
    EXPECT_EQ(ToLong(Variant("3.5")), 4);
    EXPECT_EQ(ToLong(Variant("9.5")), 10);
    EXPECT_EQ(ToLong(Variant(" +2.5E1 ")), 25);
    EXPECT_FALSE(IsNumeric(Variant("3,5")));
    EXPECT_EQ(ToText(Variant(1232.5)), "1232.5");
    EXPECT_EQ(ToText(Variant(1.5e20)), "1.5E+20");
    std::setlocale(LC_NUMERIC, "C");
    ::unsetenv("LOCPATH");
    std::filesystem::remove_all(folder);
}
