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

TEST_F(SelectionDialog, LoadingGivesTheDesignTimeStateAndTabOrder)
{
    frmField fresh;
    fresh.Load();
    EXPECT_EQ(fresh.caption, "Select Field");
    EXPECT_EQ(fresh.lblLayer, "Select Length Field");
    EXPECT_EQ(fresh.cboFld.ListCount(), 0);
    EXPECT_EQ(fresh.FieldName(), "");
    EXPECT_EQ(fresh.TabOrder(), (std::vector<std::string>{"cboFld", "cmdOK", "cmdCancel"}));
    EXPECT_EQ(frmField::kClientWidth, 4155);
    EXPECT_EQ(frmField::kClientHeight, 1410);
    EXPECT_EQ(frmField::kLayout[2].Left, 1200);
    EXPECT_EQ(frmField::kLayout[3].Left, 2040);
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
