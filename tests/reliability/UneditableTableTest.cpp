// PostgreSQL tables whose rows cannot all be updated: rows that the server
// leaves as they were end the run with nothing saved, and the error report
// says why.
#include "PostgresServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace drennow::reliability {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

class UneditableTableTest : public PostgresRunTest {
protected:
    // A run whose error report has the reason and the run's stage (13 as
    // it saves), and that left the table as it was.
    void ExpectRefused(const std::string& reason, const std::string& stage, const std::string& dataset = "")
    {
        std::string before = TableDigest(*server_, table_);
        e2e::ChildResult run = Run({}, dataset);
        PrintOutcome("PostgreSQL, " + reason, run);
        EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
        EXPECT_THAT(run.out, HasSubstr("Error -2147467259: "));
        EXPECT_THAT(run.out, HasSubstr(reason));
        EXPECT_THAT(run.out, EndsWith("\n" + stage + "\n"));
        EXPECT_EQ(TableDigest(*server_, table_), before);
    }
};

// Rows sent that the server leaves as they were without an error.
constexpr const char* kLeftAsTheyWere = "rows sent to the table \"Watershed\" were updated; a trigger";

TEST_F(UneditableTableTest, ATriggerThatSkipsRowsEndsTheRunWithNothingSaved)
{
    Create(Subdivision(3));
    std::string schema = gdaltest::LastPostgresTable();
    server_->Execute("CREATE FUNCTION " + schema +
                     ".skip() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN IF NEW.\"HydroID\" % 3 = 0 THEN RETURN "
                     "NULL; END IF; RETURN NEW; END$$; CREATE TRIGGER skip BEFORE UPDATE ON " + table_ +
                     " FOR EACH ROW EXECUTE FUNCTION " + schema + ".skip()");
    ExpectRefused(kLeftAsTheyWere, "13");
}

TEST_F(UneditableTableTest, ARowLevelPolicyThatKeepsRowsFromTheUpdateEndsTheRunWithNothingSaved)
{
    Create(Subdivision(3));
    TestRole editor(*server_);
    server_->Execute("GRANT USAGE ON SCHEMA " + gdaltest::LastPostgresTable() + " TO " + editor.Name() +
                     "; GRANT SELECT, UPDATE ON " + table_ + " TO " + editor.Name() + "; ALTER TABLE " + table_ +
                     " ENABLE ROW LEVEL SECURITY; CREATE POLICY everyone_reads ON " + table_ +
                     " FOR SELECT USING (true); CREATE POLICY some_are_written ON " + table_ +
                     " FOR UPDATE USING (\"HydroID\" % 2 = 0)");
    ExpectRefused(kLeftAsTheyWere, "13", DatasetAs(dataset_, editor.Name()));
}

}  // namespace
}  // namespace drennow::reliability
