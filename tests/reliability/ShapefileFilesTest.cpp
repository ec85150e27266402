// A Shapefile's files as users keep them: records flagged as deleted, an
// attribute table that is a link into another folder, a table of another
// owner, group or permissions, and folders shared with other users or
// marked append-only. A run either writes the right values into the file
// the user named, keeping what it is, or is refused before it changes
// anything.
#include "ExpectedRun.h"
#include "Programs.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <optional>
#include <pwd.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace drennow::reliability {
namespace {

namespace fs = std::filesystem;
using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;

// What the run must leave on the basins that are not deleted, whose ids
// are those given, in order.
e2e::ExpectedRun ExpectOn(const std::vector<gdaltest::Basin>& basins, const std::vector<int64_t>& fids,
                          const e2e::RunChoices& choices)
{
    e2e::ExpectedRun sequential = e2e::Expect(basins, 0, choices);
    e2e::ExpectedRun expected;
    for (const auto& [position, value] : sequential.nextDownIds) {
        expected.nextDownIds[fids.at(static_cast<size_t>(position))] = value;
    }
    // The log's lines begin with the feature's id.
    std::istringstream lines(sequential.log);
    for (std::string line; std::getline(lines, line);) {
        size_t tab = line.find('\t');
        bool failure = tab != std::string::npos && line.find_first_not_of("0123456789") == tab;
        expected.log += (failure ? std::to_string(fids.at(std::stoul(line.substr(0, tab)))) + line.substr(tab) : line) +
                        "\n";
    }
    return expected;
}

// GDAL skips the records flagged as deleted, and so does the run: every
// other feature gets its value as if they were not there, the log names
// the features by their ids, and the deleted records stay deleted with the
// values they had.
TEST(DeletedRecordsTest, ARunOnATableWithDeletedRecordsWritesTheOthersAsGdalReadsThem)
{
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = e2e::VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::Shapefile, folder, basins, true);
    const std::vector<int64_t> deleted{3, 7, static_cast<int64_t>(basins.size()) - 1};
    gdaltest::DeleteRecords(dataset, deleted);
    std::vector<gdaltest::Basin> remaining;
    std::vector<int64_t> fids;
    for (size_t i = 0; i < basins.size(); ++i) {
        if (std::find(deleted.begin(), deleted.end(), static_cast<int64_t>(i)) == deleted.end()) {
            remaining.push_back(basins[i]);
            fids.push_back(static_cast<int64_t>(i));
        }
    }
    std::vector<std::string> records = gdaltest::DbfRecords(folder.File("Watershed.dbf"));

    std::vector<std::string> arguments = IdAnswers(Format::Shapefile);
    arguments.push_back(dataset);
    e2e::ChildOptions options;
    options.workingFolder = folder.Path();
    e2e::ChildResult run = Drennow(arguments, options);
    PrintOutcome("Shapefile with 3 deleted records", run);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

    e2e::ExpectedRun expected = ExpectOn(remaining, fids, {false, true, std::nullopt});
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"), expected.nextDownIds);
    EXPECT_EQ(gdaltest::ReadFile(folder.File("Drennow.log")), expected.log);
    std::vector<std::string> after = gdaltest::DbfRecords(folder.File("Watershed.dbf"));
    ASSERT_EQ(after.size(), records.size());
    for (int64_t fid : deleted) {
        EXPECT_EQ(after[static_cast<size_t>(fid)].front(), '*') << "record " << fid;
        EXPECT_EQ(after[static_cast<size_t>(fid)], records[static_cast<size_t>(fid)]) << "record " << fid;
    }
    EXPECT_EQ(ShapefileTableProblems(folder.Path(), "Watershed"), "");
}

// The attribute table as a relative link into another folder, under a name
// of its own.
struct LinkedTable {
    LinkedTable(const TempFolder& folder, const TempFolder& store)
        : link(folder.File("Watershed.dbf")), target(store.File("attributes.dbf"))
    {
        fs::rename(link, target);
        fs::create_symlink(fs::relative(target, folder.Path()), link);
        text = fs::read_symlink(link);
    }

