// The words of `drennow network`: what each option sets, and every request
// refused before any dataset is opened.
#include "request/NetworkOptionTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace drennow::request {
namespace {

using networkrun::Measure;
using ::testing::ElementsAre;

std::string Refusal(const std::vector<std::string>& words)
{
    try {
        ParseNetworkCommandLine(words);
    } catch (const RequestError& error) {
        return error.what();
    }
    return "";
}

TEST(NetworkCommandLineTest, OutputsAreReadInTheirOrderWithSourcesWeightsAndFields)
{
    NetworkCommandLine line =
        ParseNetworkCommandLine({"--next-down-field", "NEXT_DOWN", "--id-field=HYBAS_ID", "--sum", "SUB_AREA=UP",
                                 "--weighted-mean", "a=b*c=d", "--count", "N1", "--count=N2", "--outlet", "O",
                                 "--mean=x=y", "b.gpkg"});
    ASSERT_EQ(line.network.outputs.size(), 6u);
    const auto& outputs = line.network.outputs;
    EXPECT_EQ(outputs[0].measure, Measure::Sum);
    EXPECT_EQ(outputs[0].source, "SUB_AREA");
    EXPECT_EQ(outputs[0].dest, "UP");
    // The last '=' and the last '*' split: names may hold either.
    EXPECT_EQ(outputs[1].source, "a=b");
    EXPECT_EQ(outputs[1].weight, "c");
    EXPECT_EQ(outputs[1].dest, "d");
    EXPECT_EQ(outputs[2].dest, "N1");
    EXPECT_EQ(outputs[3].dest, "N2");
    EXPECT_EQ(outputs[4].measure, Measure::Outlet);
    EXPECT_EQ(outputs[5].source, "x");
    EXPECT_EQ(line.network.nextDownField, "NEXT_DOWN");
    EXPECT_EQ(line.network.idField, "HYBAS_ID");
    EXPECT_THAT(line.datasets, ElementsAre("b.gpkg"));
}

TEST(NetworkCommandLineTest, CodesLevelsAndZeros)
{
    NetworkCommandLine line = ParseNetworkCommandLine(
        {"--pfaf-field", "PFAF_12", "--int64", "--level", "12", "--zeros", "unsubdivided", "--rank", "R", "b.gpkg"});
    EXPECT_TRUE(line.network.options.int64);
    EXPECT_TRUE(line.network.options.zerosUnsubdivided);
    EXPECT_FALSE(line.network.allowTrailingZeros);
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--level", "12", "--rank", "R", "b.gpkg"}),
              "--level: Invalid Level.  Level must be 1 through 9.");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--int64", "--level", "20", "--rank", "R", "b.gpkg"}),
              "--level: Invalid Level.  Level must be 1 through 19.");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--level", "0.4", "--rank", "R", "b.gpkg"}),
              "--level: Invalid Level.  Level must be 1 through 9.");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--level", "1e30", "--rank", "R", "b.gpkg"}),
              "--level: Invalid Level.  Level must be 1 through 9.");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--level", "x", "--rank", "R", "b.gpkg"}), "--level: not a number: x");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--level", "9.4", "--rank", "R", "b.gpkg"}), "");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--trailing-zeros", "yes", "--zeros", "unsubdivided", "--rank", "R",
                       "b.gpkg"}),
              "--trailing-zeros cannot be used with --zeros unsubdivided: zeros there are no closed basins");
}

TEST(NetworkCommandLineTest, RequestsThatCannotBeRunAreRefused)
{
    EXPECT_EQ(Refusal({"--rank", "R", "b.gpkg"}), "give --pfaf-field or --next-down-field (with --id-field)");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--next-down-field", "N", "--id-field", "I", "--rank", "R", "b.gpkg"}),
              "--pfaf-field and --next-down-field cannot be used together");
    EXPECT_EQ(Refusal({"--next-down-field", "N", "--rank", "R", "b.gpkg"}), "--next-down-field needs --id-field");
    EXPECT_EQ(Refusal({"--next-down-field", "N", "--id-field", "I", "--int64", "--rank", "R", "b.gpkg"}),
              "--level, --trailing-zeros, --zeros and --int64 read Pfafstetter codes; --next-down-field gives none");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "b.gpkg"}),
              "nothing to do: give a field to write (such as --sum SRC=DEST) or --upstream-of or --downstream-of");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--rank", "R"}), "no DATASET given");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--rank", "R", "--upstream-of", "1", "b.gpkg"}),
              "--upstream-of changes nothing; it cannot be used with fields to write");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--upstream-of", "1", "--downstream-of", "2", "b.gpkg"}),
              "--upstream-of and --downstream-of cannot be used together");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--rank", "R", "--output", "o.gpkg", "b.gpkg"}),
              "--output writes the basins of --upstream-of or --downstream-of");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--downstream-of", "1", "--fid", "3", "b.gpkg"}),
              "--where and --fid choose the features written; --downstream-of writes none");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--rank", "R", "--fid", "3", "--where", "x=1", "b.gpkg"}),
              "--where and --fid cannot be used together");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--upstream-of", "", "b.gpkg"}),
              "--upstream-of: the list is empty");
}

TEST(NetworkCommandLineTest, MalformedOutputsAreRefused)
{
    for (const char* value : {"AREA", "=UP", "AREA=", "="}) {
        EXPECT_EQ(Refusal({"--pfaf-field", "P", "--sum", value, "b.gpkg"}),
                  std::string("--sum takes SRC=DEST, not ") + value);
    }
    for (const char* value : {"a=b", "*w=b", "a*=b"}) {
        EXPECT_EQ(Refusal({"--pfaf-field", "P", "--weighted-mean", value, "b.gpkg"}),
                  std::string("--weighted-mean takes SRC*WEIGHT=DEST, not ") + value);
    }
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--count", "", "b.gpkg"}), "--count: the field name is empty");
    EXPECT_EQ(Refusal({"--pfaf-field", "P", "--pfaf-field", "Q", "--count", "N", "b.gpkg"}),
              "--pfaf-field is given more than once");
    EXPECT_EQ(Refusal({"--populate", "id", "b.gpkg"}), "unknown option --populate");
}

TEST(NetworkCommandLineTest, HelpListsEveryOptionOfTheTable)
{
    EXPECT_TRUE(ParseNetworkCommandLine({"--help"}).help);
    std::string usage = NetworkUsage();
    EXPECT_EQ(usage.rfind("Usage: drennow network [options] DATASET...\n", 0), 0u);
    for (const NetworkOption& option : NetworkOptionTable()) {
        EXPECT_NE(usage.find(option.name), std::string::npos) << option.name;
    }
    std::istringstream lines(usage);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 79u) << line;
    }
}

}  // namespace
}  // namespace drennow::request
