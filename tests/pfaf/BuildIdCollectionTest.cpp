#include "host/modGlobals.h"
#include "pfaf/BuildIdCollection.h"
#include "platform/memory/MemoryGis.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

using namespace drennow;
using modPfafTools::BuildIdCollection;
using modPfafTools::ItemSubstitutes;
using runtime::Variant;

class IdCollection : public ::testing::Test {
protected:
    void SetUp() override
    {
        modGlobals::g_pApp = gis.Application();
        table = gis.NewFeatureClass(*workspace, {{"PfafstetterID", host::kFieldTypeLongInteger},
                                                 {"HydroID", host::kFieldTypeLongInteger}});
        gis.AddFeatureLayer("Watershed", table);
        layer = host::QueryInterface<host::ITable>(gis.Application()->Document()->FocusMap()->Layer(0));
    }
    void TearDown() override { modGlobals::g_pApp = nullptr; }

    int16_t Build(const ItemSubstitutes& substitutes = {}) { return BuildIdCollection(layer, 2, 3, ids, substitutes, true); }

    std::vector<std::string> Calls() const { return gis.TheStatusBar().calls; }

    memory::MemoryGis gis;
    std::shared_ptr<memory::Workspace> workspace = gis.NewWorkspace("w");
    std::shared_ptr<memory::TableData> table;
    host::Ref<host::ITable> layer;
    runtime::Collection ids;
};

TEST_F(IdCollection, AnEmptyTableGivesAnEmptyCollectionAndHidesTheBar)
{
    EXPECT_EQ(Build(), 1);
    EXPECT_EQ(ids.Count(), 0);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"Show", "MaxRange 0", "MinRange 0", "Position 0", "Hide"}));
}

TEST_F(IdCollection, FilesTheFirstRowOfEachCodeAndLeavesOutNullCodes)
{
    table->AddRow({{"PfafstetterID", 1233}, {"HydroID", 11}});
    table->AddRow({{"PfafstetterID", 1233}, {"HydroID", 12}});
    table->AddRow({{"HydroID", 13}});
    table->AddRow({{"PfafstetterID", 1234}});
    EXPECT_EQ(Build(), 1);
    EXPECT_EQ(ids.Count(), 2);
    EXPECT_EQ(ids.Item("1233"), Variant(11));
    EXPECT_TRUE(ids.Item("1234").IsNull());
    // Every row read is counted, the ones left out included.
    EXPECT_EQ(Calls()[Calls().size() - 2], "Message Building ID collection 4.. Hit Esc to Cancel");
    EXPECT_EQ(Calls().back(), "Hide");
}

TEST_F(IdCollection, KeysAreTheTextOfTheCode)
{
    auto texts = gis.NewFeatureClass(*workspace, {{"Code", host::kFieldTypeString}, {"Id", host::kFieldTypeDouble}});
    texts->AddRow({{"Code", Variant("0123")}, {"Id", Variant(5.0)}});
    texts->AddRow({{"Code", Variant(1230.0)}, {"Id", Variant(6.0)}});
    gis.AddFeatureLayer("Texts", texts);
    auto textLayer = host::QueryInterface<host::ITable>(gis.Application()->Document()->FocusMap()->Layer(1));
    EXPECT_EQ(BuildIdCollection(textLayer, 2, 3, ids, {}, false), 1);
    EXPECT_EQ(ids.Item("0123"), Variant(5.0));
    EXPECT_EQ(ids.Item("1230"), Variant(6.0));
    EXPECT_FALSE(ids.Find("123"));
    EXPECT_TRUE(Calls().empty());  // no progress asked for
}

TEST_F(IdCollection, CancelReturnsTwoWithTheRowsReadSoFar)
{
    for (int i = 1; i <= 5; ++i) {
        table->AddRow({{"PfafstetterID", 1230 + i}, {"HydroID", i}});
    }
    gis.Config().cancelAtContinue = 3;
    EXPECT_EQ(Build(), 2);
    EXPECT_EQ(ids.Count(), 2);
    EXPECT_TRUE(gis.TheStatusBar().progressVisible);
}

TEST_F(IdCollection, SubstitutesApplyInOrderToTheValueAsRead)
{
    table->AddRow({{"PfafstetterID", 1}, {"HydroID", Variant::Null()}});
    table->AddRow({{"PfafstetterID", 2}, {"HydroID", -4}});
    table->AddRow({{"PfafstetterID", 3}, {"HydroID", 7}});
    ItemSubstitutes substitutes{Variant("null"), Variant("negative"), std::nullopt, std::nullopt};
    EXPECT_EQ(Build(substitutes), 1);
    EXPECT_EQ(ids.Item("1"), Variant("null"));
    EXPECT_EQ(ids.Item("2"), Variant("negative"));
    EXPECT_EQ(ids.Item("3"), Variant(7));

    runtime::Collection others;
    ItemSubstitutes later{Variant("null"), Variant("negative"), Variant("not numeric"), Variant("numeric")};
    EXPECT_EQ(BuildIdCollection(layer, 2, 3, others, later, false), 1);
    EXPECT_EQ(others.Item("1"), Variant("not numeric"));
    EXPECT_EQ(others.Item("2"), Variant("numeric"));
}

TEST_F(IdCollection, FailuresOfTheProgressDisplayAreSkipped)
{
    table->AddRow({{"PfafstetterID", 1}, {"HydroID", 1}});
    table->AddRow({{"PfafstetterID", 2}, {"HydroID", 2}});
    gis.Faults().FailAt("IApplication.StatusBar", 1, runtime::kHostCallFailed, "Unspecified error");
    gis.Faults().FailAt("ITable.RowCount", 1, runtime::kHostCallFailed, "Unspecified error");
    EXPECT_EQ(Build(), 1);
    EXPECT_EQ(ids.Count(), 2);
    EXPECT_EQ(ids.Item("2"), Variant(2));
    EXPECT_TRUE(Calls().empty());
}

// A collection missing a row would turn the downstream identifier of every
// basin draining to it into a failure code, and the run would call that
// finished: a read that fails is the caller's error.
TEST_F(IdCollection, ARowThatCannotBeReadIsAnError)
{
    table->AddRow({{"PfafstetterID", 1}, {"HydroID", 1}});
    table->AddRow({{"PfafstetterID", 2}, {"HydroID", 2}});
    for (auto [operation, call] : std::vector<std::pair<const char*, int>>{
             {"ITable.Search", 1}, {"ICursor.NextRow", 2}, {"IRow.Value", 2}, {"IRow.Value", 3}}) {
        gis.Faults().Clear();
        gis.Faults().FailAt(operation, call, runtime::kHostCallFailed, "Unspecified error");
        runtime::Collection partial;
        try {
            BuildIdCollection(layer, 2, 3, partial, {}, true);
            ADD_FAILURE() << operation << " #" << call << " was skipped";
        } catch (const runtime::Error& error) {
            EXPECT_EQ(error.Number(), runtime::kHostCallFailed) << operation;
        }
    }
}

TEST_F(IdCollection, TheFirstRowOfAKeyWins)
{
    table->AddRow({{"PfafstetterID", 1}, {"HydroID", 1}});
    table->AddRow({{"PfafstetterID", 1}, {"HydroID", 2}});
    EXPECT_EQ(Build(), 1);
    EXPECT_EQ(ids.Count(), 1);
    EXPECT_EQ(ids.Item("1"), Variant(1));
}
