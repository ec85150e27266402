#include "RunFixture.h"

using namespace drennow;
using namespace drennow::fixtures;
using command::RunOutcome;

class RunSetUp : public RunFixture {
protected:
    void SetUp() override
    {
        RunFixture::SetUp();
        MakeBasins();
        oids = AddBasins({1234, 1233, 1211});
    }

    std::vector<int32_t> oids;
};

TEST_F(RunSetUp, EveryDialogIsTitledAndLabelled)
{
    ASSERT_EQ(Run(), RunOutcome::Completed);
    std::vector<std::string> labels;
    for (const auto& item : gis.Ui().shown) {
        EXPECT_EQ(item.title, "Drennow") << item.text;
        if (item.kind == memory::ShownItem::Dialog) {
            labels.push_back(item.text);
        }
    }
    EXPECT_EQ(labels, (std::vector<std::string>{texts::kLayerLabel, texts::kPfafFieldLabel,
                                                texts::kIdFieldLabel}));
    const auto& level = gis.Ui().shown[3];
    EXPECT_EQ(level.kind, memory::ShownItem::Input);
    EXPECT_EQ(level.text, texts::LevelPrompt(texts::kHighestLevel));
    const auto& populate = gis.Ui().shown[4];
    EXPECT_EQ(populate.text, texts::kPopulateQuestion);
    EXPECT_EQ(populate.buttons, host::MessageButtons::YesNo);
    EXPECT_EQ(populate.defaultButton, host::DefaultButton::First);
}

TEST_F(RunSetUp, DeclinedDialogsEndSilently)
{
    for (int dialog = 0; dialog < 3; ++dialog) {
        Answers answers;
        (dialog == 0 ? answers.layer : dialog == 1 ? answers.pfafField : answers.idField) = CancelDialog();
        gis.Ui().shown.clear();
        Script(answers);
        // Answers after the cancelled dialog stay unused.
        EXPECT_EQ(Click(), RunOutcome::Declined) << dialog;
        EXPECT_TRUE(gis.Ui().Messages().empty());
        gis.Ui() = memory::ScriptedUi();
    }
}

TEST_F(RunSetUp, TheCloseBoxDeclinesToo)
{
    Answers answers;
    answers.layer = {{memory::DialogStep::CloseBox, "", {}}};
    gis.Ui().Queue(answers.trailingZeros);
    gis.Ui().Queue(answers.layer);
    EXPECT_EQ(Click(), RunOutcome::Declined);
}

TEST_F(RunSetUp, MapWithoutPolygonLayersOffersAnEmptyListWhereOkDoesNothing)
{
    memory::MemoryGis other;
    auto ws = other.NewWorkspace("lines");
    other.AddFeatureLayer("Rivers", other.NewFeatureClass(*ws, {}, host::kShapeTypePolyline));
    command->OnCreate(other.Application());
    other.Ui().Queue(kAnswerNo);
    other.Ui().Queue(DialogScript{{memory::DialogStep::PressOK, "", {}}, {memory::DialogStep::PressCancel, "", {}}});
    EXPECT_EQ(Click(), RunOutcome::Declined);
    EXPECT_TRUE(other.Ui().shown[1].entries.empty());
}

TEST_F(RunSetUp, TheFirstLayerOfTheChosenNameIsUsed)
{
    auto second = gis.NewFeatureClass(*workspace, {{"PfafstetterID", host::kFieldTypeLongInteger},
                                                   {"HydroID", host::kFieldTypeLongInteger},
                                                   {"NextDownID", host::kFieldTypeLongInteger}});
    int32_t other = second->AddRow({{"PfafstetterID", 1234}});
    gis.AddFeatureLayer("Watershed", second);
    Answers answers;
    answers.layer = {{memory::DialogStep::Choose, "Watershed", {}}, {memory::DialogStep::PressOK, "", {}}};
    answers.populateWithCodes = kAnswerYes;
    ASSERT_EQ(Run(answers), RunOutcome::Completed);
    EXPECT_EQ(gis.Ui().shown[1].entries, (std::vector<std::string>{"Watershed", "Watershed"}));
    EXPECT_EQ(NextDown(oids[0]), Variant(1233));
    EXPECT_TRUE(second->Get(other, "NextDownID").IsNull());
}

// Something the user does elsewhere while the dialog is open, then OK.
DialogScript Meanwhile(std::function<void()> action)
{
    return {{memory::DialogStep::Call, "", std::move(action)}, {memory::DialogStep::PressOK, "", {}}};
}