    bool Unchanged() const { return fs::is_symlink(link) && fs::read_symlink(link) == text; }

    std::string link;
    std::string target;
    fs::path text;
};

e2e::ChildResult RunOn(const std::string& dataset, const std::string& folder, bool asNobody)
{
    std::vector<std::string> arguments = CodeAnswers(Format::Shapefile);
    arguments.push_back(dataset);
    e2e::ChildOptions options;
    options.workingFolder = folder;
    options.asUnprivilegedUser = asNobody;
    return Drennow(arguments, options);
}

// The field is added and the values written in the file the link leads
// to; the link stays as it was, and nothing is left beside either.
TEST(TableIdentityTest, ATableThatIsALinkGetsTheEditsAndTheLinkStays)
{
    TempFolder folder;
    TempFolder store;
    std::vector<gdaltest::Basin> basins = e2e::VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::Shapefile, folder, basins, false);
    LinkedTable linked(folder, store);

    e2e::ChildResult run = RunOn(dataset, folder.Path(), false);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

    auto expected = e2e::Expect(basins, 0, {}).nextDownIds;
    EXPECT_TRUE(linked.Unchanged());
    EXPECT_EQ(gdaltest::FieldValues(linked.target, "attributes", "NextDownID"), expected);
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"), expected);
    EXPECT_EQ(gdaltest::FilesStartingWith(store.Path(), ""), std::vector<std::string>{"attributes.dbf"});
    EXPECT_EQ(gdaltest::FilesStartingWith(folder.Path(), "Watershed.dbf"), std::vector<std::string>{"Watershed.dbf"});
}

// Run by root, the table keeps its owner, group and permissions through
// the field added and the values saved.
TEST(TableIdentityTest, ATableOfAnotherOwnerKeepsItsOwnerGroupAndPermissions)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give the table to another owner";
    }
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = e2e::VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::Shapefile, folder, basins, false);
    std::string table = folder.File("Watershed.dbf");
    ASSERT_EQ(::chown(table.c_str(), 4321, 8765), 0);
    ASSERT_EQ(::chmod(table.c_str(), 0640), 0);

    e2e::ChildResult run = RunOn(dataset, folder.Path(), false);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

    struct stat status {};
    ASSERT_EQ(::stat(table.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 4321u);
    EXPECT_EQ(status.st_gid, 8765u);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"), e2e::Expect(basins, 0, {}).nextDownIds);
}

// In a folder with the set-group-id bit, the saved table keeps the
// folder's group, also for a user who is not a member of it.
TEST(TableIdentityTest, ATableInAFolderThatGivesItsGroupKeepsThatGroup)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can set up files of other owners and run as another user";
    }
    passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = e2e::VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(Format::Shapefile, folder, basins, false);
    const gid_t group = 4321;
    ASSERT_NE(group, nobody->pw_gid);
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        ASSERT_EQ(::chown(entry.path().c_str(), nobody->pw_uid, group), 0);
    }
    ASSERT_EQ(::chown(folder.Path().c_str(), nobody->pw_uid, group), 0);
    fs::permissions(folder.Path(), fs::perms(02775));

    e2e::ChildResult run = RunOn(dataset, folder.Path(), true);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

    struct stat status {};
    ASSERT_EQ(::stat(folder.File("Watershed.dbf").c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, nobody->pw_uid);
    EXPECT_EQ(status.st_gid, group);
    EXPECT_EQ(gdaltest::FieldValues(dataset, "Watershed", "NextDownID"), e2e::Expect(basins, 0, {}).nextDownIds);
}

// Where the user running drennow (nobody) could not save the table as the
// same file, and how the folders are set up for it.
enum class Refusal {
    StickyFolder,     // a shared folder, the table root's and writable by all
    AnotherOwner,     // the same in a folder without the sticky bit
    UnwritableTarget  // a link to nobody's table in a folder nobody cannot write
};

