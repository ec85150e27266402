#include "PostgresServer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace drennow::reliability {

namespace {

bool Succeeded(PGresult* result)
{
    ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

std::string ErrorOf(PGconn* connection, PGresult* result)
{
    std::string message = Succeeded(result) ? "" : PQerrorMessage(connection);
    PQclear(result);
    return message;
}

}  // namespace

ServerSession::ServerSession()
{
    std::string connection = gdaltest::PostgresConnection().substr(3);  // without "PG:"
    connection_ = PQconnectdb(connection.c_str());
    EXPECT_EQ(PQstatus(connection_), CONNECTION_OK) << PQerrorMessage(connection_);
}

ServerSession::~ServerSession()
{
    PQfinish(connection_);
}

void ServerSession::Execute(const std::string& sql)
{
    std::string error = TryExecute(sql);
    EXPECT_EQ(error, "") << sql;
}

std::string ServerSession::TryExecute(const std::string& sql)
{
    return ErrorOf(connection_, PQexec(connection_, sql.c_str()));
}

std::vector<std::string> ServerSession::Row(const std::string& sql)
{
    PGresult* result = PQexec(connection_, sql.c_str());
    std::vector<std::string> values;
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0) {
        for (int column = 0; column < PQnfields(result); ++column) {
            values.emplace_back(PQgetvalue(result, 0, column));
        }
    }
    EXPECT_FALSE(values.empty()) << sql << ": " << PQerrorMessage(connection_);
    PQclear(result);
    return values;
}

void ServerSession::Send(const std::string& sql)
{
    EXPECT_EQ(PQsendQuery(connection_, sql.c_str()), 1) << PQerrorMessage(connection_);
}

std::string ServerSession::Finish()
{
    std::string error;
    while (PGresult* result = PQgetResult(connection_)) {
        std::string message = ErrorOf(connection_, result);
        error = error.empty() ? message : error;
    }
    return error;
}

std::string LastWatershedTable()
{
    return "\"" + gdaltest::LastPostgresTable() + "\".\"Watershed\"";
}

std::string DatasetAs(const std::string& dataset, const std::string& role)
{
    return dataset + " user=" + role;  // the last user= counts
}

std::string TableDigest(ServerSession& session, const std::string& table)
{
    return session.Value("SELECT md5(string_agg(t::text, '|' ORDER BY t.ogc_fid)) FROM " + table + " t");
}

TableLocks LocksOf(ServerSession& session, const std::string& table)
{
    std::vector<std::string> row = session.Row(
        "SELECT bool_or(granted AND mode = 'ExclusiveLock')::text, bool_or(granted AND mode = 'RowExclusiveLock')::text, "
        "bool_or(NOT granted)::text FROM pg_locks WHERE relation = '" + table + "'::regclass AND pid <> pg_backend_pid()");
    return {row.at(0) == "true", row.at(1) == "true", row.at(2) == "true"};
}

bool AwaitRunsLock(ServerSession& session, const std::string& table)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!LocksOf(session, table).exclusive) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

void PostgresRunTest::SetUp()
{
    if (gdaltest::PostgresConnection().empty()) {
        GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
    }
    server_ = std::make_unique<ServerSession>();
}

void PostgresRunTest::Create(const std::vector<gdaltest::Basin>& basins, bool withWrittenFields)
{
    dataset_ = CreateData(program_, gdaltest::Format::Postgres, folder_, basins, withWrittenFields);
    table_ = LastWatershedTable();
}

e2e::ChildResult PostgresRunTest::Run(e2e::ChildOptions options, const std::string& dataset,
                                      const std::vector<std::string>& more)
{
    std::vector<std::string> arguments = RunArguments(program_, gdaltest::Format::Postgres);
    arguments.insert(arguments.end(), more.begin(), more.end());
    arguments.push_back(dataset.empty() ? dataset_ : dataset);
    options.workingFolder = folder_.Path();
    return Drennow(arguments, options);
}

void PostgresRunTest::Unwrite()
{
    std::string assignments;
    for (const std::string& field : WrittenFields(program_)) {
        assignments += (assignments.empty() ? "\"" : ", \"") + field + "\" = " + std::to_string(kUnwritten);
    }
    server_->Execute("UPDATE " + table_ + " SET " + assignments);
}

TestRole::TestRole(ServerSession& admin) : admin_(admin)
{
    static int counter = 0;
    name_ = "editor_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    admin_.Execute("CREATE ROLE " + name_ + " LOGIN");
}

TestRole::~TestRole()
{
    admin_.Execute("DROP OWNED BY " + name_ + "; DROP ROLE " + name_);
}

}  // namespace drennow::reliability
