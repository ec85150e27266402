// Data another program holds a lock on: the run gives up within a bounded
// time with its error report, and changes nothing.
#include "Reliability.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>

namespace drennow::reliability {
namespace {

using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;
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

TimedRun RunWhileLocked(Format format, const std::string& dataset, const std::string& folder)
{
    std::vector<std::string> arguments = IdAnswers(format);
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

class GeoPackageLockTest : public ::testing::TestWithParam<SqliteLock> {};

TEST_P(GeoPackageLockTest, AnotherWritersTransactionEndsTheRunWithItsErrorAndNothingChanged)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, Subdivision(3), true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    TimedRun run;
    {
        SqliteHolder holder(dataset, GetParam().begin);
        run = RunWhileLocked(Format::GeoPackage, dataset, folder.Path());
    }
    PrintOutcome(std::string("GeoPackage, another writer's ") + GetParam().begin, run.result, Seconds(run.took));
    EXPECT_LT(run.took, kBoundedTime);
    EXPECT_EQ(run.result.exitStatus, GetParam().exitStatus) << run.result.out << run.result.err;
    EXPECT_THAT(run.result.out + run.result.err, HasSubstr(GetParam().says));
    EXPECT_EQ(IntegrityCheck(dataset), "ok");
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
}

// A reserved lock still lets the run read, and its first update fails; an
// exclusive one keeps the data from being opened at all.
INSTANTIATE_TEST_SUITE_P(Locks, GeoPackageLockTest,
                         ::testing::Values(SqliteLock{"BEGIN IMMEDIATE", 1,
                                                      "is being changed by another program (database is locked); "
                                                      "the edits were not saved"},
                                           SqliteLock{"BEGIN EXCLUSIVE", 2, "database is locked"}),
                         [](const auto& info) { return std::string(info.param.begin).substr(6); });

// Another session of the server that has locked every row of the table.
class PostgresRowLocks {
public:
    explicit PostgresRowLocks(const std::string& table)
    {
        std::string connection = gdaltest::PostgresConnection().substr(3);  // without "PG:"
        connection_ = PQconnectdb(connection.c_str());
        EXPECT_EQ(PQstatus(connection_), CONNECTION_OK) << PQerrorMessage(connection_);
        Execute("BEGIN");
        Execute("SELECT 1 FROM " + table + " FOR UPDATE");
    }
    ~PostgresRowLocks()
    {
        Execute("ROLLBACK");
        PQfinish(connection_);
    }
    PostgresRowLocks(const PostgresRowLocks&) = delete;
    PostgresRowLocks& operator=(const PostgresRowLocks&) = delete;

private:
    void Execute(const std::string& sql)
    {
        PGresult* result = PQexec(connection_, sql.c_str());
        EXPECT_TRUE(PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK)
            << sql << ": " << PQerrorMessage(connection_);
        PQclear(result);
    }

    PGconn* connection_ = nullptr;
};

class PostgresLockTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (gdaltest::PostgresConnection().empty()) {
            GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
        }
    }
};

// With NextDownID present the run waits to update the rows; without it, to
// add the column to the table.
TEST_P(PostgresLockTest, RowsLockedByAnotherSessionEndTheRunInBoundedTimeWithNothingChanged)
{
    bool withNextDownId = GetParam();
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::Postgres, folder, Subdivision(2), withNextDownId);
    std::string table = "\"" + gdaltest::LastPostgresTable() + "\".\"Watershed\"";
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    TimedRun run;
    {
        PostgresRowLocks locks(table);
        run = RunWhileLocked(Format::Postgres, dataset, folder.Path());
    }
    PrintOutcome(std::string("PostgreSQL rows locked, NextDownID ") + (withNextDownId ? "present" : "to be added"),
                 run.result, Seconds(run.took));
    EXPECT_LT(run.took, kBoundedTime);
    EXPECT_EQ(run.result.exitStatus, 1) << run.result.out << run.result.err;
    EXPECT_THAT(run.result.out, HasSubstr("lock timeout"));
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    EXPECT_EQ(gdaltest::HasField(dataset, "Watershed", "NextDownID"), withNextDownId);
}

INSTANTIATE_TEST_SUITE_P(Fields, PostgresLockTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "NextDownIdPresent" : "NextDownIdToBeAdded"; });

}  // namespace
}  // namespace drennow::reliability
