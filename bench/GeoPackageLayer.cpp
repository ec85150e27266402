#include "GeoPackageLayer.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

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

// GDAL's integers of a width: the field type and the type of its values.
template <typename Int>
constexpr OGRFieldType kFieldType = sizeof(Int) == sizeof(GIntBig) ? OFTInteger64 : OFTInteger;
template <typename Int>
using OgrInt = std::conditional_t<sizeof(Int) == sizeof(GIntBig), GIntBig, int>;

template <typename Int>
Int IntegerOf(const OGRFeature& feature, int field)
{
    if constexpr (kFieldType<Int> == OFTInteger64) {
        return feature.GetFieldAsInteger64(field);
    } else {
        return feature.GetFieldAsInteger(field);
    }
}

// Reads PfafstetterID and HydroID of every feature: the codes are held, as
// any tool needs them for its search, and each feature's id with its
// identifier is returned.
template <typename Int>
std::vector<std::pair<int64_t, Int>> ReadCodesAndIds(OGRLayer& layer, std::vector<Int>& codes)
{
    ReadOnly(layer, {"PfafstetterID", "HydroID"});
    int pfafIndex = layer.GetLayerDefn()->GetFieldIndex("PfafstetterID");
    int idIndex = layer.GetLayerDefn()->GetFieldIndex("HydroID");
    std::vector<std::pair<int64_t, Int>> identifiers;
    for (const OGRFeatureUniquePtr& feature : layer) {
        codes.push_back(IntegerOf<Int>(*feature, pfafIndex));
        identifiers.emplace_back(feature->GetFID(), IntegerOf<Int>(*feature, idIndex));
    }
    return identifiers;
}

// Writes each feature's identifier into its NextDownID by one prepared
// UPDATE on GDAL's connection (it knows the functions the spatial-index
// triggers call), in one transaction.
template <typename Int>
void WriteIdentifiers(const std::filesystem::path& path, GDALDataset& dataset, OGRLayer& layer,
                      const std::vector<std::pair<int64_t, Int>>& identifiers)
{
    auto* db = static_cast<sqlite3*>(dataset.GetInternalHandle("SQLITE_HANDLE"));
    if (db == nullptr || dataset.StartTransaction() != OGRERR_NONE) {
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
        sqlite3_bind_int64(update.get(), 1, identifier);
        sqlite3_bind_int64(update.get(), 2, fid);
        if (sqlite3_step(update.get()) != SQLITE_DONE) {
            throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
        }
        sqlite3_reset(update.get());
    }
    update.reset();
    if (dataset.CommitTransaction() != OGRERR_NONE) {
        Fail("cannot commit " + path.string());
    }
}

// A statement prepared on GDAL's connection to the dataset (it knows the
// functions the spatial-index triggers call).
std::unique_ptr<sqlite3_stmt, StatementCloser> Prepare(GDALDataset& dataset, const std::string& sql)
{
    auto* db = static_cast<sqlite3*>(dataset.GetInternalHandle("SQLITE_HANDLE"));
    sqlite3_stmt* prepared = nullptr;
    if (db == nullptr || sqlite3_prepare_v2(db, sql.c_str(), -1, &prepared, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sql + ": " + (db ? sqlite3_errmsg(db) : "no SQLite connection"));
    }
    return std::unique_ptr<sqlite3_stmt, StatementCloser>(prepared);
}

void Step(sqlite3_stmt& statement)
{
    if (sqlite3_step(&statement) != SQLITE_DONE) {
        throw std::runtime_error(std::string(sqlite3_sql(&statement)) + ": " +
                                 sqlite3_errmsg(sqlite3_db_handle(&statement)));
    }
    sqlite3_reset(&statement);
}

// What the network baseline reads of a feature.
struct CodeAndArea {
    int64_t fid;
    int64_t code;
    double area;
};

