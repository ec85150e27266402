// The command line's contract: help, version, refused command lines and
// answers, and the exit status of every way a run ends.
#include "ChildProcess.h"
#include "DrawnProgress.h"
#include "ExpectedRun.h"
#include "GdalTestData.h"
#include "command/ExitStatus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

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
    // Every exit status with what it means, however the lines are broken.
    std::string flowing = help.out;
    std::replace(flowing.begin(), flowing.end(), '\n', ' ');
    for (const command::ExitStatusMeaning& status : command::kExitStatuses) {
        EXPECT_THAT(flowing, HasSubstr(std::to_string(status.status) + " " + status.meaning));
    }
    ChildResult version = Drennow({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, std::string("drennow ") + DRENNOW_VERSION + "\n");
}

std::vector<std::string> ProgramsOfTheProject()
{
    std::vector<std::string> programs{DRENNOW_BINARY, MAKE_SAMPLE_BINARY};
    std::string benches = BENCH_PROGRAMS;
    for (size_t start = 0; start < benches.size();) {
        size_t colon = std::min(benches.find(':', start), benches.size());
        programs.push_back(benches.substr(start, colon - start));
        start = colon + 1;
    }
    return programs;
}

// Asked for help, every program says how it is used, and does nothing else:
// no file named after the option, no benchmark started.
TEST(CommandLineTest, EveryProgramOfTheProjectHasItsHelp)
{
    std::vector<std::string> programs = ProgramsOfTheProject();
    EXPECT_GE(programs.size(), 3u);
    for (const std::string& program : programs) {
        TempFolder folder;
        ChildOptions options;
        options.workingFolder = folder.Path();
        ChildResult help = RunChild(program, {"--help"}, options);
        std::string name = std::filesystem::path(program).filename();
        EXPECT_EQ(help.exitStatus, 0) << name << ": " << help.err;
        EXPECT_THAT(help.out, StartsWith("Usage: " + name + " ")) << name;
        EXPECT_EQ(help.err, "") << name;
        EXPECT_TRUE(std::filesystem::is_empty(folder.Path())) << name;
    }
    TempFolder folder;
    ChildOptions options;
    options.workingFolder = folder.Path();
    ChildResult option = RunChild(MAKE_SAMPLE_BINARY, {"--level", "2"}, options);
    EXPECT_EQ(option.exitStatus, 2);
    EXPECT_THAT(option.err, StartsWith("Usage: drennow-make-sample "));
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

// drennow ... > /dev/full: what the run printed is lost, and the exit status
// and stderr say so, and what became of the run.
TEST(CommandLineTest, AnOutputThatCannotBeWrittenIsAnError)
{
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, false);
    auto intoAFullDevice = [](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"-c", "exec \"$0\" \"$@\" > /dev/full", DRENNOW_BINARY});
        return RunChild("/bin/sh", arguments);
    };
    ChildResult run = intoAFullDevice({"--batch", "--populate", "pfaf", "--trailing-zeros", "no", dataset});
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_THAT(run.err, HasSubstr("drennow: standard output could not be written"));
    EXPECT_THAT(run.err, HasSubstr("the run finished and its edits are saved, but what it printed there is lost"));
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"),
              Expect(basins, 1, {false, false, std::nullopt}).nextDownIds);

    for (const char* asked : {"--help", "--version"}) {
        ChildResult help = intoAFullDevice({asked});
        EXPECT_EQ(help.exitStatus, 1) << asked;
        EXPECT_EQ(help.err, "drennow: standard output could not be written (No space left on device)\n") << asked;
    }
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
        {{"--pfaf-field", "Nowhere"},
         "--pfaf-field Nowhere is not one of the entries offered: HydroID, PfafstetterID, Name, Area\n"},
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
    EXPECT_THAT(invalidLevel.err, HasSubstr("\nInvalid Level.  Level must be 1 through 9.\n"));

    ChildResult noFeatures = Drennow({empty});
    EXPECT_EQ(noFeatures.exitStatus, 3);
    EXPECT_THAT(noFeatures.err, HasSubstr("\nNo features found\n"));

    ChildOptions atTheTerminal;
    atTheTerminal.input = Input::Terminal;
    atTheTerminal.interact = [](int terminal, int, const auto&) {
        const std::string typed = "n\nc\n";  // no trailing zeros; Cancel the layer list
        ASSERT_EQ(::write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    };
    ChildResult declined = RunChild(DRENNOW_BINARY, {dataset}, atTheTerminal);
    EXPECT_EQ(declined.exitStatus, 4) << declined.out << declined.err;
    EXPECT_THAT(declined.out, ::testing::Not(HasSubstr("Finished")));
    EXPECT_FALSE(gdaltest::HasField(dataset, "Watershed", "NextDownID"));

    ChildResult finished = Drennow({"--populate", "pfaf", dataset});
    EXPECT_EQ(finished.exitStatus, 0);
    EXPECT_THAT(finished.out, HasSubstr("\nFinished with NextDownID Determination\n"));
}

}  // namespace
}  // namespace drennow::e2e

