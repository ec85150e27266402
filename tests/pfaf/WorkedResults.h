#pragma once

#include "pfaf/DigitRules.h"
#include "runtime/VariantArray.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The worked results of the next-down search, shared by the tests of the
// plain scan and of the index, which must both give them.
namespace drennow::pfaftest {

inline runtime::VariantArray ListOf(const std::vector<runtime::Variant>& values)
{
    runtime::VariantArray list;
    list.ReDim(1, static_cast<int32_t>(values.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        list(static_cast<int32_t>(i + 1)) = values[i];
    }
    return list;
}

inline runtime::VariantArray Descending(std::vector<int32_t> codes)
{
    std::sort(codes.begin(), codes.end(), std::greater<>());
    return ListOf(std::vector<runtime::Variant>(codes.begin(), codes.end()));
}

inline runtime::VariantArray Descending64(std::vector<int64_t> codes)
{
    std::sort(codes.begin(), codes.end(), std::greater<>());
    return ListOf(std::vector<runtime::Variant>(codes.begin(), codes.end()));
}

// Every four-digit code of region 1 without a zero digit.
inline std::vector<int32_t> Region1Level4()
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

struct WorkedList {
    const char* name;
    runtime::VariantArray list;
    std::vector<Expected> cases;
};

inline std::vector<WorkedList> WorkedResults()
{
    std::vector<int32_t> undivided = Region1Level4();
    std::erase_if(undivided, [](int32_t code) { return code >= 1211 && code <= 1219; });
    undivided.push_back(1210);
    return {
        {"complete level-4 subdivision",
         Descending(Region1Level4()),
         {{1234, 1233, 1233},
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
          {-2147483647 - 1, -3, -3}}},
        {"unit 121 undivided as 1210",
         Descending(undivided),
         {{1230, -9, 1210}, {1220, -9, 1210}, {1231, -5, 1210}, {1234, 1233, 1233}}},
        {"closed basin 120 subdivided",
         Descending({12045, 12043, 12041, 12033, 12031, 12023, 12021}),
         {{12045, 12043, 12043}, {12043, 12041, 12041}, {12023, 12021, 12021}, {12041, -9, -9}, {12033, -9, -9}}},
        {"ten-digit codes",
         Descending({2147483647, 2147483645, 2147483643, 2147483641, 1999999999}),
         {{2147483647, 2147483645, 2147483645}, {2147483641, -5, -5}}},
    };
}

// Worked results under other rules: the unsubdivided reading of zeros, and
// 64-bit codes.
struct ExpectedUnder {
    int64_t basin;
    int64_t nextDown;
};

struct WorkedRules {
    const char* name;
    modPfafTools::DigitRules rules;
    runtime::VariantArray list;
    std::vector<ExpectedUnder> cases;
};

inline std::vector<WorkedRules> WorkedResultsOfOtherRules()
{
    using modPfafTools::CodeWidth;
    using modPfafTools::DigitRules;
    using modPfafTools::ZeroReading;
    constexpr DigitRules kUnsubdivided{.zeros = ZeroReading::kUnsubdivided};
    constexpr DigitRules kUnsubdividedWithTrailingZeros{.zeros = ZeroReading::kUnsubdivided, .allowTrailingZeros = true};
    constexpr DigitRules kUnsubdivided64{.zeros = ZeroReading::kUnsubdivided, .width = CodeWidth::k64Bit};
    constexpr DigitRules kClosedBasin64{.allowTrailingZeros = true, .width = CodeWidth::k64Bit};
    const std::vector<ExpectedUnder> level4Whole = {
        {2300, 2100}, {2200, 2100}, {2900, 2700}, {2400, 2300}, {2100, -9}, {1100, -9}, {0, -8}, {-2300, -3}};
    const std::vector<int64_t> tenDigits = {4123456789, 4123456787, 4123456785, 4123456783};
    runtime::VariantArray largest = ListOf({INT64_MAX, INT64_MAX - 2, "9223372036854775803", INT64_MAX - 6});
    return {
        {"units 21 to 29 whole at level 4", kUnsubdivided,
         Descending({2100, 2200, 2300, 2400, 2500, 2600, 2700, 2800, 2900}), level4Whole},
        {"units 21 to 29 whole, trailing zeros allowed", kUnsubdividedWithTrailingZeros,
         Descending({2100, 2200, 2300, 2400, 2500, 2600, 2700, 2800, 2900}), level4Whole},
        {"a level-6 tributary and interbasins", kUnsubdivided, Descending({232630, 232620, 232610}),
         {{232630, 232610}, {232620, 232610}, {232610, -5}}},
        {"a closed basin 120 subdivided", kUnsubdivided,
         Descending({12045, 12043, 12041, 12033, 12031, 12023, 12021}),
         {{12045, 12043}, {12041, 12033}, {12033, 12031}, {12031, -5}, {12023, 12021}, {12021, -5}}},
        {"twelve digits", kUnsubdivided64,
         Descending64({232610141300, 232610141200, 232610141100, 232610130000}),
         {{232610141300, 232610141100}, {232610141200, 232610141100}, {232610141100, 232610130000}}},
        {"ten digits past 32 bits, 64-bit", kClosedBasin64, Descending64(tenDigits),
         {{4123456789, 4123456787}, {4123456783, -5}}},
        {"ten digits past 32 bits, 32-bit", DigitRules{.allowTrailingZeros = true}, Descending64(tenDigits),
         {{4123456789, -1}, {4123456783, -1}, {4111111111, -9}}},
        {"the largest 64-bit codes, one of them text", kUnsubdivided64, largest,
         {{INT64_MAX, INT64_MAX - 2}, {INT64_MAX - 2, INT64_MAX - 4}, {INT64_MAX - 4, INT64_MAX - 6}}},
    };
}

}  // namespace drennow::pfaftest
