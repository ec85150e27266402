#include "dialogs/frmField.h"
#include "platform/memory/ScriptedUi.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

using namespace drennow;
using dialogs::frmField;
using memory::DialogStep;

class SelectionDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.Load();
        form.cboFld.AddItem("Catchment");
        form.cboFld.AddItem("Watershed");
        form.cboFld.SetListIndex(0);
    }

    void Show(memory::DialogScript script)
    {
        ui.Queue(std::move(script));
        form.Show(ui);
    }

    frmField form;
    memory::ScriptedUi ui;
};

// Loading again after a use brings back the design-time state: nothing of
// the last question (caption, label, entries, answer) is left.
TEST_F(SelectionDialog, UnloadingAndLoadingForgetsTheLastQuestion)
{
    form.caption = "Drennow";
    form.lblLayer = "Pick one";
    Show({{DialogStep::Choose, "Watershed", {}}, {DialogStep::PressOK, "", {}}});
    ASSERT_EQ(form.FieldName(), "Watershed");
    form.Unload();
    EXPECT_EQ(form.FieldName(), "");
    form.Load();
    EXPECT_EQ(form.caption, "Select Field");
    EXPECT_EQ(form.lblLayer, "Select Length Field");
    EXPECT_EQ(form.cboFld.ListCount(), 0);
    EXPECT_EQ(form.cboFld.ListIndex(), -1);
    EXPECT_EQ(form.FieldName(), "");
}

TEST_F(SelectionDialog, OkConfirmsTheCurrentEntryAndHides)
{
    Show({{DialogStep::Choose, "Watershed", {}}, {DialogStep::PressOK, "", {}}});
    EXPECT_EQ(form.FieldName(), "Watershed");
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_FALSE(form.IsVisible());
    // Shown again without reloading, the earlier answer is still there.
    Show({{DialogStep::Choose, "Catchment", {}}, {DialogStep::Call, "", [&] {
                                                      EXPECT_EQ(form.FieldName(), "Watershed");
                                                  }},
          {DialogStep::PressOK, "", {}}});
    EXPECT_EQ(form.FieldName(), "Catchment");
}

TEST_F(SelectionDialog, CancelAndCloseBoxGiveNoAnswer)
{
    Show({{DialogStep::Choose, "Watershed", {}}, {DialogStep::PressCancel, "", {}}});
    EXPECT_EQ(form.FieldName(), "");
    EXPECT_FALSE(form.IsLoaded());
    SetUp();
    Show({{DialogStep::CloseBox, "", {}}});
    EXPECT_EQ(form.FieldName(), "");
}

TEST_F(SelectionDialog, OkDoesNothingOnAnEmptyListOrAnEmptyEntry)
{
    form.cboFld.Clear();
    Show({{DialogStep::PressOK, "", {}}, {DialogStep::Call, "", [&] { EXPECT_TRUE(form.IsVisible()); }},
          {DialogStep::PressCancel, "", {}}});
    EXPECT_EQ(form.FieldName(), "");

    form.Load();
    form.cboFld.AddItem("");
    form.cboFld.SetListIndex(0);
    Show({{DialogStep::PressOK, "", {}}, {DialogStep::Call, "", [&] { EXPECT_TRUE(form.IsVisible()); }},
          {DialogStep::CloseBox, "", {}}});
    EXPECT_EQ(form.FieldName(), "");
}

TEST(ComboBox, KeepsTheOrderOfAddingAndInsertsBefore)
{
    dialogs::ComboBox list;
    list.AddItem("b");
    list.AddItem("c");
    list.SetListIndex(0);
    list.AddItem("a", 0);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(list.Text(), "b");
    EXPECT_THROW(list.SetListIndex(3), runtime::Error);
}
