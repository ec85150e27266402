#include "gisutil/modUtilsGeneral.h"
#include "host/modGlobals.h"
#include "platform/memory/MemoryGis.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

using namespace drennow;
using modUtilsGeneral::StartEditSession;
using modUtilsGeneral::StopEditSession;

namespace {

const char* const kPrompt =
    "There are pending edits in another workspace.  Do you wish to save edits?\r\n\r\n"
    "Yes - Save the edits\r\nNo - Cancel all the edits\r\nCancel - Exit and do nothing\r\n";

}  // namespace

class EditSessions : public ::testing::Test {
protected:
    void SetUp() override
    {
        modGlobals::g_pApp = gis.Application();
        table = gis.NewFeatureClass(*target, {{"Value", host::kFieldTypeLongInteger}});
        otherTable = gis.NewFeatureClass(*other, {{"Value", host::kFieldTypeLongInteger}});
        otherTable->AddRow({{"Value", 1}});
    }
    void TearDown() override { modGlobals::g_pApp = nullptr; }

    // A session on the other workspace with one pending edit.
    void EditOtherWithPendingEdit()
    {
        editor().StartEditing(other);
        otherTable->FindRow(1)->values[2] = runtime::Variant(2);
        editor().MarkEdited();
    }

    memory::Editor& editor() { return gis.TheEditor(); }
    size_t Questions() const { return gis.Ui().shown.size(); }

    memory::MemoryGis gis;
    std::shared_ptr<memory::Workspace> target = gis.NewWorkspace("target");
    std::shared_ptr<memory::Workspace> other = gis.NewWorkspace("other");
    std::shared_ptr<memory::TableData> table;
    std::shared_ptr<memory::TableData> otherTable;
};

TEST_F(EditSessions, StartOnTheWorkspaceAlreadyEditedAsksNothing)
{
    editor().StartEditing(target);
    editor().MarkEdited();
    EXPECT_EQ(StartEditSession(target), 1);
    EXPECT_EQ(Questions(), 0u);
    EXPECT_TRUE(editor().HasEdits());
    EXPECT_TRUE(editor().sessionLog.empty());
}

TEST_F(EditSessions, StartWhenNotEditing)
{
    EXPECT_EQ(StartEditSession(target), 1);
    EXPECT_TRUE(editor().IsEditing(*target));
}

TEST_F(EditSessions, StartStopsAnotherSessionWithoutEditsSilently)
{
    editor().StartEditing(other);
    EXPECT_EQ(StartEditSession(target), 1);
    EXPECT_EQ(Questions(), 0u);
    EXPECT_EQ(editor().sessionLog, std::vector<std::string>{"discarded other"});
    EXPECT_TRUE(editor().IsEditing(*target));
}

TEST_F(EditSessions, TheSaveQuestion)
{
    EditOtherWithPendingEdit();
    gis.Ui().Queue(host::kAnswerYes);
    EXPECT_EQ(StartEditSession(target), 1);
    ASSERT_EQ(Questions(), 1u);
    const auto& question = gis.Ui().shown[0];
    EXPECT_EQ(question.text, kPrompt);
    EXPECT_EQ(question.title, "Save Edits?");
    EXPECT_EQ(question.buttons, host::MessageButtons::YesNoCancel);
    EXPECT_EQ(question.defaultButton, host::DefaultButton::First);
}

TEST_F(EditSessions, StartSavesOrDiscardsAsAnswered)
{
    EditOtherWithPendingEdit();
    gis.Ui().Queue(host::kAnswerYes);
    EXPECT_EQ(StartEditSession(target), 1);
    EXPECT_EQ(otherTable->Get(1, "Value"), runtime::Variant(2));
    editor().StopEditing(false);

    EditOtherWithPendingEdit();
    otherTable->FindRow(1)->values[2] = runtime::Variant(3);
    gis.Ui().Queue(host::kAnswerNo);
    EXPECT_EQ(StartEditSession(target), 1);
    EXPECT_EQ(otherTable->Get(1, "Value"), runtime::Variant(2));
    EXPECT_TRUE(editor().IsEditing(*target));
}

TEST_F(EditSessions, CancelOrCloseBoxLeavesTheEditorUntouched)
{
    EditOtherWithPendingEdit();
    gis.Ui().Queue(host::kAnswerCancel);
    EXPECT_EQ(StartEditSession(target), 2);
    EXPECT_TRUE(editor().IsEditing(*other));
    EXPECT_TRUE(editor().HasEdits());
    gis.Ui().Queue(host::kAnswerCancel);
    EXPECT_EQ(StopEditSession(gis.Application()), 2);
    EXPECT_TRUE(editor().IsEditing(*other));
    EXPECT_TRUE(editor().sessionLog.empty());
}

TEST_F(EditSessions, AnEditStateOtherThanOneCountsAsEditing)
{
    editor().runningState = 3;
    editor().StartEditing(target);
    EXPECT_EQ(StartEditSession(target), 1);  // same workspace: no further test
    // Another workspace is stopped and the new session started, but its state
    // is not 1, so the start has failed.
    EXPECT_EQ(StartEditSession(other), 0);
    EXPECT_TRUE(editor().IsEditing(*other));
    EXPECT_EQ(StopEditSession(gis.Application()), 1);
    EXPECT_EQ(editor().EditState(), 0);
}

TEST_F(EditSessions, FailuresBecomeResultValues)
{
    target->readOnly = true;
    EXPECT_EQ(StartEditSession(target), 0);
    gis.Config().editorAvailable = false;
    EXPECT_EQ(StartEditSession(other), 0);
    EXPECT_EQ(StopEditSession(gis.Application()), -1);
}

TEST_F(EditSessions, AFailedStartKeepsWhatWasAlreadyDone)
{
    EditOtherWithPendingEdit();
    target->readOnly = true;
    gis.Ui().Queue(host::kAnswerYes);
    EXPECT_EQ(StartEditSession(target), 0);
    EXPECT_EQ(editor().sessionLog, std::vector<std::string>{"saved other"});
    EXPECT_EQ(editor().EditState(), 0);
}

TEST_F(EditSessions, StopWhenNotEditingAsksNothing)
{
    EXPECT_EQ(StopEditSession(gis.Application()), 1);
    EXPECT_EQ(Questions(), 0u);
}

TEST_F(EditSessions, StopSavesOrDiscardsAsAnswered)
{
    editor().StartEditing(other);
    EXPECT_EQ(StopEditSession(gis.Application()), 1);
    EXPECT_EQ(Questions(), 0u);

    EditOtherWithPendingEdit();
    gis.Ui().Queue(host::kAnswerNo);
    EXPECT_EQ(StopEditSession(gis.Application()), 1);
    EXPECT_EQ(otherTable->Get(1, "Value"), runtime::Variant(1));

    EditOtherWithPendingEdit();
    gis.Ui().Queue(host::kAnswerYes);
    EXPECT_EQ(StopEditSession(gis.Application()), 1);
    EXPECT_EQ(otherTable->Get(1, "Value"), runtime::Variant(2));
    EXPECT_EQ(editor().sessionLog, (std::vector<std::string>{"discarded other", "discarded other", "saved other"}));
}

TEST_F(EditSessions, StopFailsWhenTheHostDoes)
{
    editor().StartEditing(other);
    gis.Faults().FailAt("IEditor.StopEditing", 1, runtime::kHostCallFailed, "Unspecified error");
    EXPECT_EQ(StopEditSession(gis.Application()), -1);
}