struct RefusalCase {
    Refusal refusal;
    const char* name;
    std::string reason;  // the refusal, {table} and {folder} standing for their names
};

std::string Filled(std::string text, const std::string& table, const std::string& folder)
{
    for (auto [mark, name] : {std::pair{std::string("{table}"), table}, std::pair{std::string("{folder}"), folder}}) {
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + name.size())) {
            text.replace(at, mark.size(), name);
        }
    }
    return text;
}

void PrintTo(const RefusalCase& given, std::ostream* out)
{
    *out << given.name;
}

class RefusedTableTest : public ::testing::TestWithParam<RefusalCase> {};

// Found when the data is opened: the run ends before the pass, every file
// as it was, the link still a link.
TEST_P(RefusedTableTest, ATableThatCouldNotBeSavedAsTheSameFileIsRefusedBeforeAnythingChanges)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can set up files of other owners and run as another user";
    }
    passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const RefusalCase& given = GetParam();
    TempFolder folder;
    TempFolder store;
    std::string dataset = gdaltest::CreateWatersheds(Format::Shapefile, folder, e2e::VariedBasins(), true);
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        fs::permissions(entry.path(), fs::perms(0666));
    }
    fs::permissions(folder.Path(), fs::perms(given.refusal == Refusal::StickyFolder ? 01777 : 0777));
    std::optional<LinkedTable> linked;
    std::string table = folder.File("Watershed.dbf");
    if (given.refusal == Refusal::UnwritableTarget) {
        linked.emplace(folder, store);
        ASSERT_EQ(::chown(linked->target.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        table = linked->target;
    }
    auto before = FolderContents(folder.Path());
    auto storeBefore = FolderContents(store.Path());

    e2e::ChildResult run = RunOn(dataset, folder.Path(), true);
    PrintOutcome(given.name, run);
    // The edit session cannot start: the check that says so ends the run.
    EXPECT_EQ(run.exitStatus, 3) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("Could Not Edit Watershed"));
    std::string reason = Filled(given.reason, table, fs::path(table).parent_path());
    EXPECT_THAT(run.err, HasSubstr("drennow: " + dataset + ": Opened read-only: " + reason + "\n"));
    EXPECT_TRUE(FolderContents(folder.Path()) == before);
    EXPECT_TRUE(FolderContents(store.Path()) == storeBefore);
    EXPECT_TRUE(!linked || linked->Unchanged());
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RefusedTableTest,
    ::testing::Values(RefusalCase{Refusal::StickyFolder, "StickyFolder",
                                  "{table} belongs to root in {folder}, a shared folder (sticky bit) where only a "
                                  "file's owner may replace it: run as its owner"},
                      RefusalCase{Refusal::AnotherOwner, "AnotherOwner",
                                  "{table} belongs to root: its saved copy would belong to you, so run as its owner"},
                      RefusalCase{Refusal::UnwritableTarget, "UnwritableTarget",
                                  "{folder} cannot be written (Permission denied): the edits of {table} are saved "
                                  "there in a copy that takes its place"}),
    [](const auto& info) { return std::string(info.param.name); });

// Marks the folder append-only (chattr +a) while it lives: entries may be
// added to it, none replaced or removed, even by root.
class AppendOnlyFolder {
public:
    explicit AppendOnlyFolder(const std::string& folder) : folder_(folder) { marked_ = Mark(FS_APPEND_FL); }
    ~AppendOnlyFolder() { Mark(0); }
    AppendOnlyFolder(const AppendOnlyFolder&) = delete;
    AppendOnlyFolder& operator=(const AppendOnlyFolder&) = delete;
    bool Marked() const { return marked_; }

private:
    bool Mark(int mark)
    {
        int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) {
            return false;
        }
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = (flags & ~FS_APPEND_FL) | mark;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    std::string folder_;
    bool marked_ = false;
};

