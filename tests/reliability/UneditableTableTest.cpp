// PostgreSQL tables whose rows cannot all be updated: what can be known
// before the run reads the table ends it before then; rows that the server
// leaves as they were end it with nothing saved. Either way the error report
// says why, and the table is as it was.
#include "PostgresServer.h"
#include "command/Stage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace drennow::reliability {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

class UneditableTableTest : public PostgresRunTest {
protected:
    // A run whose error report has the reason and the run's stage (up to
    // 10 before the pass reads anything; 13 as it saves), and that left the
    // table (the view's own one) as it was.
    void ExpectRefused(const std::string& reason, const std::string& stage, const std::string& dataset = "")
    {
        std::string before = TableDigest(*server_, table_);
        e2e::ChildResult run = Run({}, dataset);
        PrintOutcome("PostgreSQL, " + reason, run);
        EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
        EXPECT_THAT(run.err, HasSubstr("Error -2147467259: "));
        EXPECT_THAT(run.err, HasSubstr(reason));
        EXPECT_THAT(run.err, EndsWith("\n" + stage + "\ndrennow: the run stopped at stage " + stage + " of 14 (" +
                                      command::DescriptionOf(static_cast<command::Stage>(std::stoi(stage))) + "); no value was saved\n"));
        EXPECT_EQ(TableDigest(*server_, table_), before);
    }
};

TEST_F(UneditableTableTest, AViewIsRefusedBeforeItsRowsAreRead)
{
    Create(Subdivision(2));
    std::string schema = gdaltest::LastPostgresTable() + "_view";
    server_->Execute("CREATE SCHEMA " + schema + "; CREATE VIEW " + schema + ".\"Watershed\" AS SELECT * FROM " +
                     table_);
    std::string dataset = dataset_.substr(0, dataset_.find(" schemas=")) + " schemas=" + schema;
    ExpectRefused("Watershed cannot be edited: it is a view", "10", dataset);
}

class NoPrimaryKeyTest : public UneditableTableTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NoPrimaryKeyTest, ATableWithoutAPrimaryKeyIsRefusedWithoutAFieldAdded)
{
    Create(Subdivision(2), GetParam());
    server_->Execute("ALTER TABLE " + table_ + " DROP CONSTRAINT " +
                     server_->Value("SELECT quote_ident(conname) FROM pg_constraint WHERE contype = 'p' AND conrelid = '" + table_ +
                                    "'::regclass"));
    ExpectRefused("Watershed cannot be edited: it has no primary key", GetParam() ? "10" : "8");
    EXPECT_EQ(gdaltest::HasField(dataset_, "Watershed", "NextDownID"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Fields, NoPrimaryKeyTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "NextDownIdPresent" : "NextDownIdToBeAdded"; });

TEST_F(UneditableTableTest, ARoleWithoutTheUpdatePrivilegeIsRefused)
{
    Create(Subdivision(2));
    TestRole reader(*server_);
    server_->Execute("GRANT USAGE ON SCHEMA " + gdaltest::LastPostgresTable() + " TO " + reader.Name() +
                     "; GRANT SELECT ON " + table_ + " TO " + reader.Name());
    ExpectRefused("the role " + reader.Name() + " has no UPDATE privilege", "10", DatasetAs(dataset_, reader.Name()));
}

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
