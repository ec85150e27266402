#include "GdalTestData.h"

#include <gtest/gtest.h>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace drennow::gdaltest {

namespace {

namespace fs = std::filesystem;

std::string g_lastTable;

GDALDatasetUniquePtr OpenVector(const std::string& name, bool update)
{
    GDALAllRegister();
    return GDALDatasetUniquePtr(GDALDataset::Open(
        name.c_str(), GDAL_OF_VECTOR | (update ? GDAL_OF_UPDATE : GDAL_OF_READONLY), nullptr, nullptr, nullptr));
}

// A fresh schema of the test server, so that tests running side by side
// each see only their own tables.
std::string NewPostgresSchema()
{
    static int counter = 0;
    std::string schema = "t" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    GDALDatasetUniquePtr server = OpenVector(PostgresConnection(), true);
    EXPECT_TRUE(server) << CPLGetLastErrorMsg();
    if (server) {
        server->ExecuteSQL(("CREATE SCHEMA " + schema).c_str(), nullptr, nullptr);
    }
    return schema;
}

GDALDatasetUniquePtr CreateDataset(Format format, const TempFolder& folder, std::string& name)
{
    GDALAllRegister();
    auto create = [](const char* driver, const std::string& path) {
        return GDALDatasetUniquePtr(GetGDALDriverManager()->GetDriverByName(driver)->Create(
            path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    };
    switch (format) {
    case Format::GeoPackage:
        name = folder.File("basins.gpkg");
        return create("GPKG", name);
    case Format::Sqlite:
        name = folder.File("basins.sqlite");
        return create("SQLite", name);
    case Format::Shapefile:
        name = folder.Path();
        return create("ESRI Shapefile", name);
    case Format::Postgres:
        g_lastTable = NewPostgresSchema();
        name = PostgresConnection() + " schemas=" + g_lastTable;
        return OpenVector(name, true);
    }
    return nullptr;
}

void AddField(OGRLayer& layer, const char* name, OGRFieldType type)
{
    OGRFieldDefn field(name, type);
    ASSERT_EQ(layer.CreateField(&field), OGRERR_NONE) << CPLGetLastErrorMsg();
}

void SetOptional(OGRFeature& feature, int field, const std::optional<int64_t>& value)
{
    if (value) {
        feature.SetField(field, static_cast<GIntBig>(*value));
    } else {
        feature.SetFieldNull(field);
    }
}

std::string HexWkb(const OGRGeometry* geometry)
{
    if (geometry == nullptr) {
        return "<none>";
    }
    std::vector<unsigned char> wkb(geometry->WkbSize());
    geometry->exportToWkb(wkbNDR, wkb.data());
    std::ostringstream hex;
    for (unsigned char byte : wkb) {
        hex << "0123456789ABCDEF"[byte >> 4] << "0123456789ABCDEF"[byte & 15];
    }
    return hex.str();
}

std::string CreateWatershedsOf(Format format, const TempFolder& folder, const std::vector<Basin>& basins,
                               bool withNextDownId, const std::string& layerName, OGRFieldType integers);

}  // namespace

std::string PfafFieldName(Format format)
{
    return format == Format::Shapefile ? "Pfafstette" : "PfafstetterID";
}

std::string FormatName(Format format)
{
    switch (format) {
    case Format::GeoPackage:
        return "GeoPackage";
    case Format::Shapefile:
        return "Shapefile";
    case Format::Sqlite:
        return "SQLite";
    case Format::Postgres:
        return "PostgreSQL";
    }
    return "";
}

TempFolder::TempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "drennow-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string PostgresConnection()
{
    const char* connection = std::getenv("DRENNOW_TEST_PG");
    return connection ? connection : "";
}

std::string LastPostgresTable()
{
    return g_lastTable;
}

std::string CreateFileGdbWatersheds(const TempFolder& folder, const std::vector<int>& codes)
{
    std::string name = folder.File("basins.gdb");
    GDALAllRegister();
    GDALDatasetUniquePtr created(
        GetGDALDriverManager()->GetDriverByName("OpenFileGDB")->Create(name.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    EXPECT_TRUE(created) << CPLGetLastErrorMsg();
    if (!created) {
        return name;
    }
    OGRLayer* layer = created->CreateLayer("Watershed", nullptr, wkbPolygon, nullptr);
    OGRFieldDefn code("PfafstetterID", OFTInteger);
    EXPECT_EQ(layer->CreateField(&code), OGRERR_NONE);
    for (int value : codes) {
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetField("PfafstetterID", value);
        EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    return name;
}

std::string CreateWatersheds(Format format, const TempFolder& folder, const std::vector<Basin>& basins,
                             bool withNextDownId, const std::string& layerName)
{
    return CreateWatershedsOf(format, folder, basins, withNextDownId, layerName, OFTInteger);
}

std::string CreateWideWatersheds(Format format, const TempFolder& folder, const std::vector<Basin>& basins,
                                 bool withNextDownId)
{
    return CreateWatershedsOf(format, folder, basins, withNextDownId, "Watershed", OFTInteger64);
}

void SetSquare(OGRFeature& feature, size_t position, size_t perRow)
{
    double x = static_cast<double>(position % perRow);
    double y = static_cast<double>(position / perRow);
    OGRLinearRing ring;
    ring.addPoint(x, y);
    ring.addPoint(x + 1, y);
    ring.addPoint(x + 1, y + 1);
    ring.addPoint(x, y + 1);
    ring.closeRings();
    OGRPolygon polygon;
    polygon.addRing(&ring);
    feature.SetGeometry(&polygon);
}

OGRFieldType FieldType(const std::string& dataset, const std::string& layer, const std::string& field)
{
    GDALDatasetUniquePtr opened = OpenVector(dataset, false);
    OGRLayer* found = opened ? opened->GetLayerByName(layer.c_str()) : nullptr;
    int index = found ? found->GetLayerDefn()->GetFieldIndex(field.c_str()) : -1;
    EXPECT_GE(index, 0) << field << " in " << dataset;
    return index >= 0 ? found->GetLayerDefn()->GetFieldDefn(index)->GetType() : OFTMaxType;
}

namespace {

std::string CreateWatershedsOf(Format format, const TempFolder& folder, const std::vector<Basin>& basins,
                               bool withNextDownId, const std::string& layerName, OGRFieldType integers)
{
    std::string name;
    GDALDatasetUniquePtr dataset = CreateDataset(format, folder, name);
    EXPECT_TRUE(dataset) << CPLGetLastErrorMsg();
    if (!dataset) {
        return name;
    }
    CPLStringList options;
    if (format == Format::Postgres || format == Format::Sqlite) {
        options.SetNameValue("LAUNDER", "NO");
    }
    OGRLayer* layer = dataset->CreateLayer(layerName.c_str(), nullptr, wkbPolygon, options.List());
    EXPECT_NE(layer, nullptr) << CPLGetLastErrorMsg();
    if (layer == nullptr) {
        return name;
    }
    AddField(*layer, "HydroID", integers);
    AddField(*layer, "PfafstetterID", integers);
    AddField(*layer, "Name", OFTString);
    AddField(*layer, "Area", OFTReal);
    if (withNextDownId) {
        AddField(*layer, "NextDownID", integers);
    }
    dataset->StartTransaction();
    for (size_t i = 0; i < basins.size(); ++i) {
        OGRFeature feature(layer->GetLayerDefn());
        // By position: a Shapefile cuts long field names short.
        SetOptional(feature, 0, basins[i].hydroId);
        SetOptional(feature, 1, basins[i].pfafstetterId);
        feature.SetField(2, ("basin " + std::to_string(i)).c_str());
        feature.SetField(3, 1.25 * static_cast<double>(i) + 0.125);
        if (withNextDownId) {
            SetOptional(feature, 4, basins[i].nextDownId);
        }
        SetSquare(feature, i, 10);
        EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE) << CPLGetLastErrorMsg();
    }
    dataset->CommitTransaction();
    return format == Format::Shapefile ? folder.File(layerName + ".shp") : name;
}

}  // namespace

void PrintTo(const FeatureSnapshot& feature, std::ostream* out)
{
    *out << "{" << feature.fid;
    for (const auto& [field, value] : feature.fields) {
        *out << ", " << field << "=" << value;
    }
    *out << ", " << feature.geometry.substr(0, 24) << "...}";
}

std::vector<FeatureSnapshot> Snapshot(const std::string& dataset, const std::string& layerName,
                                      const std::string& exceptField)
{
    std::vector<FeatureSnapshot> features;
    GDALDatasetUniquePtr opened = OpenVector(dataset, false);
    EXPECT_TRUE(opened) << dataset;
    OGRLayer* layer = opened ? opened->GetLayerByName(layerName.c_str()) : nullptr;
    EXPECT_NE(layer, nullptr) << layerName;
    if (layer == nullptr) {
        return features;
    }
    for (auto& feature : *layer) {
        FeatureSnapshot snapshot{feature->GetFID(), {}, HexWkb(feature->GetGeometryRef())};
        for (int i = 0; i < feature->GetFieldCount(); ++i) {
            std::string field = feature->GetFieldDefnRef(i)->GetNameRef();
            if (!EQUAL(field.c_str(), exceptField.c_str())) {
                snapshot.fields[field] = feature->IsFieldSetAndNotNull(i) ? feature->GetFieldAsString(i) : "<null>";
            }
        }
        features.push_back(snapshot);
    }
    std::sort(features.begin(), features.end(),
              [](const FeatureSnapshot& a, const FeatureSnapshot& b) { return a.fid < b.fid; });
    return features;
}

std::map<int64_t, std::optional<int64_t>> FieldValues(const std::string& dataset, const std::string& layerName,
                                                      const std::string& field)
{
    std::map<int64_t, std::optional<int64_t>> values;
    GDALDatasetUniquePtr opened = OpenVector(dataset, false);
    OGRLayer* layer = opened ? opened->GetLayerByName(layerName.c_str()) : nullptr;
    EXPECT_NE(layer, nullptr) << dataset << " " << layerName;
    if (layer == nullptr) {
        return values;
    }
    int index = layer->GetLayerDefn()->GetFieldIndex(field.c_str());
    EXPECT_GE(index, 0) << "no field " << field;
    if (index < 0) {
        return values;
    }
    for (auto& feature : *layer) {
        values[feature->GetFID()] = feature->IsFieldSetAndNotNull(index)
                                        ? std::optional<int64_t>(feature->GetFieldAsInteger64(index))
                                        : std::nullopt;
    }
    return values;
}

bool HasField(const std::string& dataset, const std::string& layerName, const std::string& field)
{
    GDALDatasetUniquePtr opened = OpenVector(dataset, false);
    OGRLayer* layer = opened ? opened->GetLayerByName(layerName.c_str()) : nullptr;
    return layer != nullptr && layer->GetLayerDefn()->GetFieldIndex(field.c_str()) >= 0;
}

void DeleteRecords(const std::string& dataset, const std::vector<int64_t>& fids)
{
    const char* const keepTheRecords[] = {"AUTO_REPACK=NO", nullptr};
    GDALDatasetUniquePtr opened(
        GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, keepTheRecords, nullptr));
    ASSERT_TRUE(opened);
    for (int64_t fid : fids) {
        ASSERT_EQ(opened->GetLayer(0)->DeleteFeature(fid), OGRERR_NONE) << "feature " << fid;
    }
}

std::vector<std::string> DbfRecords(const std::string& table)
{
    std::string bytes = ReadFile(table);
    auto number = [&](size_t at, size_t count) {
        size_t value = 0;
        for (size_t i = count; i-- > 0 && at + i < bytes.size();) {
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        }
        return value;
    };
    size_t headerLength = number(8, 2);
    size_t recordLength = number(10, 2);
    std::vector<std::string> records;
    for (size_t i = 0; i < number(4, 4) && headerLength + (i + 1) * recordLength <= bytes.size(); ++i) {
        records.push_back(bytes.substr(headerLength + i * recordLength, recordLength));
    }
    return records;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (name.starts_with(prefix)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace drennow::gdaltest
