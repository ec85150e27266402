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

// Where no log can be made, even by the superuser: inside a plain file, or
// where the log's own name is a folder.
std::string UnusableLogFolder(const TempFolder& logs, bool underAFile)
{
    if (underAFile) {
        std::ofstream(logs.File("notes.txt")) << "not a folder\n";
        return logs.File("notes.txt/logs");
    }
    fs::create_directory(logs.File("Drennow.log"));
    return logs.Path();
}

class LogFolderTest : public ::testing::TestWithParam<bool> {};

TEST_P(LogFolderTest, ALogThatCannotBeWrittenIsAnErrorAtTheLastStageAndTheEditsStaySaved)
{
    TempFolder folder;
    TempFolder logs;
    std::vector<gdaltest::Basin> basins = e2e::VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, true);
    std::vector<std::string> arguments = IdAnswers(Format::GeoPackage);
    arguments.insert(arguments.end(), {"--log-dir", UnusableLogFolder(logs, GetParam()), dataset});
    e2e::ChildResult run = Drennow(arguments);
    PrintOutcome(GetParam() ? "log folder inside a file" : "log name taken by a folder", run);
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_THAT(run.out, EndsWith("\n14\n"));
    EXPECT_THAT(run.out, HasSubstr("\nError "));
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"),
              e2e::Expect(basins, 1, {false, true, std::nullopt}).nextDownIds);
}

INSTANTIATE_TEST_SUITE_P(Places, LogFolderTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "UnderAFile" : "NameTakenByAFolder"; });

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
    EXPECT_THAT(run.out, HasSubstr("\nError "));
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
