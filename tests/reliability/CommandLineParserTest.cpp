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
    EXPECT_EQ(Refusal("-9223372036854775808-9223372036854775807"),
              "--fid: -9223372036854775808-9223372036854775807 names more ids than a list may hold (10000000)");
    EXPECT_EQ(Refusal("0-10000000"), "--fid: 0-10000000 names more ids than a list may hold (10000000)");
    EXPECT_EQ(Refusal("5-4"), "--fid: not a range of ids: 5-4");
    EXPECT_THAT(Refusal("9223372036854775808"), HasSubstr("not a whole number"));
    EXPECT_EQ(Fids("1-10000000").size(), static_cast<size_t>(kMostListedIds));
}

// Each range is short, but together they are more than any layer to edit.
TEST(CommandLineParserTest, ListsLongerThanTheLimitAltogetherAreRefused)
{
    std::string list = "1-6000000,1-6000000";
    EXPECT_EQ(Refusal(list), "--fid: more ids than a list may hold (10000000)");
    EXPECT_EQ(Refusal("1-10000000,5"), "--fid: more ids than a list may hold (10000000)");
}

std::string RefusalOf(const std::vector<std::string>& arguments)
{
    try {
        ParseCommandLine(arguments);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

// Answers that would end the run quietly, or widen the selection to every
// feature, are refused before anything is opened.
TEST(CommandLineParserTest, AnEmptyFilterOrALevelThatIsNoNumberIsRefused)
{
    for (const char* blank : {"", " ", "\t\n"}) {
        EXPECT_EQ(RefusalOf({"--where", blank, "basins.gpkg"}),
                  "--where: the filter is empty; without --where every feature is written");
    }
    EXPECT_EQ(RefusalOf({"--where=", "basins.gpkg"}), "--where: the filter is empty; without --where every feature is written");
    EXPECT_EQ(RefusalOf({"--level", "abc", "basins.gpkg"}), "--level: not a number: abc");
    EXPECT_EQ(RefusalOf({"--level", "", "basins.gpkg"}), "--level: not a number: ");
    // Numbers outside 1 to 9 are the run's to judge, with its own message.
    for (const char* level : {"3", " 3 ", "3.5", "12", "-1"}) {
        EXPECT_EQ(*ParseCommandLine({"--level", level, "basins.gpkg"}).answers.level, level);
    }
}


// A filter's second statement would be dropped unseen by the database; a
// semicolon inside a quoted text or name is part of it.
TEST(CommandLineParserTest, AFilterWithATrailingStatementIsRefused)
{
    for (const char* filter : {"HydroID > 3; DROP TABLE Watershed", "HydroID > 3 ;HydroID < 2", "a = 'x'';'; b"}) {
        EXPECT_THAT(RefusalOf({"--where", filter, "basins.gpkg"}),
                    HasSubstr("--where: the filter holds more than one statement"))
            << filter;
    }
    EXPECT_THAT(RefusalOf({"--where=HydroID > 3; DROP TABLE Watershed", "basins.gpkg"}),
                ::testing::EndsWith("would be dropped: DROP TABLE Watershed"));
    for (const char* filter : {"Name = 'a;b'", "\"odd;name\" = 1", "[odd;name] = 1", "`odd;name` = 1", "HydroID > 3;",
                               "HydroID > 3; \t"}) {
        EXPECT_EQ(*ParseCommandLine({"--where", filter, "basins.gpkg"}).selection.where, filter);
    }
}

// The last of two answers would silently win over the first.
TEST(CommandLineParserTest, AnOptionWithAValueGivenTwiceIsRefused)
{
    const std::vector<std::vector<std::string>> twice{
        {"--fid", "1", "--fid", "2"},
        {"--where", "HydroID > 1", "--where=HydroID < 9"},
        {"--layer", "Watershed", "--layer", "Watershed"},
        {"--level=3", "--level", "4"},
        {"--log-dir", "a", "--log-dir", "b"},
        {"--populate", "id", "--populate", "pfaf"},
        {"--compare-with", "A", "--compare-with", "B"},
    };
    for (std::vector<std::string> arguments : twice) {
        std::string option = arguments[0].substr(0, arguments[0].find('='));
        arguments.push_back("basins.gpkg");
        EXPECT_EQ(RefusalOf(arguments), option + " is given more than once");
    }
    // Flags say the same thing however often they are given.
    EXPECT_TRUE(ParseCommandLine({"--batch", "--batch", "basins.gpkg"}).batch);
}

TEST(CommandLineParserTest, AnIdentifierFieldWithCodesToWriteIsRefused)
{
    EXPECT_EQ(RefusalOf({"--populate", "pfaf", "--id-field", "HydroID", "basins.gpkg"}),
              "--id-field cannot be used with --populate pfaf, which writes the codes themselves");
    EXPECT_EQ(RefusalOf({"--id-field=HydroID", "--populate=pfaf", "basins.gpkg"}),
              "--id-field cannot be used with --populate pfaf, which writes the codes themselves");
    EXPECT_EQ(*ParseCommandLine({"--populate", "id", "--id-field", "HydroID", "basins.gpkg"}).answers.idField,
              "HydroID");
    EXPECT_EQ(*ParseCommandLine({"--id-field", "HydroID", "basins.gpkg"}).answers.idField, "HydroID");
}

}  // namespace
}  // namespace drennow::app

namespace drennow::app {
namespace {

TEST(CommandLineParserTest, OptionsForLargeCodeSetsReachTheRunOptions)
{
    CommandLine plain = ParseCommandLine({"basins.gpkg"});
    EXPECT_FALSE(plain.options.int64);
    EXPECT_FALSE(plain.options.zerosUnsubdivided);
    EXPECT_FALSE(plain.options.compareWith);

    CommandLine world =
        ParseCommandLine({"--int64", "--zeros", "unsubdivided", "--compare-with", "NEXT_DOWN", "basins.gpkg"});
    EXPECT_TRUE(world.options.int64);
    EXPECT_TRUE(world.options.zerosUnsubdivided);
    EXPECT_EQ(world.options.compareWith, "NEXT_DOWN");
    EXPECT_FALSE(ParseCommandLine({"--zeros=closed", "basins.gpkg"}).options.zerosUnsubdivided);

    EXPECT_EQ(RefusalOf({"--zeros", "open", "basins.gpkg"}), "--zeros takes closed|unsubdivided, not open");
    EXPECT_EQ(RefusalOf({"--zeros", "unsubdivided", "--trailing-zeros", "no", "basins.gpkg"}),
              "--trailing-zeros cannot be used with --zeros unsubdivided: zeros there are no closed basins");
}

}  // namespace
}  // namespace drennow::app
