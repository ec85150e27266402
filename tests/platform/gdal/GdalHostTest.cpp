#include "GdalTestData.h"
#include "platform/gdal/run/GdalApplication.h"
#include "platform/gdal/data/GdalMap.h"
#include "runtime/Error.h"
#include "runtime/Variant.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <fstream>

namespace drennow::gdaltest {
namespace {

using gdalhost::GdalMap;
using host::QueryInterface;
using host::Ref;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::vector<Basin> FourBasins()
{
    return {{11, 101, std::nullopt}, {12, 102, std::nullopt}, {std::nullopt, 103, std::nullopt}, {13, 104, std::nullopt}};
}

Ref<host::IFeatureLayer> FeatureLayer(GdalMap& map, int32_t index)
{
    auto layer = QueryInterface<host::IFeatureLayer>(map.Layer(index));
    EXPECT_TRUE(layer);
    return layer;
}

std::vector<std::string> FieldNames(host::IFields& fields)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < fields.FieldCount(); ++i) {
        names.push_back(fields.Field(i)->Name());
    }
    return names;
}

std::vector<int32_t> ObjectIds(host::ICursor& cursor)
{
    std::vector<int32_t> ids;
    while (Ref<host::IRow> row = cursor.NextRow()) {
        ids.push_back(row->OID());
    }
    return ids;
}

