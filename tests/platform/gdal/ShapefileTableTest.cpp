// A Shapefile's attribute table is changed all or nothing: staged tables
// get names nobody else's file has, and a table another program changed is
// not replaced.
#include "GdalTestData.h"
#include "platform/gdal/GdalEditor.h"
#include "platform/gdal/GdalMap.h"
#include "runtime/Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace drennow::gdaltest {
namespace {

namespace fs = std::filesystem;
using host::Ref;

// A Shapefile "Watershed" without NextDownID, with some codes missing and
// its second record deleted.
std::string CreateTable(const TempFolder& folder, int rows)
{
    std::vector<Basin> basins;
    for (int i = 0; i < rows; ++i) {
        basins.push_back({i % 3 == 0 ? std::nullopt : std::optional<int64_t>(10 + i), 5000 + i, std::nullopt});
    }
    std::string dataset = CreateWatersheds(Format::Shapefile, folder, basins, false);
    GDALDatasetUniquePtr opened(GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    EXPECT_EQ(opened->GetLayer(0)->DeleteFeature(1), OGRERR_NONE);
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

// A Shapefile opened through the host, NextDownID added, each row's written
// 7000 + its id, and the edit session still open.
struct EditedShapefile {
    explicit EditedShapefile(const TempFolder& folder)
        : dataset(CreateTable(folder, 4)),
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
    for (const char* kind : {"staged-"}) {
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
    EXPECT_EQ(BesideTheTable(folder).size(), 2u);  // the planted two
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
    EXPECT_THAT(BesideTheTable(folder), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedTableTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Replaced" : "RewrittenInPlace"; });

}  // namespace
}  // namespace drennow::gdaltest
