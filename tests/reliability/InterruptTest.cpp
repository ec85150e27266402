// drennow interrupted at random moments while it edits a PostgreSQL table
// (SIGINT as Ctrl-C sends it, SIGTERM), the command and the network run: the
// table holds exactly what it held before, or, when the signal came after
// the save, the whole result.
#include "PostgresServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <thread>

namespace drennow::reliability {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMostAttempts = 40;

struct Wanted {
    int interruptions;  // while the run held the table
    int afterWrites;    // of those, once it had sent updates
};

struct Attempt {
    int exitStatus = -1;
    std::string output;
    TableLocks locks;       // as the signal came
    Clock::duration held{};  // from taking the table to the signal or the end
};

class InterruptTest : public PostgresRunTest, public ::testing::WithParamInterface<std::tuple<Program, int>> {
protected:
    void SetUp() override
    {
        PostgresRunTest::SetUp();
        program_ = std::get<0>(GetParam());
    }

    // Runs drennow; after the delay (none: never) from the moment it holds
    // the table, freezes it, notes its locks, and signals it.
    Attempt RunAndInterrupt(std::optional<Clock::duration> delay)
    {
        Attempt attempt;
        e2e::ChildOptions options;
        options.interact = [&](int, int pid, const auto&) {
            ASSERT_TRUE(AwaitRunsLock(*server_, table_));
            Clock::time_point started = Clock::now();
            if (delay) {
                std::this_thread::sleep_until(started + *delay);
                ::kill(pid, SIGSTOP);
                attempt.locks = LocksOf(*server_, table_);
                ::kill(pid, std::get<1>(GetParam()));
                ::kill(pid, SIGCONT);
            } else {
                while (LocksOf(*server_, table_).exclusive) {
                }
            }
            attempt.held = Clock::now() - started;
        };
        e2e::ChildResult run = Run(options);
        attempt.exitStatus = run.exitStatus;
        attempt.output = run.out + run.err;
        return attempt;
    }

    // Keeps the values of a faultless run, to tell a result that differs
    // from it by what differs.
    void KeepResult()
    {
        server_->Execute("DROP TABLE IF EXISTS " + Kept() + "; CREATE TABLE " + Kept() + " AS SELECT ogc_fid, " +
                         WrittenColumns("") + " FROM " + table_);
    }

    // The written fields of the table (of the alias given), one after the other.
    std::string WrittenColumns(const std::string& alias) const
    {
        std::string columns;
        for (const std::string& field : WrittenFields(program_)) {
            columns += (columns.empty() ? "" : ", ") + alias + "\"" + field + "\"";
        }
        return columns;
    }

    // How many rows differ from the faultless run's, and the first of them.
    std::string DifferencesFromResult()
    {
        const std::string written = "ROW(" + WrittenColumns("t.") + ")", kept = "ROW(" + WrittenColumns("k.") + ")";
        const std::string differing = " FROM " + table_ + " t JOIN " + Kept() + " k USING (ogc_fid) WHERE " + written +
                                      " IS DISTINCT FROM " + kept;
        std::vector<std::string> range =
            server_->Row("SELECT count(*)::text, coalesce(min(ogc_fid), -1)::text, coalesce(max(ogc_fid), -1)::text" +
                         differing);
        std::string first = server_->Value("SELECT coalesce(string_agg(x, ' '), '') FROM (SELECT ogc_fid || ':' || " +
                                           written + "::text || '/' || " + kept + "::text AS x" + differing +
                                           " ORDER BY ogc_fid LIMIT 20) d");
        return range.at(0) + " rows differ from the faultless run's (fids " + range.at(1) + " to " + range.at(2) +
               "; fid:value/expected " + first + ")";
    }

    // Beside the table, as a quoted name: the table's with "_kept" added.
    std::string Kept() const { return table_.substr(0, table_.size() - 1) + "_kept\""; }
};

TEST_P(InterruptTest, TheTableHoldsWhatItHeldBeforeOrTheWholeResult)
{
    const int signal = std::get<1>(GetParam());
    // The network's runs, which write through the same session, half as
    // often and on fewer basins, to keep the suite's time: each of its runs
    // rewrites every row once a field.
    const bool network = program_ == Program::Network;
    const Wanted wanted = signal == SIGINT ? (network ? Wanted{4, 3} : Wanted{8, 5}) : (network ? Wanted{2, 1} : Wanted{4, 2});
    std::vector<gdaltest::Basin> basins = Subdivision(network ? 4 : 5);
    Create(basins);
    const std::string before = TableDigest(*server_, table_);
    Attempt timing = RunAndInterrupt(std::nullopt);
    ASSERT_EQ(timing.exitStatus, 0) << timing.output;
    ASSERT_EQ(SavedValues(program_, gdaltest::Format::Postgres, basins).ProblemsIn(dataset_), "");
    const std::string after = TableDigest(*server_, table_);
    ASSERT_NE(after, before);
    KeepResult();
    Unwrite();
    ASSERT_EQ(TableDigest(*server_, table_), before);

    std::random_device device;
    unsigned seed = device();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // Mostly into the writing, which starts after the two reads of the
    // table; every fourth attempt around the save, where a run that finished
    // must have saved the whole result even on a table its earlier runs
    // rewrote many times. Later runs are often faster than the one timed, so
    // a signal meant for the save often comes after the run has ended.
    std::uniform_int_distribution<int64_t> intoWriting(timing.held.count() / 5, timing.held.count() * 6 / 10);
    std::uniform_int_distribution<int64_t> aroundSave(timing.held.count() * 6 / 10, timing.held.count() * 12 / 10);
    Wanted got{0, 0};
    int attempts = 0;
    for (; attempts < kMostAttempts && (got.interruptions < wanted.interruptions || got.afterWrites < wanted.afterWrites);
         ++attempts) {
        auto& delays = attempts % 4 == 3 ? aroundSave : intoWriting;
        Attempt attempt = RunAndInterrupt(Clock::duration(delays(random)));
        std::string digest = TableDigest(*server_, table_);
        if (attempt.exitStatus == 0) {
            // The signal came as the run saved.
            ASSERT_EQ(digest, after) << DifferencesFromResult() << "; signalled after " << attempt.held.count()
                                     << ": " << attempt.output;
            Unwrite();
            continue;
        }
        ASSERT_EQ(attempt.exitStatus, 128 + signal) << attempt.output;
        ASSERT_EQ(digest, before) << "signalled after " << attempt.held.count() << ": " << attempt.output;
        got.interruptions += attempt.locks.exclusive ? 1 : 0;
        got.afterWrites += attempt.locks.exclusive && attempt.locks.rowExclusive ? 1 : 0;
    }
    EXPECT_GE(got.interruptions, wanted.interruptions) << "in " << attempts << " attempts";
    EXPECT_GE(got.afterWrites, wanted.afterWrites) << "in " << attempts << " attempts";
    std::printf("%s, %s: %d interruptions while editing, %d after updates were sent, in %d attempts (the table is held "
                "%.0f ms)\n",
                ProgramName(program_).c_str(), strsignal(signal), got.interruptions, got.afterWrites, attempts,
                std::chrono::duration<double, std::milli>(timing.held).count());
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptTest,
                         ::testing::Combine(::testing::Values(Program::Command, Program::Network),
                                            ::testing::Values(SIGINT, SIGTERM)),
                         [](const auto& info) {
                             return (std::get<0>(info.param) == Program::Network ? "Network" : "") +
                                    std::string(std::get<1>(info.param) == SIGINT ? "Sigint" : "Sigterm");
                         });

}  // namespace
}  // namespace drennow::reliability
