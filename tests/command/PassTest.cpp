#include "RunFixture.h"

#include <algorithm>

using namespace drennow;
using namespace drennow::fixtures;
using command::RunOutcome;

namespace {

Answers CodesMode()
{
    Answers answers;
    answers.populateWithCodes = kAnswerYes;
    return answers;
}

}  // namespace

class Pass : public RunFixture {
protected:
    void SetUp() override
    {
        RunFixture::SetUp();
        MakeBasins();
    }

    bool Called(const std::string& call)
    {
        const auto& calls = gis.TheStatusBar().calls;
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
};

TEST_F(Pass, EverySituationOfTheCodesMode)
{
    auto oids = AddBasins({Variant::Null(), 0, -1234, 1211, 1234, 1233, 1238, 1236});
    ASSERT_EQ(Run(CodesMode()), RunOutcome::Completed);
    EXPECT_EQ(NextDown(oids[0]), Variant(-6));
    EXPECT_EQ(NextDown(oids[1]), Variant(-8));
    EXPECT_EQ(NextDown(oids[2]), Variant(-3));
    EXPECT_EQ(NextDown(oids[3]), Variant(-9));
    EXPECT_EQ(NextDown(oids[4]), Variant(1233));
    EXPECT_EQ(NextDown(oids[5]), Variant(1211));
    EXPECT_EQ(NextDown(oids[6]), Variant(1233));
    EXPECT_EQ(NextDown(oids[7]), Variant(1233));
    EXPECT_EQ(ReadLog(), "Following is a list of ObjectIDs for areas for which downstream ID could not be determined.\r\n"
                         "ObjectID\tCode\tDescription\r\n"
                         "1\t-6\tPfafstetter ID is <Null>\r\n"
                         "2\t-8\tBasin drains internally\r\n"
                         "3\t-3\tPfafsetterID < 0\r\n"
                         "4\t-9\tBasin drains to waterbody/internally\r\n");
}

TEST_F(Pass, IdentifiersModeWritesTheDownstreamFeaturesIdentifier)
{
    auto oids = AddBasins({1234, 1233, 1232, 1239});
    // 1239 has nothing below it but 1237, absent: the scan ends with 1233.
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(NextDown(oids[0]), Variant(100 + oids[1]));
    EXPECT_EQ(NextDown(oids[1]), Variant(-5));
    EXPECT_EQ(NextDown(oids[3]), Variant(100 + oids[1]));
    EXPECT_NE(ReadLog()->find("2\t-5\tDownstream ID not found in database\r\n"), std::string::npos);
}

TEST_F(Pass, AMissingIdentifierEntryIsItsOwnFailure)
{
    // A code delivered as text with blanks is a list element of value 1233,
    // but its key text is not "1233".
    auto oids = AddBasins({1234, 1231});
    basins->FindRow(oids[1])->values[2] = Variant(" 1233");
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(NextDown(oids[0]), Variant(-5));
    EXPECT_NE(ReadLog()->find("1\t-5\tRequired ID missing in downstream feature\r\n"), std::string::npos);
}

TEST_F(Pass, ChoosingThePfafstetterFieldAsIdentifierIsTheCodesMode)
{
    auto oids = AddBasins({1234, 1233});
    Answers answers;
    answers.idField = Pick("PfafstetterID");
    ASSERT_EQ(Run(answers), RunOutcome::Completed);
    EXPECT_EQ(NextDown(oids[0]), Variant(1233));
    EXPECT_EQ(gis.Faults().Calls("IApplication.NewCancelTracker"), 1);  // no ID collection
}

TEST_F(Pass, OnlyTheSelectionIsWrittenButEveryFeatureIsACandidate)
{
    auto oids = AddBasins({1234, 1233, 1232});
    basins->selection = {oids[0]};
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(NextDown(oids[0]), Variant(100 + oids[1]));
    EXPECT_TRUE(NextDown(oids[1]).IsNull());
    EXPECT_TRUE(NextDown(oids[2]).IsNull());
    EXPECT_TRUE(Called("MaxRange 1"));
}

TEST_F(Pass, TheFirstFeatureOfADuplicateCodeGivesTheIdentifier)
{
    auto oids = AddBasins({1233, 1234, 1233});
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(NextDown(oids[1]), Variant(100 + oids[0]));
}

TEST_F(Pass, AllNullOrAllZero)
{
    auto nulls = AddBasins({Variant::Null(), Variant::Null()});
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(NextDown(nulls[0]), Variant(-6));
    EXPECT_EQ(NextDown(nulls[1]), Variant(-6));

    for (int32_t oid : nulls) {
        basins->FindRow(oid)->values[2] = Variant(0);
    }
    ASSERT_EQ(Run(CodesMode()), RunOutcome::Completed);
    EXPECT_EQ(NextDown(nulls[0]), Variant(-8));
    EXPECT_EQ(NextDown(nulls[1]), Variant(-8));
}

TEST_F(Pass, ProgressIsShownForEachLoopAndHiddenAtTheEnd)
{
    AddBasins({1234, Variant::Null(), 1233});
    ASSERT_EQ(Run(), RunOutcome::Completed);
    const auto& calls = gis.TheStatusBar().calls;
    std::vector<std::string> start(calls.begin(), calls.begin() + 6);
    EXPECT_EQ(start, (std::vector<std::string>{"Show", "MaxRange 3", "MinRange 0", "Message Building Pfafstetter array",
                                               "StepValue 1", "Position 0"}));
    EXPECT_TRUE(Called("Message Building Pfafstetter array 3.. Hit Esc to Cancel"));
    EXPECT_TRUE(Called("Message Building ID collection 3.. Hit Esc to Cancel"));
    EXPECT_TRUE(Called("Message Finding NextDownID 3.. Hit Esc to Cancel"));
    EXPECT_TRUE(Called("Message Finishing Edit Operation (please wait)"));
    EXPECT_EQ(calls.back(), "Hide");
    EXPECT_FALSE(gis.TheStatusBar().progressVisible);
}

TEST_F(Pass, ACompletedTemporarySessionIsSavedAndClosed)
{
    auto oids = AddBasins({1234, 1233});
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(gis.TheEditor().sessionLog, std::vector<std::string>{"saved basins.gdb"});
    EXPECT_EQ(gis.TheEditor().EditState(), 0);
    EXPECT_EQ(workspace->storesOutsideSession, 0);
    EXPECT_EQ(NextDown(oids[0]), Variant(100 + oids[1]));
}

TEST_F(Pass, WithEditingOnTheRunIsOneUndoableOperation)
{
    auto oids = AddBasins({1234, 1233, 1211});
    gis.TheEditor().StartEditing(workspace);
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_TRUE(gis.TheEditor().IsEditing(*workspace));
    EXPECT_EQ(gis.TheEditor().UndoNames(), std::vector<std::string>{"nextdownid"});
    EXPECT_EQ(NextDown(oids[0]), Variant(100 + oids[1]));
    gis.TheEditor().Undo();
    for (int32_t oid : oids) {
        EXPECT_TRUE(NextDown(oid).IsNull());
    }
}

TEST_F(Pass, CancelInTheAssignmentOfATemporarySessionKeepsNothing)
{
    auto oids = AddBasins({1234, 1233, 1211});
    // Three Continue calls build the array, one follows the sort, three build
    // the collection; the second feature of the assignment is refused.
    gis.Config().cancelAtContinue = 9;
    ASSERT_EQ(Run(), RunOutcome::Cancelled);
    for (int32_t oid : oids) {
        EXPECT_TRUE(NextDown(oid).IsNull());
    }
    EXPECT_EQ(gis.TheEditor().sessionLog, std::vector<std::string>{"discarded basins.gdb"});
    EXPECT_TRUE(Called("Status 0 Closing temporary edit session, please wait"));
    EXPECT_EQ(gis.TheStatusBar().calls.back(), "Status 0 ");
    EXPECT_TRUE(gis.Ui().Messages().empty());
    EXPECT_FALSE(ReadLog());
}

TEST_F(Pass, CancelInTheAssignmentWithEditingOnKeepsWhatWasDone)
{
    auto oids = AddBasins({1234, 1233, 1211});
    gis.TheEditor().StartEditing(workspace);
    gis.Config().cancelAtContinue = 9;
    ASSERT_EQ(Run(), RunOutcome::Cancelled);
    EXPECT_EQ(NextDown(oids[0]), Variant(100 + oids[1]));
    EXPECT_TRUE(NextDown(oids[1]).IsNull());
    EXPECT_EQ(gis.TheEditor().UndoNames(), std::vector<std::string>{"Drennow"});
    EXPECT_TRUE(gis.TheEditor().IsEditing(*workspace));
    EXPECT_FALSE(Called("Status 0 Closing temporary edit session, please wait"));
}

TEST_F(Pass, CancelBeforeTheAssignmentWritesNothingAndLeavesTheSession)
{
    AddBasins({1234, 1233, 1211});
    for (int cancelAt : {2, 4, 6}) {  // array loop, after the sort, ID collection
        gis.Config().continueCalls = 0;
        gis.Config().cancelAtContinue = cancelAt;
        gis.TheStatusBar().calls.clear();
        auto before = AllValues();
        ASSERT_EQ(Run(), RunOutcome::Cancelled) << cancelAt;
        EXPECT_EQ(AllValues(), before);
        EXPECT_FALSE(gis.TheEditor().OperationOpen());
        EXPECT_TRUE(gis.TheEditor().UndoNames().empty());
        EXPECT_TRUE(gis.TheEditor().IsEditing(*workspace));  // as the set-up left it
        EXPECT_FALSE(gis.TheStatusBar().progressVisible);
        EXPECT_TRUE(gis.Ui().Messages().empty());
        gis.TheEditor().StopEditing(false);
    }
}

TEST_F(Pass, ANullIdentifierDownstreamStopsTheRunWithErrorNinetyFour)
{
    auto oids = AddBasins({1211, 1233, 1234});
    basins->FindRow(oids[1])->values[3] = Variant::Null();
    gis.TheEditor().StartEditing(workspace);
    ASSERT_EQ(Run(), RunOutcome::ErrorReported);
    EXPECT_EQ(LastMessage(), "Error 94: Invalid use of Null\r\n12");
    EXPECT_EQ(NextDown(oids[0]), Variant(-9));  // stored before the error
    EXPECT_TRUE(gis.TheEditor().OperationOpen());
    EXPECT_TRUE(gis.TheEditor().IsEditing(*workspace));
    EXPECT_FALSE(gis.TheStatusBar().progressVisible);
    EXPECT_FALSE(ReadLog());
}

TEST_F(Pass, AHostFailureInTheTemporarySessionLeavesItOpenAndUnsaved)
{
    auto oids = AddBasins({1234, 1233});
    gis.Faults().FailAt("IRow.Store", 2, -2147217395, "The row could not be written");
    ASSERT_EQ(Run(), RunOutcome::ErrorReported);
    EXPECT_EQ(LastMessage(), "Error -2147217395: The row could not be written\r\n12");
    EXPECT_TRUE(gis.TheEditor().IsEditing(*workspace));
    EXPECT_TRUE(gis.TheEditor().sessionLog.empty());
    gis.TheEditor().StopEditing(false);
    EXPECT_TRUE(NextDown(oids[0]).IsNull());
}

TEST_F(Pass, MarkersOfThePassStages)
{
    AddBasins({1234, 1233});
    struct Case {
        const char* operation;
        int call;
        const char* marker;
    };
    // The layer's third search is the pass's own, after the row cursor and
    // the suggested level.
    for (const Case& c : {Case{"ITable.Search", 3, "10"}, Case{"IEditor.StartOperation", 1, "12"},
                          Case{"IEditor.StopOperation", 1, "13"}}) {
        gis.Faults().Clear();
        gis.Faults().FailAt(c.operation, c.call, -2147467259, "Unspecified error");
        ASSERT_EQ(Run(), RunOutcome::ErrorReported) << c.operation;
        EXPECT_EQ(LastMessage(), std::string("Error -2147467259: Unspecified error\r\n") + c.marker) << c.operation;
        if (gis.TheEditor().OperationOpen() || gis.TheEditor().EditState() != 0) {
            if (gis.TheEditor().OperationOpen()) {
                gis.TheEditor().StopOperation("cleanup");
            }
            gis.TheEditor().StopEditing(false);
        }
    }
}

TEST_F(Pass, ACodeThatIsNotANumberStopsTheSortWithErrorThirteen)
{
    auto oids = AddBasins({1234, 1233, 1211});
    basins->FindRow(oids[1])->values[2] = Variant("12x3");
    ASSERT_EQ(Run(), RunOutcome::ErrorReported);
    // The error names the feature, the field and the value.
    EXPECT_EQ(LastMessage(), "Error 13: Type mismatch: feature 2 has 12x3 in PfafstetterID, which is not a whole "
                             "number of the codes' range\r\n11");
    EXPECT_FALSE(gis.TheEditor().OperationOpen());
}
