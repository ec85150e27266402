// Id lists at the edges of the integers: refused or read exactly, never an
// overflow and never a list that eats the memory.
#include "CommandLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

namespace drennow::app {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<int64_t> Fids(const std::string& list)
{
    return *ParseCommandLine({"--fid", list, "basins.gpkg"}).selection.fids;
}

std::string Refusal(const std::string& list)
{
    try {
        ParseCommandLine({"--fid", list, "basins.gpkg"});
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

TEST(CommandLineParserTest, RangesReachingTheLargestAndSmallestIdsAreReadExactly)
{
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    EXPECT_THAT(Fids("9223372036854775805-9223372036854775807"), ElementsAre(kMax - 2, kMax - 1, kMax));
    EXPECT_THAT(Fids("-9223372036854775808--9223372036854775807"), ElementsAre(kMin, kMin + 1));
    EXPECT_THAT(Fids("-2-1,7"), ElementsAre(-2, -1, 0, 1, 7));
}

TEST(CommandLineParserTest, RangesSpanningMoreIdsThanCanBeListedAreRefused)
{
    EXPECT_THAT(Refusal("-9223372036854775808-9223372036854775807"), HasSubstr("not a range of ids"));
    EXPECT_THAT(Refusal("0-10000000"), HasSubstr("not a range of ids"));
    EXPECT_THAT(Refusal("9223372036854775808"), HasSubstr("not a whole number"));
    EXPECT_EQ(Fids("1-10000000").size(), static_cast<size_t>(kMostListedIds));
}

// Each range is short, but together they are more than any layer to edit.
TEST(CommandLineParserTest, ListsLongerThanTheLimitAltogetherAreRefused)
{
    std::string list = "1-6000000,1-6000000";
    EXPECT_THAT(Refusal(list), HasSubstr("--fid: more than 10000000 ids"));
    EXPECT_THAT(Refusal("1-10000000,5"), HasSubstr("--fid: more than 10000000 ids"));
}

}  // namespace
}  // namespace drennow::app
