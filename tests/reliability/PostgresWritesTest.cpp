// What a run reads of a PostgreSQL table: never its geometry; and what it
// sends to it: the rows whose NextDownID it changes, and those only, as an
// UPDATE trigger of the table sees them.
#include "PostgresServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace drennow::reliability {
namespace {

using ::testing::HasSubstr;

class PostgresWritesTest : public PostgresRunTest {
protected:
    // The table of a subdivision to level 3, with a trigger that counts the
    // rows each UPDATE of it writes.
    void CreateCounted()
    {
        Create(Subdivision(3));
        std::string schema = gdaltest::LastPostgresTable();
        counter_ = schema + ".rewritten";
        server_->Execute("CREATE TABLE " + counter_ + " (rows integer); INSERT INTO " + counter_ +
                         " VALUES (0); CREATE FUNCTION " + schema +
                         ".count_row() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN UPDATE " + counter_ +
                         " SET rows = rows + 1; RETURN NEW; END$$; CREATE TRIGGER count_row AFTER UPDATE ON " +
                         table_ + " FOR EACH ROW EXECUTE FUNCTION " + schema + ".count_row()");
    }

    // The rows written since the last call.
    int RowsRewritten()
    {
        int rows = std::stoi(server_->Value("SELECT rows FROM " + counter_));
        server_->Execute("UPDATE " + counter_ + " SET rows = 0");
        return rows;
    }

    void RunToItsEnd()
    {
        e2e::ChildResult run = Run();
        ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    }

    int RowCount() { return std::stoi(server_->Value("SELECT count(*) FROM " + table_)); }

    std::string counter_;
};

TEST_F(PostgresWritesTest, ARunRepeatedOnTheSameDataRewritesNoRow)
{
    CreateCounted();
    RunToItsEnd();
    EXPECT_EQ(RowsRewritten(), RowCount());
    std::string written = TableDigest(*server_, table_);

    RunToItsEnd();
    EXPECT_EQ(RowsRewritten(), 0);
    EXPECT_EQ(TableDigest(*server_, table_), written);
}

TEST_F(PostgresWritesTest, OnlyTheRowsWhoseValueDiffersAreWrittenANullCountingAsADifference)
{
    CreateCounted();
    RunToItsEnd();
    std::string written = TableDigest(*server_, table_);
    server_->Execute("UPDATE " + table_ + " SET \"NextDownID\" = NULL WHERE ogc_fid IN (3, 50); UPDATE " + table_ +
                     " SET \"NextDownID\" = -77 WHERE ogc_fid IN (7, 8, 9)");
    RowsRewritten();

    RunToItsEnd();
    EXPECT_EQ(RowsRewritten(), 5);
    EXPECT_EQ(TableDigest(*server_, table_), written);
}

// The rows the run sends at once are all counted as one: a trigger that
// skips some of those the run changes ends the run with nothing saved, and
// says where.
TEST_F(PostgresWritesTest, ARowOfABatchLeftAsItWasEndsTheRunWithNothingSaved)
{
    CreateCounted();
    RunToItsEnd();
    server_->Execute("UPDATE " + table_ + " SET \"NextDownID\" = NULL WHERE ogc_fid BETWEEN 100 AND 200");
    std::string schema = gdaltest::LastPostgresTable();
    server_->Execute("CREATE FUNCTION " + schema +
                     ".skip() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN IF NEW.ogc_fid = 150 THEN RETURN NULL; "
                     "END IF; RETURN NEW; END$$; CREATE TRIGGER skip BEFORE UPDATE ON " + table_ +
                     " FOR EACH ROW EXECUTE FUNCTION " + schema + ".skip()");
    std::string before = TableDigest(*server_, table_);
    RowsRewritten();

    e2e::ChildResult run = Run();
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("100 of the 101 rows sent to the table \"Watershed\" were updated"));
    EXPECT_EQ(TableDigest(*server_, table_), before);
    EXPECT_EQ(RowsRewritten(), 0);
}

// A role that may read every column but the geometry fills NextDownID as
// the table's owner does.
TEST_F(PostgresWritesTest, ARunReadsNoGeometry)
{
    Create(Subdivision(2));
    TestRole role(*server_);
    server_->Execute("GRANT USAGE ON SCHEMA " + gdaltest::LastPostgresTable() + " TO " + role.Name() +
                     "; GRANT SELECT (ogc_fid, \"PfafstetterID\", \"HydroID\", \"NextDownID\"), UPDATE ON " +
                     table_ + " TO " + role.Name());
    ASSERT_NE(server_->TryExecute("SET ROLE " + role.Name() + "; SELECT geom FROM " + table_), "");
    server_->Execute("RESET ROLE");
    std::string before = TableDigest(*server_, table_);
    e2e::ChildResult withoutGeometry = Run({}, DatasetAs(dataset_, role.Name()));
    ASSERT_EQ(withoutGeometry.exitStatus, 0) << withoutGeometry.out << withoutGeometry.err;
    std::string written = TableDigest(*server_, table_);
    ASSERT_NE(written, before);

    server_->Execute("UPDATE " + table_ + " SET \"NextDownID\" = -77");
    ASSERT_EQ(TableDigest(*server_, table_), before);
    RunToItsEnd();
    EXPECT_EQ(TableDigest(*server_, table_), written);
}

}  // namespace
}  // namespace drennow::reliability
