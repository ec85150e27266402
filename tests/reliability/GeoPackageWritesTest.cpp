// The rows a run writes into a GeoPackage, as an UPDATE trigger of the
// layer's table sees them: those whose NextDownID it changes, and those only.
#include "Reliability.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace drennow::reliability {
namespace {

using gdaltest::Format;

class GeoPackageWritesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dataset_ = gdaltest::CreateWatersheds(Format::GeoPackage, folder_, Subdivision(3), true);
        Execute("CREATE TABLE rewritten (rows INTEGER); INSERT INTO rewritten VALUES (0); "
                "CREATE TRIGGER count_row AFTER UPDATE ON \"Watershed\" FOR EACH ROW "
                "BEGIN UPDATE rewritten SET rows = rows + 1; END");
    }

    void Execute(const std::string& sql)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(dataset_.c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }

    // The rows written since the last call.
    int RowsRewritten()
    {
        int rows = -1;
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(dataset_.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "SELECT rows FROM rewritten", -1, &statement, nullptr);
        if (sqlite3_step(statement) == SQLITE_ROW) {
            rows = sqlite3_column_int(statement, 0);
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        Execute("UPDATE rewritten SET rows = 0");
        return rows;
    }

    void RunToItsEnd()
    {
        std::vector<std::string> arguments = IdAnswers(Format::GeoPackage);
        arguments.push_back(dataset_);
        e2e::ChildOptions options;
        options.workingFolder = folder_.Path();
        e2e::ChildResult run = Drennow(arguments, options);
        ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    }

    gdaltest::TempFolder folder_;
    std::string dataset_;
};

TEST_F(GeoPackageWritesTest, OnlyRowsWhoseNextDownIdChangesAreRewritten)
{
    RunToItsEnd();
    EXPECT_EQ(RowsRewritten(), 729);  // every row held the old value
    auto written = gdaltest::FieldValues(dataset_, "Watershed", "NextDownID");

    RunToItsEnd();
    EXPECT_EQ(RowsRewritten(), 0);

    {
        // GDAL's connection has the functions of the table's spatial index triggers.
        GDALDatasetUniquePtr gpkg(GDALDataset::Open(dataset_.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        ASSERT_TRUE(gpkg);
        for (const char* sql : {"UPDATE \"Watershed\" SET \"NextDownID\" = NULL WHERE fid IN (3, 50)",
                                "UPDATE \"Watershed\" SET \"NextDownID\" = -77 WHERE fid IN (7, 8, 9)"}) {
            CPLErrorReset();
            gpkg->ReleaseResultSet(gpkg->ExecuteSQL(sql, nullptr, nullptr));
            ASSERT_EQ(CPLGetLastErrorType(), CE_None) << CPLGetLastErrorMsg();
        }
    }
    RowsRewritten();
    RunToItsEnd();
    EXPECT_EQ(RowsRewritten(), 5);
    EXPECT_EQ(gdaltest::FieldValues(dataset_, "Watershed", "NextDownID"), written);
}

// A row a trigger keeps from its update (RAISE(IGNORE)) is there: the run
// names it as a row a trigger skipped, and saves nothing.
TEST_F(GeoPackageWritesTest, ARowATriggerSkipsEndsTheRunNamingIt)
{
    Execute("CREATE TRIGGER skip BEFORE UPDATE OF \"NextDownID\" ON \"Watershed\" WHEN NEW.fid = 41 "
            "BEGIN SELECT RAISE(IGNORE); END");
    std::vector<gdaltest::FeatureSnapshot> before = gdaltest::Snapshot(dataset_, "Watershed");
    std::vector<std::string> arguments = IdAnswers(Format::GeoPackage);
    arguments.push_back(dataset_);
    e2e::ChildOptions options;
    options.workingFolder = folder_.Path();
    e2e::ChildResult run = Drennow(arguments, options);
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("Feature 41 of Watershed, which is there, was left as it was: a trigger skipped its "
                           "update; the edits were not saved"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(gdaltest::Snapshot(dataset_, "Watershed"), before);
}

}  // namespace
}  // namespace drennow::reliability
