#include "RunFixture.h"

#include "host/modGlobals.h"

using namespace drennow;
using namespace drennow::fixtures;
using command::RunOutcome;

namespace {

const char* const kTrailingZerosText =
    "Zeros at the end of Pfafstetter numbers usually indicate an \r\n"
    "internal basin.  However, some datasets, such as EDNA \r\n"
    "catchments, do have trailing zeros in the Pfafstetter \r\n"
    "numbers and do indicate internal basins.\r\n\r\n"
    "Allow trailing zeros during NextDownID determination?\r\n"
    "(Click Yes if using EDNA data)";

}  // namespace

TEST(CommandObject, OffersItsFixedMembersEvenBeforeCreation)
{
    auto command = command::CreateCommand("Drennow.clsDrennow");
    ASSERT_TRUE(command);
    EXPECT_TRUE(command->Enabled());
    EXPECT_FALSE(command->Checked());
    EXPECT_EQ(command->Name(), "Pfafstetter_Drennow");
    EXPECT_EQ(command->Caption(), "Drennow");
    EXPECT_EQ(command->Tooltip(), "Assign NextDownID by analyzing Pfafstetter codes");
    EXPECT_EQ(command->Message(), "Assign NextDownID by analyzing Pfafstetter codes.  Max Level = 9");
    EXPECT_EQ(command->HelpFile(), "");
    EXPECT_EQ(command->HelpContextID(), 0);
    EXPECT_EQ(command->Bitmap(), 0);
    EXPECT_EQ(command->Category(), "Pfafstetter");
}

TEST(CommandObject, FactoryKnowsOnlyItsProgIdAndCountsLiveObjects)
{
    EXPECT_FALSE(command::CreateCommand("Drennow.Other"));
    EXPECT_TRUE(command::CanUnloadNow());
    {
        auto command = command::CreateCommand("Drennow.clsDrennow");
        EXPECT_FALSE(command::CanUnloadNow());
    }
    EXPECT_TRUE(command::CanUnloadNow());
}

TEST(CommandObject, OnCreateKeepsTheApplicationUntilTheObjectIsDestroyed)
{
    memory::MemoryGis gis;
    {
        auto command = command::CreateCommand("Drennow.clsDrennow");
        command->OnCreate(gis.Application());
        EXPECT_EQ(modGlobals::g_pApp, gis.Application());
        // A hook that is not an application fails and keeps the earlier one.
        auto notAnApplication = std::make_shared<memory::Workspace>("x");
        try {
            command->OnCreate(notAnApplication);
            FAIL();
        } catch (const runtime::Error& error) {
            EXPECT_EQ(error.Number(), 13);
        }
        EXPECT_EQ(modGlobals::g_pApp, gis.Application());
    }
    EXPECT_EQ(modGlobals::g_pApp, nullptr);
}

class CommandClick : public RunFixture {};

TEST_F(CommandClick, AsksAboutTrailingZerosFirstWithYesAndNo)
{
    MakeBasins();
    AddBasins({1234});
    gis.Ui().Queue(kAnswerNo);
    gis.Ui().Queue(CancelDialog());
    EXPECT_EQ(Click(), RunOutcome::Declined);
    const auto& question = gis.Ui().shown.at(0);
    EXPECT_EQ(question.text, kTrailingZerosText);
    EXPECT_EQ(question.title, "Drennow");
    EXPECT_EQ(question.buttons, host::MessageButtons::YesNo);
}

TEST_F(CommandClick, AnyAnswerButNoAllowsTrailingZeros)
{
    MakeBasins();
    auto oids = AddBasins({1230, 1219});
    for (auto answer : {kAnswerYes, host::kAnswerCancel}) {
        Answers answers;
        answers.trailingZeros = answer;
        answers.populateWithCodes = kAnswerYes;
        ASSERT_EQ(Run(answers), RunOutcome::Completed);
        EXPECT_EQ(NextDown(oids[0]), Variant(1219)) << answer;
    }
    Answers no;
    no.populateWithCodes = kAnswerYes;
    ASSERT_EQ(Run(no), RunOutcome::Completed);
    EXPECT_EQ(NextDown(oids[0]), Variant(-9));
}

TEST_F(CommandClick, AnErrorOutsideTheRunIsShownAndNotPassedOn)
{
    gis.Faults().FailAt("IApplication.UserInterface", 1, -2147467259, "Unspecified error");
    EXPECT_NO_THROW(Click());
    auto messages = gis.Ui().Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error -2147467259: Unspecified error");
}

TEST(CommandObject, AClickWithoutApplicationNeverThrows)
{
    auto command = command::CreateCommand("Drennow.clsDrennow");
    EXPECT_NO_THROW(command->OnClick());
}

// The run as a user meets it: nothing selected, no trailing zeros, the
// suggested level, identifiers from HydroID, a temporary session.
TEST_F(CommandClick, TypicalRunFromClickToClosingMessage)
{
    MakeBasins(false);
    auto oids = AddBasins({1234, 1233, 1211, 1212, 1232});
    Answers answers;
    answers.layer = AcceptDefault();
    answers.pfafField = AcceptDefault();
    answers.idField = AcceptDefault();
    answers.level = "4";
    ASSERT_EQ(Run(answers), RunOutcome::Completed);

    const auto& shown = gis.Ui().shown;
    EXPECT_EQ(shown[1].entries, std::vector<std::string>{"Watershed"});
    EXPECT_EQ(shown[2].entries, (std::vector<std::string>{"PfafstetterID", "HydroID"}));
    EXPECT_EQ(shown[3].defaultText, "4");
    EXPECT_EQ(shown[5].entries, (std::vector<std::string>{"OBJECTID", "PfafstetterID", "HydroID"}));
    EXPECT_EQ(shown[5].entries[static_cast<size_t>(shown[5].listIndex)], "HydroID");

    EXPECT_EQ(NextDown(oids[0]), Variant(100 + oids[1]));  // 1234 -> HydroID of 1233
    EXPECT_EQ(NextDown(oids[1]), Variant(100 + oids[2]));  // 1233 -> 1211, 1231 being absent
    EXPECT_EQ(NextDown(oids[2]), Variant(-9));             // 1211 drains to the waterbody
    EXPECT_EQ(NextDown(oids[3]), Variant(100 + oids[2]));  // 1212 -> 1211
    EXPECT_EQ(NextDown(oids[4]), Variant(100 + oids[2]));  // 1232 -> 1211
    EXPECT_EQ(gis.TheEditor().sessionLog, std::vector<std::string>{"saved basins.gdb"});
    EXPECT_EQ(gis.TheEditor().EditState(), 0);
    EXPECT_EQ(LastMessage(), "Finished with NextDownID Determination\r\n\r\nSome IDs could not be determined.  See " +
                                 LogPath().string() + " for details.");
    EXPECT_TRUE(gis.Ui().AllAnswersUsed());
}
