// Options beyond the run's questions: each changes only what it is for.
#include "RunFixture.h"

#include "command/Comparison.h"

using namespace drennow;
using namespace drennow::fixtures;
using command::RunOutcome;

class RunOptionsTest : public RunFixture {
protected:
    void SetUp() override
    {
        RunFixture::SetUp();
        MakeBasins();
    }

    void SetOptions(const command::RunOptions& options)
    {
        dynamic_cast<command::clsDrennow&>(*command).SetRunOptions(options);
    }

    const std::optional<command::Comparison>& Compared()
    {
        return dynamic_cast<command::clsDrennow&>(*command).LastComparison();
    }

    std::vector<memory::ShownItem> Shown() { return gis.Ui().shown; }
};

TEST_F(RunOptionsTest, WhereZerosMarkUnitsNotSubdividedTrailingZerosAreNotAskedAbout)
{
    AddBasins({1234, 1233});
    command::RunOptions options;
    options.zerosUnsubdivided = true;
    SetOptions(options);
    gis.Ui().Queue(Pick("Watershed"));
    gis.Ui().Queue(Pick("PfafstetterID"));
    gis.Ui().Queue(std::string("4"));
    gis.Ui().Queue(kAnswerYes);
    ASSERT_EQ(Click(), RunOutcome::Completed);
    ASSERT_FALSE(Shown().empty());
    EXPECT_EQ(Shown().front().id, host::Prompt::Layer);
    for (const memory::ShownItem& item : Shown()) {
        EXPECT_NE(item.id, host::Prompt::TrailingZeros);
    }
}

TEST_F(RunOptionsTest, SixtyFourBitCodesHaveUpToNineteenLevels)
{
    AddBasins({1234, 1233});
    command::RunOptions options;
    options.int64 = true;
    SetOptions(options);
    Answers answers;
    answers.level = "19";
    ASSERT_EQ(Run(answers), RunOutcome::Completed);
    EXPECT_EQ(Shown()[3].text, "Input Pfafstetter Level (1-19)");

    answers.level = "20";
    ExpectCheckMessage(answers, "Invalid Level.  Level must be 1 through 19.");
    // Without the option, the usual range and texts.
    SetOptions({});
    answers.level = "12";
    ExpectCheckMessage(answers, "Invalid Level.  Level must be 1 through 9.");
    EXPECT_EQ(Shown()[3].text, "Input Pfafstetter Level (1-9)");
}

TEST_F(RunOptionsTest, TheValuesWrittenAreComparedWithAnotherFieldAndTheDisagreementsLogged)
{
    basins->AddField({"NEXT_DOWN", host::kFieldTypeLongInteger});
    // 1234 -> 1233 (HydroID 102) and 1233 -> 1211 (103) agree; 1211 drains
    // out: -9 against null agrees; 1212 -> 1211 (103) does not agree with
    // 999; a null code gives -6, which does not agree with 105.
    auto oids = AddBasins({1234, 1233, 1211, 1212, Variant::Null()});
    const std::vector<Variant> existing{Variant(102), Variant(103), Variant::Null(), Variant(999), Variant(105)};
    for (size_t i = 0; i < oids.size(); ++i) {
        basins->FindRow(oids[i])->values[static_cast<size_t>(basins->FieldIndex("NEXT_DOWN"))] = existing[i];
    }
    command::RunOptions options;
    options.compareWith = "NEXT_DOWN";
    SetOptions(options);
    ASSERT_EQ(Run(), RunOutcome::Completed);
    ASSERT_TRUE(Compared());
    EXPECT_EQ(Compared()->field, "NEXT_DOWN");
    EXPECT_EQ(Compared()->agreeing, 3);
    EXPECT_EQ(Compared()->compared, 5);
    EXPECT_EQ(Compared()->logPath, (folder / "Drennow-compare.log").string());
    std::ifstream log(Compared()->logPath, std::ios::binary);
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_EQ(text.str(),
              "Features whose NextDownID disagrees with NEXT_DOWN.\r\nObjectID\tNextDownID\tNEXT_DOWN\r\n"
              "4\t103\t999\r\n5\t-6\t105\r\n");
    EXPECT_EQ(command::texts::AgreementLine("NEXT_DOWN", 3, 5), "Agreement with NEXT_DOWN: 3 of 5 basins (60.0 %)");
    // The comparison changes no value.
    EXPECT_EQ(basins->Get(oids[3], "NEXT_DOWN"), Variant(999));
}

TEST_F(RunOptionsTest, AFieldToCompareWithThatIsMissingEndsTheRunBeforeAnythingChanges)
{
    AddBasins({1234, 1233});
    command::RunOptions options;
    options.compareWith = "NEXT_DOWN";
    SetOptions(options);
    ExpectCheckMessage({}, command::texts::FieldNotFound("NEXT_DOWN"));
    EXPECT_FALSE(Compared());
}

