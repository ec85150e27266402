// No room to write and nowhere to write: the log's folder cannot take the
// log, or the data's files may not grow. The run ends with its error report;
// what it saved stays saved, and what it had not saved is not half-saved.
#include "ExpectedRun.h"
#include "Reliability.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace drennow::reliability {
namespace {

namespace fs = std::filesystem;
using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::EndsWith;
using ::testing::HasSubstr;

// The log's folder can be written, but the log's own name is a folder: no
// log can be made there, even by the superuser. That is found before the
// save, and nothing is saved.
TEST(LogFolderTest, ALogThatCannotBeWrittenEndsTheRunBeforeTheSave)
{
    TempFolder folder;
    TempFolder logs;
    std::vector<gdaltest::Basin> basins = e2e::VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, true);
    fs::create_directory(logs.File("Drennow.log"));
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    std::vector<std::string> arguments = IdAnswers(Format::GeoPackage);
    arguments.insert(arguments.end(), {"--log-dir", logs.Path(), dataset});
    e2e::ChildResult run = Drennow(arguments);
    PrintOutcome("log name taken by a folder", run);
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_THAT(run.err, EndsWith("\nError 70: Permission denied\n13\ndrennow: the run stopped at stage 13 of 14 "
                                  "(saving the edits); no value was saved\n"));
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    EXPECT_TRUE(fs::is_directory(logs.File("Drennow.log")));
}

// A log folder that is missing, a file, or not writable is found before
// anything changes.
TEST(LogFolderTest, AFolderThatCannotTakeTheLogIsRefusedBeforeAnythingChanges)
{
    TempFolder folder;
    TempFolder logs;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, e2e::VariedBasins(), false);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    std::ofstream(logs.File("notes.txt")) << "not a folder\n";
    fs::create_directory(logs.File("locked"));
    fs::permissions(logs.File("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    fs::permissions(logs.Path(), fs::perms::others_exec, fs::perm_options::add);
    const std::vector<std::pair<std::string, std::string>> unusable{
        {logs.File("notes.txt/logs"), " is not a folder"},
        {logs.File("missing"), " is not a folder"},
        {logs.File("notes.txt"), " is not a folder"},
        {logs.File("locked"), " cannot be written"},
    };
    for (const auto& [logFolder, reason] : unusable) {
        std::vector<std::string> arguments = IdAnswers(Format::GeoPackage);
        arguments.insert(arguments.end(), {"--log-dir", logFolder, dataset});
        e2e::ChildOptions unprivileged;
        unprivileged.asUnprivilegedUser = true;
        e2e::ChildResult run = e2e::RunChild(DRENNOW_BINARY, arguments, unprivileged);
        EXPECT_EQ(run.exitStatus, 2) << logFolder << run.out << run.err;
        EXPECT_EQ(run.err, "drennow: --log-dir: " + logFolder + reason + "\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    EXPECT_FALSE(gdaltest::HasField(dataset, "Watershed", "NextDownID"));
}

class FileSizeLimitTest : public ::testing::TestWithParam<Format> {};

// The limit is far below the size of the data: neither SQLite's journal nor
// the staged copy of a Shapefile's table can be written in full.
TEST_P(FileSizeLimitTest, DataThatCannotGrowEndsTheRunCleanlyAndStaysAsItWas)
{
    Format format = GetParam();
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(format, folder, Subdivision(4), true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    auto filesBefore = FolderContents(folder.Path());

    std::vector<std::string> arguments{"--fsize=65536", DRENNOW_BINARY};
    for (const std::string& answer : IdAnswers(format)) {
        arguments.push_back(answer);
    }
    arguments.push_back(dataset);
    e2e::ChildOptions options;
    options.workingFolder = folder.Path();
    e2e::ChildResult run = e2e::RunChild("/usr/bin/prlimit", arguments, options);
    PrintOutcome(gdaltest::FormatName(format) + " under a 64 KiB file-size limit", run);
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("\nError "));
    if (format == Format::GeoPackage) {
        EXPECT_EQ(IntegrityCheck(dataset), "ok");
    }
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    // Nothing is left behind: no staged copy, no journal once SQLite has
    // rolled back.
    EXPECT_TRUE(FolderContents(folder.Path()) == filesBefore);
}

INSTANTIATE_TEST_SUITE_P(Formats, FileSizeLimitTest, ::testing::Values(Format::GeoPackage, Format::Shapefile),
                         [](const auto& info) { return gdaltest::FormatName(info.param); });

}  // namespace
}  // namespace drennow::reliability
