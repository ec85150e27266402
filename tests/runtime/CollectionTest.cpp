#include "runtime/Collection.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

using drennow::runtime::Collection;
using drennow::runtime::Error;
using drennow::runtime::Variant;

TEST(Collection, FirstAddOfAKeyWinsAndASecondAddFails)
{
    Collection ids;
    ids.Add(Variant(int32_t{100}), "1233");
    try {
        ids.Add(Variant(int32_t{200}), "1233");
        FAIL() << "second add of a key must fail";
    } catch (const Error& error) {
        EXPECT_EQ(error.Number(), 457);
    }
    EXPECT_EQ(ids.Item("1233"), Variant(int32_t{100}));
    EXPECT_EQ(ids.Count(), 1);
}

TEST(Collection, KeysOfDigitsAreKeysNotPositions)
{
    Collection ids;
    ids.Add(Variant("first"), "5");
    ids.Add(Variant("second"), "1");
    EXPECT_EQ(ids.Item("1"), Variant("second"));
    EXPECT_FALSE(ids.Find("2"));
    try {
        ids.Item("2");
        FAIL() << "a missing key must raise";
    } catch (const Error& error) {
        EXPECT_EQ(error.Number(), 5);
    }
}

TEST(Collection, KeysIgnoreLetterCaseAndItemsMayBeNull)
{
    Collection ids;
    ids.Add(Variant::Null(), "Basin");
    ASSERT_TRUE(ids.Find("BASIN"));
    EXPECT_TRUE(ids.Find("basin")->IsNull());
}

TEST(Collection, DecimalAndOtherKeysStayDistinctTexts)
{
    Collection ids;
    ids.Add(Variant("plain"), "123");
    ids.Add(Variant("leading zero"), "0123");
    ids.Add(Variant("plus"), "+123");
    ids.Add(Variant("negative"), "-123");
    ids.Add(Variant("beyond 32 bits"), "2147483648");
    ids.Add(Variant("zero"), "0");
    ids.Add(Variant("minus zero"), "-0");
    EXPECT_EQ(ids.Count(), 7);
    EXPECT_EQ(ids.Item("123"), Variant("plain"));
    EXPECT_EQ(ids.Item("0123"), Variant("leading zero"));
    EXPECT_EQ(ids.Item("-123"), Variant("negative"));
    EXPECT_EQ(ids.Item("2147483648"), Variant("beyond 32 bits"));
    EXPECT_EQ(ids.Item("-0"), Variant("minus zero"));
    EXPECT_FALSE(ids.Find(" 123"));
    EXPECT_THROW(ids.Add(Variant("again"), "0"), Error);
}

TEST(Collection, ManyKeysKeepTheirFirstItems)
{
    Collection ids;
    for (int32_t key = -50000; key < 150000; key += 2) {
        ids.Add(Variant(key * 3), std::to_string(key));
    }
    for (int32_t key = -50000; key < 150000; key += 2) {
        EXPECT_THROW(ids.Add(Variant(0), std::to_string(key)), Error);
    }
    EXPECT_EQ(ids.Count(), 100000);
    for (int32_t key = -50001; key < 150000; ++key) {
        std::optional<Variant> item = ids.Find(std::to_string(key));
        if (key % 2 == 0) {
            ASSERT_TRUE(item) << key;
            EXPECT_EQ(*item, Variant(key * 3));
        } else {
            EXPECT_FALSE(item) << key;
        }
    }
}

TEST(Collection, ItemsUnderDecimalKeysKeepTheirKindThroughGrowth)
{
    const std::vector<Variant> kinds = {Variant(int32_t{-7}), Variant(int16_t{-7}), Variant(int64_t{-7}),
                                        Variant(-7.0),        Variant("-7"),        Variant::Null()};
    Collection ids;
    for (int32_t key = 0; key < 3000; ++key) {
        ids.Add(kinds[static_cast<size_t>(key) % kinds.size()], key);
    }
    ids.Reserve(50000);  // moves every slot
    for (int32_t key = 0; key < 3000; ++key) {
        std::optional<Variant> item = ids.Find(key);
        ASSERT_TRUE(item) << key;
        EXPECT_EQ(*item, kinds[static_cast<size_t>(key) % kinds.size()]) << key;
        EXPECT_EQ(ids.Item(std::to_string(key)), *item) << key;
    }
    EXPECT_FALSE(ids.Find(3000));
    EXPECT_EQ(ids.Count(), 3000);
}

TEST(Collection, KeysPastThe32BitRangeAreTheTextsOfTheirIntegers)
{
    Collection ids;
    ids.Add(Variant(int64_t{5000000001}), int64_t{115347232289});
    ids.Add(Variant("text first"), "2147483648");
    ids.Add(Variant("smallest"), "-9223372036854775808");
    ids.Add(Variant("past 64 bits"), "9223372036854775808");
    ids.Add(Variant("twenty digits"), "10000000000000000000");
    EXPECT_EQ(ids.Count(), 5);
    EXPECT_EQ(ids.Item("115347232289"), Variant(int64_t{5000000001}));
    EXPECT_EQ(*ids.Find(int64_t{2147483648}), Variant("text first"));
    EXPECT_EQ(*ids.Find(INT64_MIN), Variant("smallest"));
    EXPECT_EQ(ids.Item("9223372036854775808"), Variant("past 64 bits"));
    EXPECT_EQ(ids.Item("10000000000000000000"), Variant("twenty digits"));
    EXPECT_FALSE(ids.Find(INT64_MAX));
    EXPECT_FALSE(ids.Find("0115347232289"));
    EXPECT_THROW(ids.Add(Variant(0), "115347232289"), Error);
    EXPECT_THROW(ids.Add(Variant(0), int64_t{2147483648}), Error);
    EXPECT_EQ(ids.Count(), 5);
}

TEST(Collection, ItemsUnderWideKeysKeepTheirKindThroughGrowth)
{
    const std::vector<Variant> kinds = {Variant(int64_t{6000000000}), Variant(int32_t{-7}), Variant("id"),
                                        Variant::Null()};
    constexpr int64_t kFirst = 100000000000;
    Collection ids;
    ids.Reserve(20000);  // made in the wide keys' table as it files its first
    for (int64_t i = 0; i < 30000; ++i) {
        ids.Add(kinds[static_cast<size_t>(i) % kinds.size()], kFirst + i * 7);
    }
    ids.Add(Variant(int32_t{1}), 1);
    EXPECT_EQ(ids.Count(), 30001);
    for (int64_t i = 0; i < 30000; ++i) {
        int64_t key = kFirst + i * 7;
        ASSERT_TRUE(ids.Find(key)) << key;
        EXPECT_EQ(*ids.Find(key), kinds[static_cast<size_t>(i) % kinds.size()]) << key;
        EXPECT_EQ(ids.Item(std::to_string(key)), *ids.Find(key)) << key;
        EXPECT_FALSE(ids.Find(key + 1)) << key;
    }
    EXPECT_EQ(*ids.Find(1), Variant(int32_t{1}));
}
