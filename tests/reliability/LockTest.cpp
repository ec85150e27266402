// Data another program holds a lock on: the run, of the command or of the
// network, gives up within a bounded time with its error report, and
// changes nothing.
#include "PostgresServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>

namespace drennow::reliability {
namespace {

using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

// Long enough for the lock wait the run allows, far shorter than forever.
constexpr std::chrono::seconds kBoundedTime{30};

struct TimedRun {
    e2e::ChildResult result;
    Clock::duration took;
};

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

TimedRun RunWhileLocked(Program program, Format format, const std::string& dataset, const std::string& folder)
{
    std::vector<std::string> arguments = RunArguments(program, format);
    arguments.push_back(dataset);
    e2e::ChildOptions options;
    options.workingFolder = folder;
    Clock::time_point start = Clock::now();
    e2e::ChildResult result = Drennow(arguments, options);
    return {result, Clock::now() - start};
}

// Another process's open transaction on a GeoPackage, as BEGIN left it.
class SqliteHolder {
public:
    SqliteHolder(const std::string& path, const char* begin)
    {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db_, begin, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db_);
    }
    ~SqliteHolder()
    {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }
    SqliteHolder(const SqliteHolder&) = delete;
    SqliteHolder& operator=(const SqliteHolder&) = delete;

private:
    sqlite3* db_ = nullptr;
};

struct SqliteLock {
    const char* begin;
    int exitStatus;
    const char* says;
};

const SqliteLock kWriterHolds{"BEGIN IMMEDIATE", 1,
                              "is being changed by another program (database is locked); the edits were not saved"};
const SqliteLock kExclusive{"BEGIN EXCLUSIVE", 2, "database is locked"};

void PrintTo(const SqliteLock& lock, std::ostream* out)
{
    *out << lock.begin;
}

class GeoPackageLockTest : public ::testing::TestWithParam<std::tuple<Program, SqliteLock>> {};

TEST_P(GeoPackageLockTest, AnotherWritersTransactionEndsTheRunWithItsErrorAndNothingChanged)
{
    auto [program, lock] = GetParam();
    TempFolder folder;
    std::string dataset = CreateData(program, Format::GeoPackage, folder, Subdivision(3), true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    TimedRun run;
    {
        SqliteHolder holder(dataset, lock.begin);
        run = RunWhileLocked(program, Format::GeoPackage, dataset, folder.Path());
    }
    PrintOutcome(ProgramName(program) + ", GeoPackage, another writer's " + lock.begin, run.result, Seconds(run.took));
    EXPECT_LT(run.took, kBoundedTime);
    EXPECT_EQ(run.result.exitStatus, lock.exitStatus) << run.result.out << run.result.err;
    EXPECT_THAT(run.result.out + run.result.err, HasSubstr(lock.says));
    EXPECT_EQ(IntegrityCheck(dataset), "ok");
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
}

// A reserved lock still lets the run read, and its first update fails; an
// exclusive one keeps the data from being opened at all (as the network
// run's data is opened by the same code, that case is the command's only).
INSTANTIATE_TEST_SUITE_P(Locks, GeoPackageLockTest,
                         ::testing::Values(std::tuple{Program::Command, kWriterHolds},
                                           std::tuple{Program::Command, kExclusive},
                                           std::tuple{Program::Network, kWriterHolds}),
                         [](const auto& info) {
                             return (std::get<0>(info.param) == Program::Network ? "Network" : "") +
                                    std::string(std::get<1>(info.param).begin).substr(6);
                         });

// Edits that outgrow SQLite's cache are written out to the file before the
// commit, which needs the lock a reader keeps the run from: however often
// the run tries, it waits for the lock once, and then gives up as a run on a
// small layer does.
TEST(GeoPackageReaderTest, AReaderHoldingOnEndsARunOnALargeLayerAfterTheOneLockWait)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, Subdivision(5), true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    TimedRun run;
    {
        SqliteHolder reader(dataset, "BEGIN; SELECT count(*) FROM Watershed");
        run = RunWhileLocked(Program::Command, Format::GeoPackage, dataset, folder.Path());
    }
    PrintOutcome("GeoPackage of 59,049 basins, another program's read transaction", run.result, Seconds(run.took));
    EXPECT_LT(run.took, kBoundedTime);
    EXPECT_EQ(run.result.exitStatus, 1) << run.result.out << run.result.err;
    EXPECT_THAT(run.result.err, HasSubstr("is being changed by another program (database is locked); "
                                          "the edits were not saved"));
    EXPECT_EQ(IntegrityCheck(dataset), "ok");
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
}

// Another session of the server that holds a lock on the table until the
// object goes: of every row, or of the whole table.
class PostgresLock {
public:
    PostgresLock(const std::string& table, const std::string& lock)
    {
        session_.Execute("BEGIN");
        session_.Execute(lock == "rows" ? "SELECT 1 FROM " + table + " FOR UPDATE"
                                        : "LOCK TABLE " + table + " IN " + lock + " MODE");
    }
    ~PostgresLock() { session_.Execute("ROLLBACK"); }
    PostgresLock(const PostgresLock&) = delete;
    PostgresLock& operator=(const PostgresLock&) = delete;

private:
    ServerSession session_;
};

class PostgresLockTest : public ::testing::TestWithParam<std::tuple<Program, bool>> {
protected:
    void SetUp() override
    {
        if (gdaltest::PostgresConnection().empty()) {
            GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
        }
    }
};

// With its fields present the run waits for its lock on the table; without
// them, to add the columns to the table.
TEST_P(PostgresLockTest, RowsLockedByAnotherSessionEndTheRunInBoundedTimeWithNothingChanged)
{
    auto [program, withFields] = GetParam();
    TempFolder folder;
    std::string dataset = CreateData(program, Format::Postgres, folder, Subdivision(2), withFields);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    TimedRun run;
    {
        PostgresLock locks(LastWatershedTable(), "rows");
        run = RunWhileLocked(program, Format::Postgres, dataset, folder.Path());
    }
    PrintOutcome(ProgramName(program) + ", PostgreSQL rows locked, its fields " +
                     (withFields ? "present" : "to be added"),
                 run.result, Seconds(run.took));
    EXPECT_LT(run.took, kBoundedTime);
    EXPECT_EQ(run.result.exitStatus, 1) << run.result.out << run.result.err;
    EXPECT_THAT(run.result.err, HasSubstr("lock timeout"));
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    EXPECT_EQ(AddedFields(program, dataset, withFields), std::vector<std::string>{});
}

// The network run's lock on the table is the same session's as the
// command's, and PostgresLockTimeoutTest waits for it; here it adds its
// fields.
INSTANTIATE_TEST_SUITE_P(Fields, PostgresLockTest,
                         ::testing::Values(std::tuple{Program::Command, true}, std::tuple{Program::Command, false},
                                           std::tuple{Program::Network, false}),
                         [](const auto& info) {
                             bool withFields = std::get<1>(info.param);
                             if (std::get<0>(info.param) == Program::Network) {
                                 return std::string(withFields ? "NetworkFieldsPresent" : "NetworkFieldsToBeAdded");
                             }
                             return std::string(withFields ? "NextDownIdPresent" : "NextDownIdToBeAdded");
                         });

// The user's own bound on lock waits, as PGOPTIONS gives it.
class PostgresLockTimeoutTest : public PostgresRunTest, public ::testing::WithParamInterface<Program> {
protected:
    void SetUp() override
    {
        PostgresRunTest::SetUp();
        program_ = GetParam();
    }

