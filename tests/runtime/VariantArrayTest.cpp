#include "runtime/Error.h"
#include "runtime/VariantArray.h"

#include <gtest/gtest.h>

using drennow::runtime::Error;
using drennow::runtime::Variant;
using drennow::runtime::VariantArray;

TEST(VariantArray, UnallocatedArrayRaisesNineOnEveryAccess)
{
    VariantArray values;
    EXPECT_FALSE(values.IsAllocated());
    EXPECT_THROW(values.UBound(), Error);
    EXPECT_THROW(values.LBound(), Error);
    try {
        values(1);
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.Number(), 9);
    }
}

TEST(VariantArray, GrowsFromOneKeepingItsContents)
{
    VariantArray values;
    values.ReDimPreserve(1);
    values(1) = Variant(int32_t{7});
    values.ReDimPreserve(2);
    values(2) = Variant("8");
    EXPECT_EQ(values.LBound(), 1);
    EXPECT_EQ(values.UBound(), 2);
    EXPECT_EQ(values(1), Variant(int32_t{7}));
    EXPECT_EQ(values(2), Variant("8"));
    EXPECT_THROW(values(0), Error);
    EXPECT_THROW(values(3), Error);
}

TEST(VariantArray, KeepsALowerBoundAboveOne)
{
    VariantArray values;
    values.ReDim(2, 4);
    EXPECT_EQ(values.LBound(), 2);
    EXPECT_EQ(values.UBound(), 4);
    EXPECT_TRUE(values(2).IsEmpty());
    EXPECT_THROW(values(1), Error);
}
