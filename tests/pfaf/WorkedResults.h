#pragma once

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

}  // namespace drennow::pfaftest