// Even root cannot replace an entry of an append-only folder: a run there
// is refused before the pass rather than failing at the save.
TEST(AppendOnlyFolderTest, ATableInAnAppendOnlyFolderIsRefusedBeforeThePass)
{
    TempFolder folder;
    std::string dataset = gdaltest::CreateWatersheds(Format::Shapefile, folder, e2e::VariedBasins(), true);
    auto before = FolderContents(folder.Path());
    AppendOnlyFolder appendOnly(folder.Path());
    if (!appendOnly.Marked()) {
        GTEST_SKIP() << "the file system or the user cannot mark folders append-only";
    }

    e2e::ChildResult run = RunOn(dataset, folder.Path(), false);
    EXPECT_EQ(run.exitStatus, 3) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("drennow: " + dataset + ": Opened read-only: " + folder.Path() +
                                   " is marked append-only or immutable (lsattr shows it): " +
                                   folder.File("Watershed.dbf") + " cannot be replaced by its saved copy\n"));
    EXPECT_TRUE(FolderContents(folder.Path()) == before);
}

// Multiplies every Area of the Shapefile by the factor.
void ScaleAreas(const std::string& dataset, double factor)
{
    GDALDatasetUniquePtr opened(GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    ASSERT_TRUE(opened);
    opened->ExecuteSQL(("UPDATE Watershed SET Area = Area * " + std::to_string(factor)).c_str(), nullptr, "SQLITE");
}

// A real field of a Shapefile as GDAL makes it holds 24 characters, 15 of
// them decimals: an upstream sum of more than eight digits before the point
// is written with the decimals that fit.
TEST(RealFieldTest, AValueOfManyDigitsBeforeThePointKeepsTheDecimalsThatFit)
{
    TempFolder folder;
    std::vector<gdaltest::Basin> basins = Subdivision(3);
    std::string dataset = CreateData(Program::Network, Format::Shapefile, folder, basins, false);
    ScaleAreas(dataset, 1e5);  // areas of up to 8 digits before the point, sums of up to 11
    std::vector<std::string> arguments = RunArguments(Program::Network, Format::Shapefile);
    arguments.push_back(dataset);
    e2e::ChildResult run = Drennow(arguments);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(SavedValues(Program::Network, Format::Shapefile, basins).ProblemsIn(dataset), "");
    EXPECT_EQ(ShapefileTableProblems(folder.Path(), "Watershed"), "");
}

// A sum too wide for its field without decimals ends the run with nothing
// saved.
TEST(RealFieldTest, AValueTooWideForTheFieldEndsTheRunWithNothingSaved)
{
    TempFolder folder;
    std::string dataset = CreateData(Program::Network, Format::Shapefile, folder, Subdivision(3), false);
    ScaleAreas(dataset, 1e5);
    {
        GDALDatasetUniquePtr opened(GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        ASSERT_TRUE(opened);
        OGRFieldDefn narrow("UP", OFTReal);
        narrow.SetWidth(8);
        narrow.SetPrecision(2);
        ASSERT_EQ(opened->GetLayer(0)->CreateField(&narrow), OGRERR_NONE);
    }
    auto before = gdaltest::Snapshot(dataset, "Watershed");
    std::vector<std::string> arguments = RunArguments(Program::Network, Format::Shapefile);
    arguments.push_back(dataset);
    e2e::ChildResult tooWide = Drennow(arguments);
    EXPECT_EQ(tooWide.exitStatus, 1) << tooWide.out << tooWide.err;
    EXPECT_THAT(tooWide.err, HasSubstr("does not fit a field of width 8; no value was saved"));
    EXPECT_EQ(Without(gdaltest::Snapshot(dataset, "Watershed"), {"MAIN", "SORT"}), before);
    EXPECT_EQ(UnsavedValueProblems(Program::Network, dataset, false), "");
    EXPECT_EQ(ShapefileTableProblems(folder.Path(), "Watershed"), "");
}

}  // namespace
}  // namespace drennow::reliability
