// What kill, timeout, job schedulers and a closed terminal send: SIGTERM and
// SIGHUP cancel the run like Ctrl-C. Nothing is saved, nothing is left
// beside the data, and the exit status names the signal.
#include "Reliability.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace drennow::reliability {
namespace {

using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;

struct SignalCase {
    Format format;
    int signal;
};

class SignalTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalTest, ASignalWhileTheRunWorksCancelsItAndLeavesTheDataAsItWas)
{
    auto [format, signal] = GetParam();
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = Subdivision(5);
    std::string dataset = gdaltest::CreateWatersheds(format, folder, basins, true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    auto filesBefore = FolderContents(folder.Path());

    e2e::ChildOptions options;
    options.workingFolder = folder.Path();
    // The last answer is printed when the run starts its work on 59,049
    // features: the signal comes while it reads them.
    options.interact = [signal = signal](int, int pid, const std::function<std::string()>& output) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (output().find("(--id-field)") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(pid, signal);
    };
    std::vector<std::string> arguments = IdAnswers(format);
    arguments.push_back(dataset);
    e2e::ChildResult run = Drennow(arguments, options);
    PrintOutcome(gdaltest::FormatName(format) + ", " + sigabbrev_np(signal) + " while the run works", run);

    ASSERT_EQ(run.exitStatus, 128 + signal) << run.out << run.err;
    EXPECT_EQ(run.err, std::string("drennow: cancelled by SIG") + sigabbrev_np(signal) + "; no value was saved\n");
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr("Finished")));
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    // No staged table, journal or log is left behind.
    EXPECT_TRUE(FolderContents(folder.Path()) == filesBefore);
}

INSTANTIATE_TEST_SUITE_P(Cases, SignalTest,
                         ::testing::Values(SignalCase{Format::GeoPackage, SIGTERM}, SignalCase{Format::Shapefile, SIGTERM},
                                           SignalCase{Format::Shapefile, SIGHUP}),
                         [](const auto& info) {
                             return gdaltest::FormatName(info.param.format) + "_SIG" + sigabbrev_np(info.param.signal);
                         });

}  // namespace
}  // namespace drennow::reliability