TEST(GdalMapTest, ListsEveryLayerOfEveryDatasetInOrderWithItsKind)
{
    TempFolder folder;
    std::string basins = CreateWatersheds(Format::GeoPackage, folder, FourBasins(), false);
    {
        GDALDatasetUniquePtr dataset(GDALDataset::Open(basins.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        ASSERT_NE(dataset->CreateLayer("Gauges", nullptr, wkbPoint, nullptr), nullptr);
        ASSERT_NE(dataset->CreateLayer("Rivers", nullptr, wkbMultiLineString, nullptr), nullptr);
        ASSERT_NE(dataset->CreateLayer("Owners", nullptr, wkbNone, nullptr), nullptr);
    }
    TempFolder other;
    std::string shapes = CreateWatersheds(Format::Shapefile, other, FourBasins(), false, "Catchment");

    Ref<GdalMap> map = GdalMap::Open({basins, shapes});
    ASSERT_EQ(map->LayerCount(), 5);
    std::vector<std::string> names;
    for (int32_t i = 0; i < map->LayerCount(); ++i) {
        names.push_back(map->Layer(i)->Name());
    }
    EXPECT_THAT(names, ElementsAre("Watershed", "Gauges", "Rivers", "Owners", "Catchment"));
    EXPECT_EQ(FeatureLayer(*map, 0)->FeatureClass()->ShapeType(), host::kShapeTypePolygon);
    EXPECT_EQ(FeatureLayer(*map, 0)->FeatureClass()->FeatureType(), host::kFeatureTypeSimple);
    EXPECT_EQ(FeatureLayer(*map, 1)->FeatureClass()->ShapeType(), host::kShapeTypePoint);
    EXPECT_EQ(FeatureLayer(*map, 2)->FeatureClass()->ShapeType(), host::kShapeTypePolyline);
    EXPECT_FALSE(QueryInterface<host::IFeatureLayer>(map->Layer(3)));
    EXPECT_TRUE(QueryInterface<host::IStandaloneTable>(map->Layer(3)));
    EXPECT_EQ(FeatureLayer(*map, 4)->FeatureClass()->ShapeType(), host::kShapeTypePolygon);
}

TEST(GdalMapTest, ADatasetThatCannotBeOpenedRaisesAHostError)
{
    try {
        GdalMap::Open({"/nonexistent/basins.gpkg"});
        FAIL() << "no error";
    } catch (const runtime::Error& error) {
        EXPECT_LT(error.Number(), 0);
        EXPECT_THAT(error.Description(), HasSubstr("/nonexistent/basins.gpkg"));
    }
}

TEST(GdalMapTest, EveryClassOfADatasetSharesItsWorkspaceObject)
{
    TempFolder folder;
    std::string first = CreateWatersheds(Format::GeoPackage, folder, FourBasins(), false);
    {
        GDALDatasetUniquePtr dataset(GDALDataset::Open(first.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        ASSERT_NE(dataset->CreateLayer("Catchment", nullptr, wkbPolygon, nullptr), nullptr);
    }
    TempFolder otherFolder;
    std::string second = CreateWatersheds(Format::GeoPackage, otherFolder, FourBasins(), false);
    Ref<GdalMap> map = GdalMap::Open({first, second});
    auto a = FeatureLayer(*map, 0)->FeatureClass();
    auto b = FeatureLayer(*map, 1)->FeatureClass();
    auto c = FeatureLayer(*map, 2)->FeatureClass();
    EXPECT_EQ(a->Workspace(), b->Workspace());
    EXPECT_EQ(a->FeatureDataset()->Workspace(), a->Workspace());
    EXPECT_EQ(b->FeatureDataset()->Workspace(), a->Workspace());
    EXPECT_NE(c->Workspace(), a->Workspace());
}

TEST(GdalFieldsTest, ObjectIdFirstThenTheAttributesWithTheirTypes)
{
    TempFolder folder;
    std::string basins = CreateWatersheds(Format::GeoPackage, folder, FourBasins(), true);
    {
        GDALDatasetUniquePtr dataset(GDALDataset::Open(basins.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        OGRFieldDefn big("Big", OFTInteger64);
        OGRFieldDefn small("Small", OFTInteger);
        small.SetSubType(OFSTInt16);
        ASSERT_EQ(dataset->GetLayer(0)->CreateField(&big), OGRERR_NONE);
        ASSERT_EQ(dataset->GetLayer(0)->CreateField(&small), OGRERR_NONE);
    }
    Ref<GdalMap> map = GdalMap::Open({basins});
    auto fields = FeatureLayer(*map, 0)->FeatureClass()->Fields();
    EXPECT_THAT(FieldNames(*fields),
                ElementsAre("fid", "HydroID", "PfafstetterID", "Name", "Area", "NextDownID", "Big", "Small"));
    std::vector<int32_t> types;
    for (int32_t i = 0; i < fields->FieldCount(); ++i) {
        types.push_back(fields->Field(i)->Type());
    }
    EXPECT_THAT(types, ElementsAre(host::kFieldTypeObjectId, host::kFieldTypeLongInteger, host::kFieldTypeLongInteger,
                                   host::kFieldTypeString, host::kFieldTypeDouble, host::kFieldTypeLongInteger,
                                   host::kFieldTypeLongInteger, host::kFieldTypeSmallInteger));
    EXPECT_EQ(fields->FindField("nextdownid"), 5);
    EXPECT_EQ(fields->FindField("fid"), 0);
    EXPECT_EQ(fields->FindField("Next"), -1);
}

TEST(GdalFieldsTest, AShapefileObjectIdIsCalledFid)
{
    TempFolder folder;
    Ref<GdalMap> map = GdalMap::Open({CreateWatersheds(Format::Shapefile, folder, FourBasins(), false)});
    EXPECT_EQ(FeatureLayer(*map, 0)->FeatureClass()->Fields()->Field(0)->Name(), "FID");
}

TEST(GdalRowTest, ValuesComeAsTheFieldsHoldThem)
{
    TempFolder folder;
    std::string basins = CreateWatersheds(Format::GeoPackage, folder, FourBasins(), false);
    {
        GDALDatasetUniquePtr dataset(GDALDataset::Open(basins.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        OGRFieldDefn big("Big", OFTInteger64);
        ASSERT_EQ(dataset->GetLayer(0)->CreateField(&big), OGRERR_NONE);
        std::unique_ptr<OGRFeature> feature(dataset->GetLayer(0)->GetFeature(1));
        feature->SetField("Big", static_cast<GIntBig>(5000000000));
        ASSERT_EQ(dataset->GetLayer(0)->SetFeature(feature.get()), OGRERR_NONE);
    }
    Ref<GdalMap> map = GdalMap::Open({basins});
    auto cursor = FeatureLayer(*map, 0)->Search();
    Ref<host::IRow> first = cursor->NextRow();
    EXPECT_EQ(first->Value(0), runtime::Variant(int32_t{1}));
    EXPECT_EQ(first->Value(1), runtime::Variant(int32_t{101}));
    EXPECT_EQ(first->Value(3), runtime::Variant("basin 0"));
    EXPECT_EQ(first->Value(4), runtime::Variant(0.125));
    EXPECT_EQ(first->Value(5), runtime::Variant(int64_t{5000000000}));
    EXPECT_THROW(runtime::ToLong(first->Value(5)), runtime::Error);
    cursor->NextRow();
    EXPECT_TRUE(cursor->NextRow()->Value(2).IsNull());
    EXPECT_THROW(first->Value(6), runtime::Error);
}

// Alternating two cursors over one layer: each still delivers every row once.
TEST(GdalCursorTest, CursorsReadingInTurnEachDeliverEveryRow)
{
    TempFolder folder;
    Ref<GdalMap> map = GdalMap::Open({CreateWatersheds(Format::GeoPackage, folder, FourBasins(), false)});
    auto layer = FeatureLayer(*map, 0);
    auto first = layer->Search();
    auto second = layer->Search();
    std::vector<int32_t> fromFirst, fromSecond;
    for (int i = 0; i < 5; ++i) {
        if (auto row = first->NextRow()) {
            fromFirst.push_back(row->OID());
        }
        if (auto row = second->NextRow()) {
            fromSecond.push_back(row->OID());
        }
    }
    EXPECT_THAT(fromFirst, ElementsAre(1, 2, 3, 4));
    EXPECT_THAT(fromSecond, ElementsAre(1, 2, 3, 4));
}

// A database table read again may give its rows in another order (here:
// another session updated a row, whose new version comes last): a cursor
// finding its place again must never skip rows or read rows twice unsaid.
TEST(GdalCursorTest, ACursorWhoseTableGivesItsRowsInAnotherOrderRaisesRatherThanSkippingRows)
{
    if (PostgresConnection().empty()) {
        GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
    }
    TempFolder folder;
    std::string dataset = CreateWatersheds(Format::Postgres, folder, FourBasins(), false);
    Ref<GdalMap> map = GdalMap::Open({dataset});
    auto layer = FeatureLayer(*map, 0);
    auto cursor = layer->Search();
    std::vector<int32_t> read{cursor->NextRow()->OID(), cursor->NextRow()->OID()};
    ASSERT_THAT(read, ElementsAre(1, 2));
    {
        GDALDatasetUniquePtr other(GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        ASSERT_TRUE(other);
        CPLErrorReset();
        other->ReleaseResultSet(other->ExecuteSQL(("UPDATE \"" + LastPostgresTable() +
                                                   "\".\"Watershed\" SET \"HydroID\" = \"HydroID\" WHERE ogc_fid = 1")
                                                      .c_str(),
                                                  nullptr, nullptr));
        ASSERT_EQ(CPLGetLastErrorType(), CE_None) << CPLGetLastErrorMsg();
    }
    host::QueryInterface<host::ITable>(layer)->RowCount();  // reading elsewhere loses the cursor's place
    try {
        while (auto row = cursor->NextRow()) {
            read.push_back(row->OID());
        }
        EXPECT_THAT(read, ElementsAre(1, 2, 3, 4));
    } catch (const runtime::Error& error) {
        EXPECT_THAT(error.Description(), HasSubstr("another order"));
    }
}

// A PostgreSQL layer is read in chunks of rows that grow from small ones:
// across their ends every row comes once, in id order, with its values.
TEST(GdalCursorTest, APostgresLayerReadInChunksGivesEveryRowOnceWithItsValues)
{
    if (PostgresConnection().empty()) {
        GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
    }
    constexpr int kRows = 3500;
    std::vector<Basin> basins;
    for (int i = 0; i < kRows; ++i) {
        basins.push_back({i % 10 == 0 ? std::nullopt : std::optional<int64_t>(i % 89 + 11), 50000 + i, std::nullopt});
    }
    TempFolder folder;
    Ref<GdalMap> map = GdalMap::Open({CreateWatersheds(Format::Postgres, folder, basins, false)});
    auto layer = FeatureLayer(*map, 0);
    int32_t hydroId = layer->FeatureClass()->Fields()->FindField("HydroID");
    int32_t pfafstetterId = layer->FeatureClass()->Fields()->FindField("PfafstetterID");
    auto cursor = layer->Search();
    int32_t expected = 1;
    while (Ref<host::IRow> row = cursor->NextRow()) {
        ASSERT_EQ(row->OID(), expected);
        int i = expected - 1;
        EXPECT_EQ(runtime::ToLong(row->Value(hydroId)), 50000 + i);
        if (i % 10 == 0) {
            EXPECT_TRUE(row->Value(pfafstetterId).IsNull()) << i;
        } else {
            EXPECT_EQ(runtime::ToLong(row->Value(pfafstetterId)), i % 89 + 11);
        }
        ++expected;
    }
    EXPECT_EQ(expected, kRows + 1);
}

TEST(GdalCursorTest, ACursorMadeBeforeAFieldWasAddedDeliversIt)
{
    TempFolder folder;
    Ref<GdalMap> map = GdalMap::Open({CreateWatersheds(Format::GeoPackage, folder, FourBasins(), false)});
    auto layer = FeatureLayer(*map, 0);
    auto cursor = layer->Search();
    layer->FeatureClass()->AddField({"NextDownID", host::kFieldTypeLongInteger});
    int32_t index = layer->FeatureClass()->Fields()->FindField("NextDownID");
    ASSERT_EQ(index, 5);
    EXPECT_TRUE(cursor->NextRow()->Value(index).IsNull());
}

TEST(GdalSelectionTest, SelectedRowsAreCountedAndDeliveredInLayerOrder)
{
    TempFolder folder;
    Ref<GdalMap> map = GdalMap::Open({CreateWatersheds(Format::GeoPackage, folder, FourBasins(), false)});
    auto layer = map->TableLayers().front();
    EXPECT_EQ(layer->SelectionSet()->Count(), 0);

    EXPECT_EQ(layer->SelectFids({4, 2, 2, 99}), 1u);
    auto selection = layer->SelectionSet();
    EXPECT_EQ(selection->Count(), 2);
    EXPECT_THAT(ObjectIds(*selection->Search()), ElementsAre(2, 4));

    layer->SelectWhere("HydroID >= 102 AND PfafstetterID IS NOT NULL");
    EXPECT_THAT(ObjectIds(*layer->SelectionSet()->Search()), ElementsAre(2, 4));
    EXPECT_THAT(ObjectIds(*layer->Search()), ElementsAre(1, 2, 3, 4));
    EXPECT_EQ(layer->RowCount(), 4);
}

TEST(GdalSelectionTest, ASelectionThatSelectsNothingOrCannotBeEvaluatedIsRefused)
{
    TempFolder folder;
    Ref<GdalMap> map = GdalMap::Open({CreateWatersheds(Format::GeoPackage, folder, FourBasins(), false)});
    EXPECT_THROW(gdalhost::ApplySelection(*map, {std::nullopt, "HydroID > 1000", std::nullopt}), runtime::Error);
    EXPECT_THROW(gdalhost::ApplySelection(*map, {std::nullopt, "NoSuchField = 1", std::nullopt}), runtime::Error);
    EXPECT_THROW(gdalhost::ApplySelection(*map, {"Elsewhere", "HydroID = 101", std::nullopt}), runtime::Error);
    EXPECT_THROW(gdalhost::ApplySelection(*map, {std::nullopt, std::nullopt, std::vector<int64_t>{77}}),
                 runtime::Error);
    EXPECT_THAT(gdalhost::ApplySelection(*map, {"Watershed", std::nullopt, std::vector<int64_t>{3, 3, 70, 71}}),
                ElementsAre("--fid: 2 of the ids given are of no feature of Watershed; the run goes on with the 1 "
                            "that are"));
    EXPECT_EQ(map->TableLayers().front()->SelectedCount(), 1);
    EXPECT_THAT(gdalhost::ApplySelection(*map, {"Watershed", std::nullopt, std::vector<int64_t>{1, 2}}), IsEmpty());
}

// SQLite reads a double-quoted name that is no column as a text: a typo
// would compare every row with a text and select them all.
TEST(GdalSelectionTest, ADoubleQuotedNameIsAColumnOrAnError)
{
    for (Format format : {Format::GeoPackage, Format::Sqlite}) {
        TempFolder folder;
        Ref<GdalMap> map = GdalMap::Open({CreateWatersheds(format, folder, FourBasins(), false)});
        auto layer = map->TableLayers().front();
        EXPECT_THROW(layer->SelectWhere("\"HydroId_typo\" > 150"), runtime::Error) << FormatName(format);
        layer->SelectWhere("\"HydroID\" >= 103");
        EXPECT_EQ(layer->SelectedCount(), 2) << FormatName(format);
        layer->SelectWhere("HydroID >= 103 AND 'text' = 'text'");
        EXPECT_EQ(layer->SelectedCount(), 2) << FormatName(format);
    }
}

TEST(GdalSelectionTest, ADatabaseRefusingAFilterGivesItsOwnReason)
{
    if (PostgresConnection().empty()) {
        GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
    }
    TempFolder folder;
    Ref<GdalMap> map = GdalMap::Open({CreateWatersheds(Format::Postgres, folder, FourBasins(), false)});
    try {
        map->TableLayers().front()->SelectWhere("\"HydroID\" = = 101");
        ADD_FAILURE() << "the filter was taken";
    } catch (const runtime::Error& error) {
        EXPECT_THAT(error.Description(), HasSubstr("syntax error at or near \"=\""));
        EXPECT_THAT(error.Description(), Not(HasSubstr("does not exist")));
    }
}

TEST(DocumentPathTest, TheLogGoesBesideAFileInsideAFolderOrIntoTheFolderAskedFor)
{
    TempFolder folder;
    std::string file = folder.File("basins.gpkg");
    std::filesystem::create_directory(folder.File("shapes"));
    std::filesystem::create_directory(folder.File("basins.gdb"));
    std::ofstream(file).put('x');
    EXPECT_EQ(gdalhost::DocumentPath(file, std::nullopt), file);
    EXPECT_EQ(gdalhost::DocumentPath(folder.File("shapes"), std::nullopt), folder.File("shapes/"));
    EXPECT_EQ(gdalhost::DocumentPath(folder.File("shapes/"), std::nullopt), folder.File("shapes/"));
    EXPECT_EQ(gdalhost::DocumentPath(folder.File("basins.gdb/"), std::nullopt), folder.File("basins.gdb"));
    EXPECT_EQ(gdalhost::DocumentPath(file, folder.File("logs")), folder.File("logs/"));
    EXPECT_EQ(gdalhost::DocumentPath("PG:dbname=x", std::nullopt), std::filesystem::current_path().string() + "/");
}

}  // namespace
}  // namespace drennow::gdaltest