TEST(ValuesAgree, EqualValuesFailureCodesIncludedOrAFailureAgainstNothing)
{
    using command::ValuesAgree;
    EXPECT_TRUE(ValuesAgree(Variant(1233), Variant(int64_t{1233})));
    EXPECT_TRUE(ValuesAgree(Variant(int64_t{9223372036854775807}), Variant(int64_t{9223372036854775807})));
    EXPECT_FALSE(ValuesAgree(Variant(int64_t{9223372036854775807}), Variant(int64_t{9223372036854775806})));
    EXPECT_TRUE(ValuesAgree(Variant(1233), Variant(1233.0)));
    EXPECT_TRUE(ValuesAgree(Variant(int16_t{-9}), Variant::Null()));
    EXPECT_TRUE(ValuesAgree(Variant(int16_t{-5}), Variant(0)));
    EXPECT_TRUE(ValuesAgree(Variant(int16_t{-5}), Variant(-5)));
    EXPECT_TRUE(ValuesAgree(Variant(-8), Variant(int64_t{-8})));
    EXPECT_FALSE(ValuesAgree(Variant(int16_t{-5}), Variant(-9)));
    EXPECT_FALSE(ValuesAgree(Variant(int16_t{-5}), Variant(7)));
    EXPECT_FALSE(ValuesAgree(Variant(1233), Variant::Null()));
    EXPECT_FALSE(ValuesAgree(Variant(1233), Variant(0)));
}

// Twelve-digit codes and ten-digit identifiers, as HydroBASINS has them:
// read, searched and written as 64-bit integers.
class SixtyFourBitRun : public RunFixture {
protected:
    void SetUp() override
    {
        RunFixture::SetUp();
        command::RunOptions options;
        options.int64 = true;
        options.zerosUnsubdivided = true;
        dynamic_cast<command::clsDrennow&>(*command).SetRunOptions(options);
    }

    void MakeWideBasins(int32_t nextDownType)
    {
        std::vector<memory::FieldDef> fields{{"PfafstetterID", host::kFieldTypeBigInteger},
                                             {"HydroID", host::kFieldTypeBigInteger}};
        if (nextDownType >= 0) {
            fields.push_back({"NextDownID", nextDownType});
        }
        basins = gis.NewFeatureClass(*workspace, fields);
        gis.AddFeatureLayer("Watershed", basins);
        // 232610120100 drains into 232610110000 by the unsubdivided reading.
        for (auto [code, id] : std::vector<std::pair<int64_t, int64_t>>{{232610120100, 9000379530},
                                                                        {232610110000, 9000023010}}) {
            basins->AddRow({{"PfafstetterID", Variant(code)}, {"HydroID", Variant(id)}});
        }
    }

    command::RunOutcome RunWide(host::MessageAnswer populateWithCodes)
    {
        gis.Ui().Queue(Pick("Watershed"));
        gis.Ui().Queue(Pick("PfafstetterID"));
        gis.Ui().Queue(std::string("12"));
        gis.Ui().Queue(populateWithCodes);
        if (populateWithCodes == kAnswerNo) {
            gis.Ui().Queue(Pick("HydroID"));
        }
        return Click();
    }
};

TEST_F(SixtyFourBitRun, CodesAndIdentifiersBeyondThirtyTwoBitsAreWrittenWhole)
{
    MakeWideBasins(-1);
    ASSERT_EQ(RunWide(kAnswerYes), RunOutcome::Completed);
    // The field the run added holds 64-bit values.
    EXPECT_EQ(basins->Fields().back().type, host::kFieldTypeBigInteger);
    EXPECT_EQ(NextDown(1), Variant(int64_t{232610110000}));
    EXPECT_EQ(NextDown(2), Variant(int64_t{-5}));  // its downstream unit is not in the layer

    ASSERT_EQ(RunWide(kAnswerNo), RunOutcome::Completed);
    EXPECT_EQ(NextDown(1), Variant(int64_t{9000023010}));
}

TEST_F(SixtyFourBitRun, AThirtyTwoBitNextDownIdThatCannotHoldAValueEndsTheRunNamingIt)
{
    MakeWideBasins(host::kFieldTypeLongInteger);
    ASSERT_EQ(RunWide(kAnswerNo), RunOutcome::ErrorReported);
    EXPECT_EQ(LastMessage(), "Error 6: Overflow: the NextDownID field of feature 1 cannot hold 9000023010; remove "
                             "the field, or widen it to a 64-bit integer, and run again\r\n12");
    // What the error left open is never saved.
    gis.TheEditor().StopEditing(false);
    EXPECT_TRUE(NextDown(1).IsNull());
    EXPECT_TRUE(NextDown(2).IsNull());
}
