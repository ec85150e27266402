// PostgreSQL tables whose rows cannot all be updated: what can be known
// before the run reads the table ends it before then; rows that the server
// leaves as they were end it with nothing saved. Either way the error report
// says why, and the table is as it was.
#include "PostgresServer.h"
#include "command/Stage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

namespace drennow::reliability {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

class UneditableTableTest : public PostgresRunTest {
protected:
    // A run whose error report has the reason (the command's, with the
    // run's stage: up to 10 before the pass reads anything; 13 as it saves),
    // and that left the table (the view's own one) as it was.
    void ExpectRefused(const std::string& reason, const std::string& stage, const std::string& dataset = "")
    {
        std::string before = TableDigest(*server_, table_);
        e2e::ChildResult run = Run({}, dataset);
        PrintOutcome(ProgramName(program_) + ", PostgreSQL, " + reason, run);
        EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
        EXPECT_THAT(run.err, HasSubstr(reason));
        if (program_ == Program::Command) {
            EXPECT_THAT(run.err, HasSubstr("Error -2147467259: "));
            EXPECT_THAT(run.err, EndsWith("\n" + stage + "\ndrennow: the run stopped at stage " + stage + " of 14 (" +
                                          command::DescriptionOf(static_cast<command::Stage>(std::stoi(stage))) +
                                          "); no value was saved\n"));
        } else {
            EXPECT_THAT(run.err, EndsWith("; no value was saved\n"));
        }
        EXPECT_FALSE(SaysItFinished(program_, run.out)) << run.out;
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

TEST_F(UneditableTableTest, ARoleThatMayUpdateSomeColumnsOnlyIsToldWhatTheLockNeeds)
{
    Create(Subdivision(2));
    TestRole editor(*server_);
    server_->Execute("GRANT USAGE ON SCHEMA " + gdaltest::LastPostgresTable() + " TO " + editor.Name() +
                     "; GRANT SELECT, UPDATE (\"NextDownID\") ON " + table_ + " TO " + editor.Name());
    ExpectRefused("the role " + editor.Name() +
                      " may update some of its columns only, and the EXCLUSIVE lock that keeps other writers off "
                      "while it is edited needs the UPDATE privilege on the table itself",
                  "10", DatasetAs(dataset_, editor.Name()));
}

// A child table (one that inherits from the table) whose rows repeat ids
// of the table's: an update by id would write rows of both.
class InheritedRowsTest : public UneditableTableTest, public ::testing::WithParamInterface<bool> {};

TEST_P(InheritedRowsTest, RowsOfChildTablesThatShareIdsAreRefusedBeforeAnythingChanges)
{
    Create(Subdivision(2), GetParam());
    std::string child = "\"" + gdaltest::LastPostgresTable() + "\".child";
    server_->Execute("CREATE TABLE " + child + " () INHERITS (" + table_ + "); INSERT INTO " + child +
                     " SELECT * FROM ONLY " + table_ + " WHERE ogc_fid = 5");
    ExpectRefused("Watershed cannot be edited: rows of its child tables share ids with its own rows or each "
                  "other's (the id 5 is held by rows of \"Watershed\" and child)",
                  GetParam() ? "10" : "8");
    EXPECT_EQ(gdaltest::HasField(dataset_, "Watershed", "NextDownID"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Fields, InheritedRowsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "NextDownIdPresent" : "NextDownIdToBeAdded"; });

TEST_F(UneditableTableTest, ATriggerThatSkipsRowsEndsTheRunWithNothingSaved)
{
    Create(Subdivision(3));
    std::string schema = gdaltest::LastPostgresTable();
    server_->Execute("CREATE FUNCTION " + schema +
                     ".skip() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN IF NEW.\"HydroID\" % 3 = 0 THEN RETURN "
                     "NULL; END IF; RETURN NEW; END$$; CREATE TRIGGER skip BEFORE UPDATE ON " + table_ +
                     " FOR EACH ROW EXECUTE FUNCTION " + schema + ".skip()");
    // HydroID 1002 is the first multiple of 3: feature 3's.
    ExpectRefused("rows sent to the table \"Watershed\" were updated; feature 3, which is there, was left as it "
                  "was: a trigger skipped its update",
                  "13");
}

// Row-level security policies for the role that runs: the run is refused
// before it counts the rows when they may keep rows from it, whether from
// its reads (codes computed on some rows are wrong) or from its updates.
struct Policies {
    const char* name;
    const char* statements;  // %t: the table
    const char* limiting;    // the policy named, empty when every row is seen
};

void PrintTo(const Policies& policies, std::ostream* out)
{
    *out << policies.name;
}

class RowLevelSecurityTest : public UneditableTableTest,
                             public ::testing::WithParamInterface<std::tuple<Program, Policies>> {
protected:
    void SetUp() override
    {
        UneditableTableTest::SetUp();
        program_ = std::get<0>(GetParam());
    }

    void Secure(const TestRole& role)
    {
        std::string statements = std::get<1>(GetParam()).statements;
        for (size_t at; (at = statements.find("%t")) != std::string::npos;) {
            statements.replace(at, 2, table_);
        }
        server_->Execute("GRANT USAGE ON SCHEMA " + gdaltest::LastPostgresTable() + " TO " + role.Name() +
                         "; GRANT SELECT, UPDATE ON " + table_ + " TO " + role.Name() + "; ALTER TABLE " + table_ +
                         " ENABLE ROW LEVEL SECURITY; " + statements);
    }
};

TEST_P(RowLevelSecurityTest, PoliciesThatMayKeepRowsFromTheRoleAreRefusedBeforeTheRowsAreCounted)
{
    std::vector<gdaltest::Basin> basins = Subdivision(3);
    Create(basins);
    TestRole editor(*server_);
    Secure(editor);
    std::string limiting = std::get<1>(GetParam()).limiting;
    if (!limiting.empty()) {
        ExpectRefused("Watershed cannot be edited: the row-level security policy \"" + limiting +
                          "\" applies to the role " + editor.Name() + ", which may then see or update only some of "
                          "its rows",
                      "4", DatasetAs(dataset_, editor.Name()));
        return;
    }
    // Every row seen: the role's run writes what the owner's does.
    e2e::ChildResult secured = Run({}, DatasetAs(dataset_, editor.Name()));
    ASSERT_EQ(secured.exitStatus, 0) << secured.out << secured.err;
    EXPECT_EQ(SavedValues(program_, gdaltest::Format::Postgres, basins).ProblemsIn(dataset_), "");
    std::string written = TableDigest(*server_, table_);
    Unwrite();
    e2e::ChildResult owners = Run();
    ASSERT_EQ(owners.exitStatus, 0) << owners.out << owners.err;
    EXPECT_EQ(TableDigest(*server_, table_), written);
}

INSTANTIATE_TEST_SUITE_P(
    Policies, RowLevelSecurityTest,
    ::testing::Combine(::testing::Values(Program::Command, Program::Network), ::testing::Values(
        Policies{"SomeRowsUpdated",
                 "CREATE POLICY everyone_reads ON %t FOR SELECT USING (true); CREATE POLICY some_are_written ON %t "
                 "FOR UPDATE USING (\"HydroID\" % 2 = 0)",
                 "some_are_written"},
        Policies{"SomeRowsSeen",
                 "CREATE POLICY some_are_seen ON %t FOR SELECT USING (\"HydroID\" % 2 = 0); CREATE POLICY "
                 "everyone_writes ON %t FOR UPDATE USING (true)",
                 "some_are_seen"},
        Policies{"ARestrictivePolicy",
                 "CREATE POLICY everyone ON %t USING (true); CREATE POLICY narrowed ON %t AS RESTRICTIVE USING "
                 "(\"HydroID\" > 1010)",
                 "narrowed"},
        Policies{"EveryRowSeenAndUpdated",
                 "CREATE POLICY everyone_reads ON %t FOR SELECT USING (true); CREATE POLICY some_are_written ON %t "
                 "FOR UPDATE USING (\"HydroID\" % 2 = 0); CREATE POLICY everyone_writes ON %t FOR UPDATE USING "
                 "(true)",
                 ""})),
    [](const auto& info) {
        return (std::get<0>(info.param) == Program::Network ? "Network" : "") + std::string(std::get<1>(info.param).name);
    });

TEST_F(UneditableTableTest, NoPolicyForTheRoleIsRefusedRatherThanNoRowFound)
{
    Create(Subdivision(2));
    TestRole editor(*server_);
    server_->Execute("GRANT USAGE ON SCHEMA " + gdaltest::LastPostgresTable() + " TO " + editor.Name() +
                     "; GRANT SELECT, UPDATE ON " + table_ + " TO " + editor.Name() + "; ALTER TABLE " + table_ +
                     " ENABLE ROW LEVEL SECURITY");
    // The role would count no row.
    ExpectRefused("no row-level security policy lets the role " + editor.Name() + " read and update every row", "4",
                  DatasetAs(dataset_, editor.Name()));
}

// GDAL's driver lists the partitions of a partitioned table, not the table:
// a run on one partition is told that it does not see the others' codes.
TEST_F(UneditableTableTest, ARunOnAPartitionWarnsThatTheOtherPartitionsAreNotSeen)
{
    Create(Subdivision(2));
    std::string schema = "\"" + gdaltest::LastPostgresTable() + "\"";
    server_->Execute("CREATE TABLE " + schema + ".parted (LIKE " + table_ + ") PARTITION BY RANGE (ogc_fid); " +
                     "ALTER TABLE " + schema + ".parted ADD PRIMARY KEY (ogc_fid); CREATE TABLE " + schema +
                     ".low PARTITION OF " + schema + ".parted FOR VALUES FROM (MINVALUE) TO (41); CREATE TABLE " +
                     schema + ".high PARTITION OF " + schema + ".parted FOR VALUES FROM (41) TO (MAXVALUE); " +
                     "INSERT INTO " + schema + ".parted SELECT * FROM " + table_ + "; DROP TABLE " + table_);
    std::string high = TableDigest(*server_, schema + ".high");
    std::vector<std::string> arguments = IdAnswers(gdaltest::Format::Postgres);
    *(std::find(arguments.begin(), arguments.end(), "--layer") + 1) = "low";
    arguments.push_back(dataset_);
    e2e::ChildOptions options;
    options.workingFolder = folder_.Path();
    e2e::ChildResult run = Drennow(arguments, options);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("low is a partition of the partitioned table parted, which is not offered: a "
                                   "run on it sees the codes of this partition only, not those of the others"));
    EXPECT_EQ(server_->Value("SELECT count(*) FROM " + schema + ".low WHERE \"NextDownID\" = -77"), "0");
    EXPECT_EQ(TableDigest(*server_, schema + ".high"), high);
}

// The tables GDAL's driver lists come from a query of the server's: when
// it fails, the run says so rather than find no layer.
TEST_F(UneditableTableTest, AListingOfTheTablesThatFailsIsShownAsTheServersError)
{
    Create(Subdivision(2));
    e2e::ChildOptions options;
    options.environment.push_back("PGOPTIONS=-c search_path=" + gdaltest::LastPostgresTable());
    e2e::ChildResult run = Run(options, gdaltest::PostgresConnection());
    PrintOutcome("PostgreSQL, a search path without PostGIS", run);
    EXPECT_EQ(run.exitStatus, 2) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("Could not list the tables of " + gdaltest::PostgresConnection() + ": ERROR:"));
    EXPECT_THAT(run.err, Not(HasSubstr("there are none")));
}

// The server ends the run's connection while the run waits for an answer:
// the edit session that starts next finds it gone, and says so.
TEST_F(UneditableTableTest, AConnectionLostAsTheSessionStartsIsReportedAsSuch)
{
    Create(Subdivision(2));
    TestRole editor(*server_);
    server_->Execute("GRANT USAGE ON SCHEMA " + gdaltest::LastPostgresTable() + " TO " + editor.Name() +
                     "; GRANT SELECT, UPDATE ON " + table_ + " TO " + editor.Name());
    std::string before = TableDigest(*server_, table_);
    std::vector<std::string> arguments = IdAnswers(gdaltest::Format::Postgres);
    arguments.erase(std::find(arguments.begin(), arguments.end(), "--batch"));
    arguments.erase(std::find(arguments.begin(), arguments.end(), "--id-field"), arguments.end());
    arguments.push_back(DatasetAs(dataset_, editor.Name()));
    e2e::ChildOptions options;
    options.workingFolder = folder_.Path();
    options.input = e2e::Input::Terminal;
    options.interact = [&](int terminal, int, const std::function<std::string()>& outputSoFar) {
        while (outputSoFar().find("Select ID field") == std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ServerSession admin;
        EXPECT_EQ(admin.Value("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE usename = '" +
                              editor.Name() + "'"),
                  "1");
        ASSERT_EQ(::write(terminal, "HydroID\n", 8), 8);
    };
    e2e::ChildResult run = Drennow(arguments, options);
    PrintOutcome("PostgreSQL, the connection lost as the session starts", run);
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("the connection to the database server was lost"));
    EXPECT_THAT(run.err, Not(HasSubstr("Could Not Edit")));
    EXPECT_EQ(TableDigest(*server_, table_), before);
}

// Adding NextDownID waits for every other session's lock on the table, and
// reads that come meanwhile wait behind it: the run's brief attempts let
// them pass while it waits, and it adds the field once the table is free.
TEST_F(UneditableTableTest, ReadersPassWhileTheRunWaitsToAddTheField)
{
    Create(Subdivision(2), false);
    server_->Execute("BEGIN; SELECT 1 FROM " + table_ + " LIMIT 1");  // holds a reader's lock
    std::string readerError = "not read";
    e2e::ChildOptions options;
    options.interact = [&](int, int, const auto&) {
        ServerSession watcher;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!LocksOf(watcher, table_).waiting && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // Far less than the run's own bound of 10 s on its wait.
        ServerSession reader;
        readerError = reader.TryExecute("SET lock_timeout = '3s'; SELECT count(*) FROM " + table_);
        server_->Execute("ROLLBACK");
    };
    e2e::ChildResult run = Run(options);
    EXPECT_EQ(readerError, "");
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(server_->Value("SELECT count(*) FROM " + table_ + " WHERE nextdownid IS NULL"), "0");
}

}  // namespace
}  // namespace drennow::reliability
