#pragma once

#include "Programs.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

// Runs on tables of the test server, and another program's session there to
// change, lock and watch what a run works on.
namespace drennow::reliability {

class ServerSession {
public:
    ServerSession();
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Runs the statements; a failure fails the test.
    void Execute(const std::string& sql);
    // The server's message when the statements fail; empty when they run.
    std::string TryExecute(const std::string& sql);
    // The first row a query gives, each value as text.
    std::vector<std::string> Row(const std::string& sql);
    std::string Value(const std::string& sql) { return Row(sql).at(0); }

    // Sends a statement without waiting for it to end; Finish waits and
    // gives what TryExecute gives.
    void Send(const std::string& sql);
    std::string Finish();

private:
    PGconn* connection_ = nullptr;
};

// The "Watershed" table that gdaltest::CreateWatersheds made last, quoted
// with its schema.
std::string LastWatershedTable();

// The run's connection to that table, as the role given.
std::string DatasetAs(const std::string& dataset, const std::string& role);

// Everything the table holds, geometry too, in one text that changes with
// any of it.
std::string TableDigest(ServerSession& session, const std::string& table);

// Locks of the table that sessions other than this one hold: a run in its
// edit session holds the EXCLUSIVE one, and ROW EXCLUSIVE once it wrote.
struct TableLocks {
    bool exclusive = false;
    bool rowExclusive = false;
    bool waiting = false;  // a session waits for a lock of the table
};
TableLocks LocksOf(ServerSession& session, const std::string& table);

// Waits until a run holds its EXCLUSIVE lock on the table; false after 30 s.
bool AwaitRunsLock(ServerSession& session, const std::string& table);

// A run of drennow on a "Watershed" table of the test server: the command
// writing HydroIDs, or the network's first run (program_); skipped without a
// test server.
class PostgresRunTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Makes the table of the basins, with the fields the program writes when
    // wanted; dataset_ and table_ name it.
    void Create(const std::vector<gdaltest::Basin>& basins, bool withWrittenFields = true);
    // Runs on dataset_ (or the dataset given) with the program's arguments and
    // the options besides, and the arguments given before the dataset.
    e2e::ChildResult Run(e2e::ChildOptions options = {}, const std::string& dataset = "",
                         const std::vector<std::string>& arguments = {});
    // Sets the fields the program writes back to kUnwritten in every row.
    void Unwrite();

    Program program_ = Program::Command;
    gdaltest::TempFolder folder_;
    std::string dataset_;
    std::string table_;
    std::unique_ptr<ServerSession> server_;
};

// A login role of its own, dropped with what it owns when the object goes.
class TestRole {
public:
    explicit TestRole(ServerSession& admin);
    ~TestRole();
    TestRole(const TestRole&) = delete;
    TestRole& operator=(const TestRole&) = delete;
    const std::string& Name() const { return name_; }

private:
    ServerSession& admin_;
    std::string name_;
};

}  // namespace drennow::reliability
