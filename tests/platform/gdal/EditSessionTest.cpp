#include "GdalTestData.h"
#include "platform/gdal/data/GdalEditor.h"
#include "platform/gdal/data/GdalMap.h"
#include "runtime/Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <functional>
#include <set>

namespace drennow::gdaltest {
namespace {

using gdalhost::GdalEditor;
using gdalhost::GdalMap;
using host::Ref;
using ::testing::HasSubstr;

// The editor over one dataset's "Watershed" layer, with NextDownID added.
class EditSessionTest : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override
    {
        if (GetParam() == Format::Postgres && PostgresConnection().empty()) {
            GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
        }
        dataset_ = CreateWatersheds(GetParam(), folder_, {{11, 101, {}}, {12, 102, {}}, {13, 103, {}}}, false);
        before_ = Snapshot(dataset_, "Watershed");
        map_ = GdalMap::Open({dataset_});
        layer_ = host::QueryInterface<host::IFeatureLayer>(map_->Layer(0));
        layer_->FeatureClass()->AddField({"NextDownID", host::kFieldTypeLongInteger});
        nextDown_ = layer_->FeatureClass()->Fields()->FindField("NextDownID");
        ASSERT_GT(nextDown_, 0);
        withField_ = Snapshot(dataset_, "Watershed");
    }

    // Writes 1000 + the object id into NextDownID of every row.
    void WriteEveryRow()
    {
        auto cursor = layer_->Search();
        while (Ref<host::IRow> row = cursor->NextRow()) {
            row->SetValue(nextDown_, int32_t{1000} + row->OID());
            row->Store();
        }
    }

    void CloseMap()
    {
        layer_.reset();
        map_.reset();
    }

    Ref<host::IWorkspace> Workspace() { return layer_->FeatureClass()->Workspace(); }

