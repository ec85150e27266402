// Runs of the drennow command on real data in every format it edits.
#include "ChildProcess.h"
#include "ExpectedRun.h"
#include "GdalTestData.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace drennow::e2e {
namespace {

using gdaltest::Basin;
using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;

ChildResult Drennow(const std::vector<std::string>& arguments, ChildOptions options = {})
{
    return RunChild(DRENNOW_BINARY, arguments, options);
}

// Filters are evaluated by the database where there is one: names keep
// their letter case only when quoted.
std::string Quoted(const std::string& name)
{
    return "\"" + name + "\"";
}

int64_t FirstFid(Format format)
{
    return format == Format::Shapefile ? 0 : 1;
}

std::vector<std::string> Answers(Format format, bool trailingZeros, bool writeIds)
{
    std::vector<std::string> answers{"--trailing-zeros", trailingZeros ? "yes" : "no", "--layer", "Watershed",
                                     "--pfaf-field", gdaltest::PfafFieldName(format), "--level", "2"};
    for (const char* answer : writeIds ? std::vector<const char*>{"--populate", "id", "--id-field", "HydroID"}
                                       : std::vector<const char*>{"--populate", "pfaf"}) {
        answers.push_back(answer);
    }
    return answers;
}

struct Scenario {
    bool fieldExists;
    bool trailingZeros;
    bool writeIds;
    // The selection option and the indices of the basins it selects.
    std::vector<std::string> selection;
    std::vector<size_t> selectedBasins;
};

class FormatTest : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override
    {
        if (GetParam() == Format::Postgres && gdaltest::PostgresConnection().empty()) {
            GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
        }
    }

    ChildResult Run(std::vector<std::string> arguments, ChildOptions options = {})
    {
        arguments.push_back(dataset_);
        options.workingFolder = folder_.Path();  // where a database's log goes
        return Drennow(arguments, options);
    }

    TempFolder folder_;
    std::string dataset_;
};

class RunTest : public FormatTest {
protected:
    void Check(const Scenario& scenario)
    {
        std::vector<Basin> basins = VariedBasins();
        if (!scenario.fieldExists) {
            for (Basin& basin : basins) {
                basin.nextDownId.reset();
            }
        }
        dataset_ = gdaltest::CreateWatersheds(GetParam(), folder_, basins, scenario.fieldExists);
        auto before = gdaltest::Snapshot(dataset_, "Watershed", "NextDownID");
        RunChoices choices{scenario.trailingZeros, scenario.writeIds, std::nullopt};
        std::vector<std::string> arguments = Answers(GetParam(), scenario.trailingZeros, scenario.writeIds);
        if (!scenario.selection.empty()) {
            choices.selected.emplace();
            for (size_t index : scenario.selectedBasins) {
                choices.selected->insert(FirstFid(GetParam()) + static_cast<int64_t>(index));
            }
            arguments.insert(arguments.end(), scenario.selection.begin(), scenario.selection.end());
        }
        ExpectedRun expected = Expect(basins, FirstFid(GetParam()), choices);

        ChildResult run = Run(arguments);
        ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
        EXPECT_EQ(gdaltest::FieldValues(dataset_, "Watershed", "NextDownID"), expected.nextDownIds);
        EXPECT_EQ(gdaltest::ReadFile(folder_.File("Drennow.log")), expected.log);
        EXPECT_THAT(run.out, HasSubstr("See " + folder_.File("Drennow.log") + " for details."));
        EXPECT_EQ(gdaltest::Snapshot(dataset_, "Watershed", "NextDownID"), before);
    }
};

TEST_P(RunTest, CodesWithoutTrailingZerosIntoAnAddedField)
{
    Check({false, false, false, {}, {}});
}

TEST_P(RunTest, IdentifiersWithTrailingZerosIntoAnAddedField)
{
    Check({false, true, true, {}, {}});
}

TEST_P(RunTest, IdentifiersOfTheFeaturesAFilterSelects)
{
    std::vector<size_t> selected;
    std::vector<Basin> basins = VariedBasins();
    for (size_t i = 0; i < basins.size(); ++i) {
        if (!basins[i].pfafstetterId || *basins[i].pfafstetterId >= 90) {
            selected.push_back(i);
        }
    }
    Check({true, false, true, {"--where", Quoted(gdaltest::PfafFieldName(GetParam())) + " >= 90 OR " +
                                                     Quoted(gdaltest::PfafFieldName(GetParam())) + " IS NULL"}, selected});
}

TEST_P(RunTest, CodesOfTheFeaturesListedById)
{
    int64_t first = FirstFid(GetParam());
    std::string list = std::to_string(first + 2) + "," + std::to_string(first + 80) + "-" + std::to_string(first + 84);
    Check({true, true, false, {"--fid", list}, {2, 80, 81, 82, 83, 84}});
}

