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

namespace drennow::reliability {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Basin 22 (feature 11) drains into basin 21 (feature 10, HydroID 1009): the
// first identifier the run writes.
constexpr int64_t kFirstWrittenId = 1009;

// What a run that must not save anything left: its exit status, its error
// report naming what it could not do, and the table as it was.
class PostgresValuesTest : public PostgresRunTest {
protected:
    void ExpectNothingSaved(const std::string& reason, const std::vector<std::string>& arguments = {})
    {
        std::string before = TableDigest(*server_, table_);
        e2e::ChildResult run = Run({}, "", arguments);
        PrintOutcome("PostgreSQL, " + reason, run);
        EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
        EXPECT_THAT(run.err, HasSubstr(reason));
        EXPECT_THAT(run.out, Not(HasSubstr("Finished")));
        EXPECT_EQ(TableDigest(*server_, table_), before);
        EXPECT_TRUE(gdaltest::FilesStartingWith(folder_.Path(), "Drennow").empty());
    }

    void Alter(const std::string& change) { server_->Execute("ALTER TABLE " + table_ + " " + change); }
    void Update(const std::string& change) { server_->Execute("UPDATE " + table_ + " SET " + change); }
};

struct NarrowColumn {
    const char* type;
    int64_t added;  // to every HydroID
};

void PrintTo(const NarrowColumn& column, std::ostream* out)
{
    *out << column.type;
}

class NarrowNextDownIdTest : public PostgresValuesTest, public ::testing::WithParamInterface<NarrowColumn> {};

// A column that would round the value or refuse it at the server ends the
// run before the value is sent, naming the feature, the field and the value.
TEST_P(NarrowNextDownIdTest, AnIdentifierTheColumnCannotHoldExactlyEndsTheRunWithNothingSaved)
{
    Create(Subdivision(2));
    Alter("ALTER COLUMN \"NextDownID\" TYPE " + std::string(GetParam().type));
    Update("\"HydroID\" = \"HydroID\" + " + std::to_string(GetParam().added));
    ExpectNothingSaved("Overflow: the NextDownID field of feature 11 cannot hold " +
                       std::to_string(kFirstWrittenId + GetParam().added));
}

INSTANTIATE_TEST_SUITE_P(Types, NarrowNextDownIdTest,
                         ::testing::Values(NarrowColumn{"real", 2000000000}, NarrowColumn{"smallint", 40000},
                                           NarrowColumn{"numeric(4,0)", 99000}, NarrowColumn{"numeric(8,4)", 99000}),
                         [](const auto& info) { return std::string(info.param.type).substr(0, 4) +
                                                       std::to_string(info.index); });

// The same columns take the values they hold exactly.
TEST_F(PostgresValuesTest, ARealColumnTakesTheIdentifiersItHoldsExactly)
{
    Create(Subdivision(2));
    Alter("ALTER COLUMN \"NextDownID\" TYPE real");
    Update("\"HydroID\" = \"HydroID\" + 16000000");
    e2e::ChildResult run = Run();
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(server_->Value("SELECT \"NextDownID\"::bigint FROM " + table_ + " WHERE ogc_fid = 11"),
              std::to_string(kFirstWrittenId + 16000000));
    EXPECT_EQ(server_->Value("SELECT count(*) FROM " + table_ + " WHERE \"NextDownID\" = -77"), "0");
}

TEST_F(PostgresValuesTest, ADoubleColumnEndsARunWhoseIdentifiersItWouldRound)
{
    dataset_ = gdaltest::CreateWideWatersheds(gdaltest::Format::Postgres, folder_, Subdivision(2), true);
    table_ = LastWatershedTable();
    Alter("ALTER COLUMN \"NextDownID\" TYPE double precision");
    Update("\"HydroID\" = \"HydroID\" + 9007199254740000");  // beyond 2^53 from feature 2 on
    ExpectNothingSaved("feature 11 cannot hold " + std::to_string(kFirstWrittenId + 9007199254740000), {"--int64"});
}

TEST_F(PostgresValuesTest, ATriggerThatRewritesAValueEndsTheRunWithNothingSaved)
{
    Create(Subdivision(2));
    std::string schema = gdaltest::LastPostgresTable();
    server_->Execute("CREATE FUNCTION " + schema +
                     ".rewrite() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN IF NEW.ogc_fid = 11 THEN "
                     "NEW.\"NextDownID\" := NEW.\"NextDownID\" + 1; END IF; RETURN NEW; END$$; CREATE TRIGGER "
                     "rewrite BEFORE UPDATE ON " + table_ + " FOR EACH ROW EXECUTE FUNCTION " + schema + ".rewrite()");
    ExpectNothingSaved("Could not update Watershed: feature 11 holds 1010 in NextDownID after its update, not the "
                       "1009 sent: a trigger rewrote the value");
}

// A numeric code of more digits than a 64-bit integer holds is no code the
// run can compute with, and never 0 (a basin that drains internally).
TEST_F(PostgresValuesTest, ANumericCodeBeyondSixtyFourBitsEndsTheRunNamingIt)
{
    Create(Subdivision(2));
    Alter("ALTER COLUMN \"PfafstetterID\" TYPE numeric(20,0)");
    Update("\"PfafstetterID\" = 99999999999999999999 WHERE ogc_fid = 5");
    ExpectNothingSaved("Overflow: the field PfafstetterID of feature 5 of Watershed holds 99999999999999999999, "
                       "beyond the 64-bit integers",
                       {"--int64"});
}

class WidePrimaryKeyTest : public PostgresValuesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(WidePrimaryKeyTest, IdsBeyondThirtyTwoBitsEndTheRunNamingTheFeatureAndItsIdColumn)
{
    Create(Subdivision(2));
    Alter("ALTER COLUMN ogc_fid TYPE bigint");
    Update("ogc_fid = ogc_fid + 3000000000");
    std::vector<std::string> arguments;
    if (GetParam()) {
        arguments.push_back("--int64");
    }
    ExpectNothingSaved("Overflow: feature 3000000001 of Watershed: its id (the field ogc_fid) is beyond the 32-bit "
                       "object ids",
                       arguments);
}

INSTANTIATE_TEST_SUITE_P(Widths, WidePrimaryKeyTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "WithInt64" : "Without"; });

}  // namespace
}  // namespace drennow::reliability
