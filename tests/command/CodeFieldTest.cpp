// How the code field is chosen: never guessed, and, when the user names it,
// of any type whose values convert; values that do not convert name their
// feature, field and value.
#include "RunFixture.h"

using namespace drennow;
using namespace drennow::fixtures;
using command::RunOutcome;

namespace {

class CodeField : public RunFixture {
protected:
    // A layer whose codes are of that type: PfafstetterID, HydroID, NextDownID.
    void MakeBasinsWithCodesOf(int32_t codeType)
    {
        basins = gis.NewFeatureClass(*workspace, {{"PfafstetterID", codeType},
                                                  {"HydroID", host::kFieldTypeLongInteger},
                                                  {"NextDownID", host::kFieldTypeLongInteger}});
        gis.AddFeatureLayer("Watershed", basins);
    }

    void ConvertCodeField()
    {
        command::RunOptions options;
        options.convertCodeField = true;
        dynamic_cast<command::clsDrennow&>(*command).SetRunOptions(options);
    }

    const memory::ShownItem& PfafDialog() const
    {
        for (const auto& item : gis.Ui().shown) {
            if (item.id == host::Prompt::PfafField) {
                return item;
            }
        }
        throw std::logic_error("no code field dialog was shown");
    }

    std::string ErrorOfRun()
    {
        EXPECT_EQ(Run(), RunOutcome::ErrorReported);
        return LastMessage();
    }
};

// The GeoPandas round trip: the codes in a real field, the identifiers the
// only integer field. The list is the usual one, but its one entry may not be
// taken without a person, and the real field of the run's names is told.
TEST_F(CodeField, AnOnlyEntryOfAnotherNameIsNeverTakenUnasked)
{
    MakeBasinsWithCodesOf(host::kFieldTypeDouble);
    basins->AddRow({{"PfafstetterID", 1234.0}, {"HydroID", 7}});
    gis.Ui().recordPassedOver = true;
    Answers answers;
    answers.pfafField = CancelDialog();
    Script(answers);
    ASSERT_EQ(Click(), RunOutcome::Declined);
    const memory::ShownItem& dialog = PfafDialog();
    EXPECT_EQ(dialog.entries, std::vector<std::string>{"HydroID"});
    EXPECT_EQ(dialog.listIndex, 0);
    EXPECT_FALSE(dialog.takenUnasked);
    ASSERT_EQ(dialog.passedOver.size(), 1u);
    EXPECT_EQ(dialog.passedOver[0].name, "PfafstetterID");
    EXPECT_EQ(std::string(host::FieldTypeName(dialog.passedOver[0].type)), "real");

    // A field of the run's names is taken unasked, alone or among others;
    // the identifier list keeps taking its only entry.
    gis.Ui() = memory::ScriptedUi();
    basins->AddField({"Pfafstetter", host::kFieldTypeLongInteger});
    Script(answers);
    ASSERT_EQ(Click(), RunOutcome::Declined);
    EXPECT_TRUE(PfafDialog().takenUnasked);
    EXPECT_EQ(PfafDialog().entries, (std::vector<std::string>{"HydroID", "Pfafstetter"}));
}

// Named by the user, a real or text field is offered, and its values are
// converted as every value is: halves to even, text that reads as a number.
TEST_F(CodeField, ANamedRealFieldIsConverted)
{
    ConvertCodeField();
    MakeBasinsWithCodesOf(host::kFieldTypeDouble);
    auto oids = AddBasins({1234.0, 1233.0, 1211.0, Variant::Null()});
    ASSERT_EQ(Run(), RunOutcome::Completed) << LastMessage();
    EXPECT_TRUE(PfafDialog().takenUnasked);
    EXPECT_EQ(NextDown(oids[0]), Variant(102));  // 1234 -> 1233
    EXPECT_EQ(NextDown(oids[1]), Variant(103));  // 1233 -> 1211
    EXPECT_EQ(NextDown(oids[2]), Variant(-9));
    EXPECT_EQ(NextDown(oids[3]), Variant(-6));
}

TEST_F(CodeField, ANamedTextFieldIsConverted)
{
    ConvertCodeField();
    MakeBasinsWithCodesOf(host::kFieldTypeString);
    auto oids = AddBasins({"1234", "1233", "1211", Variant::Null()});
    ASSERT_EQ(Run(), RunOutcome::Completed) << LastMessage();
    EXPECT_EQ(NextDown(oids[0]), Variant(102));
    EXPECT_EQ(NextDown(oids[1]), Variant(103));
    EXPECT_EQ(NextDown(oids[2]), Variant(-9));
    EXPECT_EQ(NextDown(oids[3]), Variant(-6));
}

TEST_F(CodeField, AValueThatDoesNotConvertNamesTheFeatureTheFieldAndTheValue)
{
    ConvertCodeField();
    MakeBasinsWithCodesOf(host::kFieldTypeString);
    AddBasins({"1234", "12x4"});
    EXPECT_EQ(ErrorOfRun(), "Error 13: Type mismatch: feature 2 has 12x4 in PfafstetterID, which is not a whole "
                            "number of the codes' range\r\n11");
}

// Without 64-bit codes, a code or an identifier beyond 32 bits points at them.
TEST_F(CodeField, OverflowsPointAtSixtyFourBitCodes)
{
    MakeBasinsWithCodesOf(host::kFieldTypeLongInteger);
    basins->AddRow({{"PfafstetterID", int64_t{12345678901}}, {"HydroID", 1}});
    EXPECT_EQ(ErrorOfRun(), "Error 6: Overflow: feature 1 has 12345678901 in PfafstetterID, which is not a whole "
                            "number of the codes' range; beyond the 32-bit range: run with 64-bit codes and "
                            "identifiers (--int64 on the command line, INT64 in Processing, "
                            "int64=True in Python)\r\n12");

    gis.TheEditor().StopEditing(false);  // what the error report left open
    basins->FindRow(1)->values[static_cast<size_t>(basins->FieldIndex("PfafstetterID"))] = Variant(1234);
    basins->AddRow({{"PfafstetterID", 1233}, {"HydroID", int64_t{3000000000}}});
    EXPECT_EQ(ErrorOfRun(), "Error 6: Overflow: feature 1 drains into a basin whose HydroID is 3000000000, which "
                            "is not a whole number of the identifiers' range; beyond the 32-bit range: run with "
                            "64-bit codes and identifiers (--int64 on the command line, INT64 in Processing, "
                            "int64=True in Python)\r\n12");
}

// An existing NextDownID too narrow for a value: the feature and the value.
TEST_F(CodeField, ANextDownFieldTooNarrowNamesTheFeatureAndTheValue)
{
    basins = gis.NewFeatureClass(*workspace, {{"PfafstetterID", host::kFieldTypeLongInteger},
                                              {"HydroID", host::kFieldTypeLongInteger},
                                              {"NextDownID", host::kFieldTypeSmallInteger}});
    gis.AddFeatureLayer("Watershed", basins);
    basins->AddRow({{"PfafstetterID", 1234}, {"HydroID", 1}});
    basins->AddRow({{"PfafstetterID", 1233}, {"HydroID", 70000}});
    EXPECT_EQ(ErrorOfRun(), command::texts::ErrorReport(6, command::texts::NextDownCannotHold(1, "70000"), "12"));
}

}  // namespace
