// The command line's contract: help, version, refused command lines and
// answers, and the exit status of every way a run ends.
#include "ChildProcess.h"
#include "ExpectedRun.h"
#include "GdalTestData.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace drennow::e2e {
namespace {

using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;
using ::testing::StartsWith;

ChildResult Drennow(const std::vector<std::string>& arguments)
{
    return RunChild(DRENNOW_BINARY, arguments);
}

TEST(CommandLineTest, HelpAndVersion)
{
    ChildResult help = Drennow({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_THAT(help.out, StartsWith("Usage: drennow [options] DATASET...\n"));
    for (const char* option : {"--trailing-zeros yes|no", "--layer NAME", "--pfaf-field NAME", "--level N",
                               "--populate pfaf|id", "--id-field NAME", "--save-edits yes|no|cancel", "--where SQL",
                               "--fid LIST", "--log-dir DIR", "--batch"}) {
        EXPECT_THAT(help.out, HasSubstr(option));
    }
    ChildResult version = Drennow({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, std::string("drennow ") + DRENNOW_VERSION + "\n");
}

TEST(CommandLineTest, CommandLinesThatCannotRunEndWithStatusTwo)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), false);
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
        {{}, "no DATASET given"},
        {{"--colour", dataset}, "unknown option --colour"},
        {{"--populate", "maybe", dataset}, "--populate takes id|pfaf, not maybe"},
        {{"--trailing-zeros=perhaps", dataset}, "--trailing-zeros takes no|yes, not perhaps"},
        {{dataset, "--level"}, "--level needs a value"},
        {{"--fid", "3,x", dataset}, "--fid: not a whole number: x"},
        {{"--fid", "9-3", dataset}, "--fid: not a range of ids: 9-3"},
        {{"--where", "HydroID > 0", "--fid", "1", dataset}, "--where and --fid cannot be used together"},
        {{folder.File("missing.gpkg")}, folder.File("missing.gpkg")},
        {{"--where", "HydroID < 0", dataset}, "The selection holds no feature"},
        {{"--where", "Nothing = 1", dataset}, "Cannot select in Watershed"},
    };
    for (const auto& [arguments, message] : refused) {
        ChildResult run = Drennow(arguments);
        EXPECT_EQ(run.exitStatus, 2) << message;
        EXPECT_THAT(run.err, HasSubstr(message));
        EXPECT_EQ(run.out, "") << message;
    }
    EXPECT_FALSE(gdaltest::HasField(dataset, "Watershed", "NextDownID"));
}

TEST(CommandLineTest, AnAnswerThatIsNotOfferedIsRefusedBeforeAnythingChanges)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), false);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
        {{"--layer", "Basins"}, "--layer Basins is not one of the entries offered: Watershed\n"},
        {{"--pfaf-field", "Name"}, "--pfaf-field Name is not one of the entries offered: HydroID, PfafstetterID\n"},
        {{"--populate", "id", "--id-field", "Area"},
         "--id-field Area is not one of the entries offered: fid, HydroID, PfafstetterID\n"},
    };
    for (auto [arguments, message] : refused) {
        arguments.push_back(dataset);
        ChildResult run = Drennow(arguments);
        EXPECT_EQ(run.exitStatus, 2) << run.out << run.err;
        EXPECT_EQ(run.err, "drennow: " + message);
    }
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    EXPECT_FALSE(gdaltest::HasField(dataset, "Watershed", "NextDownID"));
}

TEST(CommandLineTest, EveryWayARunEndsHasItsStatus)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), false);
    TempFolder emptyFolder;
    std::string empty = gdaltest::CreateWatersheds(Format::GeoPackage, emptyFolder, {}, false);

    ChildResult invalidLevel = Drennow({"--level", "12", dataset});
    EXPECT_EQ(invalidLevel.exitStatus, 3);
    EXPECT_THAT(invalidLevel.out, HasSubstr("\nInvalid Level.  Level must be 1 through 9.\n"));

    ChildResult noFeatures = Drennow({empty});
    EXPECT_EQ(noFeatures.exitStatus, 3);
    EXPECT_THAT(noFeatures.out, HasSubstr("\nNo features found\n"));

    ChildResult declined = Drennow({"--level", "two", dataset});
    EXPECT_EQ(declined.exitStatus, 4);
    EXPECT_THAT(declined.out, ::testing::Not(HasSubstr("Finished")));
    EXPECT_FALSE(gdaltest::HasField(dataset, "Watershed", "NextDownID"));

    ChildResult finished = Drennow({"--populate", "pfaf", dataset});
    EXPECT_EQ(finished.exitStatus, 0);
    EXPECT_THAT(finished.out, HasSubstr("\nFinished with NextDownID Determination\n"));
}

}  // namespace
}  // namespace drennow::e2e
