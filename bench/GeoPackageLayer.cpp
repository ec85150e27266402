#include "GeoPackageLayer.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

namespace drennow::bench {

namespace {

constexpr const char* kNextDownField = "NextDownID";

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + CPLGetLastErrorMsg());
}

GDALDatasetUniquePtr Open(const std::filesystem::path& path, bool update)
{
    GDALAllRegister();
    GDALDatasetUniquePtr dataset(
        GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | (update ? GDAL_OF_UPDATE : GDAL_OF_READONLY)));
    if (!dataset) {
        Fail("cannot open " + path.string());
    }
    return dataset;
}

OGRLayer& LayerOf(GDALDataset& dataset)
{
    OGRLayer* layer = dataset.GetLayerByName(kLayerName);
    if (layer == nullptr) {
        Fail(std::string("no layer ") + kLayerName);
    }
    return *layer;
}

// Reads only the named fields: no geometry, no other attribute.
void ReadOnly(OGRLayer& layer, const std::vector<std::string>& wanted)
{
    CPLStringList ignored;
    ignored.AddString("OGR_GEOMETRY");
    OGRFeatureDefn* definition = layer.GetLayerDefn();
    for (int i = 0; i < definition->GetFieldCount(); ++i) {
        std::string name = definition->GetFieldDefn(i)->GetNameRef();
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end()) {
            ignored.AddString(name.c_str());
        }
    }
    layer.SetIgnoredFields(const_cast<const char**>(ignored.List()));
}

std::unique_ptr<OGRPolygon> Square(size_t index)
{
    constexpr size_t kColumns = 1000;
    constexpr double kSide = 0.001;
    double x = static_cast<double>(index % kColumns) * kSide;
    double y = static_cast<double>(index / kColumns) * kSide;
    auto ring = std::make_unique<OGRLinearRing>();
    ring->addPoint(x, y);
    ring->addPoint(x, y + kSide);
    ring->addPoint(x + kSide, y + kSide);
    ring->addPoint(x + kSide, y);
    ring->addPoint(x, y);
    auto polygon = std::make_unique<OGRPolygon>();
    polygon->addRingDirectly(ring.release());
    return polygon;
}

struct StatementCloser {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

}  // namespace

void WriteBasinsGeoPackage(const std::filesystem::path& path, const std::vector<Basin>& basins)
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    GDALDatasetUniquePtr dataset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset) {
        Fail("cannot create " + path.string());
    }
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    OGRLayer* layer = dataset->CreateLayer(kLayerName, &wgs84, wkbPolygon, nullptr);
    OGRFieldDefn hydroId("HydroID", OFTInteger);
    OGRFieldDefn pfafCode("PfafstetterID", OFTInteger);
    if (layer == nullptr || layer->CreateField(&hydroId) != OGRERR_NONE ||
        layer->CreateField(&pfafCode) != OGRERR_NONE) {
        Fail("cannot create the layer");
    }
    dataset->StartTransaction();
    OGRFeature feature(layer->GetLayerDefn());
    for (size_t i = 0; i < basins.size(); ++i) {
        feature.SetFID(OGRNullFID);
        feature.SetField(0, basins[i].hydroId);
        if (basins[i].pfafCode) {
            feature.SetField(1, *basins[i].pfafCode);
        } else {
            feature.SetFieldNull(1);
        }
        feature.SetGeometryDirectly(Square(i).release());
        if (layer->CreateFeature(&feature) != OGRERR_NONE) {
            Fail("cannot write feature " + std::to_string(i + 1));
        }
    }
    if (dataset->CommitTransaction() != OGRERR_NONE) {
        Fail("cannot commit " + path.string());
    }
}

void RunBaseline(const std::filesystem::path& path)
{
    GDALDatasetUniquePtr dataset = Open(path, true);
    OGRLayer& layer = LayerOf(*dataset);
    OGRFieldDefn nextDown(kNextDownField, OFTInteger);
    if (layer.CreateField(&nextDown) != OGRERR_NONE) {
        Fail("cannot add NextDownID");
    }
    ReadOnly(layer, {"PfafstetterID", "HydroID"});
    int pfafIndex = layer.GetLayerDefn()->GetFieldIndex("PfafstetterID");
    int idIndex = layer.GetLayerDefn()->GetFieldIndex("HydroID");
    std::vector<int32_t> codes;  // held, as any tool needs them for its search
    std::vector<std::pair<int64_t, int32_t>> identifiers;
    for (const OGRFeatureUniquePtr& feature : layer) {
        codes.push_back(feature->GetFieldAsInteger(pfafIndex));
        identifiers.emplace_back(feature->GetFID(), feature->GetFieldAsInteger(idIndex));
    }

    // GDAL's own connection: it knows the functions the spatial-index
    // triggers call.
    auto* db = static_cast<sqlite3*>(dataset->GetInternalHandle("SQLITE_HANDLE"));
    if (db == nullptr || dataset->StartTransaction() != OGRERR_NONE) {
        Fail("cannot start writing " + path.string());
    }
    std::string sql = std::string("UPDATE \"") + kLayerName + "\" SET \"" + kNextDownField + "\" = ?1 WHERE \"" +
                      layer.GetFIDColumn() + "\" = ?2";
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &prepared, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    }
    std::unique_ptr<sqlite3_stmt, StatementCloser> update(prepared);
    for (const auto& [fid, identifier] : identifiers) {
        sqlite3_bind_int(update.get(), 1, identifier);
        sqlite3_bind_int64(update.get(), 2, fid);
        if (sqlite3_step(update.get()) != SQLITE_DONE) {
            throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
        }
        sqlite3_reset(update.get());
    }
    update.reset();
    if (dataset->CommitTransaction() != OGRERR_NONE) {
        Fail("cannot commit " + path.string());
    }
}

std::vector<std::optional<int32_t>> ReadNextDownIds(const std::filesystem::path& path)
{
    GDALDatasetUniquePtr dataset = Open(path, false);
    OGRLayer& layer = LayerOf(*dataset);
    ReadOnly(layer, {kNextDownField});
    int index = layer.GetLayerDefn()->GetFieldIndex(kNextDownField);
    if (index < 0) {
        Fail("no NextDownID field in " + path.string());
    }
    std::vector<std::optional<int32_t>> values(static_cast<size_t>(layer.GetFeatureCount()));
    for (const OGRFeatureUniquePtr& feature : layer) {
        auto slot = static_cast<size_t>(feature->GetFID() - 1);
        if (slot < values.size() && feature->IsFieldSetAndNotNull(index)) {
            values[slot] = feature->GetFieldAsInteger(index);
        }
    }
    return values;
}

}  // namespace drennow::bench
