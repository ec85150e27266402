// Two runs of drennow at once on one dataset that write other values into
// the same fields (the command: Pfafstetter codes and HydroIDs; the network:
// two sets of its fields): the data holds exactly the values of the run that
// saved last, never a mixture, and a run that failed says why.
#include "Programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

namespace drennow::reliability {
namespace {

namespace fs = std::filesystem;
using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

constexpr int kTrials = 5;

struct TimedRun {
    e2e::ChildResult result;
    Clock::time_point started;
    Clock::time_point ended;
};

TimedRun RunFrom(Clock::time_point start, std::vector<std::string> arguments, const std::string& dataset)
{
    std::this_thread::sleep_until(start);
    arguments.push_back(dataset);
    e2e::ChildOptions options;
    options.workingFolder = fs::path(dataset).parent_path();
    TimedRun run{{}, Clock::now(), {}};
    run.result = Drennow(arguments, options);
    run.ended = Clock::now();
    return run;
}

// A Shapefile is locked from the start; a GeoPackage by SQLite once the
// other run writes, or the other run added the field first.
::testing::Matcher<std::string> SaysWhyItFailed(const std::string& dataset, Format format)
{
    if (format == Format::Shapefile) {
        return HasSubstr(fs::path(dataset).replace_extension(".dbf").string() +
                         " is being edited by another run of drennow; try again once that run has ended");
    }
    return ::testing::AnyOf(HasSubstr(dataset + " is being changed by another program (database is locked)"),
                            HasSubstr("another program added a field of that name to " + dataset));
}

class ConcurrentRunTest : public ::testing::TestWithParam<std::tuple<Program, Format, bool>> {
protected:
    void SetUp() override
    {
        if (kSanitized) {
            GTEST_SKIP() << "too slow under the sanitizers";
        }
    }
};

TEST_P(ConcurrentRunTest, TheDataHoldsExactlyTheValuesOfTheRunThatSavedLast)
{
    auto [program, format, withFields] = GetParam();
    // The network's runs, which write through the same sessions, on fewer
    // basins, to keep the suite's time: its runs still overlap.
    std::vector<gdaltest::Basin> basins = Subdivision(program == Program::Network ? 4 : 5);
    TempFolder original;
    std::string dataset = CreateData(program, format, original, basins, withFields);
    const std::vector<std::string> written = WrittenFields(program);
    auto before = Without(gdaltest::Snapshot(dataset, "Watershed"), written);
    const Variant variants[2] = {Variant::Second, Variant::First};
    const std::vector<std::string> arguments[2] = {RunArguments(program, format, variants[0]),
                                                   RunArguments(program, format, variants[1])};
    const SavedValues values[2] = {SavedValues(program, format, basins, variants[0]),
                                   SavedValues(program, format, basins, variants[1])};
    auto copyOf = [&](const TempFolder& copy) {
        fs::copy(original.Path(), copy.Path(), fs::copy_options::recursive);
        return copy.File(fs::path(dataset).filename());
    };
    TempFolder alone;
    TimedRun timing = RunFrom(Clock::now(), arguments[0], copyOf(alone));
    ASSERT_EQ(timing.result.exitStatus, 0) << timing.result.out << timing.result.err;

    unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // Within the first half of a run, where the two overlap most.
    std::uniform_int_distribution<int64_t> offsets(0, (timing.ended - timing.started).count() / 2);
    int saves[2] = {0, 0};
    int failures = 0;
    int neither = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        TempFolder copy;
        std::string data = copyOf(copy);
        int first = trial % 2;  // the run that starts first; the other after the offset
        Clock::duration offset(offsets(random));
        Clock::time_point start = Clock::now() + std::chrono::milliseconds(50);
        TimedRun runs[2];
        std::thread later([&] { runs[1 - first] = RunFrom(start + offset, arguments[1 - first], data); });
        runs[first] = RunFrom(start, arguments[first], data);
        later.join();
        SCOPED_TRACE("trial " + std::to_string(trial) + ", offset " + std::to_string(offset.count()) + " ns");

        std::optional<int> savedLast;
        for (int i : {0, 1}) {
            PrintOutcome(ProgramName(program) + ", " + gdaltest::FormatName(format) + ", trial " + std::to_string(trial) + ", run " +
                             std::to_string(i),
                         runs[i].result);
            if (runs[i].result.exitStatus != 0) {
                ++failures;
                EXPECT_THAT(runs[i].result.out + runs[i].result.err, SaysWhyItFailed(data, format));
            } else if (!savedLast || runs[*savedLast].ended < runs[i].ended) {
                savedLast = i;
            }
        }
        if (savedLast) {
            ++saves[*savedLast];
            EXPECT_EQ(values[*savedLast].ProblemsIn(data), "");
        } else {
            ++neither;
            EXPECT_EQ(UnsavedValueProblems(program, data, withFields), "");
        }
        EXPECT_EQ(Without(gdaltest::Snapshot(data, "Watershed"), written), before);
        EXPECT_EQ(format == Format::GeoPackage ? IntegrityCheck(data) : ShapefileTableProblems(copy.Path(), "Watershed"),
                  format == Format::GeoPackage ? "ok" : "");
    }
    std::printf("%s, %s, its fields %s: %d trials, its second run saved last %d times, its first %d times, "
                "neither %d times; %d runs failed\n",
                ProgramName(program).c_str(), gdaltest::FormatName(format).c_str(), withFields ? "present" : "added",
                kTrials, saves[0], saves[1], neither, failures);
}

INSTANTIATE_TEST_SUITE_P(Data, ConcurrentRunTest,
                         ::testing::Combine(::testing::Values(Program::Command, Program::Network),
                                            ::testing::Values(Format::Shapefile, Format::GeoPackage), ::testing::Bool()),
                         [](const auto& info) {
                             std::string format = gdaltest::FormatName(std::get<1>(info.param));
                             bool withFields = std::get<2>(info.param);
                             if (std::get<0>(info.param) == Program::Network) {
                                 return "Network" + format + (withFields ? "WithItsFields" : "AddingItsFields");
                             }
                             return format + (withFields ? "WithNextDownId" : "AddingNextDownId");
                         });

}  // namespace
}  // namespace drennow::reliability
