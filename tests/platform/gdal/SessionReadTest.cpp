// Reads of a layer while it is edited: integer columns of a GeoPackage or a
// PostgreSQL table are then served from memory, and must give exactly what
// the database gives.
#include "GdalTestData.h"
#include "platform/gdal/data/GdalEditor.h"
#include "platform/gdal/data/GdalMap.h"
#include "runtime/Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <limits>

namespace drennow::gdaltest {
namespace {

using gdalhost::GdalEditor;
using gdalhost::GdalMap;
using host::Ref;
using runtime::Variant;
using Rows = std::vector<std::vector<Variant>>;

// Watersheds with a 16-bit and a 64-bit integer field besides the 32-bit
// ones, the text and the real one; every integer field has a null.
class SessionReadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dataset_ = CreateWatersheds(Format::GeoPackage, folder_,
                                    {{11, 101, std::nullopt}, {std::nullopt, 102, -7}, {13, std::nullopt, 0},
                                     {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 5}},
                                    true);
        {
            GDALDatasetUniquePtr dataset(GDALDataset::Open(dataset_.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
            OGRLayer& layer = *dataset->GetLayer(0);
            OGRFieldDefn small("Small", OFTInteger);
            small.SetSubType(OFSTInt16);
            OGRFieldDefn big("Big", OFTInteger64);
            ASSERT_EQ(layer.CreateField(&small), OGRERR_NONE);
            ASSERT_EQ(layer.CreateField(&big), OGRERR_NONE);
            const std::vector<std::pair<std::optional<int>, std::optional<GIntBig>>> values = {
                {-32768, std::numeric_limits<GIntBig>::max()},
                {std::nullopt, std::numeric_limits<GIntBig>::min()},
                {32767, std::nullopt},
                {0, 5000000000}};
            for (GIntBig fid = 1; fid <= 4; ++fid) {
                std::unique_ptr<OGRFeature> feature(layer.GetFeature(fid));
                const auto& [smallValue, bigValue] = values[static_cast<size_t>(fid - 1)];
                int small = feature->GetFieldIndex("Small");
                int big = feature->GetFieldIndex("Big");
                smallValue ? feature->SetField(small, *smallValue) : feature->SetFieldNull(small);
                bigValue ? feature->SetField(big, *bigValue) : feature->SetFieldNull(big);
                ASSERT_EQ(layer.SetFeature(feature.get()), OGRERR_NONE);
            }
        }
        map_ = GdalMap::Open({dataset_});
        layer_ = host::QueryInterface<host::IFeatureLayer>(map_->Layer(0));
        Ref<host::IFields> fields = layer_->FeatureClass()->Fields();
        for (const char* name : {"HydroID", "PfafstetterID", "NextDownID", "Small", "Big"}) {
            integers_.push_back(fields->FindField(name));
            ASSERT_GT(integers_.back(), 0) << name;
        }
        for (int32_t field = 0; field < fields->FieldCount(); ++field) {
            every_.push_back(field);
        }
    }

    // The values of the fields, row by row, from a cursor of its own.
    static Rows Read(host::ICursor& cursor, const std::vector<int32_t>& fields)
    {
        Rows rows;
        while (Ref<host::IRow> row = cursor.NextRow()) {
            std::vector<Variant> values{Variant(row->OID())};
            for (int32_t field : fields) {
                values.push_back(row->Value(field));
            }
            rows.push_back(std::move(values));
        }
        return rows;
    }

    Rows Read(const std::vector<int32_t>& fields) { return Read(*layer_->Search(), fields); }

    Ref<host::IWorkspace> Workspace() { return layer_->FeatureClass()->Workspace(); }

    TempFolder folder_;
    std::string dataset_;
    Ref<GdalMap> map_;
    Ref<host::IFeatureLayer> layer_;
    std::vector<int32_t> integers_;
    std::vector<int32_t> every_;
    GdalEditor editor_;
};

TEST_F(SessionReadTest, ReadsInsideASessionGiveWhatTheDataHolds)
{
    const Rows integers = Read(integers_);
    const Rows every = Read(every_);
    ASSERT_EQ(integers.size(), 4u);
    EXPECT_EQ(integers[0][4], Variant(int16_t{-32768}));  // kinds are compared too
    EXPECT_EQ(integers[1][4], Variant::Null());
    EXPECT_EQ(integers[3][5], Variant(int64_t{5000000000}));

    editor_.StartEditing(Workspace());
    EXPECT_EQ(Read(integers_), integers);  // loads them
    EXPECT_EQ(Read(integers_), integers);  // from memory
    EXPECT_EQ(Read(every_), every);        // text and real fields from the database
    const std::vector<int32_t> reversed(integers_.rbegin(), integers_.rend());
    Rows reversedRows = Read(reversed);
    for (size_t row = 0; row < integers.size(); ++row) {
        for (size_t field = 0; field < reversed.size(); ++field) {
            EXPECT_EQ(reversedRows[row][field + 1], integers[row][reversed.size() - field]) << row << " " << field;
        }
    }
    editor_.StopEditing(false);
}

TEST_F(SessionReadTest, FieldsAskedForLaterAreLoadedThen)
{
    const Rows integers = Read(integers_);
    editor_.StartEditing(Workspace());
    Rows first = Read({integers_[0]});  // loads some integer columns along, not all five
    for (size_t row = 0; row < integers.size(); ++row) {
        EXPECT_EQ(first[row][1], integers[row][1]);
    }
    EXPECT_EQ(Read(integers_), integers);
    editor_.StopEditing(false);
}

TEST_F(SessionReadTest, WritesAreSeenAtOnceAndNothingHeldOutlivesTheSession)
{
    const Rows before = Read(integers_);
    editor_.StartEditing(Workspace());
    Read(integers_);
    std::vector<Ref<host::IRow>> rows;
    auto cursor = layer_->Search();
    while (Ref<host::IRow> row = cursor->NextRow()) {
        rows.push_back(row);
    }
    // Written out of id order: the last row first.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        (*row)->SetValue(integers_[0], int32_t{500} + (*row)->OID());
        (*row)->SetValue(integers_[3], Variant::Null());
        (*row)->Store();
    }
    Rows written = Read(integers_);
    for (size_t row = 0; row < written.size(); ++row) {
        EXPECT_EQ(written[row][1], Variant(int32_t{501} + static_cast<int32_t>(row)));
        EXPECT_EQ(written[row][4], Variant::Null());
        EXPECT_EQ(written[row][5], before[row][5]);
    }
    editor_.StopEditing(false);
    EXPECT_EQ(Read(integers_), before);