TEST_F(RunSetUp, LayerGoneFromTheMapIsNotFound)
{
    Answers answers;
    answers.layer = Meanwhile([&] { gis.RemoveLayer(0); });
    ExpectCheckMessage(answers, "The layer called Watershed was not found in the map");
}

TEST_F(RunSetUp, LayerWithoutFeatureClass)
{
    Answers answers;
    answers.layer = Meanwhile([&] {
        gis.RemoveLayer(0);
        gis.AddRasterLayer("Watershed");
        gis.AddBrokenLayer("Watershed");
    });
    ExpectCheckMessage(answers, "Feature class missing for Watershed");
}

TEST_F(RunSetUp, LayerWithoutRows)
{
    memory::MemoryGis other;
    command->OnCreate(other.Application());
    auto ws = other.NewWorkspace("w");
    other.AddFeatureLayer("Watershed", other.NewFeatureClass(*ws, {{"PfafstetterID", host::kFieldTypeLongInteger}}));
    other.Ui().Queue(kAnswerNo);
    other.Ui().Queue(Pick("Watershed"));
    EXPECT_EQ(Click(), RunOutcome::CheckFailed);
    EXPECT_EQ(other.Ui().Messages().back(), texts::kNoFeatures);
}

TEST_F(RunSetUp, ChosenFieldsThatAreGone)
{
    Answers pfaf;
    pfaf.pfafField = Meanwhile([&] { basins->RenameField("PfafstetterID", "pfafstetterid"); });
    ExpectCheckMessage(pfaf, "The field called PfafstetterID was not found in the layer");

    basins->RenameField("pfafstetterid", "PfafstetterID");
    Answers id;
    id.idField = Meanwhile([&] { basins->RenameField("HydroID", "Hydro"); });
    ExpectCheckMessage(id, "The field called HydroID was not found in the layer");
}

TEST_F(RunSetUp, SuggestedLevelComesFromTheFirstThreeNonNullValuesOfTheWholeLayer)
{
    memory::MemoryGis other;
    command->OnCreate(other.Application());
    auto ws = other.NewWorkspace("w");
    auto table = other.NewFeatureClass(*ws, {{"PfafstetterID", host::kFieldTypeLongInteger}});
    other.AddFeatureLayer("Watershed", table);
    for (Variant code : {Variant(15), Variant::Null(), Variant(432), Variant(7), Variant(98765)}) {
        table->AddRow({{"PfafstetterID", code}});
    }
    table->selection = {4};  // the selection does not matter
    other.Ui().Queue(kAnswerNo);
    other.Ui().Queue(Pick("Watershed"));
    other.Ui().Queue(Pick("PfafstetterID"));
    other.Ui().Queue(std::string());  // Cancel
    EXPECT_EQ(Click(), RunOutcome::Declined);
    EXPECT_EQ(other.Ui().shown[3].defaultText, "3");
    // 15, null, 432, 7: four rows read, the fifth never.
    EXPECT_EQ(other.Faults().Calls("IRow.Value"), 4);
}

TEST_F(RunSetUp, SuggestedLevelIsOneWhenEveryValueIsNullAndCountsAMinusSign)
{
    memory::MemoryGis other;
    command->OnCreate(other.Application());
    auto ws = other.NewWorkspace("w");
    auto table = other.NewFeatureClass(*ws, {{"PfafstetterID", host::kFieldTypeLongInteger}});
    other.AddFeatureLayer("Watershed", table);
    table->AddRow({});
    table->AddRow({});
    for (int round = 0; round < 2; ++round) {
        other.Ui().Queue(kAnswerNo);
        other.Ui().Queue(Pick("Watershed"));
        other.Ui().Queue(Pick("PfafstetterID"));
        other.Ui().Queue(std::string("x"));
        EXPECT_EQ(Click(), RunOutcome::Declined);
        table->AddRow({{"PfafstetterID", -12}});
    }
    EXPECT_EQ(other.Ui().shown[3].defaultText, "1");
    EXPECT_EQ(other.Ui().shown[7].defaultText, "3");
}

