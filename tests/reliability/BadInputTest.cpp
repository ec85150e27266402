// Input the run cannot use, at the command line or in the data: each ends
// with its message or a clear error and a non-zero exit, and changes nothing.
#include "ExpectedRun.h"
#include "Reliability.h"

#include <gdal_priv.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <fstream>

namespace drennow::reliability {
namespace {

namespace fs = std::filesystem;
using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;

// Adds a field of the type given holding each feature's Pfafstetter code,
// and the one value given to the first feature.
void AddCodeField(const std::string& dataset, const char* name, OGRFieldType type, const char* firstValue)
{
    GDALDatasetUniquePtr opened(GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    ASSERT_TRUE(opened);
    OGRLayer* layer = opened->GetLayer(0);
    OGRFieldDefn field(name, type);
    ASSERT_EQ(layer->CreateField(&field), OGRERR_NONE);
    std::vector<std::unique_ptr<OGRFeature>> features;
    for (auto& feature : *layer) {
        features.emplace_back(feature->Clone());
    }
    for (auto& feature : features) {
        if (feature->GetFID() == 1) {
            feature->SetField(name, firstValue);
        } else if (feature->IsFieldNull(feature->GetFieldIndex("PfafstetterID"))) {
            feature->SetFieldNull(feature->GetFieldIndex(name));
        } else {
            feature->SetField(name, feature->GetFieldAsString("PfafstetterID"));
        }
        ASSERT_EQ(layer->SetFeature(feature.get()), OGRERR_NONE);
    }
}

std::vector<std::string> Arguments(const std::string& pfafField, const std::string& dataset)
{
    return {"--batch", "--pfaf-field", pfafField, "--level", "2", "--populate", "pfaf", dataset};
}

TEST(BadDataTest, ACodeBeyondThirtyTwoBitsInASixtyFourBitFieldIsAnOverflowAndNothingIsWritten)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, e2e::VariedBasins(), true);
    AddCodeField(dataset, "Code64", OFTInteger64, "5000000000");
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    e2e::ChildResult run = Drennow(Arguments("Code64", dataset));
    PrintOutcome("code 5000000000 in a 64-bit field", run);
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("\nError 6: Overflow: feature 1 has 5000000000 in Code64, which is not a whole "
                                   "number of the codes' range; beyond the 32-bit range: run with 64-bit codes and "
                                   "identifiers (--int64 on the command line, INT64 in Processing, int64=True in "
                                   "Python)\n12\n"));
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
}

// Named by the user, codes in a text or real field are converted, and the
// run writes what it writes from the same codes in an integer field.
TEST(BadDataTest, CodesInTextOrRealFieldsNamedByTheUserAreConverted)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, e2e::VariedBasins(), true);
    AddCodeField(dataset, "CodeInt", OFTInteger, "21");
    AddCodeField(dataset, "CodeText", OFTString, "21");
    AddCodeField(dataset, "CodeReal", OFTReal, "21.0");
    e2e::ChildResult integers = Drennow(Arguments("CodeInt", dataset));
    ASSERT_EQ(integers.exitStatus, 0) << integers.err;
    auto expected = gdaltest::FieldValues(dataset, "Watershed", "NextDownID");
    std::string log = gdaltest::ReadFile(folder.File("Drennow.log"));
    for (const char* field : {"CodeText", "CodeReal"}) {
        e2e::ChildResult run = Drennow(Arguments(field, dataset));
        PrintOutcome(std::string("codes in ") + field, run);
        EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
        EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"), expected) << field;
        EXPECT_EQ(gdaltest::ReadFile(folder.File("Drennow.log")), log) << field;
    }
}

TEST(BadDataTest, AShapefileWithoutRowsHasNoFeaturesAndGetsNoField)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::Shapefile, folder, {}, false);
    auto filesBefore = FolderContents(folder.Path());
    e2e::ChildOptions options;
    options.workingFolder = folder.Path();
    e2e::ChildResult run = Drennow({"--batch", dataset}, options);
    EXPECT_EQ(run.exitStatus, 3) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("\nNo features found\n"));
    EXPECT_TRUE(FolderContents(folder.Path()) == filesBefore);
}