namespace drennow::e2e {
namespace {

using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;

// Without a person to ask, a list whose entry would be taken only for coming
// first is refused, and the option that answers it named.
TEST(BatchTest, NoListIsAnsweredByItsFirstEntryAlone)
{
    TempFolder folder;
    std::string basins = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), false, "Basins");
    TempFolder other;
    std::string regions = gdaltest::CreateWatersheds(Format::GeoPackage, other, VariedBasins(), false, "Regions");
    ChildResult layers = RunChild(DRENNOW_BINARY, {"--batch", basins, regions});
    EXPECT_EQ(layers.exitStatus, 2) << layers.out << layers.err;
    EXPECT_EQ(layers.err, "drennow: no entry has a name the run looks for, and without input it does not guess: "
                          "give --layer with one of the entries offered: Basins, Regions\n");

    // A Shapefile keeps ten characters of PfafstetterID: no field has a
    // name the run looks for.
    TempFolder shapes;
    std::string shapefile = gdaltest::CreateWatersheds(Format::Shapefile, shapes, VariedBasins(), false);
    auto before = gdaltest::Snapshot(shapefile, "Watershed");
    ChildResult fields = RunChild(DRENNOW_BINARY, {"--batch", shapefile});
    EXPECT_EQ(fields.exitStatus, 2) << fields.out << fields.err;
    EXPECT_THAT(fields.err, HasSubstr("give --pfaf-field with one of the entries offered: HydroID, "));
    EXPECT_EQ(gdaltest::Snapshot(shapefile, "Watershed"), before);
    EXPECT_FALSE(gdaltest::HasField(shapefile, "Watershed", "NextDownID"));

    // Named, or the only entry, or a preferred name: taken.
    ChildResult answered = RunChild(DRENNOW_BINARY, {"--batch", "--layer", "Regions", basins, regions});
    EXPECT_EQ(answered.exitStatus, 0) << answered.out << answered.err;
    EXPECT_THAT(answered.out, HasSubstr("PfafstetterID (default)"));
    ChildResult alone = RunChild(DRENNOW_BINARY, {"--batch", basins});
    EXPECT_EQ(alone.exitStatus, 0) << alone.out << alone.err;
    EXPECT_THAT(alone.out, HasSubstr("Basins (default)"));
}

TEST(SelectionTest, IdsThatAreNoFeatureAreCountedAndTheRunGoesOnWithTheRest)
{
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, false);
    ChildResult run = RunChild(DRENNOW_BINARY, {"--batch", "--fid", "2-3,700-799", dataset});
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "drennow: --fid: 100 of the ids given are of no feature of Watershed; the run goes on with "
                       "the 2 that are\n");
    auto written = gdaltest::FieldValues(dataset, "Watershed", "NextDownID");
    size_t set = 0;
    for (const auto& [fid, value] : written) {
        EXPECT_EQ(value.has_value(), fid == 2 || fid == 3) << fid;
        set += value.has_value();
    }
    EXPECT_EQ(set, 2u);
}

