// A Shapefile's attribute table is changed all or nothing by one run at a
// time: a field is added as GDAL adds it, staged tables get names nobody
// else's file has, a table another program changed is not replaced, and a
// second run finds the table locked.
#include "GdalTestData.h"
#include "platform/gdal/data/FieldValues.h"
#include "platform/gdal/data/GdalEditor.h"
#include "platform/gdal/data/GdalMap.h"
#include "platform/gdal/data/GdalWorkspace.h"
#include "runtime/Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace drennow::gdaltest {
namespace {

namespace fs = std::filesystem;
using gdalhost::GdalWorkspace;
using host::Ref;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A Shapefile "Watershed" without NextDownID, with some codes missing and
// its second record deleted.
std::string CreateTable(const TempFolder& folder, int rows)
{
    std::vector<Basin> basins;
    for (int i = 0; i < rows; ++i) {
        basins.push_back({i % 3 == 0 ? std::nullopt : std::optional<int64_t>(10 + i), 5000 + i, std::nullopt});
    }
    std::string dataset = CreateWatersheds(Format::Shapefile, folder, basins, false);
    DeleteRecords(dataset, {1});
    return dataset;
}

std::vector<std::string> BesideTheTable(const TempFolder& folder)
{
    return FilesStartingWith(folder.Path(), "Watershed.dbf.");
}

std::string DescriptionOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const runtime::Error& error) {
        return error.Description();
    }
    return "no error";
}

class AddedFieldTest : public ::testing::TestWithParam<int32_t> {};

// The same field added by GDAL to a copy: the tables must be the same to the
// byte, the deleted record's mark and the header's date included. More rows
// than are widened at once.
TEST_P(AddedFieldTest, IsStoredByteForByteAsGdalStoresAFieldItAdds)
{
    TempFolder ours;
    TempFolder gdals;
    std::string dataset = CreateTable(ours, 9000);
    fs::copy(ours.Path(), gdals.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::string geometry = ReadFile(ours.File("Watershed.shp"));

    gdalhost::OgrFieldKind kind = gdalhost::OgrFieldFor(GetParam());
    OGRFieldDefn field("Added", kind.type);
    field.SetSubType(kind.subType);
    GdalWorkspace::Open(dataset)->AddField(0, field);
    GDALDatasetUniquePtr(GDALDataset::Open(gdals.Path().c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE))
        ->GetLayer(0)
        ->CreateField(&field);

    EXPECT_TRUE(ReadFile(ours.File("Watershed.dbf")) == ReadFile(gdals.File("Watershed.dbf")));
    EXPECT_TRUE(ReadFile(ours.File("Watershed.shp")) == geometry);
    EXPECT_THAT(BesideTheTable(ours), ::testing::IsEmpty());
}

std::string TypeName(const ::testing::TestParamInfo<int32_t>& info)
{
    switch (info.param) {
    case host::kFieldTypeSmallInteger:
        return "SmallInteger";
    case host::kFieldTypeLongInteger:
        return "LongInteger";
    case host::kFieldTypeSingle:
        return "Single";
    case host::kFieldTypeDouble:
        return "Double";
    case host::kFieldTypeBigInteger:
        return "BigInteger";
    default:
        return "String";
    }
}

INSTANTIATE_TEST_SUITE_P(Types, AddedFieldTest,
                         ::testing::Values(host::kFieldTypeLongInteger, host::kFieldTypeSmallInteger,
                                           host::kFieldTypeDouble, host::kFieldTypeSingle, host::kFieldTypeString,
                                           host::kFieldTypeBigInteger),
                         TypeName);

// No file may grow past the size given while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit{bytes, previous_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    void (*handler_)(int);
    rlimit previous_{};
};

TEST(AddedFieldTest, AFieldNotAddedLeavesTheTableAsItWasAndNothingBesideIt)
{
    TempFolder folder;
    std::string dataset = CreateTable(folder, 9000);
    std::string table = ReadFile(folder.File("Watershed.dbf"));
    Ref<GdalWorkspace> workspace = GdalWorkspace::Open(dataset);
    OGRFieldDefn tooLong("NextDownIDs", OFTInteger);
    OGRFieldDefn taken("hydroid", OFTInteger);
    OGRFieldDefn field("NextDownID", OFTInteger);
    EXPECT_THAT(DescriptionOf([&] { workspace->AddField(0, tooLong); }), HasSubstr("1 to 10 ASCII"));
    EXPECT_THAT(DescriptionOf([&] { workspace->AddField(0, taken); }), HasSubstr("it has a field of that name"));
    {
        FileSizeLimit limit(table.size());  // the widened table is cut short
        EXPECT_THAT(DescriptionOf([&] { workspace->AddField(0, field); }), HasSubstr("File too large"));
    }
    EXPECT_TRUE(ReadFile(folder.File("Watershed.dbf")) == table);
    EXPECT_THAT(BesideTheTable(folder), ElementsAre("Watershed.dbf.drennow-lock"));
    workspace->AddField(0, field);
    EXPECT_EQ(workspace->Layer(0).GetLayerDefn()->GetFieldIndex("NextDownID"), 4);
}

