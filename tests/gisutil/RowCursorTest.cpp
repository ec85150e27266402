#include "gisutil/modUtilsGeneral.h"
#include "platform/memory/MemoryGis.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

using namespace drennow;
using modUtilsGeneral::GetDocumentPath;
using modUtilsGeneral::GetRowCursor;

namespace {

std::vector<int32_t> OidsOf(const host::Ref<host::ICursor>& cursor)
{
    std::vector<int32_t> oids;
    while (auto row = cursor->NextRow()) {
        oids.push_back(row->OID());
    }
    return oids;
}

// A table that is neither a feature layer nor a stand-alone table.
struct BareTable : host::ITable {
    host::Ref<host::ICursor> Search() override { throw std::logic_error("must not be searched"); }
    int32_t RowCount() override { throw std::logic_error("must not be counted"); }
};

}  // namespace

class RowCursor : public ::testing::Test {
protected:
    void SetUp() override
    {
        table = gis.NewFeatureClass(*workspace, {{"Code", host::kFieldTypeLongInteger}});
        gis.AddFeatureLayer("Basins", table);
        auto map = gis.Application()->Document()->FocusMap();
        layer = host::QueryInterface<host::ITable>(map->Layer(0));
    }

    memory::MemoryGis gis;
    std::shared_ptr<memory::Workspace> workspace = gis.NewWorkspace("w");
    std::shared_ptr<memory::TableData> table;
    host::Ref<host::ITable> layer;
    host::Ref<host::ICursor> cursor;
    int32_t count = 0;
    bool usesSelection = false;
};

TEST_F(RowCursor, TheSelectionWhenThereIsOne)
{
    for (int i = 0; i < 20; ++i) {
        table->AddRow({{"Code", i}});
    }
    table->selection = {4, 9, 17};
    GetRowCursor(layer, cursor, count, usesSelection);
    EXPECT_EQ(count, 3);
    EXPECT_TRUE(usesSelection);
    EXPECT_EQ(OidsOf(cursor), (std::vector<int32_t>{4, 9, 17}));
}

TEST_F(RowCursor, EveryRowWithoutSelection)
{
    for (int i = 0; i < 20; ++i) {
        table->AddRow({{"Code", i}});
    }
    usesSelection = true;
    GetRowCursor(layer, cursor, count, usesSelection);
    EXPECT_EQ(count, 20);
    EXPECT_FALSE(usesSelection);
    EXPECT_EQ(OidsOf(cursor).size(), 20u);
}

TEST_F(RowCursor, NoRowsGiveCountZero)
{
    count = 7;
    GetRowCursor(layer, cursor, count, usesSelection);
    EXPECT_EQ(count, 0);
}

TEST_F(RowCursor, StandaloneTablesAreTablesToo)
{
    auto lookup = gis.NewTable(*workspace, {{"Code", host::kFieldTypeLongInteger}});
    lookup->AddRow({{"Code", 1}});
    gis.AddStandaloneTable("Lookup", lookup);
    auto map = gis.Application()->Document()->FocusMap();
    GetRowCursor(host::QueryInterface<host::ITable>(map->Layer(1)), cursor, count, usesSelection);
    EXPECT_EQ(count, 1);
}

TEST_F(RowCursor, OtherObjectsLeaveTheOutputsAsTheyWere)
{
    auto kept = std::make_shared<BareTable>();
    count = 42;
    usesSelection = true;
    GetRowCursor(kept, cursor, count, usesSelection);
    EXPECT_EQ(count, 42);
    EXPECT_TRUE(usesSelection);
    EXPECT_EQ(cursor, nullptr);
}

TEST_F(RowCursor, HostFailuresPassToTheCaller)
{
    gis.Faults().FailAt("ITableSelection.SelectionSet", 1, runtime::kHostCallFailed, "Unspecified error");
    EXPECT_THROW(GetRowCursor(layer, cursor, count, usesSelection), runtime::Error);
}

TEST(DocumentPath, TheLastTemplateEntryOrItsFolder)
{
    memory::MemoryGis gis;
    gis.Config().templates = {"/templates/Normal.mxt", "/data/rhine/basins.mxd"};
    EXPECT_EQ(GetDocumentPath(gis.Application(), false), "/data/rhine/basins.mxd");
    EXPECT_EQ(GetDocumentPath(gis.Application(), true), "/data/rhine");
    gis.Config().templates = {"/data/back\\slash.mxd"};
    EXPECT_EQ(GetDocumentPath(gis.Application(), true), "/data");
}

TEST(DocumentPath, AnythingThatFailsGivesEmptyText)
{
    memory::MemoryGis gis;
    gis.Config().templates.clear();
    EXPECT_EQ(GetDocumentPath(gis.Application(), false), "");
    gis.Config().templates = {"/data/basins.mxd"};
    gis.Faults().FailAt("IApplication.Templates", 2, runtime::kHostCallFailed, "Unspecified error");
    EXPECT_EQ(GetDocumentPath(gis.Application(), true), "");
    gis.Config().templates = {"/" + std::string(40000, 'a') + "/b.mxd"};
    EXPECT_EQ(GetDocumentPath(gis.Application(), true), "");
    EXPECT_EQ(GetDocumentPath(nullptr, true), "");
}
