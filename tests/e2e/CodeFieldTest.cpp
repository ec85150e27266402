// Code fields of other types than long integers, as other tools write them
// (a GeoPandas round trip gives real codes and 64-bit identifiers), and what
// the log folder is when a file name holds a backslash.
#include "ChildProcess.h"
#include "ExpectedRun.h"
#include "GdalTestData.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <fstream>

namespace drennow::e2e {
namespace {

using gdaltest::Basin;
using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;

ChildResult Drennow(const std::vector<std::string>& arguments)
{
    return RunChild(DRENNOW_BINARY, arguments);
}

// A GeoPackage layer "Watershed" whose PfafstetterID is of that type and
// HydroID a 64-bit integer, as pandas writes them.
std::string CreateRoundTripped(const std::string& path, const std::vector<Basin>& basins, OGRFieldType codeType)
{
    GDALAllRegister();
    GDALDatasetUniquePtr dataset(
        GetGDALDriverManager()->GetDriverByName("GPKG")->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRLayer* layer = dataset->CreateLayer("Watershed", nullptr, wkbPolygon, nullptr);
    OGRFieldDefn code("PfafstetterID", codeType);
    OGRFieldDefn id("HydroID", OFTInteger64);
    EXPECT_EQ(layer->CreateField(&code), OGRERR_NONE);
    EXPECT_EQ(layer->CreateField(&id), OGRERR_NONE);
    for (size_t i = 0; i < basins.size(); ++i) {
        OGRFeature feature(layer->GetLayerDefn());
        if (basins[i].pfafstetterId) {
            if (codeType == OFTString) {
                feature.SetField("PfafstetterID", std::to_string(*basins[i].pfafstetterId).c_str());
            } else {
                feature.SetField("PfafstetterID", static_cast<double>(*basins[i].pfafstetterId));
            }
        }
        if (basins[i].hydroId) {
            feature.SetField("HydroID", static_cast<GIntBig>(*basins[i].hydroId));
        }
        gdaltest::SetSquare(feature, i, 10);
        EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    return path;
}

TEST(CodeFieldTest, ARealCodeFieldIsRefusedUnlessNamedAndThenGivesTheIntegerFieldsValues)
{
    TempFolder reference;
    std::string integers = gdaltest::CreateWatersheds(Format::GeoPackage, reference, VariedBasins(), false);
    ChildResult usual = Drennow({"--batch", "--populate", "id", integers});
    ASSERT_EQ(usual.exitStatus, 0) << usual.err;
    auto expected = gdaltest::FieldValues(integers, "Watershed", "NextDownID");

    for (OGRFieldType type : {OFTReal, OFTString}) {
        TempFolder folder;
        std::string dataset = CreateRoundTripped(folder.File("basins.gpkg"), VariedBasins(), type);
        auto before = gdaltest::Snapshot(dataset, "Watershed");
        ChildResult guessed = Drennow({"--batch", "--populate", "id", dataset});
        EXPECT_EQ(guessed.exitStatus, 2) << guessed.out << guessed.err;
        EXPECT_THAT(guessed.err, HasSubstr("drennow: no entry has a name the run looks for, and without input it "
                                           "does not guess: give --pfaf-field with one of the entries offered: "
                                           "HydroID\n"));
        EXPECT_THAT(guessed.err, HasSubstr(std::string("drennow: PfafstetterID is a ") +
                                           (type == OFTReal ? "real" : "text") +
                                           " field, which is not offered: give --pfaf-field PfafstetterID"));
        EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
        EXPECT_FALSE(gdaltest::HasField(dataset, "Watershed", "NextDownID"));

        ChildResult named = Drennow({"--batch", "--populate", "id", "--pfaf-field", "PfafstetterID", dataset});
        ASSERT_EQ(named.exitStatus, 0) << named.err;
        EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"), expected);
        EXPECT_EQ(gdaltest::ReadFile(folder.File("Drennow.log")), gdaltest::ReadFile(reference.File("Drennow.log")));
    }
}

// Named, a text field whose values are no numbers ends the run with the
// feature and the value, and nothing saved.
TEST(CodeFieldTest, ANamedFieldOfNamesEndsTheRunNamingTheValue)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    ChildResult run = Drennow({"--batch", "--populate", "pfaf", "--pfaf-field", "Name", dataset});
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_THAT(run.err, HasSubstr("Error 13: Type mismatch: feature "));
    EXPECT_THAT(run.err, HasSubstr(" in Name, which is not a whole number of the codes' range\n11\n"));
    EXPECT_THAT(run.err, HasSubstr("drennow: the run stopped at stage 11 of 14 (sorting the codes and reading the "
                                   "identifiers); no value was saved\n"));
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
}

// A backslash is a character of the file's name: the log goes beside the
// file, never into a folder named by the part before the backslash.
TEST(CodeFieldTest, ABackslashInTheDatasetsNameIsPartOfTheName)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), false);
    std::string named = folder.File("back\\slash.gpkg");
    std::filesystem::rename(dataset, named);
    std::filesystem::create_directory(folder.File("back"));
    std::ofstream(folder.File("back/Drennow.log")) << "someone else's\n";
    ChildResult run = Drennow({"--batch", "--populate", "pfaf", named});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("See " + folder.File("Drennow.log") + " for details."));
    EXPECT_EQ(gdaltest::ReadFile(folder.File("back/Drennow.log")), "someone else's\n");
    EXPECT_FALSE(gdaltest::ReadFile(folder.File("Drennow.log")).empty());
}

// Comparing with the field written agrees everywhere, failure codes included.
TEST(CodeFieldTest, TheFieldWrittenAgreesWithItself)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), true);
    ChildResult run = Drennow({"--batch", "--populate", "pfaf", "--compare-with", "NextDownID", dataset});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::string all = std::to_string(VariedBasins().size());
    EXPECT_THAT(run.out, HasSubstr("Agreement with NextDownID: " + all + " of " + all + " basins (100.0 %)\n"));
}

}  // namespace
}  // namespace drennow::e2e