// The run would take the first layer of that name in map order, whichever
// entry was chosen; it is refused before anything is changed, naming both.
TEST(BadDataTest, TwoLayersOfOneNameAreRefusedAndBothLeftAlone)
{
    TempFolder first;
    TempFolder second;
    std::vector<gdaltest::Basin> basins = e2e::VariedBasins();
    std::string firstDataset = gdaltest::CreateWatersheds(Format::GeoPackage, first, basins, false);
    std::string secondDataset = gdaltest::CreateWatersheds(Format::GeoPackage, second, basins, false);
    auto firstBefore = gdaltest::Snapshot(firstDataset, "Watershed");
    auto secondBefore = gdaltest::Snapshot(secondDataset, "Watershed");
    e2e::ChildOptions options;
    options.workingFolder = first.Path();
    for (std::vector<std::string> answers : {std::vector<std::string>{"--layer", "Watershed"}, {}}) {
        answers.insert(answers.begin(), {"--batch", "--populate", "pfaf", "--level", "2", "--trailing-zeros", "no"});
        answers.insert(answers.end(), {firstDataset, secondDataset});
        e2e::ChildResult run = Drennow(answers, options);
        EXPECT_EQ(run.exitStatus, 2) << run.out << run.err;
        EXPECT_THAT(run.err, HasSubstr("drennow: 2 layers are called Watershed (in " + firstDataset + ", " +
                                       secondDataset + "), and the run would not know which to edit"));
    }
    EXPECT_EQ(gdaltest::Snapshot(firstDataset, "Watershed"), firstBefore);
    EXPECT_EQ(gdaltest::Snapshot(secondDataset, "Watershed"), secondBefore);
    EXPECT_FALSE(fs::exists(first.File("Drennow.log")));
}

// Copies the Watershed layer into a new GeoPackage layer of the type given;
// with pointsAmong, every other feature gets its polygon's centroid.
std::string CopyWatersheds(const std::string& from, const std::string& to, const char* name,
                           OGRwkbGeometryType type, bool pointsAmong)
{
    GDALDatasetUniquePtr source(GDALDataset::Open(from.c_str(), GDAL_OF_VECTOR));
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    GDALDatasetUniquePtr target(fs::exists(to) ? GDALDataset::Open(to.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE)
                                               : driver->Create(to.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    EXPECT_TRUE(source && target);
    OGRLayer* layer = target->CreateLayer(name, nullptr, type, nullptr);
    OGRLayer& watersheds = *source->GetLayerByName("Watershed");
    for (int i = 0; i < watersheds.GetLayerDefn()->GetFieldCount(); ++i) {
        EXPECT_EQ(layer->CreateField(watersheds.GetLayerDefn()->GetFieldDefn(i)), OGRERR_NONE);
    }
    for (auto& feature : watersheds) {
        OGRFeature copy(layer->GetLayerDefn());
        copy.SetFrom(feature.get());
        copy.SetFID(feature->GetFID());
        if (pointsAmong && feature->GetFID() % 2 == 1) {
            OGRPoint centroid;
            feature->GetGeometryRef()->Centroid(&centroid);
            copy.SetGeometry(&centroid);
        }
        EXPECT_EQ(layer->CreateFeature(&copy), OGRERR_NONE);
    }
    return to;
}

// A layer declared of any geometry type (GEOMETRY) whose features are all
// polygons is a polygon layer: offered and written like any other.
TEST(BadDataTest, ALayerOfAnyGeometryTypeHoldingPolygonsIsOffered)
{
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = e2e::VariedBasins();
    std::string source = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, false, "Watershed");
    std::string dataset = CopyWatersheds(source, folder.File("any.gpkg"), "Basins", wkbUnknown, false);
    e2e::ChildResult run = Drennow({"--batch", "--populate", "pfaf", "--level", "2", "--trailing-zeros", "no",
                                    "--pfaf-field", "PfafstetterID", dataset});
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    for (gdaltest::Basin& basin : basins) {
        basin.nextDownId.reset();
    }
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Basins", "NextDownID"),
              e2e::Expect(basins, 1, {false, false, std::nullopt}).nextDownIds);
}

