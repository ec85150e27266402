// Twelve-digit codes and ten-digit identifiers, as HydroBASINS has them, in
// every format drennow edits: read, searched and written as 64-bit integers.
#include "ChildProcess.h"
#include "ExpectedRun.h"
#include "GdalTestData.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cmath>

namespace drennow::e2e {
namespace {

using gdaltest::Basin;
using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;

// The varied basins with their codes padded with zeros to twelve digits (a
// unit not subdivided further) and identifiers past 32 bits.
std::vector<Basin> WideBasins()
{
    std::vector<Basin> basins = VariedBasins();
    int64_t id = 9000000000;
    for (Basin& basin : basins) {
        if (basin.pfafstetterId && *basin.pfafstetterId != 0) {
            int64_t code = *basin.pfafstetterId;
            auto digits = static_cast<int>(std::to_string(std::llabs(code)).size());
            for (int i = digits; i < 12; ++i) {
                code *= 10;
            }
            basin.pfafstetterId = code;
        }
        basin.hydroId = ++id;
    }
    return basins;
}

std::vector<std::string> WideAnswers(Format format, bool writeIds)
{
    std::vector<std::string> answers{"--batch", "--int64", "--zeros", "unsubdivided", "--layer", "Watershed",
                                     "--pfaf-field", gdaltest::PfafFieldName(format), "--level", "12"};
    for (const char* answer : writeIds ? std::vector<const char*>{"--populate", "id", "--id-field", "HydroID"}
                                       : std::vector<const char*>{"--populate", "pfaf"}) {
        answers.push_back(answer);
    }
    return answers;
}

class WideCodesTest : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override
    {
        if (GetParam() == Format::Postgres && gdaltest::PostgresConnection().empty()) {
            GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
        }
    }

    ChildResult Run(std::vector<std::string> arguments)
    {
        arguments.push_back(dataset_);
        ChildOptions options;
        options.workingFolder = folder_.Path();  // where a database's log goes
        return RunChild(DRENNOW_BINARY, arguments, options);
    }

    TempFolder folder_;
    std::string dataset_;
};

TEST_P(WideCodesTest, BothModesWriteSixtyFourBitValuesIntoAFieldTheRunAdds)
{
    Format format = GetParam();
    std::vector<Basin> basins = WideBasins();
    dataset_ = gdaltest::CreateWideWatersheds(format, folder_, basins, false);
    int64_t firstFid = format == Format::Shapefile ? 0 : 1;
    for (bool writeIds : {false, true}) {
        ChildResult run = Run(WideAnswers(format, writeIds));
        ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
        RunChoices choices;
        choices.writeIds = writeIds;
        choices.zerosUnsubdivided = true;
        choices.int64 = true;
        ExpectedRun expected = Expect(basins, firstFid, choices);
        EXPECT_EQ(gdaltest::FieldValues(dataset_, "Watershed", "NextDownID"), expected.nextDownIds) << writeIds;
        EXPECT_EQ(gdaltest::ReadFile(folder_.File("Drennow.log")), expected.log) << writeIds;
        EXPECT_EQ(gdaltest::FieldType(dataset_, "Watershed", "NextDownID"), OFTInteger64);
    }
}

// A NextDownID of 32 bits is kept; one that cannot hold an identifier ends
// the run naming the feature and the value, and nothing is saved.
TEST_P(WideCodesTest, AThirtyTwoBitNextDownIdThatCannotHoldAnIdentifierEndsTheRun)
{
    Format format = GetParam();
    std::vector<Basin> basins = WideBasins();
    dataset_ = gdaltest::CreateWideWatersheds(format, folder_, basins, false);
    {
        GDALDatasetUniquePtr opened(GDALDataset::Open(dataset_.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        ASSERT_TRUE(opened);
        OGRFieldDefn nextDown("NextDownID", OFTInteger);
        ASSERT_EQ(opened->GetLayerByName("Watershed")->CreateField(&nextDown), OGRERR_NONE);
    }
    auto before = gdaltest::Snapshot(dataset_, "Watershed");

    ChildResult run = Run(WideAnswers(format, true));
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("Error 6: Overflow: the NextDownID field of feature "));
    EXPECT_THAT(run.err, HasSubstr(" cannot hold 90000000"));
    EXPECT_EQ(gdaltest::Snapshot(dataset_, "Watershed"), before);
}

INSTANTIATE_TEST_SUITE_P(Formats, WideCodesTest,
                         ::testing::Values(Format::GeoPackage, Format::Shapefile, Format::Postgres),
                         [](const auto& info) { return gdaltest::FormatName(info.param); });

}  // namespace
}  // namespace drennow::e2e
