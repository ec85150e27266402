#include "dialogs/modUtilsForms.h"
#include "platform/memory/MemoryGis.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

using namespace drennow;
using modUtilsForms::FillFieldList;
using modUtilsForms::FillLayerList;
using modUtilsForms::Names;
using modUtilsForms::TypeValues;

class FillLists : public ::testing::Test {
protected:
    std::shared_ptr<memory::TableData> Polygons(const std::vector<memory::FieldDef>& fields = {})
    {
        return gis.NewFeatureClass(*workspace, fields);
    }

    // The watershed question's list.
    dialogs::ComboBox WatershedList()
    {
        dialogs::ComboBox list;
        FillLayerList(gis.Application()->Document()->FocusMap(), list, {"FeatureLayer"}, {host::kFeatureTypeSimple},
                      TypeValues{host::kShapeTypePolygon}, std::nullopt, Names{"Watershed", "Catchment"}, false);
        return list;
    }

    dialogs::ComboBox FieldList(const std::shared_ptr<memory::TableData>& table, const TypeValues& types,
                                const std::optional<Names>& preferred, bool addNone = false)
    {
        gis.AddFeatureLayer("fields", table);
        auto map = gis.Application()->Document()->FocusMap();
        auto layer = host::QueryInterface<host::IFeatureLayer>(map->Layer(map->LayerCount() - 1));
        dialogs::ComboBox list;
        FillFieldList(layer->FeatureClass()->Fields(), list, types, Names{"NextDownID"}, preferred, addNone);
        return list;
    }

    memory::MemoryGis gis;
    std::shared_ptr<memory::Workspace> workspace = gis.NewWorkspace("w");
};

TEST_F(FillLists, OnlyTopLevelPolygonLayersOfSimpleFeaturesAreListed)
{
    gis.AddFeatureLayer("Rivers", gis.NewFeatureClass(*workspace, {}, host::kShapeTypePolyline));
    gis.AddFeatureLayer("Gauges", gis.NewFeatureClass(*workspace, {}, host::kShapeTypePoint));
    gis.AddFeatureLayer("Labels", gis.NewFeatureClass(*workspace, {}, host::kShapeTypePolygon,
                                                      host::kFeatureTypeAnnotation));
    gis.AddGroupLayer("Group", Polygons(), "Inner");
    gis.AddRasterLayer("Elevation");
    gis.AddBrokenLayer("Broken");
    gis.AddStandaloneTable("Lookup", gis.NewTable(*workspace, {}));
    gis.AddFeatureLayer("Basins", Polygons());
    auto list = WatershedList();
    EXPECT_EQ(list.Items(), std::vector<std::string>{"Basins"});
    EXPECT_EQ(list.ListIndex(), 0);
}

TEST_F(FillLists, RasterLayersOnlyWhenAskedFor)
{
    gis.AddRasterLayer("Elevation");
    gis.AddFeatureLayer("Basins", Polygons());
    dialogs::ComboBox list;
    FillLayerList(gis.Application()->Document()->FocusMap(), list, {"RasterLayer", "FeatureLayer"},
                  {host::kFeatureTypeSimple}, std::nullopt, Names{"Elevation"}, std::nullopt, false);
    EXPECT_EQ(list.Items(), std::vector<std::string>{"Basins"});
}

TEST_F(FillLists, TheBestRankedPreferenceWinsWhateverTheOrder)
{
    gis.AddFeatureLayer("Catchment", Polygons());
    gis.AddFeatureLayer("Watershed", Polygons());
    gis.AddFeatureLayer("Other", Polygons());
    auto list = WatershedList();
    EXPECT_EQ(list.Text(), "Watershed");
    EXPECT_TRUE(list.CurrentIsPreferred());
}

TEST_F(FillLists, PreferencesMatchWholeTextsIgnoringCase)
{
    gis.AddFeatureLayer("Watersheds", Polygons());
    gis.AddFeatureLayer("Catchment_Old", Polygons());
    gis.AddFeatureLayer("CATCHMENT", Polygons());
    EXPECT_EQ(WatershedList().Text(), "CATCHMENT");
}

TEST_F(FillLists, NoMatchSelectsTheFirstEntry)
{
    gis.AddFeatureLayer("A", Polygons());
    gis.AddFeatureLayer("B", Polygons());
    auto list = WatershedList();
    EXPECT_EQ(list.ListIndex(), 0);
    // Unattended runs must not mistake the first entry for a match.
    EXPECT_FALSE(list.CurrentIsPreferred());
    list.SelectPreferred(1);
    list.SetListIndex(0);
    EXPECT_FALSE(list.CurrentIsPreferred());
}

TEST_F(FillLists, AmongEqualRanksTheLastInOrderIsSelected)
{
    auto table = Polygons({{"pfafstetter", host::kFieldTypeLongInteger},
                           {"Level1", host::kFieldTypeLongInteger},
                           {"PFAFSTETTER", host::kFieldTypeLongInteger}});
    auto list = FieldList(table, {host::kFieldTypeLongInteger}, Names{"Pfafstetter", "PfafstetterID", "Level1"});
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"pfafstetter", "Level1", "PFAFSTETTER"}));
    EXPECT_EQ(list.Text(), "PFAFSTETTER");
}

TEST_F(FillLists, FieldsByTypeWithExactExclusion)
{
    auto table = Polygons({{"PfafstetterID", host::kFieldTypeLongInteger},
                           {"Name", host::kFieldTypeString},
                           {"Area", host::kFieldTypeDouble},
                           {"NextDownID", host::kFieldTypeLongInteger},
                           {"nextdownid", host::kFieldTypeLongInteger},
                           {"HydroID", host::kFieldTypeLongInteger}});
    auto list = FieldList(table, {host::kFieldTypeLongInteger, host::kFieldTypeObjectId}, Names{"ID", "HydroID"});
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"OBJECTID", "PfafstetterID", "nextdownid", "HydroID"}));
    EXPECT_EQ(list.Text(), "HydroID");
}

TEST_F(FillLists, ARepeatedFilterValueListsANameTwice)
{
    auto table = Polygons({{"Code", host::kFieldTypeLongInteger}});
    auto list = FieldList(table, {host::kFieldTypeLongInteger, host::kFieldTypeLongInteger}, std::nullopt);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"Code", "Code"}));
}

TEST_F(FillLists, NoneComesFirstAndIsSelectedWithoutAMatch)
{
    auto empty = FieldList(Polygons(), {host::kFieldTypeLongInteger}, Names{"ID"}, true);
    EXPECT_EQ(empty.Items(), std::vector<std::string>{"<None>"});
    EXPECT_EQ(empty.Text(), "<None>");
    EXPECT_FALSE(empty.CurrentIsPreferred());

    auto table = Polygons({{"ID", host::kFieldTypeLongInteger}});
    auto list = FieldList(table, {host::kFieldTypeLongInteger}, Names{"ID"}, true);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"<None>", "ID"}));
    EXPECT_EQ(list.Text(), "ID");
    EXPECT_TRUE(list.CurrentIsPreferred());
}

TEST_F(FillLists, EmptyResultsLeaveNoCurrentEntry)
{
    auto list = WatershedList();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.ListIndex(), -1);
}

TEST_F(FillLists, HostFailuresPassToTheCaller)
{
    gis.AddFeatureLayer("Basins", Polygons());
    gis.Faults().FailAt("IFeatureClass.ShapeType", 1, -2147467259, "Unspecified error");
    EXPECT_THROW(WatershedList(), runtime::Error);
}