    TempFolder folder_;
    std::string dataset_;
    std::vector<FeatureSnapshot> before_;
    std::vector<FeatureSnapshot> withField_;
    Ref<GdalMap> map_;
    Ref<host::IFeatureLayer> layer_;
    int32_t nextDown_ = -1;
    GdalEditor editor_;
};

TEST_P(EditSessionTest, SavedEditsChangeOnlyTheValuesWritten)
{
    editor_.StartEditing(Workspace());
    EXPECT_EQ(editor_.EditState(), host::kEditStateEditing);
    EXPECT_EQ(editor_.EditWorkspace(), Workspace());
    EXPECT_FALSE(editor_.HasEdits());
    WriteEveryRow();
    EXPECT_TRUE(editor_.HasEdits());
    editor_.StopEditing(true);
    EXPECT_EQ(editor_.EditState(), host::kEditStateNotEditing);
    CloseMap();

    for (const auto& [fid, value] : FieldValues(dataset_, "Watershed", "NextDownID")) {
        EXPECT_EQ(value, 1000 + fid);
    }
    EXPECT_EQ(Snapshot(dataset_, "Watershed", "NextDownID"), before_);
}

TEST_P(EditSessionTest, DiscardedEditsLeaveTheDataAsItWas)
{
    editor_.StartEditing(Workspace());
    WriteEveryRow();
    editor_.StopEditing(false);
    CloseMap();
    EXPECT_EQ(Snapshot(dataset_, "Watershed"), withField_);
}

TEST_P(EditSessionTest, ASessionStillOpenWhenTheDataIsClosedIsDiscarded)
{
    editor_.StartEditing(Workspace());
    WriteEveryRow();
    editor_ = GdalEditor();
    CloseMap();
    EXPECT_EQ(Snapshot(dataset_, "Watershed"), withField_);
}

// A database reads through cursors in transactions of their own: one open
// as the session ends must not take the session's writes with it.
TEST_P(EditSessionTest, EditsDiscardedWhileARowIsBeingReadStayDiscardedAndTheReadGoesOn)
{
    editor_.StartEditing(Workspace());
    WriteEveryRow();
    auto reader = layer_->Search();
    std::set<int32_t> ids{reader->NextRow()->OID()};  // the writes reach the data first
    editor_.StopEditing(false);
    while (Ref<host::IRow> row = reader->NextRow()) {
        EXPECT_TRUE(ids.insert(row->OID()).second) << row->OID();
    }
    EXPECT_EQ(ids.size(), 3u);
    CloseMap();
    EXPECT_EQ(Snapshot(dataset_, "Watershed"), withField_);
}

// One open as the session starts must not make the session's save wait for
// the end of its own reading.
TEST_P(EditSessionTest, EditsSavedWhileARowBegunBeforeTheSessionIsBeingReadAreSavedAtOnce)
{
    auto reader = layer_->Search();
    ASSERT_TRUE(reader->NextRow());
    editor_.StartEditing(Workspace());
    WriteEveryRow();
    editor_.StopEditing(true);
    for (const auto& [fid, value] : FieldValues(dataset_, "Watershed", "NextDownID")) {
        EXPECT_EQ(value, 1000 + fid);
    }
}

TEST_P(EditSessionTest, ARowWrittenTwiceBeforeItsWritesReachTheDataKeepsTheLastValue)
{
    editor_.StartEditing(Workspace());
    Ref<host::IRow> row = layer_->Search()->NextRow();
    for (int32_t value : {5, 6}) {
        row->SetValue(nextDown_, value);
        row->Store();
    }
    editor_.StopEditing(true);
    EXPECT_EQ(FieldValues(dataset_, "Watershed", "NextDownID")[row->OID()], 6);
}

// Fields written together row after row, a field of some rows only, a row
// written twice: every value saved is the last one stored in its place.
TEST_P(EditSessionTest, FieldsWrittenTogetherOrApartKeepTheirOwnValues)
{
    for (const char* name : {"Outlet", "Moves"}) {
        layer_->FeatureClass()->AddField({name, host::kFieldTypeLongInteger});
    }
    Ref<host::IFields> fields = layer_->FeatureClass()->Fields();
    const int32_t outlet = fields->FindField("Outlet");
    const int32_t moves = fields->FindField("Moves");
    editor_.StartEditing(Workspace());
    auto cursor = layer_->Search();
    std::map<int64_t, std::array<std::optional<int64_t>, 3>> expected;
    int32_t row = 0;
    while (Ref<host::IRow> feature = cursor->NextRow()) {
        auto& values = expected[feature->OID()];
        values[0] = 1000 + feature->OID();
        values[1] = 2000 + feature->OID();
        feature->SetValue(nextDown_, static_cast<int32_t>(*values[0]));
        feature->SetValue(outlet, static_cast<int32_t>(*values[1]));
        if (row == 1) {
            values[2] = 7;
            feature->SetValue(moves, 7);
        }
        feature->Store();
        if (row == 0) {
            values[0] = 1500;
            values[1] = 3000;
            feature->SetValue(nextDown_, 1500);
            feature->SetValue(outlet, 3000);
            feature->Store();
        }
        ++row;
    }
    editor_.StopEditing(true);
    CloseMap();

    ASSERT_EQ(expected.size(), 3u);
    auto nextDowns = FieldValues(dataset_, "Watershed", "NextDownID");
    auto outlets = FieldValues(dataset_, "Watershed", "Outlet");
    auto movesSaved = FieldValues(dataset_, "Watershed", "Moves");
    for (const auto& [fid, values] : expected) {
        EXPECT_EQ(nextDowns[fid], values[0]) << "feature " << fid;
        EXPECT_EQ(outlets[fid], values[1]) << "feature " << fid;
        EXPECT_EQ(movesSaved[fid], values[2]) << "feature " << fid;
    }
}

TEST_P(EditSessionTest, ReadsSeeTheStoredValues)
{
    editor_.StartEditing(Workspace());
    WriteEveryRow();
    auto cursor = layer_->Search();
    int rows = 0;
    // A staged Shapefile table shows its edits once it is saved.
    while (Ref<host::IRow> row = cursor->NextRow()) {
        ++rows;
        if (GetParam() != Format::Shapefile) {
            EXPECT_EQ(runtime::ToLong(row->Value(nextDown_)), 1000 + row->OID());
        }
    }
    EXPECT_EQ(rows, 3);
    editor_.StopEditing(true);
    Ref<host::IRow> first = layer_->Search()->NextRow();
    EXPECT_EQ(runtime::ToLong(first->Value(nextDown_)), 1000 + first->OID());
}

TEST_P(EditSessionTest, RowsKeptWhileTheCursorReadsOnStayTheirOwn)
{
    editor_.StartEditing(Workspace());
    auto cursor = layer_->Search();
    std::vector<Ref<host::IRow>> kept;
    while (Ref<host::IRow> row = cursor->NextRow()) {
        row->SetValue(nextDown_, int32_t{2000} + row->OID());  // stored only once every row is read
        kept.push_back(row);
    }
    ASSERT_EQ(kept.size(), 3u);
    std::set<int32_t> ids;
    for (const Ref<host::IRow>& row : kept) {
        ids.insert(row->OID());
        EXPECT_EQ(runtime::ToLong(row->Value(nextDown_)), 2000 + row->OID());
        row->Store();
    }
    EXPECT_EQ(ids.size(), 3u);
    editor_.StopEditing(true);
    CloseMap();
    for (const auto& [fid, value] : FieldValues(dataset_, "Watershed", "NextDownID")) {
        EXPECT_EQ(value, 2000 + fid);
    }
}

TEST_P(EditSessionTest, RowsAreStoredOnlyInsideASessionAndFieldsAddedOnlyOutsideOne)
{
    Ref<host::IRow> row = layer_->Search()->NextRow();
    row->SetValue(nextDown_, int32_t{5});
    EXPECT_THROW(row->Store(), runtime::Error);
    editor_.StartEditing(Workspace());
    EXPECT_THROW(layer_->FeatureClass()->AddField({"Other", host::kFieldTypeLongInteger}), runtime::Error);
    EXPECT_THROW(editor_.StartEditing(Workspace()), runtime::Error);
    editor_.StopEditing(false);
    EXPECT_THROW(editor_.StopEditing(false), runtime::Error);
}

TEST_P(EditSessionTest, ValuesAreConvertedToTheFieldsType)
{
    editor_.StartEditing(Workspace());
    auto cursor = layer_->Search();
    Ref<host::IRow> first = cursor->NextRow();
    first->SetValue(nextDown_, 2.5);
    first->Store();
    Ref<host::IRow> second = cursor->NextRow();
    if (GetParam() == Format::Shapefile) {
        // GDAL reads a numeric field 11 digits wide as a 64-bit integer.
        second->SetValue(nextDown_, 3.0e9);
        EXPECT_EQ(second->Value(nextDown_), runtime::Variant(int64_t{3000000000}));
    } else {
        EXPECT_THROW(second->SetValue(nextDown_, 3.0e9), runtime::Error);
    }
    second->SetValue(nextDown_, "35");
    EXPECT_THROW(second->SetValue(nextDown_, "upstream"), runtime::Error);
    EXPECT_THROW(second->SetValue(0, int32_t{7}), runtime::Error);
    second->Store();
    Ref<host::IRow> third = cursor->NextRow();
    third->SetValue(nextDown_, int16_t{-6});
    third->Store();
    editor_.StopEditing(true);
    CloseMap();

    std::vector<std::optional<int64_t>> values;
    for (const auto& [fid, value] : FieldValues(dataset_, "Watershed", "NextDownID")) {
        values.push_back(value);
    }
    EXPECT_THAT(values, ::testing::ElementsAre(2, 35, -6));
}

// Every attribute of every row, as text, read by asking the rows for their
// fields in the order the function gives for each row.
std::vector<std::vector<std::string>> ReadAsked(host::ICursor& cursor, int32_t fieldCount,
                                                const std::function<int32_t(int32_t row, int32_t i)>& fieldAsked)
{
    std::vector<std::vector<std::string>> rows;
    while (Ref<host::IRow> row = cursor.NextRow()) {
        std::vector<std::string> values(static_cast<size_t>(fieldCount));
        for (int32_t i = 0; i < fieldCount; ++i) {
            int32_t field = fieldAsked(static_cast<int32_t>(rows.size()), i);
            runtime::Variant value = row->Value(field);
            values[static_cast<size_t>(field)] = value.IsNull() ? "<null>" : runtime::ToText(value);
        }
        rows.push_back(values);
    }
    return rows;
}

TEST_P(EditSessionTest, RowsGiveEveryValueWhicheverFieldTheyAreFirstAskedFor)
{
    int32_t fieldCount = layer_->FeatureClass()->Fields()->FieldCount();
    auto inOrder = ReadAsked(*layer_->Search(), fieldCount, [](int32_t, int32_t i) { return i; });
    // Each row starts with another field, so the cursor learns them late.
    auto staggered = ReadAsked(*layer_->Search(), fieldCount,
                               [&](int32_t row, int32_t i) { return (fieldCount - 1 - row + i) % fieldCount; });
    auto backwards = ReadAsked(*layer_->Search(), fieldCount, [&](int32_t, int32_t i) { return fieldCount - 1 - i; });
    EXPECT_EQ(staggered, inOrder);
    EXPECT_EQ(backwards, inOrder);

    auto fields = layer_->FeatureClass()->Fields();
    int32_t hydroId = fields->FindField("HydroID");
    int32_t pfaf = fields->FindField(PfafFieldName(GetParam()));
    ASSERT_EQ(inOrder.size(), 3u);
    for (size_t row = 0; row < inOrder.size(); ++row) {
        EXPECT_EQ(inOrder[row][static_cast<size_t>(hydroId)], std::to_string(101 + row));
        EXPECT_EQ(inOrder[row][static_cast<size_t>(pfaf)], std::to_string(11 + row));
        EXPECT_EQ(inOrder[row][static_cast<size_t>(nextDown_)], "<null>");
    }
}

TEST_P(EditSessionTest, ACursorGivesFieldsAddedWhileItReads)
{
    int32_t hydroId = layer_->FeatureClass()->Fields()->FindField("HydroID");
    auto made = layer_->Search();
    auto started = layer_->Search();
    Ref<host::IRow> first = started->NextRow();
    EXPECT_EQ(runtime::ToLong(first->Value(hydroId)), first->OID() == 0 ? 101 : 100 + first->OID());
    layer_->FeatureClass()->AddField({"Extra", host::kFieldTypeLongInteger});
    int32_t extra = layer_->FeatureClass()->Fields()->FindField("Extra");
    ASSERT_GT(extra, nextDown_);

    for (const Ref<host::ICursor>& cursor : {made, started}) {
        std::vector<int64_t> ids;
        while (Ref<host::IRow> row = cursor->NextRow()) {
            ids.push_back(runtime::ToLong(row->Value(hydroId)));
            EXPECT_TRUE(row->Value(extra).IsNull());
        }
        std::vector<int64_t> expected = {101, 102, 103};
        if (cursor == started) {
            expected.erase(expected.begin());
        }
        EXPECT_EQ(ids, expected);
    }
}

TEST_P(EditSessionTest, ACursorReadingAFieldSeesWritesMadeToItWhileItReads)
{
    if (GetParam() == Format::Shapefile) {
        GTEST_SKIP() << "a staged Shapefile table shows its edits once it is saved";
    }
    editor_.StartEditing(Workspace());
    auto reader = layer_->Search();
    Ref<host::IRow> first = reader->NextRow();
    EXPECT_TRUE(first->Value(nextDown_).IsNull());

    auto writer = layer_->Search();
    while (Ref<host::IRow> row = writer->NextRow()) {
        row->SetValue(nextDown_, "7" + std::to_string(row->OID()));
        // The row gives what it will store, converted to the field's type.
        EXPECT_EQ(row->Value(nextDown_), runtime::Variant(int32_t{70} + row->OID()));
        row->Store();
    }
    std::vector<runtime::Variant> seen;
    while (Ref<host::IRow> row = reader->NextRow()) {
        seen.push_back(row->Value(nextDown_));
    }
    EXPECT_EQ(seen, (std::vector<runtime::Variant>{int32_t{72}, int32_t{73}}));
    editor_.StopEditing(false);
}

INSTANTIATE_TEST_SUITE_P(Formats, EditSessionTest,
                         ::testing::Values(Format::GeoPackage, Format::Sqlite, Format::Shapefile, Format::Postgres),
                         [](const auto& info) { return FormatName(info.param); });

TEST(StagedShapefileTest, TheOriginalTableIsUntouchedUntilTheSave)
{
    TempFolder folder;
    std::string dataset = CreateWatersheds(Format::Shapefile, folder, {{11, 101, 0}, {12, 102, 0}}, true);
    std::string table = folder.File("Watershed.dbf");
    std::string original = ReadFile(table);
    Ref<GdalMap> map = GdalMap::Open({dataset});
    auto layer = host::QueryInterface<host::IFeatureLayer>(map->Layer(0));
    int32_t nextDown = layer->FeatureClass()->Fields()->FindField("NextDownID");
    GdalEditor editor;
    editor.StartEditing(layer->FeatureClass()->Workspace());
    Ref<host::IRow> row = layer->Search()->NextRow();
    row->SetValue(nextDown, int32_t{-9});
    row->Store();
    EXPECT_EQ(ReadFile(table), original);
    EXPECT_EQ(FilesStartingWith(folder.Path(), "Watershed.dbf.drennow-staged-").size(), 1u);
    editor.StopEditing(true);
    EXPECT_THAT(FilesStartingWith(folder.Path(), "Watershed.dbf.drennow-"), ::testing::ElementsAre("Watershed.dbf.drennow-lock"));

    std::string saved = ReadFile(table);
    ASSERT_EQ(saved.size(), original.size());
    size_t differing = 0;
    for (size_t i = 0; i < saved.size(); ++i) {
        differing += saved[i] != original[i];
    }
    EXPECT_EQ(differing, 2u);  // "0" became "-9", right-aligned
    EXPECT_EQ(FieldValues(dataset, "Watershed", "NextDownID")[0], -9);
}

TEST(StagedShapefileTest, AValueTooWideForItsFieldIsAnErrorNotATruncation)
{
    TempFolder folder;
    std::string dataset = CreateWatersheds(Format::Shapefile, folder, {{11, 101, 0}}, false);
    {
        GDALDatasetUniquePtr opened(GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        OGRFieldDefn narrow("Narrow", OFTInteger);
        narrow.SetWidth(3);
        ASSERT_EQ(opened->GetLayer(0)->CreateField(&narrow), OGRERR_NONE);
    }
    Ref<GdalMap> map = GdalMap::Open({dataset});
    auto layer = host::QueryInterface<host::IFeatureLayer>(map->Layer(0));
    GdalEditor editor;
    editor.StartEditing(layer->FeatureClass()->Workspace());
    Ref<host::IRow> row = layer->Search()->NextRow();
    row->SetValue(layer->FeatureClass()->Fields()->FindField("Narrow"), int32_t{12345});
    EXPECT_THROW(row->Store(), runtime::Error);
    row->SetValue(layer->FeatureClass()->Fields()->FindField("Narrow"), int32_t{-12});
    row->Store();
    editor.StopEditing(true);
    EXPECT_EQ(FieldValues(dataset, "Watershed", "Narrow")[0], -12);
}

TEST(StagedShapefileTest, AddedIntegerFieldsHoldEveryThirtyTwoBitValue)
{
    TempFolder folder;
    std::string dataset = CreateWatersheds(Format::Shapefile, folder, {{11, 101, 0}, {12, 102, 0}}, false);
    Ref<GdalMap> map = GdalMap::Open({dataset});
    auto layer = host::QueryInterface<host::IFeatureLayer>(map->Layer(0));
    layer->FeatureClass()->AddField({"NextDownID", host::kFieldTypeLongInteger});
    int32_t nextDown = layer->FeatureClass()->Fields()->FindField("NextDownID");
    GdalEditor editor;
    editor.StartEditing(layer->FeatureClass()->Workspace());
    auto cursor = layer->Search();
    for (int32_t value : {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
        Ref<host::IRow> row = cursor->NextRow();
        row->SetValue(nextDown, value);
        row->Store();
    }
    editor.StopEditing(true);
    auto values = FieldValues(dataset, "Watershed", "NextDownID");
    EXPECT_EQ(values[0], std::numeric_limits<int32_t>::min());
    EXPECT_EQ(values[1], std::numeric_limits<int32_t>::max());
}

TEST(OpenFileGdbTest, IsOpenedReadOnlyAndRefusesFieldsAndEditsLeavingItUnchanged)
{
    TempFolder folder;
    std::string dataset = CreateFileGdbWatersheds(folder, {12});
    auto before = Snapshot(dataset, "Watershed");
    {
        Ref<GdalMap> map = GdalMap::Open({dataset});
        EXPECT_THAT(map->Workspaces().front()->ReadOnlyReason(), HasSubstr("OpenFileGDB"));
        auto layer = host::QueryInterface<host::IFeatureLayer>(map->Layer(0));
        try {
            layer->FeatureClass()->AddField({"NextDownID", host::kFieldTypeLongInteger});
            FAIL() << "the field was added";
        } catch (const runtime::Error& error) {
            EXPECT_THAT(error.Description(), HasSubstr("wrong values"));
        }
        GdalEditor editor;
        EXPECT_THROW(editor.StartEditing(layer->FeatureClass()->Workspace()), runtime::Error);
        EXPECT_EQ(editor.EditState(), host::kEditStateNotEditing);
    }
    EXPECT_EQ(Snapshot(dataset, "Watershed"), before);
}

}  // namespace
}  // namespace drennow::gdaltest
