// drennow killed with SIGKILL at random moments while it changes the data:
// while it writes its fields (NextDownID, or the network's), and while it
// adds them. The data it leaves is sound and holds either everything the
// run saved or what it held before (the fields perhaps added, empty).
#include "ExpectedRun.h"
#include "Programs.h"

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

// Of the command's runs; the network's runs, which write through the same
// sessions, are killed half as often, to keep the suite's time.
constexpr int kKillsWanted = 20;
constexpr int kAttemptsPerKill = 3;

// What a run is doing, as the files beside its data show.
enum class Step {
    Other,
    AddingField,  // a Shapefile's widened table is being written
    Editing,      // a Shapefile's staged table is being written
    Writing,      // SQLite's rollback journal is there: the column added or the edits saved
};

Step StepOf(Format format, const std::string& folder)
{
    if (format == Format::GeoPackage) {
        return fs::exists(folder + "/basins.gpkg-journal") ? Step::Writing : Step::Other;
    }
    for (auto [kind, step] : {std::pair{"widened-", Step::AddingField}, std::pair{"staged-", Step::Editing}}) {
        if (!gdaltest::FilesStartingWith(folder, std::string("Watershed.dbf.drennow-") + kind).empty()) {
            return step;
        }
    }
    return Step::Other;
}

// Not yet ended: a process that has ended stays a zombie until reaped.
bool Running(int pid)
{
    std::string stat = gdaltest::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t nameEnd = stat.rfind(')');
    return nameEnd != std::string::npos && nameEnd + 2 < stat.size() && stat[nameEnd + 2] != 'Z';
}

// When to kill a run: a delay after it is first seen in the step (Other:
// after its start).
struct Moment {
    Step step;
    Clock::duration delay;
};

struct Attempt {
    int exitStatus = -1;
    std::string output;
    // From the run's start to the first sight of a step, and to the end of
    // that first stretch in it.
    std::map<Step, std::pair<Clock::duration, Clock::duration>> seen;
    std::optional<Step> killedIn;  // nothing when the run ended by itself
};