// A downstream basin without an identifier stops the run in the middle of
// its edits; nothing of them is kept.
TEST_P(RunTest, ARunTimeErrorLeavesTheDataAsItWas)
{
    dataset_ = gdaltest::CreateWatersheds(GetParam(), folder_, {{21, std::nullopt, 1}, {23, 2, 1}, {25, 3, 1}}, true);
    auto before = gdaltest::Snapshot(dataset_, "Watershed");
    ChildResult run = Run(Answers(GetParam(), false, true));
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("Error 94: Invalid use of Null\n12\n"));
    EXPECT_EQ(gdaltest::Snapshot(dataset_, "Watershed"), before);
    EXPECT_FALSE(std::filesystem::exists(folder_.File("Drennow.log")));
}

// Esc waiting on the terminal before the run starts: it cancels at once.
TEST_P(RunTest, EscCancelsTheRunLeavesTheDataAndRestoresTheTerminal)
{
    dataset_ = gdaltest::CreateWatersheds(GetParam(), folder_, VariedBasins(), true);
    auto before = gdaltest::Snapshot(dataset_, "Watershed");
    ChildOptions options;
    options.input = Input::Terminal;
    options.interact = [](int terminal, int, const auto&) { ASSERT_EQ(::write(terminal, "\x1b", 1), 1); };
    ChildResult run = Run(Answers(GetParam(), true, true), options);
    EXPECT_EQ(run.exitStatus, 130) << run.out << run.err;
    EXPECT_THAT(run.err, ::testing::EndsWith("drennow: cancelled; no value was saved\n"));
    EXPECT_TRUE(run.terminalRestored);
    EXPECT_EQ(gdaltest::Snapshot(dataset_, "Watershed"), before);
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr("Finished")));
}

INSTANTIATE_TEST_SUITE_P(Formats, RunTest,
                         ::testing::Values(Format::GeoPackage, Format::Shapefile, Format::Sqlite, Format::Postgres),
                         [](const auto& info) { return gdaltest::FormatName(info.param); });

TEST(RunTest, CtrlCAtAQuestionEndsTheRunWithNothingChanged)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), false);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    ChildOptions options;
    options.input = Input::Terminal;
    options.interact = [](int, int pid, const std::function<std::string()>& output) {
        while (output().find("[Yes/No") == std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid, SIGINT);
    };
    ChildResult run = Drennow({dataset}, options);
    EXPECT_EQ(run.exitStatus, 130) << run.out << run.err;
    EXPECT_TRUE(run.terminalRestored);
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
    EXPECT_FALSE(gdaltest::HasField(dataset, "Watershed", "NextDownID"));
}

// Types the keys once the terminal shows the text: keys typed before the
// question is asked are read as the terminal's settings then say.
void TypeWhenShown(int terminal, const std::function<std::string()>& output, const std::string& shown,
                   const std::string& keys)
{
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (output().find(shown) == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(::write(terminal, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
}

// How a run ended at one of its questions, and what it left.
struct EndedAtAQuestion {
    ChildResult run;
    bool changed;
};

// A run on a layer without NextDownID whose questions are answered by the
// options given and by the keys typed at the questions shown.
EndedAtAQuestion EndAtAQuestion(const std::vector<std::string>& options,
                                const std::vector<std::pair<std::string, std::string>>& typedAtQuestions)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), false);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    ChildOptions atTheTerminal;
    atTheTerminal.input = Input::Terminal;
    atTheTerminal.interact = [&](int terminal, int, const std::function<std::string()>& output) {
        for (const auto& [shown, keys] : typedAtQuestions) {
            TypeWhenShown(terminal, output, shown, keys);
        }
    };
    std::vector<std::string> arguments = options;
    arguments.push_back(dataset);
    ChildResult run = Drennow(arguments, atTheTerminal);
    bool changed = gdaltest::HasField(dataset, "Watershed", "NextDownID") ||
                   gdaltest::Snapshot(dataset, "Watershed") != before ||
                   std::filesystem::exists(folder.File("Drennow.log"));
    return {run, changed};
}

// Esc at a question cancels at once, and the questions answered in advance
// after it do not take the run on; an arrow key is no Esc.
TEST(RunTest, EscAtAQuestionCancelsTheRunWithNothingChanged)
{
    EndedAtAQuestion ended = EndAtAQuestion(
        {"--layer", "Watershed", "--pfaf-field", "PfafstetterID", "--level", "2", "--id-field", "HydroID"},
        {{"[Yes/No", "\x1b[An\n"}, {"Populate NextDownID", "\x1b"}});
    EXPECT_EQ(ended.run.exitStatus, 130) << ended.run.out << ended.run.err << ended.run.terminal;
    EXPECT_EQ(ended.run.err, "drennow: cancelled; no value was saved\n");
    EXPECT_THAT(ended.run.terminal, HasSubstr("No (Esc)"));
    EXPECT_THAT(ended.run.terminal, HasSubstr("Cancel (Esc)"));
    EXPECT_TRUE(ended.run.terminalRestored);
    EXPECT_FALSE(ended.changed);
}

