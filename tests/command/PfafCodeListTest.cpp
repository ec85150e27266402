#include "command/PfafCodeList.h"
#include "gisutil/modUtilsGeneral.h"
#include "pfaf/modPfafTools.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

#include <random>

using drennow::command::PfafCodeList;
using drennow::modPfafTools::CodeWidth;
using drennow::modPfafTools::DigitRules;
using drennow::modPfafTools::ZeroReading;
using drennow::runtime::Variant;
using drennow::runtime::VariantArray;

namespace {

// Codes of a few basins with their neighbours, so that matches are common.
Variant RandomCode(std::mt19937& random, bool plainOnly)
{
    static const int32_t kBases[] = {1234, 1233, 1231, 1219, 1211, 1210, 12043, 12041, 1230, 1};
    int32_t code = kBases[random() % std::size(kBases)] + static_cast<int32_t>(random() % 5) - 2;
    switch (plainOnly ? 0 : random() % 6) {
    case 1:
        return Variant(static_cast<int64_t>(code));
    case 2:
        return Variant(code + 0.25 * static_cast<double>(random() % 4));
    case 3:
        return Variant(" " + std::to_string(code));
    case 4:
        return Variant(int64_t{3000000000});  // does not convert
    default:
        return Variant(code);
    }
}

// Twelve-digit codes and their neighbours, past 32 bits, in the kinds a
// layer's fields hold them; now and then a 32-bit one.
Variant RandomWideCode(std::mt19937& random)
{
    static const int64_t kBases[] = {232610141300, 232610141100, 232610141200, 232610130000, 232610100000,
                                     232620183000, 232620181000, 232620000000, 4123456789};
    int64_t code = kBases[random() % std::size(kBases)] + static_cast<int64_t>(random() % 5) - 2;
    switch (random() % 8) {
    case 1:
        return Variant(static_cast<double>(code) + 0.25 * static_cast<double>(random() % 4));
    case 2:
        return Variant(" " + std::to_string(code));
    case 3:
        return Variant(static_cast<int32_t>(code % 100000));
    case 4:
        return Variant("9223372036854775808");  // does not convert
    default:
        return Variant(code);
    }
}

}  // namespace

TEST(PfafCodeList, SortsAndSearchesAsTheShellSortAndTheScanDo)
{
    std::mt19937 random(11);
    for (int round = 0; round < 400; ++round) {
        bool plainOnly = round % 2 == 0;
        bool allowTrailingZeros = round % 4 < 2;
        int n = static_cast<int>(random() % 40);
        PfafCodeList list;
        VariantArray reference;
        for (int i = 1; i <= n; ++i) {
            Variant code = RandomCode(random, plainOnly);
            list.Add(code);
            reference.ReDimPreserve(i);
            reference(i) = code;
        }
        drennow::modUtilsGeneral::SortArray(reference, n, false);
        list.SortDescending();
        auto index = list.BuildIndex(allowTrailingZeros);
        for (int32_t basin : {1234, 1233, 1232, 1231, 1220, 1230, 12045, 12043, 1, 0, -5}) {
            EXPECT_EQ(index.GetNextDownCode(basin),
                      drennow::modPfafTools::GetNextDownCode(basin, reference, allowTrailingZeros))
                << "round " << round << " basin " << basin;
        }
        EXPECT_EQ(list.Count(), n);
    }
}

TEST(PfafCodeList, NonNumericTextFailsTheSortWithThirteen)
{
    PfafCodeList list;
    list.Add(Variant(1234));
    list.Add(Variant("12a4"));
    try {
        list.SortDescending();
        FAIL();
    } catch (const drennow::runtime::Error& error) {
        EXPECT_EQ(error.Number(), 13);
    }
}

TEST(PfafCodeList, AnEmptyListFailsEverySearchLikeAnUnallocatedOne)
{
    PfafCodeList list;
    list.SortDescending();
    EXPECT_EQ(list.BuildIndex(false).GetNextDownCode(1234), -1);
    EXPECT_EQ(list.BuildIndex(false).GetNextDownCode(1211), -9);
}

TEST(PfafCodeList, SixtyFourBitCodesSortAndSearchAsTheShellSortAndTheScanDo)
{
    std::mt19937 random(12);
    for (int round = 0; round < 200; ++round) {
        int n = static_cast<int>(random() % 40);
        PfafCodeList list(CodeWidth::k64Bit);
        VariantArray reference;
        for (int i = 1; i <= n; ++i) {
            Variant code = round % 2 == 0 ? Variant(232610141300 + static_cast<int64_t>(random() % 300000))
                                          : RandomWideCode(random);
            list.Add(code);
            reference.ReDimPreserve(i);
            reference(i) = code;
        }
        drennow::modUtilsGeneral::SortArray(reference, n, false);
        list.SortDescending();
        for (ZeroReading zeros : {ZeroReading::kClosedBasin, ZeroReading::kUnsubdivided}) {
            bool allowTrailingZeros = round % 4 < 2;
            auto index = list.BuildIndex(zeros, allowTrailingZeros);
            DigitRules rules{zeros, allowTrailingZeros, CodeWidth::k64Bit};
            for (int64_t basin : {232610141300, 232610141302, 232610141200, 232610130001, 232620183000, 4123456789}) {
                EXPECT_EQ(index.GetNextDownCode(basin), drennow::modPfafTools::GetNextDownCode(basin, reference, rules))
                    << "round " << round << " basin " << basin;
            }
        }
    }
}

TEST(PfafCodeList, ACodePastThirtyTwoBitsFailsOnlyTheSearchesOfA32BitList)
{
    PfafCodeList narrow;
    PfafCodeList wide(CodeWidth::k64Bit);
    for (PfafCodeList* list : {&narrow, &wide}) {
        list->Add(Variant(int64_t{4123456787}));
        list->Add(Variant(1233));
        list->SortDescending();
    }
    EXPECT_EQ(narrow.BuildIndex(ZeroReading::kUnsubdivided, false).GetNextDownCode(int64_t{4123456789}), -1);
    EXPECT_EQ(narrow.BuildIndex(ZeroReading::kUnsubdivided, false).GetNextDownCode(1234), -1);
    EXPECT_EQ(wide.BuildIndex(ZeroReading::kUnsubdivided, false).GetNextDownCode(int64_t{4123456789}), 4123456787);
    EXPECT_EQ(wide.BuildIndex(ZeroReading::kUnsubdivided, false).GetNextDownCode(1234), 1233);
}
