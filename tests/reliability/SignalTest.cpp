// What kill, timeout, job schedulers and a closed terminal send: SIGTERM and
// SIGHUP cancel the run like Ctrl-C, and so does Esc on the terminal.
// Nothing is saved, nothing is left beside the data, and the exit status
// names the signal.
#include "Programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace drennow::reliability {
namespace {

using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;

struct SignalCase {
    Program program;
    Format format;
    int signal;
};

// Whether the run has started its work on the dataset: the command prints
// its last answer then; the network run, which prints nothing before its
// end, has opened the dataset's file.
bool Working(Program program, int pid, const std::string& dataset, const std::string& output)
{
    if (program == Program::Command) {
        return output.find("(--id-field)") != std::string::npos;
    }
    std::error_code error;
    for (const auto& descriptor : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (std::filesystem::read_symlink(descriptor.path(), error) == dataset) {
            return true;
        }
    }
    return false;
}

class SignalTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalTest, ASignalWhileTheRunWorksCancelsItAndLeavesTheDataAsItWas)
{
    auto [program, format, signal] = GetParam();
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = Subdivision(5);
    std::string dataset = CreateData(program, format, folder, basins, true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    auto filesBefore = FolderContents(folder.Path());

    e2e::ChildOptions options;
    options.workingFolder = folder.Path();
    // The signal comes as the run starts its work on 59,049 features, while
    // it reads them.
    options.interact = [&, signal = signal](int, int pid, const std::function<std::string()>& output) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!Working(program, pid, dataset, output()) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(pid, signal);
    };
    std::vector<std::string> arguments = RunArguments(program, format);
    arguments.push_back(dataset);
    e2e::ChildResult run = Drennow(arguments, options);
    PrintOutcome(ProgramName(program) + ", " + gdaltest::FormatName(format) + ", " + sigabbrev_np(signal) +
                     " while the run works",
                 run);

    ASSERT_EQ(run.exitStatus, 128 + signal) << run.out << run.err;
    EXPECT_EQ(run.err, std::string("drennow: cancelled by SIG") + sigabbrev_np(signal) + "; no value was saved\n");
    EXPECT_FALSE(SaysItFinished(program, run.out)) << run.out;
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    // No staged table, journal or log is left behind.
    EXPECT_TRUE(FolderContents(folder.Path()) == filesBefore);
}

INSTANTIATE_TEST_SUITE_P(Cases, SignalTest,
                         ::testing::Values(SignalCase{Program::Command, Format::GeoPackage, SIGTERM},
                                           SignalCase{Program::Command, Format::Shapefile, SIGTERM},
                                           SignalCase{Program::Command, Format::Shapefile, SIGHUP},
                                           SignalCase{Program::Network, Format::GeoPackage, SIGTERM},
                                           SignalCase{Program::Network, Format::GeoPackage, SIGINT},
                                           SignalCase{Program::Network, Format::Shapefile, SIGHUP}),
                         [](const auto& info) {
                             return (info.param.program == Program::Network ? "Network" : "") +
                                    gdaltest::FormatName(info.param.format) + "_SIG" + sigabbrev_np(info.param.signal);
                         });

class EscTest : public ::testing::TestWithParam<std::tuple<Program, Format>> {};

// Esc typed on the terminal before the run starts its work cancels it as
// soon as it looks, with the terminal as it was.
TEST_P(EscTest, EscOnTheTerminalCancelsTheRunAndLeavesTheDataAsItWas)
{
    auto [program, format] = GetParam();
    TempFolder folder;
    std::string dataset = CreateData(program, format, folder, Subdivision(4), true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    auto filesBefore = FolderContents(folder.Path());
    e2e::ChildOptions options;
    options.workingFolder = folder.Path();
    options.input = e2e::Input::Terminal;
    options.interact = [](int terminal, int, const auto&) { ASSERT_EQ(::write(terminal, "\x1b", 1), 1); };
    std::vector<std::string> arguments = RunArguments(program, format);
    arguments.push_back(dataset);
    e2e::ChildResult run = Drennow(arguments, options);
    PrintOutcome(ProgramName(program) + ", " + gdaltest::FormatName(format) + ", Esc on the terminal", run);
    EXPECT_EQ(run.exitStatus, 130) << run.out << run.err;
    EXPECT_THAT(run.err, ::testing::EndsWith("drennow: cancelled; no value was saved\n"));
    EXPECT_TRUE(run.terminalRestored);
    EXPECT_FALSE(SaysItFinished(program, run.out)) << run.out;
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    EXPECT_TRUE(FolderContents(folder.Path()) == filesBefore);
}

INSTANTIATE_TEST_SUITE_P(Cases, EscTest,
                         ::testing::Combine(::testing::Values(Program::Command, Program::Network),
                                            ::testing::Values(Format::GeoPackage, Format::Shapefile)),
                         [](const auto& info) {
                             return ProgramName(std::get<0>(info.param)) + gdaltest::FormatName(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace drennow::reliability
