// The bundled sample is what the generator makes, and a run on it finishes.
#include "ChildProcess.h"
#include "GdalTestData.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace drennow::e2e {
namespace {

using gdaltest::TempFolder;

TEST(SampleTest, TheBundledSampleIsTheGeneratorsOutput)
{
    TempFolder folder;
    ChildResult made = RunChild(MAKE_SAMPLE_BINARY, {folder.File("sample.gpkg")});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    auto fresh = gdaltest::Snapshot(folder.File("sample.gpkg"), "Watershed");
    EXPECT_EQ(fresh.size(), 734u);  // 9 * 9 * 9 basins, three closed ones, a null and a zero
    EXPECT_EQ(gdaltest::Snapshot(BUNDLED_SAMPLE, "Watershed"), fresh);
}

TEST(SampleTest, ARunOnACopyOfTheSampleFinishesAndListsItsFailures)
{
    TempFolder folder;
    std::filesystem::copy_file(BUNDLED_SAMPLE, folder.File("sample.gpkg"));
    ChildResult run = RunChild(DRENNOW_BINARY, {"--batch", folder.File("sample.gpkg")});
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_THAT(run.out, ::testing::HasSubstr("See " + folder.File("Drennow.log") + " for details."));
    std::string log = gdaltest::ReadFile(folder.File("Drennow.log"));
    EXPECT_THAT(log, ::testing::HasSubstr("\r\n733\t-6\tPfafstetter ID is <Null>\r\n734\t-8\tBasin drains internally\r\n"));
}

}  // namespace
}  // namespace drennow::e2e
