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
    EXPECT_EQ(ids.Find("2"), nullptr);
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
    ASSERT_NE(ids.Find("BASIN"), nullptr);
    EXPECT_TRUE(ids.Find("basin")->IsNull());
}
