// What an edit session on a PostgreSQL table writes: each row sent gets its
// values, whatever the type of the field and whatever rows are sent with it,
// and no other row changes; a row the server leaves as it was ends the save.
#include "GdalTestData.h"
#include "platform/gdal/storage/EditSession.h"
#include "runtime/Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace drennow::gdaltest {
namespace {

using gdalhost::EditSession;
using ::testing::HasSubstr;

// Every row's NextDownID, Area and Name, as text ("<null>" for a null).
using Values = std::map<GIntBig, std::vector<std::string>>;

constexpr size_t kRows = 30;

class PostgresSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (PostgresConnection().empty()) {
            GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
        }
    }

    // A table of kRows rows, with 64-bit integer fields or 32-bit ones; every
    // row's NextDownID holds its id, Area and Name what the test data gives.
    void Create(bool wide)
    {
        std::vector<Basin> basins;
        for (size_t i = 1; i <= kRows; ++i) {
            int64_t id = static_cast<int64_t>(i);
            basins.push_back({id, 100 + id, id});
        }
        dataset_ = wide ? CreateWideWatersheds(Format::Postgres, folder_, basins, true)
                        : CreateWatersheds(Format::Postgres, folder_, basins, true);
        table_ = "\"" + LastPostgresTable() + "\".\"Watershed\"";
        before_ = Read();
    }

    // In one session, the rows of these ids get what set gives them; the
    // fields it names are written. Raises what the save raised, the session
    // rolled back.
    void Write(const std::set<GIntBig>& fids, const std::function<std::vector<int>(OGRFeature&)>& set)
    {
        GDALDatasetUniquePtr dataset(
            GDALDataset::Open(dataset_.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr));
        ASSERT_TRUE(dataset) << CPLGetLastErrorMsg();
        OGRLayer& layer = *dataset->GetLayerByName("Watershed");
        std::vector<std::unique_ptr<OGRFeature>> features;
        for (GIntBig fid : fids) {
            features.emplace_back(layer.GetFeature(fid));
            ASSERT_TRUE(features.back()) << fid;
        }
        std::unique_ptr<EditSession> session = gdalhost::StartPostgresSession(*dataset);
        session->Use(layer);
        for (const auto& feature : features) {
            session->Write(layer, *feature, set(*feature));
        }
        session->Commit();
    }

    Values Read()
    {
        Values values;
        GDALDatasetUniquePtr dataset(
            GDALDataset::Open(dataset_.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
        EXPECT_TRUE(dataset) << CPLGetLastErrorMsg();
        OGRLayer& layer = *dataset->GetLayerByName("Watershed");
        for (auto& feature : layer) {
            std::vector<std::string>& row = values[feature->GetFID()];
            for (const char* name : {"NextDownID", "Area", "Name"}) {
                int field = feature->GetFieldIndex(name);
                row.push_back(feature->IsFieldSetAndNotNull(field) ? feature->GetFieldAsString(field) : "<null>");
            }
        }
        EXPECT_EQ(values.size(), kRows);
        return values;
    }

    void Execute(const std::string& sql)
    {
        GDALDatasetUniquePtr server(GDALDataset::Open(PostgresConnection().c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                                      nullptr, nullptr, nullptr));
        ASSERT_TRUE(server);
        CPLErrorReset();
        server->ReleaseResultSet(server->ExecuteSQL(sql.c_str(), nullptr, nullptr));
        ASSERT_EQ(CPLGetLastErrorType(), CE_None) << CPLGetLastErrorMsg();
    }

    // A trigger that keeps the row of this id as it was.
    void SkipRow(GIntBig fid)
    {
        std::string schema = LastPostgresTable();
        Execute("CREATE FUNCTION \"" + schema +
                "\".skip() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN IF NEW.ogc_fid = " + std::to_string(fid) +
                " THEN RETURN NULL; END IF; RETURN NEW; END$$; CREATE TRIGGER skip BEFORE UPDATE ON " + table_ +
                " FOR EACH ROW EXECUTE FUNCTION \"" + schema + "\".skip()");
    }

    // The rows of the ids with the values given, the others as they were.
    Values BeforeWith(const std::map<GIntBig, std::vector<std::string>>& changed) const
    {
        Values values = before_;
        for (const auto& [fid, row] : changed) {
            values[fid] = row;
        }
        return values;
    }

    TempFolder folder_;
    std::string dataset_;
    std::string table_;
    Values before_;
};

// 64-bit integers, reals and texts, among which the characters that quote
// and separate the elements of an array.
std::vector<int> SetWide(OGRFeature& feature)
{
    GIntBig fid = feature.GetFID();
    feature.SetField("NextDownID", fid % 2 == 0 ? GIntBig{5000000000} + fid : -fid * GIntBig{1000000007});
    feature.SetField("Area", static_cast<double>(fid) + 0.25);
    feature.SetField("Name", ("\"a,b\" 'c' \\" + std::to_string(fid) + "}{").c_str());
    return {feature.GetFieldIndex("NextDownID"), feature.GetFieldIndex("Area"), feature.GetFieldIndex("Name")};
}

std::vector<std::string> WideValues(GIntBig fid)
{
    return {std::to_string(fid % 2 == 0 ? GIntBig{5000000000} + fid : -fid * GIntBig{1000000007}),
            std::to_string(fid) + ".25", "\"a,b\" 'c' \\" + std::to_string(fid) + "}{"};
}

TEST_F(PostgresSessionTest, RowsOfConsecutiveIdsGetTheirValuesInFieldsOfEveryType)
{
    Create(true);
    std::map<GIntBig, std::vector<std::string>> changed;
    std::set<GIntBig> fids;
    for (GIntBig fid = 4; fid <= 20; ++fid) {
        fids.insert(fid);
        changed[fid] = WideValues(fid);
    }
    Write(fids, SetWide);
    EXPECT_EQ(Read(), BeforeWith(changed));
}

TEST_F(PostgresSessionTest, RowsWithGapsBetweenTheirIdsGetTheirValuesAndTheRowsBetweenKeepTheirs)
{
    Create(true);
    std::set<GIntBig> fids = {2, 3, 5, 9, 10, 11, 30};
    std::map<GIntBig, std::vector<std::string>> changed;
    for (GIntBig fid : fids) {
        changed[fid] = WideValues(fid);
    }
    Write(fids, SetWide);
    EXPECT_EQ(Read(), BeforeWith(changed));
}

TEST_F(PostgresSessionTest, ANullAmongRowsOfConsecutiveIdsIsWrittenAsANull)
{
    Create(false);
    std::map<GIntBig, std::vector<std::string>> changed;
    std::set<GIntBig> fids;
    for (GIntBig fid = 1; fid <= 12; ++fid) {
        fids.insert(fid);
        changed[fid] = {fid == 7 ? "<null>" : std::to_string(1000 + fid), before_.at(fid).at(1),
                        before_.at(fid).at(2)};
    }
    Write(fids, [](OGRFeature& feature) {
        int field = feature.GetFieldIndex("NextDownID");
        if (feature.GetFID() == 7) {
            feature.SetFieldNull(field);
        } else {
            feature.SetField(field, static_cast<int>(1000 + feature.GetFID()));
        }
        return std::vector<int>{field};
    });
    EXPECT_EQ(Read(), BeforeWith(changed));
}

TEST_F(PostgresSessionTest, ThirtyTwoBitValuesOfRowsOfConsecutiveIdsKeepTheirExtremes)
{
    Create(false);
    const int extremes[] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 0, -1};
    std::map<GIntBig, std::vector<std::string>> changed;
    std::set<GIntBig> fids;
    for (GIntBig fid = 21; fid <= 30; ++fid) {
        fids.insert(fid);
        changed[fid] = {std::to_string(extremes[fid % 4]), before_.at(fid).at(1), before_.at(fid).at(2)};
    }
    Write(fids, [&](OGRFeature& feature) {
        int field = feature.GetFieldIndex("NextDownID");
        feature.SetField(field, extremes[feature.GetFID() % 4]);
        return std::vector<int>{field};
    });
    EXPECT_EQ(Read(), BeforeWith(changed));
}

