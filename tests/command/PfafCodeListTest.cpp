#include "command/PfafCodeList.h"
#include "gisutil/modUtilsGeneral.h"
#include "pfaf/modPfafTools.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

#include <random>

using drennow::command::PfafCodeList;
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