// The dataset, once the files made have been changed as given.
std::string Prepared(const std::string& dataset, const std::function<void()>& change)
{
    if (change) {
        change();
    }
    return dataset;
}

// A Shapefile opened through the host, NextDownID added, each row's written
// 7000 + its id, and the edit session still open.
struct EditedShapefile {
    explicit EditedShapefile(const TempFolder& folder, const std::function<void()>& change = {})
        : dataset(Prepared(CreateTable(folder, 4), change)),
          map(gdalhost::GdalMap::Open({dataset})),
          layer(host::QueryInterface<host::IFeatureLayer>(map->Layer(0)))
    {
    }

    void Edit()
    {
        layer->FeatureClass()->AddField({"NextDownID", host::kFieldTypeLongInteger});
        int32_t nextDown = layer->FeatureClass()->Fields()->FindField("NextDownID");
        editor.StartEditing(layer->FeatureClass()->Workspace());
        auto cursor = layer->Search();
        while (Ref<host::IRow> row = cursor->NextRow()) {
            row->SetValue(nextDown, int32_t{7000} + row->OID());
            row->Store();
        }
    }

    std::string dataset;
    Ref<gdalhost::GdalMap> map;
    Ref<host::IFeatureLayer> layer;
    gdalhost::GdalEditor editor;
};

TEST(StagedNameTest, FilesAndLinksAtTheNamesARunWouldUseAreNeitherWrittenThroughNorFollowed)
{
    TempFolder folder;
    TempFolder elsewhere;
    std::string target = elsewhere.File("notes.txt");
    std::ofstream(target) << "someone else's\n";
    EditedShapefile shapefile(folder);
    std::vector<std::string> planted;
    for (const char* kind : {"staged-", "widened-"}) {
        std::string name = folder.File("Watershed.dbf.drennow-") + kind + std::to_string(::getpid()) + "-";
        std::ofstream(name + "0") << "planted\n";
        fs::create_symlink(target, name + "1");
        planted.insert(planted.end(), {name + "0", name + "1"});
    }
    shapefile.Edit();
    shapefile.editor.StopEditing(true);

    for (const auto& [fid, value] : FieldValues(shapefile.dataset, "Watershed", "NextDownID")) {
        EXPECT_EQ(value, 7000 + fid);
    }
    EXPECT_EQ(ReadFile(target), "someone else's\n");
    for (size_t i = 0; i < planted.size(); i += 2) {
        EXPECT_EQ(ReadFile(planted[i]), "planted\n");
        EXPECT_EQ(fs::read_symlink(planted[i + 1]), target);
    }
    EXPECT_EQ(BesideTheTable(folder).size(), 5u);  // the planted four and the lock
}

const std::map<int64_t, std::optional<int64_t>> kWrittenValues{{0, 7000}, {2, 7002}, {3, 7003}};

// GDAL skips the records flagged as deleted: the rows are counted as it
// reads them, and the deleted one keeps its bytes (the field added empty).
TEST(DeletedRecordTest, ARecordFlaggedAsDeletedIsNeitherCountedNorReadNorWritten)
{
    TempFolder folder;
    EditedShapefile shapefile(folder);
    std::vector<std::string> before = DbfRecords(folder.File("Watershed.dbf"));
    ASSERT_EQ(before.at(1).front(), '*');
    EXPECT_EQ(host::QueryInterface<host::ITable>(shapefile.layer)->RowCount(), 3);
    shapefile.Edit();
    EXPECT_EQ(host::QueryInterface<host::ITable>(shapefile.layer)->RowCount(), 3);
    shapefile.editor.StopEditing(true);

    EXPECT_EQ(FieldValues(shapefile.dataset, "Watershed", "NextDownID"), kWrittenValues);
    std::vector<std::string> after = DbfRecords(folder.File("Watershed.dbf"));
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[1], before[1] + std::string(11, '*'));
    for (size_t record : {0u, 2u, 3u}) {
        EXPECT_EQ(after[record].substr(0, before[record].size()), before[record]) << "record " << record;
    }
}

