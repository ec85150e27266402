#pragma once

#include <ogr_core.h>
#include <ogr_feature.h>

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Real datasets for the tests of the GDAL host and the command line: a
// "Watershed" polygon layer in each format, and what a layer holds.
namespace drennow::gdaltest {

enum class Format { GeoPackage, Shapefile, Sqlite, Postgres };

std::string FormatName(Format format);

// The name the Pfafstetter field gets: a Shapefile keeps ten characters.
std::string PfafFieldName(Format format);

struct Basin {
    std::optional<int64_t> pfafstetterId;
    std::optional<int64_t> hydroId;
    std::optional<int64_t> nextDownId;  // written only when the layer has the field
};

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The connection to the test server, from DRENNOW_TEST_PG; empty when the
// tests run without one.
std::string PostgresConnection();

// Creates the layer "Watershed" (or the name given) of square polygons with
// HydroID, PfafstetterID, a text and a real attribute, and NextDownID when
// wanted; feature ids count from 1 (from 0 in a Shapefile) in basin order.
// For PostgreSQL the table name is made unique and the folder is unused.
// Returns the dataset's name to open it by.
std::string CreateWatersheds(Format format, const TempFolder& folder, const std::vector<Basin>& basins,
                             bool withNextDownId, const std::string& layerName = "Watershed");

// The same with 64-bit integer fields (HydroID, PfafstetterID, NextDownID).
std::string CreateWideWatersheds(Format format, const TempFolder& folder, const std::vector<Basin>& basins,
                                 bool withNextDownId);

// Gives the feature a unit square, the position-th of rows of perRow.
void SetSquare(OGRFeature& feature, size_t position, size_t perRow);

// The type of a field of the layer.
OGRFieldType FieldType(const std::string& dataset, const std::string& layer, const std::string& field);

// Creates basins.gdb in the folder, an OpenFileGDB dataset with a "Watershed"
// polygon layer of features without geometry holding these Pfafstetter codes.
// Returns the dataset's name.
std::string CreateFileGdbWatersheds(const TempFolder& folder, const std::vector<int>& codes);

// The name PostgreSQL tables of this process get: unique per call.
std::string LastPostgresTable();

// A feature: its id, its attribute values as text ("<null>" for null) and
// its geometry as WKB in hex.
struct FeatureSnapshot {
    int64_t fid;
    std::map<std::string, std::string> fields;
    std::string geometry;
    bool operator==(const FeatureSnapshot&) const = default;
};

// For test failures: the feature in a line.
void PrintTo(const FeatureSnapshot& feature, std::ostream* out);

// Everything the layer holds, in feature id order; fields named exceptField
// (in any letter case) are left out.
std::vector<FeatureSnapshot> Snapshot(const std::string& dataset, const std::string& layer,
                                      const std::string& exceptField = "");

// The values of one field by feature id (field name in any case); nothing
// for nulls. Fails the test when the field is missing.
std::map<int64_t, std::optional<int64_t>> FieldValues(const std::string& dataset, const std::string& layer,
                                                      const std::string& field);

bool HasField(const std::string& dataset, const std::string& layer, const std::string& field);

// Flags the records of those features of the Shapefile as deleted, as GDAL
// deletes features, and leaves them in its table (no repack).
void DeleteRecords(const std::string& dataset, const std::vector<int64_t>& fids);

// Every record of the dBASE table as stored, its deletion flag first.
std::vector<std::string> DbfRecords(const std::string& table);

// The bytes of a file.
std::string ReadFile(const std::string& path);

// The names of the files in the folder that begin with the prefix, sorted.
std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix);

}  // namespace drennow::gdaltest
