#include "gisutil/modUtilsGeneral.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using drennow::modUtilsGeneral::CollectionHasKey;
using drennow::modUtilsGeneral::SortArray;
using drennow::modUtilsGeneral::SwapValues;
using drennow::runtime::Collection;
using drennow::runtime::Error;
using drennow::runtime::Variant;
using drennow::runtime::VariantArray;

namespace {

VariantArray Array(const std::vector<Variant>& values)
{
    VariantArray array;
    array.ReDim(1, static_cast<int32_t>(values.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        array(static_cast<int32_t>(i + 1)) = values[i];
    }
    return array;
}

std::vector<Variant> Elements(const VariantArray& array)
{
    std::vector<Variant> values;
    for (int32_t i = array.LBound(); i <= array.UBound(); ++i) {
        values.push_back(array(i));
    }
    return values;
}

void Sort(VariantArray& array, int32_t n, bool ascending)
{
    SortArray(array, n, ascending);
}

int32_t ErrorOfSort(VariantArray& array, int32_t n)
{
    try {
        Sort(array, n, false);
    } catch (const Error& error) {
        return error.Number();
    }
    return 0;
}

}  // namespace

TEST(SortArray, SortsInTheDirectionOfTheFlag)
{
    VariantArray two = Array({5, 9});
    Sort(two, 2, false);
    EXPECT_EQ(Elements(two), (std::vector<Variant>{9, 5}));
    Sort(two, 2, true);
    EXPECT_EQ(Elements(two), (std::vector<Variant>{5, 9}));

    VariantArray five = Array({3, 1, 2, 2, 7});
    Sort(five, 5, false);
    EXPECT_EQ(Elements(five), (std::vector<Variant>{7, 3, 2, 2, 1}));
}

TEST(SortArray, TextCodesSortByNumberAndKeepTheirKind)
{
    VariantArray codes = Array({"21", "3", "112", "0123"});
    Sort(codes, 4, false);
    EXPECT_EQ(Elements(codes), (std::vector<Variant>{"0123", "112", "21", "3"}));

    VariantArray mixed = Array({Variant("21"), Variant(int32_t{300}), Variant(4.5)});
    Sort(mixed, 3, false);
    EXPECT_EQ(Elements(mixed), (std::vector<Variant>{Variant(int32_t{300}), Variant("21"), Variant(4.5)}));
}

TEST(SortArray, NothingIsTouchedForNBelowTwoEvenUnallocated)
{
    VariantArray unallocated;
    EXPECT_NO_THROW(Sort(unallocated, 0, false));
    EXPECT_NO_THROW(Sort(unallocated, 1, false));
    VariantArray one = Array({"not a number"});
    EXPECT_NO_THROW(Sort(one, 1, false));
}

TEST(SortArray, ElementsBeyondNAreLeftAlone)
{
    VariantArray codes = Array({1, 2, 3, 5, 4});
    Sort(codes, 3, false);
    EXPECT_EQ(Elements(codes), (std::vector<Variant>{3, 2, 1, 5, 4}));
}

TEST(SortArray, NonNumericTextRaisesThirteenAfterPartialExchanges)
{
    // gap 2 first pass: 1 and 3 are exchanged, then 2 meets the text.
    VariantArray codes = Array({1, 2, 3, "x"});
    EXPECT_EQ(ErrorOfSort(codes, 4), 13);
    EXPECT_EQ(Elements(codes), (std::vector<Variant>{3, 2, 1, "x"}));
}

TEST(SortArray, IndicesOutsideTheArrayRaiseNine)
{
    VariantArray codes = Array({1, 2, 3});
    EXPECT_EQ(ErrorOfSort(codes, 4), 9);
    VariantArray shifted;
    shifted.ReDim(2, 5);
    EXPECT_EQ(ErrorOfSort(shifted, 4), 9);
}

TEST(SortArray, AgreesWithAReferenceSortOnRandomData)
{
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::uniform_int_distribution<int32_t> size(0, 300);
        std::uniform_int_distribution<int32_t> value(-50, 50);
        std::vector<int32_t> expected(static_cast<size_t>(size(random)));
        for (int32_t& v : expected) {
            v = value(random);
        }
        std::vector<Variant> values(expected.begin(), expected.end());
        VariantArray array = Array(values);
        Sort(array, static_cast<int32_t>(expected.size()), false);
        std::sort(expected.begin(), expected.end(), std::greater<>());
        if (!expected.empty()) {
            EXPECT_EQ(Elements(array), std::vector<Variant>(expected.begin(), expected.end()));
        }
    }
}

TEST(SwapValues, ExchangesValuesWithTheirKinds)
{
    Variant a("12");
    Variant b(int32_t{7});
    SwapValues(a, b);
    EXPECT_EQ(a, Variant(int32_t{7}));
    EXPECT_EQ(b, Variant("12"));
}

TEST(CollectionHasKey, AnswersWithoutRaising)
{
    Collection ids;
    ids.Add(Variant(int32_t{42}), "1233");
    ids.Add(Variant(int32_t{43}), "7");
    EXPECT_TRUE(CollectionHasKey(ids, "1233"));
    EXPECT_FALSE(CollectionHasKey(ids, "1234"));
    EXPECT_FALSE(CollectionHasKey(ids, "2"));  // a valid position, not a key
    EXPECT_FALSE(CollectionHasKey(ids, ""));
}
