// drennow killed with SIGKILL at random moments while it writes NextDownID:
// the data it leaves is sound and holds exactly what it held before.
#include "Reliability.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <thread>

namespace drennow::reliability {
namespace {

namespace fs = std::filesystem;
using gdaltest::Format;
using gdaltest::TempFolder;
using Clock = std::chrono::steady_clock;

constexpr int kKillsWanted = 20;
constexpr int kMostAttempts = 60;

// A file that exists exactly while the run's edits are under way: SQLite's
// rollback journal, or the staged copy of the Shapefile's table.
std::string WritingMarker(Format format, const std::string& folder)
{
    return format == Format::GeoPackage ? folder + "/basins.gpkg-journal" : folder + "/Watershed.dbf.drennow-staged";
}

struct Attempt {
    int exitStatus = -1;
    std::string output;
    bool killedWhileWriting = false;
    Clock::duration writing{};  // from the marker's appearance to its end or the kill
};

// Runs drennow on the data in folder; after the delay (none: never) from
// the moment it starts writing, freezes it, notes whether it is still
// writing, and kills it.
Attempt RunAndKill(Format format, const std::string& dataset, const std::string& folder,
                   std::optional<Clock::duration> delay)
{
    Attempt attempt;
    std::string marker = WritingMarker(format, folder);
    e2e::ChildOptions options;
    options.workingFolder = folder;
    options.interact = [&](int, int pid, const auto&) {
        auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!fs::exists(marker) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        Clock::time_point started = Clock::now();
        if (delay) {
            std::this_thread::sleep_until(started + *delay);
            ::kill(pid, SIGSTOP);
            attempt.killedWhileWriting = fs::exists(marker);
            ::kill(pid, SIGKILL);
        } else {
            while (fs::exists(marker) && Clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        attempt.writing = Clock::now() - started;
    };
    std::vector<std::string> arguments = IdAnswers(format);
    arguments.push_back(dataset);
    e2e::ChildResult run = Drennow(arguments, options);
    attempt.exitStatus = run.exitStatus;
    attempt.output = run.out + run.err;
    return attempt;
}

// The files a format keeps its features in, and their bytes.
std::map<std::string, std::string> DataFiles(Format format, const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const char* name : format == Format::GeoPackage ? std::vector<const char*>{}
                                                         : std::vector<const char*>{"Watershed.shp", "Watershed.shx",
                                                                                    "Watershed.dbf"}) {
        files[name] = gdaltest::ReadFile(folder + "/" + name);
    }
    return files;
}

class KillTest : public ::testing::TestWithParam<Format> {};

TEST_P(KillTest, AKillWhileWritingLeavesSoundDataHoldingItsValuesBefore)
{
    Format format = GetParam();
    TempFolder original;
    std::string dataset = gdaltest::CreateWatersheds(format, original, Subdivision(5), true);
    std::string datasetName = fs::path(dataset).filename().string();
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    auto filesBefore = DataFiles(format, original.Path());

    auto runOnCopy = [&](std::optional<Clock::duration> delay, TempFolder& copy) {
        fs::copy(original.Path(), copy.Path(), fs::copy_options::recursive);
        return RunAndKill(format, copy.File(datasetName), copy.Path(), delay);
    };
    TempFolder completed;
    Attempt timing = runOnCopy(std::nullopt, completed);
    ASSERT_EQ(timing.exitStatus, 0) << timing.output;
    auto after = gdaltest::Snapshot(completed.File(datasetName), "Watershed");
    ASSERT_NE(after, before);

    std::random_device device;
    unsigned seed = device();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // Within the first part of the writing as timed: a loaded machine makes
    // later runs slower or faster, and only kills before the save count.
    std::uniform_int_distribution<int64_t> delays(0, timing.writing.count() * 6 / 10);
    int kills = 0;
    int attempts = 0;
    for (; attempts < kMostAttempts && kills < kKillsWanted; ++attempts) {
        TempFolder copy;
        Attempt attempt = runOnCopy(Clock::duration(delays(random)), copy);
        std::string killed = copy.File(datasetName);
        if (format == Format::GeoPackage) {
            ASSERT_EQ(IntegrityCheck(killed), "ok");
        }
        if (!attempt.killedWhileWriting) {
            // Too late: the run had saved, and its edits are whole.
            EXPECT_EQ(gdaltest::Snapshot(killed, "Watershed"), after);
            continue;
        }
        ++kills;
        ASSERT_EQ(attempt.exitStatus, 128 + SIGKILL);
        ASSERT_EQ(gdaltest::Snapshot(killed, "Watershed"), before) << "killed after " << attempt.writing.count();
        ASSERT_TRUE(DataFiles(format, copy.Path()) == filesBefore) << "files changed";
        // What the kill left does not stand in the way of the next run.
        if (kills == 1) {
            ASSERT_EQ(RunAndKill(format, killed, copy.Path(), std::nullopt).exitStatus, 0);
            EXPECT_EQ(gdaltest::Snapshot(killed, "Watershed"), after);
        }
    }
    EXPECT_GE(kills, kKillsWanted) << "in " << attempts << " attempts";
    RecordProperty("kills", kills);
    RecordProperty("attempts", attempts);
    std::printf("%s: %d kills while writing in %d attempts (writing takes %.0f ms)\n",
                gdaltest::FormatName(format).c_str(), kills, attempts,
                std::chrono::duration<double, std::milli>(timing.writing).count());
}

INSTANTIATE_TEST_SUITE_P(Formats, KillTest, ::testing::Values(Format::GeoPackage, Format::Shapefile),
                         [](const auto& info) { return gdaltest::FormatName(info.param); });

}  // namespace
}  // namespace drennow::reliability