// Ctrl-D is no answer: the run ends as at a declined choice, and says so.
TEST(RunTest, CtrlDAtAQuestionDeclinesItWithNothingChanged)
{
    EndedAtAQuestion ended = EndAtAQuestion({}, {{"[Yes/No", "\x04"}});
    EXPECT_EQ(ended.run.exitStatus, 4) << ended.run.out << ended.run.err << ended.run.terminal;
    EXPECT_EQ(ended.run.err,
              "drennow: the input ended at a question (Ctrl-D): the choice is declined, and nothing is changed\n");
    EXPECT_TRUE(ended.run.terminalRestored);
    EXPECT_FALSE(ended.changed);
}

TEST(RunTest, ALevelTypedThatIsNoNumberEndsTheRunSayingWhy)
{
    EndedAtAQuestion ended = EndAtAQuestion({"--trailing-zeros", "no", "--layer", "Watershed", "--pfaf-field", "PfafstetterID"},
                                            {{"Input Pfafstetter Level", "2.x\n"}});
    EXPECT_EQ(ended.run.exitStatus, 4) << ended.run.out << ended.run.err << ended.run.terminal;
    EXPECT_EQ(ended.run.err, "drennow: the level typed, 2.x, is not a number: the run ends, and nothing is changed\n");
    EXPECT_FALSE(ended.changed);
}

TEST(RunTest, AnswersTypedOnTheTerminal)
{
    TempFolder folder;
    std::vector<Basin> basins = VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, true);
    ChildOptions options;
    options.input = Input::Terminal;
    // No trailing zeros; Enter for the layer, the field, the level; No to
    // the populate question; the identifier field by name.
    options.interact = [](int terminal, int, const auto&) {
        const std::string typed = "n\n\n\n\nn\nHydroID\n";
        ASSERT_EQ(::write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    };
    ChildResult run = Drennow({dataset}, options);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"), Expect(basins, 1, {false, true, {}}).nextDownIds);
}

// With standard input closed nothing can be asked: every question takes its
// default (Yes, Yes, the pre-selected entries, the suggested level).
TEST(RunTest, BatchTakesTheDefaultsWithoutWaiting)
{
    TempFolder folder;
    std::vector<Basin> basins = VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, basins, false);
    ChildResult run = Drennow({dataset});
    ASSERT_FALSE(run.timedOut);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("[Enter = 2] 2 (default)"));
    for (Basin& basin : basins) {
        basin.nextDownId.reset();
    }
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"), Expect(basins, 1, {true, false, {}}).nextDownIds);
}

TEST(RunTest, TheLogGoesIntoTheFolderAskedFor)
{
    TempFolder folder;
    TempFolder logs;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), true);
    ChildResult run = Drennow({"--batch", "--log-dir", logs.Path(), dataset});
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_TRUE(std::filesystem::exists(logs.File("Drennow.log")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("Drennow.log")));
}

TEST(RunTest, AReadOnlyDatasetCannotBeEdited)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::GeoPackage, folder, VariedBasins(), true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    namespace fs = std::filesystem;
    fs::permissions(dataset, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    // Permissions do not hold back the superuser: the run is then made by an
    // ordinary user, from a copy of the program it may reach.
    TempFolder programs;
    std::string program = DRENNOW_BINARY;
    ChildOptions options;
    if (::geteuid() == 0) {
        program = programs.File("drennow");
        fs::copy_file(DRENNOW_BINARY, program);
        options.asUnprivilegedUser = true;
        options.workingFolder = programs.Path();
    }
    ChildResult run = RunChild(program, {"--batch", dataset}, options);
    EXPECT_EQ(run.exitStatus, 3) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("\nCould Not Edit Watershed\n"));
    EXPECT_THAT(run.err, HasSubstr("cannot be written"));
    fs::permissions(folder.Path(), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
}

TEST(RunTest, OpenFileGdbIsRefusedBeforeAnythingChanges)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateFileGdbWatersheds(folder, {21, 23});
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    ChildResult run = Drennow({"--batch", dataset});
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("Error -2147467259: GDAL's OpenFileGDB writer stores wrong values"));
    EXPECT_THAT(run.err, HasSubstr("OpenFileGDB"));
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
}

}  // namespace
}  // namespace drennow::e2e