// No layer to offer: the run ends as when the list is cancelled, and says
// why, naming the layers there are and what they hold.
TEST(BadDataTest, WithoutAPolygonLayerTheLayersAndTheirGeometryAreNamed)
{
    TempFolder folder;
    std::string source = gdaltest::CreateWatersheds(Format::GeoPackage, folder, e2e::VariedBasins(), false);
    std::string dataset = CopyWatersheds(source, folder.File("others.gpkg"), "Outlets", wkbPoint, false);
    CopyWatersheds(source, dataset, "Mixed", wkbUnknown, true);
    std::ofstream(folder.File("codes.csv")) << "PfafstetterID,HydroID\n21,1\n";
    auto before = FolderContents(folder.Path());
    e2e::ChildResult run = Drennow({"--batch", dataset, folder.File("codes.csv")});
    EXPECT_EQ(run.exitStatus, 4) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("drennow: no layer holds polygons, so there is no watershed layer to choose; "
                                   "the layers: Outlets (Point), Mixed (Geometry: Point, Polygon), codes (no "
                                   "geometry)\n"));
    EXPECT_TRUE(FolderContents(folder.Path()) == before);
}

// Field names are looked up without regard to case: the field is reused,
// not added a second time.
TEST(BadDataTest, AFieldNamedNextDownIdInAnotherCaseIsTheOneWritten)
{
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = e2e::VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, false);
    {
        GDALDatasetUniquePtr opened(GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        OGRFieldDefn field("nextdownid", OFTInteger);
        ASSERT_EQ(opened->GetLayer(0)->CreateField(&field), OGRERR_NONE);
    }
    e2e::ChildResult run = Drennow({"--batch", "--populate", "pfaf", "--level", "2", "--trailing-zeros", "no",
                                    "--pfaf-field", "PfafstetterID", dataset});
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    auto snapshot = gdaltest::Snapshot(dataset, "Watershed");
    ASSERT_FALSE(snapshot.empty());
    EXPECT_EQ(snapshot.front().fields.count("nextdownid"), 1u);
    EXPECT_EQ(snapshot.front().fields.count("NextDownID"), 0u);
    for (gdaltest::Basin& basin : basins) {
        basin.nextDownId.reset();
    }
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "nextdownid"),
              e2e::Expect(basins, 1, {false, false, std::nullopt}).nextDownIds);
}

// Whatever the name stands for, it is refused before anything is asked.
TEST(BadDatasetTest, WhatIsNotAGisDatasetCannotBeOpened)
{
    TempFolder folder;
    std::ofstream(folder.File("notes.txt")) << "Pfafstetter codes: 21, 23\n";
    fs::create_directory(folder.File("empty"));
    fs::create_directory(folder.File("papers"));
    std::ofstream(folder.File("papers/basins.csv.txt")) << "just text\n";
    auto before = FolderContents(folder.Path());
    for (const char* name : {"notes.txt", "empty", "papers", "missing.gpkg"}) {
        e2e::ChildResult run = Drennow({"--batch", folder.File(name)});
        PrintOutcome(name, run);
        EXPECT_EQ(run.exitStatus, 2) << name;
        EXPECT_EQ(run.err, "drennow: Could not open " + folder.File(name) + "\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(FolderContents(folder.Path()) == before);
}

// Cut at the first page, in the middle, and in its last page.
TEST(BadDatasetTest, ATruncatedGeoPackageIsRefusedAndLeftAsItIs)
{
    TempFolder source;
    std::string whole = gdaltest::ReadFile(
        gdaltest::CreateWatersheds(Format::GeoPackage, source, Subdivision(3), true));
    for (size_t length : {size_t{1000}, whole.size() / 2, whole.size() - 100}) {
        TempFolder folder;
        std::string truncated = folder.File("basins.gpkg");
        std::ofstream(truncated, std::ios::binary) << whole.substr(0, length);
        e2e::ChildResult run = Drennow({"--batch", truncated});
        PrintOutcome("GeoPackage cut to " + std::to_string(length) + " of " + std::to_string(whole.size()) + " bytes",
                     run);
        EXPECT_EQ(run.exitStatus, 2) << length;
        EXPECT_THAT(run.err, HasSubstr("Could not open " + truncated)) << length;
        EXPECT_EQ(gdaltest::ReadFile(truncated), whole.substr(0, length));
        EXPECT_EQ(fs::directory_iterator(folder.Path())->path(), truncated);
    }
}

}  // namespace
}  // namespace drennow::reliability
