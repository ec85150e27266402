// Other writers of a PostgreSQL table and a run: whichever comes second
// waits for the other (or gives up with a message naming the lock), so a
// finished run's values always match the identifiers it read.
#include "ExpectedRun.h"
#include "PostgresServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace drennow::reliability {
namespace {

using gdaltest::Basin;
using ::testing::HasSubstr;

constexpr int64_t kIdShift = 1000000;

// NextDownID of every feature once a run wrote the basins' identifiers.
std::map<int64_t, std::optional<int64_t>> Expected(const std::vector<Basin>& basins)
{
    return e2e::Expect(basins, 1, {false, true, std::nullopt}).nextDownIds;
}

std::vector<Basin> Shifted(std::vector<Basin> basins)
{
    for (Basin& basin : basins) {
        *basin.hydroId += kIdShift;
    }
    return basins;
}

class WritersTest : public PostgresRunTest {
protected:
    std::map<int64_t, std::optional<int64_t>> NextDownIds()
    {
        return gdaltest::FieldValues(dataset_, "Watershed", "NextDownID");
    }

    std::string ShiftIds() { return "UPDATE " + table_ + " SET \"HydroID\" = \"HydroID\" + " + std::to_string(kIdShift); }
};

TEST_F(WritersTest, AChangeOfIdentifiersDuringTheRunWaitsUntilTheRunHasSaved)
{
    std::vector<Basin> basins = Subdivision(4);
    Create(basins);
    ServerSession writer;
    writer.Execute("SET lock_timeout = '60s'");
    bool writerWaited = false;
    std::string writerError;
    e2e::ChildOptions options;
    options.interact = [&](int, int, const auto&) {
        ASSERT_TRUE(AwaitRunsLock(*server_, table_));
        writer.Send(ShiftIds());
        for (TableLocks locks; !writerWaited && (locks = LocksOf(*server_, table_)).exclusive;) {
            writerWaited = locks.waiting;
        }
        writerError = writer.Finish();
    };
    e2e::ChildResult run = Run(options);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_TRUE(writerWaited);
    EXPECT_EQ(writerError, "");
    EXPECT_EQ(NextDownIds(), Expected(basins));  // the identifiers the run read, all of them
    EXPECT_EQ(server_->Value("SELECT min(\"HydroID\") FROM " + table_), std::to_string(1000 + kIdShift));
}

TEST_F(WritersTest, ARunStartedDuringAChangeOfIdentifiersWaitsAndWritesTheNewOnes)
{
    std::vector<Basin> basins = Subdivision(4);
    Create(basins);
    ServerSession writer;
    writer.Execute("BEGIN");
    writer.Execute(ShiftIds());
    e2e::ChildOptions options;
    options.interact = [&](int, int, const auto&) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!LocksOf(*server_, table_).waiting && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        writer.Execute("COMMIT");
    };
    e2e::ChildResult run = Run(options);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(NextDownIds(), Expected(Shifted(basins)));
}

// The first run is held still while it has the table: the second gives up
// after its lock wait with a message, and the first then finishes.
TEST_F(WritersTest, OfTwoRunsTheSecondEndsNamingTheLockTheFirstHolds)
{
    std::vector<Basin> basins = Subdivision(4);
    Create(basins);
    e2e::ChildResult second;
    e2e::ChildOptions options;
    options.interact = [&](int, int pid, const auto&) {
        ASSERT_TRUE(AwaitRunsLock(*server_, table_));
        ::kill(pid, SIGSTOP);
        e2e::ChildOptions bounded;
        bounded.environment = {"PGOPTIONS=-c lock_timeout=1s"};
        second = Run(bounded);
        ::kill(pid, SIGCONT);
    };
    e2e::ChildResult first = Run(options);
    PrintOutcome("PostgreSQL, a second run while the first holds the table", second);
    EXPECT_EQ(first.exitStatus, 0) << first.out << first.err;
    EXPECT_EQ(second.exitStatus, 1) << second.out << second.err;
    EXPECT_THAT(second.err, HasSubstr("EXCLUSIVE lock on the table \"Watershed\""));
    EXPECT_THAT(second.err, HasSubstr("lock timeout"));
    EXPECT_EQ(NextDownIds(), Expected(basins));
}

}  // namespace
}  // namespace drennow::reliability