// Rows sent together are counted together, whether their ids follow each
// other or not.
class PostgresSkippedRowTest : public PostgresSessionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PostgresSkippedRowTest, ARowTheServerLeavesAsItWasEndsTheSaveWithNothingSaved)
{
    const bool consecutive = GetParam();
    Create(false);
    SkipRow(8);
    std::set<GIntBig> fids = consecutive ? std::set<GIntBig>{5, 6, 7, 8, 9, 10} : std::set<GIntBig>{2, 8, 15, 29};
    try {
        Write(fids, [](OGRFeature& feature) {
            int field = feature.GetFieldIndex("NextDownID");
            feature.SetField(field, static_cast<int>(-feature.GetFID()));
            return std::vector<int>{field};
        });
        ADD_FAILURE() << "the save went through";
    } catch (const runtime::Error& error) {
        std::string counted = consecutive ? "5 of the 6 rows" : "3 of the 4 rows";
        EXPECT_THAT(error.Description(), HasSubstr(counted + " sent to the table \"Watershed\" were updated"));
    }
    EXPECT_EQ(Read(), before_);
}

INSTANTIATE_TEST_SUITE_P(Ids, PostgresSkippedRowTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Consecutive" : "WithGaps"; });

}  // namespace
}  // namespace drennow::gdaltest