// The table through a relative link into another folder, under another name.
struct LinkedTable {
    explicit LinkedTable(const TempFolder& folder) : link(folder.File("Watershed.dbf")), target(store.File("table.dbf"))
    {
        fs::rename(link, target);
        fs::create_symlink(fs::relative(target, folder.Path()), link);
    }

    TempFolder store;
    std::string link;
    std::string target;
};

// The field is added and the edits saved in the file the link leads to; the
// link stays as it was, and nothing but the lock is beside the file.
TEST(TableIdentityTest, ATableThatIsALinkIsEditedWhereTheLinkLeads)
{
    TempFolder folder;
    std::optional<LinkedTable> linked;
    EditedShapefile shapefile(folder, [&] { linked.emplace(folder); });
    fs::path linkText = fs::read_symlink(linked->link);
    shapefile.Edit();
    shapefile.editor.StopEditing(true);

    EXPECT_TRUE(fs::is_symlink(linked->link));
    EXPECT_EQ(fs::read_symlink(linked->link), linkText);
    EXPECT_EQ(FieldValues(shapefile.dataset, "Watershed", "NextDownID"), kWrittenValues);
    EXPECT_EQ(FieldValues(linked->target, "table", "NextDownID"), kWrittenValues);
    EXPECT_THAT(FilesStartingWith(linked->store.Path(), ""), ElementsAre("table.dbf", "table.dbf.drennow-lock"));
    EXPECT_THAT(BesideTheTable(folder), ::testing::IsEmpty());
}

// Saved by root, the table keeps its owner, group and permissions: the
// widened table that gets the field, then the staged one with the edits.
TEST(TableIdentityTest, ASavedTableKeepsItsOwnerGroupAndPermissions)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give files to another owner";
    }
    TempFolder folder;
    std::string table = folder.File("Watershed.dbf");
    EditedShapefile shapefile(folder, [&] {
        ASSERT_EQ(::chown(table.c_str(), 4321, 8765), 0);
        ASSERT_EQ(::chmod(table.c_str(), 02604), 0);
    });
    shapefile.Edit();
    shapefile.editor.StopEditing(true);

    struct stat status {};
    ASSERT_EQ(::stat(table.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 4321u);
    EXPECT_EQ(status.st_gid, 8765u);
    EXPECT_EQ(status.st_mode & 07777, 02604u);
    EXPECT_EQ(FieldValues(shapefile.dataset, "Watershed", "NextDownID"), kWrittenValues);
}

// A table with another name (a hard link) is opened read-only, saying why,
// before anything is changed: its saved copy would not reach that name.
TEST(TableIdentityTest, ATableWithHardLinksIsRefusedBeforeAnythingChanges)
{
    TempFolder folder;
    TempFolder elsewhere;
    std::string dataset = CreateTable(folder, 4);
    fs::create_hard_link(folder.File("Watershed.dbf"), elsewhere.File("other.dbf"));
    std::string table = ReadFile(folder.File("Watershed.dbf"));
    Ref<GdalWorkspace> workspace = GdalWorkspace::Open(dataset);
    std::string reason = "Opened read-only: " + folder.File("Watershed.dbf") +
                         " has other names (hard links), which its saved copy would not reach: make it a file of "
                         "its own (copy it, then move the copy over it) to edit it";
    EXPECT_EQ(workspace->ReadOnlyReason(), reason);
    OGRFieldDefn field("NextDownID", OFTInteger);
    EXPECT_EQ(DescriptionOf([&] { workspace->AddField(0, field); }), reason);
    EXPECT_EQ(DescriptionOf([&] { workspace->StartEditing(); }), reason);
    EXPECT_TRUE(ReadFile(folder.File("Watershed.dbf")) == table);
    EXPECT_EQ(fs::hard_link_count(elsewhere.File("other.dbf")), 2u);
    EXPECT_THAT(BesideTheTable(folder), ::testing::IsEmpty());
}

class ChangedTableTest : public ::testing::TestWithParam<bool> {};