std::vector<CodeAndArea> ReadCodesAndAreas(OGRLayer& layer)
{
    ReadOnly(layer, {"PfafstetterID", "SUB_AREA"});
    int pfafIndex = layer.GetLayerDefn()->GetFieldIndex("PfafstetterID");
    int areaIndex = layer.GetLayerDefn()->GetFieldIndex("SUB_AREA");
    if (pfafIndex < 0 || areaIndex < 0) {
        Fail("no PfafstetterID or SUB_AREA");
    }
    std::vector<CodeAndArea> read;
    for (const OGRFeatureUniquePtr& feature : layer) {
        read.push_back({feature->GetFID(), feature->GetFieldAsInteger64(pfafIndex), feature->GetFieldAsDouble(areaIndex)});
    }
    return read;
}

// The baseline with integers of one width.
template <typename Int>
void RunBaselineOf(const std::filesystem::path& path, GDALDataset& dataset, OGRLayer& layer)
{
    OGRFieldDefn nextDown(kNextDownField, kFieldType<Int>);
    if (layer.CreateField(&nextDown) != OGRERR_NONE) {
        Fail("cannot add NextDownID");
    }
    std::vector<Int> codes;
    WriteIdentifiers(path, dataset, layer, ReadCodesAndIds(layer, codes));
}

}  // namespace