// In a shared folder, a link planted under the log's name must not make the
// run overwrite the file it points to.
TEST(LogTest, ALinkPlantedUnderTheLogsNameIsReplacedNotFollowed)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), false);
    std::string target = folder.File("thesis.txt");
    {
        std::ofstream(target) << "years of work\n";
    }
    std::filesystem::create_symlink(target, folder.File("Drennow.log"));
    ChildResult run = RunChild(DRENNOW_BINARY, {"--batch", dataset});
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(gdaltest::ReadFile(target), "years of work\n");
    EXPECT_FALSE(std::filesystem::is_symlink(folder.File("Drennow.log")));
    EXPECT_EQ(gdaltest::ReadFile(folder.File("Drennow.log")),
              Expect(VariedBasins(), 1, {true, false, {}}).log);
}

// The comparison is one line after the closing message and a log of the
// differences beside the failure log; it changes no exit status.
TEST(CompareTest, TheAgreementIsPrintedAndTheDifferencesLogged)
{
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, false);
    ChildResult run = RunChild(DRENNOW_BINARY, {"--batch", "--populate", "id", "--compare-with", "HydroID", dataset});
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    // No basin drains into itself: nothing agrees.
    EXPECT_THAT(run.out, ::testing::EndsWith("\nAgreement with HydroID: 0 of " + std::to_string(basins.size()) +
                                             " basins (0.0 %)\n"));
    std::string log = gdaltest::ReadFile(folder.File("Drennow-compare.log"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), static_cast<long>(basins.size()) + 2);

    ChildResult missing = RunChild(DRENNOW_BINARY, {"--batch", "--compare-with", "NEXT_DOWN", dataset});
    EXPECT_EQ(missing.exitStatus, 3);
    EXPECT_THAT(missing.err, HasSubstr("The field called NEXT_DOWN was not found in the layer"));
}

// drennow data.gpkg | grep Finished: the questions are asked on the
// terminal, and only the result goes into the pipe.
TEST(TerminalTest, QuestionsGoToTheTerminalWhenTheOutputIsAPipe)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), false);
    ChildOptions options;
    options.input = Input::Terminal;
    options.interact = [](int terminal, int, const auto&) {
        const std::string typed = "n\n\n\n\ny\n";  // no trailing zeros, defaults, Pfafstetter codes
        ASSERT_EQ(::write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    };
    ChildResult run = RunChild(DRENNOW_BINARY, {dataset}, options);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err << run.terminal;
    EXPECT_THAT(run.terminal, HasSubstr("Allow trailing zeros during NextDownID determination?"));
    EXPECT_THAT(run.terminal, HasSubstr("Select Watershed Layer"));
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr("Select Watershed Layer")));
    EXPECT_THAT(run.out, HasSubstr("Finished with NextDownID Determination"));
}

// A person at the terminal sees the progress line there: each of the run's
// loops (the codes, the identifiers, the pass) with its own count, and a bar
// that shows the same share of the layer's features as the count.
TEST(TerminalTest, TheProgressLineShowsACountAndTheBarItsShare)
{
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, false);
    ChildOptions options;
    options.input = Input::Terminal;
    ChildResult run = RunChild(DRENNOW_BINARY,
                               {"--trailing-zeros", "no", "--layer", "Watershed", "--pfaf-field", "PfafstetterID",
                                "--level", "2", "--populate", "id", "--id-field", "HydroID", dataset},
                               options);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err << run.terminal;
    std::vector<std::string> counted;
    for (const gdaltest::DrawnLine& line : gdaltest::DrawnLines(run.terminal)) {
        if (line.count) {
            EXPECT_TRUE(gdaltest::CountAndBarAgree(line, static_cast<int32_t>(basins.size())))
                << line.message << " [" << line.filled << " of " << line.width << "] " << line.percent << "%";
            counted.push_back(line.message);
        }
    }
    EXPECT_THAT(counted, ::testing::IsSupersetOf({std::string("Building ID collection 1.. Hit Esc to Cancel"),
                                                  std::string("Finding NextDownID 1.. Hit Esc to Cancel")}));
}

}  // namespace
}  // namespace drennow::e2e