    // Another program changes the data between two sessions.
    {
        GDALDatasetUniquePtr dataset(GDALDataset::Open(dataset_.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        std::unique_ptr<OGRFeature> feature(dataset->GetLayer(0)->GetFeature(2));
        feature->SetField("HydroID", 9999);
        ASSERT_EQ(dataset->GetLayer(0)->SetFeature(feature.get()), OGRERR_NONE);
    }
    editor_.StartEditing(Workspace());
    Rows changed = Read(integers_);
    EXPECT_EQ(changed[1][1], Variant(int32_t{9999}));
    editor_.StopEditing(false);
}

TEST_F(SessionReadTest, SelectionsAndReadsThatOutliveTheSessionGetTheirRows)
{
    map_->TableLayers().front()->SelectFids({4, 2});
    Ref<host::ISelectionSet> selection = map_->TableLayers().front()->SelectionSet();
    const Rows before = Read(integers_);

    editor_.StartEditing(Workspace());
    Read(integers_);
    EXPECT_EQ(Read(*selection->Search(), integers_), (Rows{before[1], before[3]}));

    auto cursor = layer_->Search();
    Rows rows;
    for (int i = 0; i < 2; ++i) {
        Ref<host::IRow> row = cursor->NextRow();
        rows.push_back({Variant(row->OID()), row->Value(integers_[0])});
    }
    editor_.StopEditing(true);
    while (Ref<host::IRow> row = cursor->NextRow()) {
        rows.push_back({Variant(row->OID()), row->Value(integers_[0])});
    }
    ASSERT_EQ(rows.size(), 4u);
    for (size_t row = 0; row < rows.size(); ++row) {
        EXPECT_EQ(rows[row][0], before[row][0]);
        EXPECT_EQ(rows[row][1], before[row][1]);
    }
}

// Two cursors read a layer in turn while an edit session starts, rewrites
// every row, and is saved: each row comes once, in id order, with the value
// it holds at the time it is read. A GeoPackage cursor turns from its
// statement to the columns held in memory and back, a PostgreSQL one from
// chunks to memory and back, and OGR readings find their place again after
// each other's reads.
class CursorAcrossASessionTest : public ::testing::TestWithParam<Format> {
protected:
    static constexpr int32_t kRows = 3000;
    static constexpr int32_t kBefore = 50000;
    static constexpr int32_t kWritten = 90000;

    void SetUp() override
    {
        if (GetParam() == Format::Postgres && PostgresConnection().empty()) {
            GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
        }
        std::vector<Basin> basins;
        for (int32_t i = 1; i <= kRows; ++i) {
            basins.push_back({i % 89 + 11, kBefore + i, std::nullopt});
        }
        map_ = GdalMap::Open({CreateWatersheds(GetParam(), folder_, basins, false)});
        layer_ = host::QueryInterface<host::IFeatureLayer>(map_->Layer(0));
        hydroId_ = layer_->FeatureClass()->Fields()->FindField("HydroID");
        ASSERT_GT(hydroId_, 0);
    }

    // The row's place in the layer, from 1: a Shapefile's ids start at 0.
    int32_t Number(host::IRow& row) { return row.OID() + (GetParam() == Format::Shapefile ? 1 : 0); }

    // How many of the rows written a read inside the session sees: a staged
    // Shapefile table shows its edits once it is saved.
    int32_t SeenInside(int32_t written) { return GetParam() == Format::Shapefile ? 0 : written; }

    // Reads rows from the cursor up to that place, checking that each
    // follows the last one and holds the value written to it if it was
    // among the first `written` rows, else the value it had.
    ::testing::AssertionResult ReadUpTo(host::ICursor& cursor, int32_t& last, int32_t upTo, int32_t written)
    {
        while (last < upTo) {
            Ref<host::IRow> row = cursor.NextRow();
            if (!row) {
                return ::testing::AssertionFailure() << "ended after row " << last;
            }
            int32_t number = Number(*row);
            int64_t expected = (number <= written ? kWritten : kBefore) + number;
            if (number != last + 1 || runtime::ToLong(row->Value(hydroId_)) != expected) {
                return ::testing::AssertionFailure() << "after row " << last << " came row " << number << " with "
                                                     << runtime::ToLong(row->Value(hydroId_));
            }
            ++last;
        }
        return ::testing::AssertionSuccess();
    }

    TempFolder folder_;
    Ref<GdalMap> map_;
    Ref<host::IFeatureLayer> layer_;
    int32_t hydroId_ = -1;
    GdalEditor editor_;
};

TEST_P(CursorAcrossASessionTest, EveryRowComesOnceWithTheValueItHoldsWhenRead)
{
    Ref<host::ICursor> before = layer_->Search();
    int32_t readBefore = 0;
    ASSERT_TRUE(ReadUpTo(*before, readBefore, 1000, 0));

    editor_.StartEditing(layer_->FeatureClass()->Workspace());
    Ref<host::ICursor> inside = layer_->Search();
    int32_t readInside = 0;
    ASSERT_TRUE(ReadUpTo(*inside, readInside, 500, 0));
    Ref<host::ICursor> writer = layer_->Search();
    while (Ref<host::IRow> row = writer->NextRow()) {
        int32_t number = Number(*row);
        row->SetValue(hydroId_, kWritten + number);
        row->Store();
        if (number % 700 == 0) {  // readers in between
            ASSERT_TRUE(ReadUpTo(*before, readBefore, readBefore + 1, SeenInside(number)));
            ASSERT_TRUE(ReadUpTo(*inside, readInside, readInside + 1, SeenInside(number)));
        }
    }
    ASSERT_TRUE(ReadUpTo(*before, readBefore, 2000, SeenInside(kRows)));
    ASSERT_TRUE(ReadUpTo(*inside, readInside, 1500, SeenInside(kRows)));
    editor_.StopEditing(true);

    if (GetParam() == Format::Shapefile) {
        // The saved table replaced the one the cursors were reading.
        EXPECT_THROW(before->NextRow(), runtime::Error);
        return;
    }
    EXPECT_TRUE(ReadUpTo(*before, readBefore, kRows, kRows));
    EXPECT_TRUE(ReadUpTo(*inside, readInside, kRows, kRows));
    EXPECT_FALSE(before->NextRow());
    EXPECT_FALSE(inside->NextRow());
}

INSTANTIATE_TEST_SUITE_P(Formats, CursorAcrossASessionTest,
                         ::testing::Values(Format::GeoPackage, Format::Sqlite, Format::Shapefile, Format::Postgres),
                         [](const auto& info) { return FormatName(info.param); });

}  // namespace
}  // namespace drennow::gdaltest