    TimedRun RunWithin(const char* lockTimeout)
    {
        e2e::ChildOptions options;
        options.environment = {std::string("PGOPTIONS=-c lock_timeout=") + lockTimeout};
        Clock::time_point start = Clock::now();
        e2e::ChildResult result = Run(options);
        return {result, Clock::now() - start};
    }
};

TEST_P(PostgresLockTimeoutTest, TheUsersBoundIsKeptAndTheMessageNamesTheLock)
{
    Create(Subdivision(2));
    std::string before = TableDigest(*server_, table_);
    TimedRun run;
    {
        PostgresLock locks(table_, "rows");
        run = RunWithin("1s");
    }
    PrintOutcome(ProgramName(program_) + ", PostgreSQL rows locked, lock_timeout=1s", run.result, Seconds(run.took));
    EXPECT_GE(run.took, std::chrono::seconds(1));
    EXPECT_LT(run.took, std::chrono::seconds(6));  // not the run's own 10 s
    EXPECT_EQ(run.result.exitStatus, 1) << run.result.out << run.result.err;
    EXPECT_THAT(run.result.err, HasSubstr("EXCLUSIVE lock on the table \"Watershed\""));
    EXPECT_THAT(run.result.err, HasSubstr("lock timeout"));
    EXPECT_EQ(TableDigest(*server_, table_), before);
}

// Counting the rows is the first read of the table: its failure is the
// error it is, not an empty layer.
TEST_P(PostgresLockTimeoutTest, ATimeOutWhileCountingTheRowsIsReportedAsTheError)
{
    Create(Subdivision(2));
    TimedRun run;
    {
        PostgresLock lock(table_, "ACCESS EXCLUSIVE");
        run = RunWithin("1s");
    }
    PrintOutcome(ProgramName(program_) + ", PostgreSQL table locked while counting", run.result, Seconds(run.took));
    EXPECT_EQ(run.result.exitStatus, 1) << run.result.out << run.result.err;
    EXPECT_THAT(run.result.err, HasSubstr("Could not count the rows of Watershed"));
    EXPECT_THAT(run.result.err, HasSubstr("lock timeout"));
    EXPECT_THAT(run.result.err, Not(HasSubstr("No features found")));
}

INSTANTIATE_TEST_SUITE_P(Programs, PostgresLockTimeoutTest, ::testing::Values(Program::Command, Program::Network),
                         [](const auto& info) { return ProgramName(info.param); });

}  // namespace
}  // namespace drennow::reliability
