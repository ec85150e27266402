// Id lists at the edges of the integers: refused or read exactly, never an
// overflow and never a list that eats the memory.
#include "request/RunOptionTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

namespace drennow::request {
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
    } catch (const RequestError& error) {
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
    } catch (const RequestError& error) {
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
}  // namespace drennow::request

namespace drennow::request {
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
}  // namespace drennow::request

namespace drennow::request {
namespace {

std::string KeywordRefusal(const std::vector<std::pair<std::string, KeywordValue>>& keywords)
{
    try {
        RequestFromKeywords({"basins.gpkg"}, keywords);
    } catch (const RequestError& error) {
        return error.what();
    }
    return "";
}

std::string WordRefusal(std::vector<std::string> words)
{
    words.push_back("basins.gpkg");
    try {
        ParseCommandLine(words);
    } catch (const RequestError& error) {
        return error.what();
    }
    return "";
}

// What a request asks for, field by field, to compare two surfaces' requests.
std::string Described(const RunRequest& r)
{
    auto text = [](const std::optional<std::string>& v) { return v ? "'" + *v + "'" : std::string("-"); };
    auto yes = [](const std::optional<bool>& v) { return v ? std::to_string(*v) : std::string("-"); };
    std::string fids = "-";
    if (r.selection.fids) {
        fids.clear();
        for (int64_t fid : *r.selection.fids) {
            fids += std::to_string(fid) + ",";
        }
    }
    return text(r.answers.layer) + text(r.selection.layer) + text(r.answers.pfafField) + text(r.answers.level) +
           text(r.answers.idField) + yes(r.answers.trailingZeros) + yes(r.answers.populatePfaf) +
           (r.answers.saveEdits ? std::to_string(*r.answers.saveEdits) : "-") + std::to_string(r.options.int64) +
           std::to_string(r.options.zerosUnsubdivided) + text(r.options.compareWith) + text(r.selection.where) +
           fids + text(r.logFolder);
}

// The keyword surface fills the record that the words fill, through the same
// options, and is refused with the same texts.
TEST(RunOptionTableTest, KeywordsAndWordsMakeTheSameRequest)
{
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::pair<std::string, KeywordValue>>>> same{
        {{"--layer", "Basins", "--pfaf-field", "PFAF", "--level", "4"},
         {{"layer", std::string("Basins")}, {"pfaf_field", std::string("PFAF")}, {"level", std::string("4")}}},
        {{"--populate", "id", "--id-field", "HYBAS_ID", "--trailing-zeros", "no", "--save-edits", "cancel"},
         {{"populate", std::string("id")}, {"id_field", std::string("HYBAS_ID")}, {"trailing_zeros", false},
          {"save_edits", std::string("cancel")}}},
        {{"--int64", "--zeros", "unsubdivided", "--compare-with", "NEXT_DOWN", "--log-dir", "logs"},
         {{"int64", true}, {"zeros", std::string("unsubdivided")}, {"compare_with", std::string("NEXT_DOWN")},
          {"log_dir", std::string("logs")}}},
        {{"--fid", "3,5-7"}, {{"fid", std::vector<int64_t>{3, 5, 6, 7}}}},
        {{"--fid", "3,5-7"}, {{"fid", std::string("3,5-7")}}},
        {{"--where", "SUB_AREA > 10", "--trailing-zeros", "yes"},
         {{"where", std::string("SUB_AREA > 10")}, {"trailing_zeros", true}, {"int64", false}}},
    };
    for (const auto& [words, keywords] : same) {
        std::vector<std::string> line = words;
        line.push_back("basins.gpkg");
        EXPECT_EQ(Described(ParseCommandLine(line)), Described(RequestFromKeywords({"basins.gpkg"}, keywords)))
            << line.front();
    }

    const std::vector<std::pair<std::vector<std::string>, std::vector<std::pair<std::string, KeywordValue>>>> refused{
        {{"--where", "A = 1", "--fid", "1"}, {{"where", std::string("A = 1")}, {"fid", std::vector<int64_t>{1}}}},
        {{"--populate", "pfaf", "--id-field", "H"}, {{"populate", std::string("pfaf")}, {"id_field", std::string("H")}}},
        {{"--zeros", "unsubdivided", "--trailing-zeros", "yes"},
         {{"zeros", std::string("unsubdivided")}, {"trailing_zeros", true}}},
        {{"--populate", "codes"}, {{"populate", std::string("codes")}}},
        {{"--level", "four"}, {{"level", std::string("four")}}},
        {{"--where", " "}, {{"where", std::string(" ")}}},
        {{"--fid", ""}, {{"fid", std::vector<int64_t>{}}}},
        {{"--fid", "1-20000000"}, {{"fid", std::string("1-20000000")}}},
    };
    for (const auto& [words, keywords] : refused) {
        std::string byWords = WordRefusal(words);
        EXPECT_NE(byWords, "") << words.front();
        EXPECT_EQ(KeywordRefusal(keywords), byWords);
    }
}

TEST(RunOptionTableTest, KeywordsThatNoOptionHasOrValuesOfTheWrongKindAreRefused)
{
    EXPECT_EQ(KeywordRefusal({{"batch", true}}), "unknown keyword batch");
    EXPECT_EQ(KeywordRefusal({{"layers", std::string("A")}}), "unknown keyword layers");
    EXPECT_EQ(KeywordRefusal({{"layer", true}}), "layer: not a value --layer takes");
    EXPECT_EQ(KeywordRefusal({{"int64", std::string("yes")}}), "int64: not a value --int64 takes");
    EXPECT_EQ(KeywordRefusal({{"where", std::vector<int64_t>{1}}}), "where: not a value --where takes");
    EXPECT_THROW(RequestFromKeywords({}, {}), RequestError);
    EXPECT_TRUE(RequestFromKeywords({"basins.gpkg"}, {}).batch);
}

// Every question that an option answers is named by it in the terminal's
// hints, and every option is in the help, in lines that fit a terminal of
// 80 columns.
TEST(RunOptionTableTest, TheHelpAndTheHintsNameEveryOption)
{
    const std::string usage = Usage();
    for (const RunOption& option : RunOptionTable()) {
        std::string shown = std::string(option.name) + (option.value ? std::string(" ") + option.value : "");
        EXPECT_NE(usage.find(" " + shown), std::string::npos) << shown;
        if (option.question) {
            EXPECT_STREQ(OptionAnswering(*option.question), option.name);
        }
    }
    for (host::Prompt asked : {host::Prompt::TrailingZeros, host::Prompt::Layer, host::Prompt::PfafField,
                               host::Prompt::Level, host::Prompt::Populate, host::Prompt::IdField,
                               host::Prompt::SaveEdits}) {
        EXPECT_NE(std::string(OptionAnswering(asked)), "an answer");
    }
    EXPECT_STREQ(OptionAnswering(host::Prompt::Completion), "an answer");
    size_t start = 0;
    for (size_t end = usage.find('\n'); end != std::string::npos; start = end + 1, end = usage.find('\n', start)) {
        EXPECT_LE(end - start, 80u) << usage.substr(start, end - start);
    }
}

}  // namespace
}  // namespace drennow::request