// Replaced, as most programs save a file, or rewritten in place: whatever
// another program made of the table stays, and the save fails.
TEST_P(ChangedTableTest, ATableAnotherProgramChangedDuringTheSessionIsNotReplaced)
{
    TempFolder folder;
    EditedShapefile shapefile(folder);
    shapefile.Edit();
    std::string table = folder.File("Watershed.dbf");
    if (GetParam()) {
        fs::copy_file(table, table + ".saved");
        fs::rename(table + ".saved", table);
    } else {
        int fd = ::open(table.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, "9", 1, 200), 1);
        timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};  // a clock tick may outlast the test
        ::futimens(fd, times);
        ::close(fd);
    }
    std::string changed = ReadFile(table);

    EXPECT_EQ(DescriptionOf([&] { shapefile.editor.StopEditing(true); }),
              "The edits were not saved: " + table + " was changed by another program since the edit session began");
    EXPECT_TRUE(ReadFile(table) == changed);
    EXPECT_THAT(BesideTheTable(folder), ElementsAre("Watershed.dbf.drennow-lock"));
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedTableTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Replaced" : "RewrittenInPlace"; });

// What a killed run left beside the table is removed by the next one; a
// second opening while it is open can only read the table and says why.
TEST(TableLockTest, OneRunAtATimeEditsATableAndCleansUpAfterKilledOnes)
{
    TempFolder folder;
    std::string dataset = CreateTable(folder, 3);
    for (const char* left : {"Watershed.dbf.drennow-lock", "Watershed.dbf.drennow-staged-999999-0",
                             "Watershed.dbf.drennow-widened-999999-3", "Watershed.dbf.notes"}) {
        std::ofstream(folder.File(left)) << "left\n";
    }
    std::string table = ReadFile(folder.File("Watershed.dbf"));
    Ref<GdalWorkspace> first = GdalWorkspace::Open(dataset);
    Ref<GdalWorkspace> second = GdalWorkspace::Open(dataset);
    std::string reason = "Opened read-only: " + folder.File("Watershed.dbf") +
                         " is being edited by another run of drennow; try again once that run has ended";
    EXPECT_EQ(first->ReadOnlyReason(), "");
    EXPECT_EQ(second->ReadOnlyReason(), reason);
    OGRFieldDefn field("NextDownID", OFTInteger);
    EXPECT_EQ(DescriptionOf([&] { second->AddField(0, field); }), reason);
    EXPECT_EQ(DescriptionOf([&] { second->StartEditing(); }), reason);
    EXPECT_TRUE(ReadFile(folder.File("Watershed.dbf")) == table);
    EXPECT_THAT(BesideTheTable(folder), ElementsAre("Watershed.dbf.drennow-lock", "Watershed.dbf.notes"));

    first.reset();
    EXPECT_EQ(GdalWorkspace::Open(dataset)->ReadOnlyReason(), "");
    second.reset();
    EXPECT_THAT(BesideTheTable(folder), ElementsAre("Watershed.dbf.notes"));
}

// Only what a killed run can have left is removed: a file of one name,
// named exactly as staged files are, of the table's owner. Links, hard
// links to someone's file, folders, other names and other owners' files
// stay as they were.
TEST(TableLockTest, OnlyStagedFilesAKilledRunLeftAreRemoved)
{
    TempFolder folder;
    TempFolder elsewhere;
    std::string dataset = CreateTable(folder, 3);
    std::string notes = elsewhere.File("notes.txt");
    std::ofstream(notes) << "someone's\n";
    std::string prefix = folder.File("Watershed.dbf.drennow-");
    for (const char* left : {"staged-999999-0", "widened-999999-3"}) {
        std::ofstream(prefix + left) << "left\n";
    }
    std::vector<std::string> kept{"staged-notes", "staged-7-0.bak", "staged--0", "widened-12"};
    for (const std::string& name : kept) {
        std::ofstream(prefix + name) << "someone's\n";
    }
    fs::create_symlink(notes, prefix + "staged-8-0");
    fs::create_hard_link(notes, prefix + "staged-9-0");
    fs::create_directory(prefix + "widened-11-0");
    kept.insert(kept.end(), {"staged-8-0", "staged-9-0", "widened-11-0"});
    if (::geteuid() == 0) {
        std::ofstream(prefix + "staged-10-0") << "someone's\n";
        ASSERT_EQ(::chown((prefix + "staged-10-0").c_str(), 4321, 4321), 0);
        kept.push_back("staged-10-0");
    }

    Ref<GdalWorkspace> workspace = GdalWorkspace::Open(dataset);
    ASSERT_EQ(workspace->ReadOnlyReason(), "");
    std::vector<std::string> expected{"Watershed.dbf.drennow-lock"};
    for (const std::string& name : kept) {
        expected.push_back("Watershed.dbf.drennow-" + name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(BesideTheTable(folder), expected);
    EXPECT_EQ(ReadFile(notes), "someone's\n");
    EXPECT_EQ(fs::read_symlink(prefix + "staged-8-0"), notes);
}

}  // namespace
}  // namespace drennow::gdaltest