// Runs the program on the dataset, watching the folder, and kills it at the
// moment given (none: never), stopped first so that its step is known.
Attempt RunAndKill(Program program, Format format, const std::string& dataset, std::optional<Moment> kill)
{
    std::string folder = fs::path(dataset).parent_path();
    Attempt attempt;
    e2e::ChildOptions options;
    options.workingFolder = folder;
    options.interact = [&](int, int pid, const auto&) {
        Clock::time_point start = Clock::now();
        std::optional<Clock::time_point> killAt;
        std::optional<Step> firstStretch;  // the step the run is in for the first time
        while (Running(pid) && Clock::now() < start + std::chrono::seconds(60)) {
            Step step = StepOf(format, folder);
            Clock::time_point now = Clock::now();
            auto [stretch, first] = attempt.seen.try_emplace(step, now - start, now - start);
            if (!first && step == firstStretch) {
                stretch->second.second = now - start;
            }
            firstStretch = first || step == firstStretch ? std::optional<Step>(step) : std::nullopt;
            if (kill && !killAt && step == kill->step) {
                killAt = now + kill->delay;
            }
            if (killAt && now >= *killAt) {
                ::kill(pid, SIGSTOP);
                attempt.killedIn = StepOf(format, folder);
                ::kill(pid, SIGKILL);
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    };
    std::vector<std::string> arguments = RunArguments(program, format);
    arguments.push_back(dataset);
    e2e::ChildResult run = Drennow(arguments, options);
    attempt.exitStatus = run.exitStatus;
    attempt.output = run.out + run.err;
    return attempt;
}

// The Shapefile's geometry and its table's bytes; nothing for a GeoPackage.
std::map<std::string, std::string> DataFiles(Format format, const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const char* name : {"Watershed.shp", "Watershed.shx", "Watershed.dbf"}) {
        if (format == Format::Shapefile) {
            files[name] = gdaltest::ReadFile(folder + "/" + name);
        }
    }
    return files;
}

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

struct Scenario {
    Program program;
    Format format;
    bool addsTheField;  // else the fields the run writes are there with old values
    size_t basins;      // adding a field to many takes long enough to be hit
};

class KillTest : public ::testing::TestWithParam<Scenario> {};

// The kills land in the step that changes the data, at random moments of
// its first part; while the field is added, every other kill lands at any
// moment from the run's start to a little past that step instead.
TEST_P(KillTest, AKillLeavesSoundDataAsItWasOrAsSaved)
{
    auto [program, format, addsTheField, basinCount] = GetParam();
    if (addsTheField && kSanitized) {
        GTEST_SKIP() << "too slow under the sanitizers";
    }
    const int killsWanted = program == Program::Network ? kKillsWanted / 2 : kKillsWanted;
    Step target = format == Format::GeoPackage ? Step::Writing : addsTheField ? Step::AddingField : Step::Editing;
    TempFolder original;
    std::vector<gdaltest::Basin> basins = Subdivision(6, basinCount);
    std::string dataset = CreateData(program, format, original, basins, !addsTheField);
    std::string name = fs::path(dataset).filename();
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    auto filesBefore = DataFiles(format, original.Path());
    auto runOnCopy = [&](const TempFolder& copy, std::optional<Moment> kill) {
        fs::copy(original.Path(), copy.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        return std::pair(copy.File(name), RunAndKill(program, format, copy.File(name), kill));
    };
    TempFolder completed;
    auto [done, timing] = runOnCopy(completed, std::nullopt);
    ASSERT_EQ(timing.exitStatus, 0) << timing.output;
    ASSERT_EQ(timing.seen.count(target), 1u) << "never seen changing the data";
    // The network's values against the chains walked; the command's, whose
    // rules' scan takes long on this many basins, are checked so by the
    // tests of two runs at once.
    if (program == Program::Network) {
        ASSERT_EQ(SavedValues(program, format, basins).ProblemsIn(done), "");
    }
    auto after = gdaltest::Snapshot(done, "Watershed");
    auto [stepStart, stepEnd] = timing.seen.at(target);

    unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // A loaded machine makes later runs slower or faster than the timed one.
    std::uniform_int_distribution<int64_t> inTheStep(0, (stepEnd - stepStart).count() * 6 / 10);
    std::uniform_int_distribution<int64_t> fromTheStart(0, stepEnd.count() * 3 / 2);
    int kills = 0;
    int inTarget = 0;
    int attempts = 0;
    for (; attempts < killsWanted * kAttemptsPerKill && kills < killsWanted; ++attempts) {
        Moment moment = addsTheField && attempts % 2 == 1 ? Moment{Step::Other, Clock::duration(fromTheStart(random))}
                                                          : Moment{target, Clock::duration(inTheStep(random))};
        TempFolder copy;
        auto [killed, attempt] = runOnCopy(copy, moment);
        SCOPED_TRACE("killed " + std::to_string(Milliseconds(moment.delay)) + " ms into the step");
        if (format == Format::GeoPackage) {
            ASSERT_EQ(IntegrityCheck(killed), "ok");
        } else {
            ASSERT_EQ(ShapefileTableProblems(copy.Path(), "Watershed"), "");
        }
        auto now = gdaltest::Snapshot(killed, "Watershed");
        std::vector<std::string> added = AddedFields(program, killed, !addsTheField);
        if (!attempt.killedIn || (attempt.killedIn != target && now == after)) {
            EXPECT_EQ(now, after);  // the run had saved, and its edits are whole
            continue;
        }
        ++kills;
        inTarget += attempt.killedIn == target;
        ASSERT_EQ(attempt.exitStatus, 128 + SIGKILL) << attempt.output;
        ASSERT_EQ(Without(now, added), before);
        ASSERT_EQ(UnsavedValueProblems(program, killed, !addsTheField), "");
        auto files = DataFiles(format, copy.Path());
        for (const auto& [file, bytes] : filesBefore) {
            // A table with a field added differs; its values are checked above.
            ASSERT_TRUE(files[file] == bytes || (!added.empty() && file == "Watershed.dbf")) << file << " changed";
        }
        // What the kill left does not stand in the way of the next run.
        if (kills == 1) {
            ASSERT_EQ(RunAndKill(program, format, killed, std::nullopt).exitStatus, 0);
            EXPECT_EQ(gdaltest::Snapshot(killed, "Watershed"), after);
            EXPECT_EQ(gdaltest::FilesStartingWith(copy.Path(), "Watershed.dbf.drennow-").size(), 0u);
        }
    }
    EXPECT_GE(kills, killsWanted) << "in " << attempts << " attempts";
    EXPECT_GE(inTarget, addsTheField ? killsWanted / 5 : killsWanted);
    RecordProperty("killsInTheStep", inTarget);
    RecordProperty("attempts", attempts);
    std::printf("%s, %s, %zu basins, %s (%.0f ms from %.0f ms on): %d attempts, %d kills, %d of them in that step\n",
                ProgramName(program).c_str(), gdaltest::FormatName(format).c_str(), basinCount,
                addsTheField ? "adding its fields" : "writing their values",
                Milliseconds(stepEnd - stepStart), Milliseconds(stepStart), attempts, kills, inTarget);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, KillTest,
                         ::testing::Values(Scenario{Program::Command, Format::GeoPackage, false, 59049},
                                           Scenario{Program::Command, Format::Shapefile, false, 59049},
                                           Scenario{Program::Command, Format::GeoPackage, true, 100000},
                                           Scenario{Program::Command, Format::Shapefile, true, 100000},
                                           Scenario{Program::Network, Format::GeoPackage, false, 19683},
                                           Scenario{Program::Network, Format::Shapefile, false, 19683},
                                           Scenario{Program::Network, Format::GeoPackage, true, 19683},
                                           Scenario{Program::Network, Format::Shapefile, true, 19683}),
                         [](const auto& info) {
                             return (info.param.program == Program::Network ? "Network" : "") +
                                    gdaltest::FormatName(info.param.format) +
                                    (info.param.addsTheField ? "AddingTheField" : "WritingValues");
                         });

// A run killed while its staged copy of a table that is a link exists
// leaves that copy beside the file the link leads to; the next run removes
// it from there and saves its values in that file, the link still a link.
TEST(KilledLinkedTableTest, TheStagedCopyAKilledRunLeftBesideTheLinksTargetIsRemovedByTheNextRun)
{
    TempFolder folder;
    TempFolder store;
    std::vector<gdaltest::Basin> basins = Subdivision(5);
    std::string dataset = gdaltest::CreateWatersheds(Format::Shapefile, folder, basins, true);
    std::string link = folder.File("Watershed.dbf");
    std::string target = store.File("attributes.dbf");
    fs::rename(link, target);
    fs::create_symlink(target, link);
    std::string tableBefore = gdaltest::ReadFile(target);
    auto staged = [&] { return gdaltest::FilesStartingWith(store.Path(), "attributes.dbf.drennow-staged-"); };

    std::vector<std::string> arguments = IdAnswers(Format::Shapefile);
    arguments.push_back(dataset);
    e2e::ChildOptions options;
    options.workingFolder = folder.Path();
    bool killed = false;
    options.interact = [&](int, int pid, const auto&) {
        while (!killed && Running(pid)) {
            if (!staged().empty()) {
                // Stopped first: the copy seen may have just taken the table's place.
                ::kill(pid, SIGSTOP);
                killed = !staged().empty();
                ::kill(pid, killed ? SIGKILL : SIGCONT);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    };
    e2e::ChildResult run = Drennow(arguments, options);
    ASSERT_TRUE(killed) << "the run ended before its staged copy was seen: " << run.out << run.err;
    ASSERT_EQ(run.exitStatus, 128 + SIGKILL);
    ASSERT_EQ(staged().size(), 1u);
    EXPECT_TRUE(gdaltest::ReadFile(target) == tableBefore);
    EXPECT_EQ(fs::read_symlink(link), target);

    options.interact = nullptr;
    e2e::ChildResult next = Drennow(arguments, options);
    ASSERT_EQ(next.exitStatus, 0) << next.out << next.err;
    EXPECT_EQ(gdaltest::FilesStartingWith(store.Path(), ""), std::vector<std::string>{"attributes.dbf"});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), target);
    EXPECT_EQ(gdaltest::FieldValues(target, "attributes", "NextDownID"),
              e2e::Expect(basins, 0, {false, true, std::nullopt}).nextDownIds);
}

}  // namespace
}  // namespace drennow::reliability