template <typename Int>
void WriteBasinsGeoPackage(const std::filesystem::path& path, const std::vector<BasicBasin<Int>>& basins,
                           const std::vector<double>& subAreas)
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
    OGRFieldDefn hydroId("HydroID", kFieldType<Int>);
    OGRFieldDefn pfafCode("PfafstetterID", kFieldType<Int>);
    OGRFieldDefn subArea("SUB_AREA", OFTReal);
    if (layer == nullptr || layer->CreateField(&hydroId) != OGRERR_NONE ||
        layer->CreateField(&pfafCode) != OGRERR_NONE ||
        (!subAreas.empty() && layer->CreateField(&subArea) != OGRERR_NONE)) {
        Fail("cannot create the layer");
    }
    dataset->StartTransaction();
    OGRFeature feature(layer->GetLayerDefn());
    for (size_t i = 0; i < basins.size(); ++i) {
        feature.SetFID(OGRNullFID);
        feature.SetField(0, static_cast<OgrInt<Int>>(basins[i].hydroId));
        if (basins[i].pfafCode) {
            feature.SetField(1, static_cast<OgrInt<Int>>(*basins[i].pfafCode));
        } else {
            feature.SetFieldNull(1);
        }
        if (!subAreas.empty()) {
            feature.SetField(2, subAreas.at(i));
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

template void WriteBasinsGeoPackage(const std::filesystem::path&, const std::vector<Basin>&,
                                    const std::vector<double>&);
template void WriteBasinsGeoPackage(const std::filesystem::path&, const std::vector<WideBasin>&,
                                    const std::vector<double>&);

void RunBaseline(const std::filesystem::path& path)
{
    GDALDatasetUniquePtr dataset = Open(path, true);
    OGRLayer& layer = LayerOf(*dataset);
    OGRFeatureDefn* definition = layer.GetLayerDefn();
    int idIndex = definition->GetFieldIndex("HydroID");
    if (idIndex >= 0 && definition->GetFieldDefn(idIndex)->GetType() == OFTInteger64) {
        RunBaselineOf<int64_t>(path, *dataset, layer);
    } else {
        RunBaselineOf<int32_t>(path, *dataset, layer);
    }
}

void RunNetworkBaseline(const std::filesystem::path& path, bool statementPerField)
{
    GDALDatasetUniquePtr dataset = Open(path, true);
    OGRLayer& layer = LayerOf(*dataset);
    const char* const fields[] = {"UP_AREA", "MAIN", "SORT"};
    for (auto [name, type] : {std::pair{fields[0], OFTReal}, {fields[1], OFTInteger}, {fields[2], OFTInteger}}) {
        OGRFieldDefn field(name, type);
        if (layer.CreateField(&field) != OGRERR_NONE) {
            Fail(std::string("cannot add ") + name);
        }
    }
    std::vector<CodeAndArea> read = ReadCodesAndAreas(layer);
    if (dataset->StartTransaction() != OGRERR_NONE) {
        Fail("cannot start writing " + path.string());
    }
    std::string where = std::string(" WHERE \"") + layer.GetFIDColumn() + "\" = ?4";
    std::string table = std::string("UPDATE \"") + kLayerName + "\" SET ";
    std::vector<std::unique_ptr<sqlite3_stmt, StatementCloser>> updates;
    if (statementPerField) {
        for (int i = 0; i < 3; ++i) {
            updates.push_back(Prepare(*dataset, table + "\"" + fields[i] + "\" = ?" + std::to_string(i + 1) + where));
        }
    } else {
        updates.push_back(Prepare(*dataset, table + "\"UP_AREA\" = ?1, \"MAIN\" = ?2, \"SORT\" = ?3" + where));
    }
    for (size_t i = 0; i < read.size(); ++i) {
        for (auto& update : updates) {
            // A statement binds the parameters it has.
            sqlite3_bind_double(update.get(), sqlite3_bind_parameter_index(update.get(), "?1"), read[i].area);
            sqlite3_bind_int64(update.get(), sqlite3_bind_parameter_index(update.get(), "?2"), read[i].code);
            sqlite3_bind_int64(update.get(), sqlite3_bind_parameter_index(update.get(), "?3"), static_cast<int64_t>(i));
            sqlite3_bind_int64(update.get(), sqlite3_bind_parameter_index(update.get(), "?4"), read[i].fid);
            Step(*update);
        }
    }
    updates.clear();
    if (dataset->CommitTransaction() != OGRERR_NONE) {
        Fail("cannot commit " + path.string());
    }
}

NetworkFields ReadNetworkFields(const std::filesystem::path& path)
{
    GDALDatasetUniquePtr dataset = Open(path, false);
    OGRLayer& layer = LayerOf(*dataset);
    ReadOnly(layer, {"UP_AREA", "MAIN", "SORT"});
    OGRFeatureDefn* definition = layer.GetLayerDefn();
    int up = definition->GetFieldIndex("UP_AREA"), outlet = definition->GetFieldIndex("MAIN"),
        rank = definition->GetFieldIndex("SORT");
    if (up < 0 || outlet < 0 || rank < 0) {
        Fail("no UP_AREA, MAIN or SORT in " + path.string());
    }
    auto n = static_cast<size_t>(layer.GetFeatureCount());
    NetworkFields fields{std::vector<std::optional<double>>(n), std::vector<std::optional<int64_t>>(n),
                         std::vector<std::optional<int64_t>>(n)};
    for (const OGRFeatureUniquePtr& feature : layer) {
        auto slot = static_cast<size_t>(feature->GetFID() - 1);
        if (slot >= n) {
            continue;
        }
        if (feature->IsFieldSetAndNotNull(up)) {
            fields.upArea[slot] = feature->GetFieldAsDouble(up);
        }
        if (feature->IsFieldSetAndNotNull(outlet)) {
            fields.outlet[slot] = feature->GetFieldAsInteger64(outlet);
        }
        if (feature->IsFieldSetAndNotNull(rank)) {
            fields.rank[slot] = feature->GetFieldAsInteger64(rank);
        }
    }
    return fields;
}

std::vector<std::optional<int64_t>> ReadNextDownIds(const std::filesystem::path& path)
{
    GDALDatasetUniquePtr dataset = Open(path, false);
    OGRLayer& layer = LayerOf(*dataset);
    ReadOnly(layer, {kNextDownField});
    int index = layer.GetLayerDefn()->GetFieldIndex(kNextDownField);
    if (index < 0) {
        Fail("no NextDownID field in " + path.string());
    }
    std::vector<std::optional<int64_t>> values(static_cast<size_t>(layer.GetFeatureCount()));
    for (const OGRFeatureUniquePtr& feature : layer) {
        auto slot = static_cast<size_t>(feature->GetFID() - 1);
        if (slot < values.size() && feature->IsFieldSetAndNotNull(index)) {
            values[slot] = feature->GetFieldAsInteger64(index);
        }
    }
    return values;
}

}  // namespace drennow::bench
