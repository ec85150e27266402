#include "command/FailureCodes.h"

#include <gtest/gtest.h>

using drennow::command::DescribeFailureCode;

TEST(DescribeFailureCode, GivesTheTextOfEveryCode)
{
    EXPECT_EQ(DescribeFailureCode(-9), "Basin drains to waterbody/internally");
    EXPECT_EQ(DescribeFailureCode(-8), "Basin drains internally");
    EXPECT_EQ(DescribeFailureCode(-6), "PfafsetterID is <Null>");
    EXPECT_EQ(DescribeFailureCode(-5), "Downstream ID not found in database");
    EXPECT_EQ(DescribeFailureCode(-4), "PfafsetterID has more digits than specified Level");
    EXPECT_EQ(DescribeFailureCode(-3), "PfafsetterID < 0");
    EXPECT_EQ(DescribeFailureCode(-2), "Could not determine bounds for downstream ID");
    for (int32_t unknown : {-1, -7, 0, -10, 5, -2147483647 - 1}) {
        EXPECT_EQ(DescribeFailureCode(unknown), "Unknown Error") << unknown;
    }
}