TEST_F(RunSetUp, LevelReplies)
{
    struct Reply {
        std::string text;
        RunOutcome outcome;
    };
    const std::string invalid = texts::InvalidLevel(texts::kHighestLevel);
    for (const Reply& reply : {Reply{"3", RunOutcome::Completed}, Reply{" 3 ", RunOutcome::Completed},
                               Reply{"3.5", RunOutcome::Completed}, Reply{"2.5", RunOutcome::Completed},
                               Reply{"9.5", RunOutcome::CheckFailed}, Reply{"0", RunOutcome::CheckFailed},
                               Reply{"-1", RunOutcome::CheckFailed}, Reply{"abc", RunOutcome::Declined},
                               Reply{"", RunOutcome::Declined}, Reply{"40000", RunOutcome::ErrorReported}}) {
        gis.Ui() = memory::ScriptedUi();
        Answers answers;
        answers.level = reply.text;
        answers.populateWithCodes = kAnswerYes;
        gis.Ui().Queue(answers.trailingZeros);
        gis.Ui().Queue(answers.layer);
        gis.Ui().Queue(answers.pfafField);
        gis.Ui().Queue(answers.level);
        if (reply.outcome == RunOutcome::Completed) {
            gis.Ui().Queue(answers.populateWithCodes);
        }
        EXPECT_EQ(Click(), reply.outcome) << "reply '" << reply.text << "'";
        if (reply.outcome == RunOutcome::CheckFailed) {
            EXPECT_EQ(LastMessage(), invalid);
        }
        if (reply.outcome == RunOutcome::ErrorReported) {
            EXPECT_EQ(LastMessage(), "Error 6: Overflow\r\n6");
        }
        if (reply.outcome == RunOutcome::Declined) {
            EXPECT_TRUE(gis.Ui().Messages().empty());
        }
    }
}

TEST_F(RunSetUp, YesToPopulateAsksForNoIdentifierField)
{
    Answers answers;
    answers.populateWithCodes = kAnswerYes;
    ASSERT_EQ(Run(answers), RunOutcome::Completed);
    EXPECT_EQ(NextDown(oids[0]), Variant(1233));
    int dialogs = 0;
    for (const auto& item : gis.Ui().shown) {
        dialogs += item.kind == memory::ShownItem::Dialog;
    }
    EXPECT_EQ(dialogs, 2);
}

TEST_F(RunSetUp, EditorMissing)
{
    gis.Config().editorAvailable = false;
    ExpectCheckMessage({}, texts::kNoEditor);
}

TEST_F(RunSetUp, StartingTheSessionFails)
{
    workspace->readOnly = true;
    ExpectCheckMessage({}, "Could Not Edit Watershed");
}

class SetUpWithoutNextDown : public RunFixture {
protected:
    void SetUp() override
    {
        RunFixture::SetUp();
        MakeBasins(false);
        oids = AddBasins({1234, 1233});
        other = gis.NewWorkspace("other.gdb");
        otherTable = gis.NewFeatureClass(*other, {{"Value", host::kFieldTypeLongInteger}});
        otherTable->AddRow({{"Value", 1}});
    }

    // The editor edits the other workspace, with an edit pending.
    void EditOther()
    {
        gis.TheEditor().StartEditing(other);
        otherTable->FindRow(1)->values[2] = Variant(2);
        gis.TheEditor().MarkEdited();
    }

    std::vector<int32_t> oids;
    std::shared_ptr<memory::Workspace> other;
    std::shared_ptr<memory::TableData> otherTable;
};

TEST_F(SetUpWithoutNextDown, FieldIsAddedWithoutAQuestionWhenNotEditing)
{
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(basins->FieldIndex("NextDownID"), 4);
    EXPECT_EQ(NextDown(oids[0]), Variant(100 + oids[1]));
    for (const auto& item : gis.Ui().shown) {
        EXPECT_NE(item.title, "Save Edits?");
    }
}

TEST_F(SetUpWithoutNextDown, PendingEditsElsewhereAskFirstAndCancelChangesNothing)
{
    EditOther();
    Script({});
    gis.Ui().Queue(host::kAnswerCancel);
    EXPECT_EQ(Click(), RunOutcome::Declined);
    EXPECT_EQ(basins->FieldIndex("NextDownID"), -1);
    EXPECT_TRUE(gis.TheEditor().IsEditing(*other));
    EXPECT_TRUE(gis.TheEditor().HasEdits());
    EXPECT_EQ(gis.Ui().shown.back().title, "Save Edits?");
}

TEST_F(SetUpWithoutNextDown, PendingEditsSavedThenTheFieldIsAddedAndTheRunGoesOn)
{
    EditOther();
    Script({});
    gis.Ui().Queue(kAnswerYes);
    ASSERT_EQ(Click(), RunOutcome::Completed);
    EXPECT_EQ(otherTable->Get(1, "Value"), Variant(2));
    // Editing was on when the run began: the session on the layer's workspace
    // stays open.
    EXPECT_EQ(gis.TheEditor().sessionLog, std::vector<std::string>{"saved other.gdb"});
    EXPECT_TRUE(gis.TheEditor().IsEditing(*workspace));
    EXPECT_EQ(NextDown(oids[0]), Variant(100 + oids[1]));
}

