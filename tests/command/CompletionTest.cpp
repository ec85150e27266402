#include "RunFixture.h"

#include <unistd.h>

using namespace drennow;
using namespace drennow::fixtures;
using command::RunOutcome;

namespace {

const std::string kHeading =
    "Following is a list of ObjectIDs for areas for which downstream ID could not be determined.\r\n"
    "ObjectID\tCode\tDescription\r\n";

}  // namespace

class Completion : public RunFixture {
protected:
    void SetUp() override
    {
        RunFixture::SetUp();
        MakeBasins();
    }

    void WriteOldLog()
    {
        std::ofstream(LogPath(), std::ios::binary) << "old log";
    }

    const std::optional<std::string>& WrittenLog()
    {
        return dynamic_cast<command::clsDrennow&>(*command).LastLogPath();
    }
};

TEST_F(Completion, TwoFailuresWriteExactlyTheseBytes)
{
    auto oids = AddBasins({1234, 1233, 1232, 1212, Variant::Null(), 1239, 1238, 1236, 1211});
    ASSERT_EQ(oids[4], 5);
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(ReadLog(), kHeading + "5\t-6\tPfafstetter ID is <Null>\r\n9\t-9\tBasin drains to waterbody/internally\r\n");
    EXPECT_EQ(LastMessage(), "Finished with NextDownID Determination\r\n\r\nSome IDs could not be determined.  See " +
                                 LogPath().string() + " for details.");
    EXPECT_EQ(WrittenLog(), LogPath().string());
    // The same failures, as records, for the surfaces that report them.
    EXPECT_EQ(dynamic_cast<command::clsDrennow&>(*command).LastFailures(),
              (std::vector<command::FailureRecord>{{5, -6, "Pfafstetter ID is <Null>"},
                                                   {9, -9, "Basin drains to waterbody/internally"}}));
}

TEST_F(Completion, WithoutFailuresNoLogIsWrittenAndAnOldOneStays)
{
    // Every chain ends at an outlet, which is a failure: select a basin
    // upstream of it only.
    auto oids = AddBasins({1234, 1233, 1211});
    basins->selection = {oids[0]};
    WriteOldLog();
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(ReadLog(), "old log");
    EXPECT_EQ(LastMessage(), texts::kFinished);
    // The old log is not this run's.
    EXPECT_FALSE(WrittenLog());
}

TEST_F(Completion, ASecondRunWithFailuresReplacesTheLog)
{
    WriteOldLog();
    AddBasins({1211});
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(ReadLog(), kHeading + "1\t-9\tBasin drains to waterbody/internally\r\n");
}

// Whether the log can be written is known before the save: a run that
// could not leave its log saves nothing, and says where it stopped.
TEST_F(Completion, ALogThatCannotBeWrittenEndsTheRunBeforeTheSave)
{
    AddBasins({1211, 1212});
    gis.Config().templates = {(folder / "missing" / "basins.mxd").string()};
    ASSERT_EQ(Run(), RunOutcome::ErrorReported);
    EXPECT_EQ(LastMessage(), "Error 76: Path not found\r\n13");
    EXPECT_FALSE(WrittenLog());
    EXPECT_TRUE(gis.TheEditor().sessionLog.empty());
    EXPECT_EQ(dynamic_cast<command::clsDrennow&>(*command).LastStage(), command::Stage::Save);

    // A folder under the log's name, in the document's folder.
    gis.Config().templates = {(folder / "basins.mxd").string()};
    std::filesystem::create_directory(LogPath());
    gis.TheEditor().StopEditing(false);
    ASSERT_EQ(Run(), RunOutcome::ErrorReported);
    EXPECT_EQ(LastMessage(), "Error 70: Permission denied\r\n13");
    // Only the session discarded between the two runs: none was saved.
    EXPECT_EQ(gis.TheEditor().sessionLog, std::vector<std::string>{"discarded basins.gdb"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

// A log that cannot be put in place once the edits were saved: the error
// report says the edits were saved, and the run keeps what the log would
// have held for the host to show.
TEST_F(Completion, ALogLostAfterTheSaveIsReportedWithTheEditsSaved)
{
    auto oids = AddBasins({1211, 1212});
    gis.TheEditor().afterStopEditing = [this] { std::filesystem::create_directory(LogPath()); };
    ASSERT_EQ(Run(), RunOutcome::SavedWithoutLog);
    EXPECT_EQ(LastMessage(), "Error 70: Permission denied\r\n14\r\n\r\nThe edits were saved, but " +
                                 LogPath().string() + " was not written.");
    EXPECT_EQ(gis.TheEditor().sessionLog, std::vector<std::string>{"saved basins.gdb"});
    EXPECT_EQ(NextDown(oids[1]), Variant(101));
    const auto& unwritten = dynamic_cast<command::clsDrennow&>(*command).LastUnwrittenLogs();
    ASSERT_EQ(unwritten.size(), 1u);
    EXPECT_EQ(unwritten[0].path, LogPath().string());
    EXPECT_EQ(unwritten[0].text, kHeading + "1\t-9\tBasin drains to waterbody/internally\r\n");
    EXPECT_FALSE(WrittenLog());
    // Only the folder planted there: nothing of the write is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(Completion, ADocumentWithoutPathPutsTheLogIntoTheCurrentFolder)
{
    AddBasins({1211});
    gis.Config().templates.clear();
    char previous[4096];
    ASSERT_TRUE(::getcwd(previous, sizeof previous));
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    RunOutcome outcome = Run();
    ASSERT_EQ(::chdir(previous), 0);
    ASSERT_EQ(outcome, RunOutcome::Completed);
    EXPECT_EQ(LastMessage(),
              "Finished with NextDownID Determination\r\n\r\nSome IDs could not be determined.  See Drennow.log for details.");
    EXPECT_TRUE(ReadLog());
}

TEST_F(Completion, AnErrorReportReleasesTheProgressBarAndNamesTheMarker)
{
    AddBasins({1234, 1233});
    gis.Faults().FailAt("IApplication.NewCancelTracker", 1, runtime::kHostCallFailed, "Unspecified error");
    ASSERT_EQ(Run(), RunOutcome::ErrorReported);
    EXPECT_EQ(LastMessage(), "Error -2147467259: Unspecified error\r\n9");
    EXPECT_FALSE(gis.TheStatusBar().progressVisible);
}