TEST_F(SetUpWithoutNextDown, StoppingFailsWithItsMessage)
{
    // The second edit-state read is the one inside the stop.
    gis.Faults().FailAt("IEditor.EditState", 2, runtime::kHostCallFailed, "Unspecified error");
    ExpectCheckMessage({}, texts::kCannotStopEditing);
}

TEST_F(SetUpWithoutNextDown, TheAddedFieldStaysWhenEditingCannotStart)
{
    workspace->readOnly = true;
    ExpectCheckMessage({}, "Could Not Edit Watershed");
    EXPECT_EQ(basins->FieldIndex("NextDownID"), 4);
}

class SetUpWithNextDown : public RunFixture {};

TEST_F(SetUpWithNextDown, AFieldPresentNeverStopsTheSessionEvenWithPendingEdits)
{
    MakeBasins();
    auto oids = AddBasins({1234, 1233});
    gis.TheEditor().StartEditing(workspace);
    gis.TheEditor().MarkEdited();
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_TRUE(gis.TheEditor().sessionLog.empty());
    EXPECT_TRUE(gis.TheEditor().IsEditing(*workspace));
    EXPECT_EQ(NextDown(oids[0]), Variant(100 + oids[1]));
}

TEST_F(SetUpWithNextDown, AnotherCaseOfNextDownIdIsTheFieldAndIsOfferedAsCandidate)
{
    basins = gis.NewFeatureClass(*workspace, {{"PfafstetterID", host::kFieldTypeLongInteger},
                                              {"HydroID", host::kFieldTypeLongInteger},
                                              {"nextdownid", host::kFieldTypeLongInteger}});
    gis.AddFeatureLayer("Watershed", basins);
    auto oids = AddBasins({1234, 1233});
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(gis.Ui().shown[2].entries, (std::vector<std::string>{"PfafstetterID", "HydroID", "nextdownid"}));
    EXPECT_EQ(basins->Get(oids[0], "nextdownid"), Variant(100 + oids[1]));
    EXPECT_EQ(basins->FieldIndex("NextDownID"), -1);
}

// Each stage's marker, seen through a host call that fails only there.
TEST_F(SetUpWithNextDown, ErrorsReportTheStageReached)
{
    struct Case {
        const char* operation;
        int call;
        const char* marker;
        bool withNextDown;
        bool populateYes = false;
    };
    for (const Case& c : {Case{"IMxDocument.FocusMap", 1, "1", true}, Case{"IMap.LayerCount", 1, "3", true},
                          Case{"IMap.LayerCount", 2, "4", true}, Case{"IFeatureClass.Fields", 1, "5", true},
                          Case{"IRow.Value", 1, "6", true}, Case{"IFields.FieldCount", 3, "7", true},
                          Case{"IApplication.FindExtensionByCLSID", 1, "7", true, true},
                          Case{"IFields.FindField", 1, "8", true}, Case{"IApplication.FindExtensionByCLSID", 1, "8", true},
                          Case{"IFeatureClass.AddField", 1, "8", false},
                          Case{"IFeatureClass.FeatureDataset", 1, "9", true}}) {
        memory::MemoryGis local;
        command->OnCreate(local.Application());
        local.Config().templates = {(folder / "b.mxd").string()};
        auto ws = local.NewWorkspace("w");
        std::vector<memory::FieldDef> fields{{"PfafstetterID", host::kFieldTypeLongInteger},
                                             {"HydroID", host::kFieldTypeLongInteger}};
        if (c.withNextDown) {
            fields.push_back({"NextDownID", host::kFieldTypeLongInteger});
        }
        auto table = local.NewFeatureClass(*ws, fields);
        table->AddRow({{"PfafstetterID", 1234}, {"HydroID", 1}});
        local.AddFeatureLayer("Watershed", table);
        local.Faults().FailAt(c.operation, c.call, runtime::kHostCallFailed, "Unspecified error");
        auto& ui = local.Ui();
        ui.Queue(kAnswerNo);
        ui.Queue(Pick("Watershed"));
        ui.Queue(Pick("PfafstetterID"));
        ui.Queue(std::string("4"));
        ui.Queue(c.populateYes ? kAnswerYes : kAnswerNo);
        if (!c.populateYes) {
            ui.Queue(Pick("HydroID"));
        }
        EXPECT_EQ(Click(), RunOutcome::ErrorReported) << c.operation;
        EXPECT_EQ(ui.Messages().back(), std::string("Error -2147467259: Unspecified error\r\n") + c.marker)
            << c.operation << " #" << c.call;
    }
}
