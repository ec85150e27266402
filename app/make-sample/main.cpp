// drennow-make-sample: writes a small watershed GeoPackage to try Drennow on.
// The layer "Watershed" holds the complete Pfafstetter subdivision of a
// rectangular region down to a level (3 unless given), each basin a
// rectangle nested in its parent, plus closed basins coded with a trailing
// zero, a basin without a code and one coded 0. Every basin has a HydroID.
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Basin {
    std::optional<int> code;
    double west, south, east, north;
};

constexpr double kRegionWest = 10.0;
constexpr double kRegionSouth = 40.0;
constexpr double kRegionSize = 9.0;

// Each level splits its parent into nine strips, across then along, unit 1
// (the outlet) first.
void Subdivide(int code, int level, int lastLevel, double west, double south, double east, double north,
               std::vector<Basin>& basins)
{
    if (level > lastLevel) {
        basins.push_back({code, west, south, east, north});
        return;
    }
    for (int digit = 1; digit <= 9; ++digit) {
        int child = code * 10 + digit;
        if (level % 2 == 1) {
            double width = (east - west) / 9;
            Subdivide(child, level + 1, lastLevel, west + (digit - 1) * width, south, west + digit * width, north,
                      basins);
        } else {
            double height = (north - south) / 9;
            Subdivide(child, level + 1, lastLevel, west, south + (digit - 1) * height, east, south + digit * height,
                      basins);
        }
    }
}

// Small squares in a row south of the region.
void AddOutsiders(const std::vector<std::optional<int>>& codes, std::vector<Basin>& basins)
{
    double west = kRegionWest;
    for (const std::optional<int>& code : codes) {
        basins.push_back({code, west, kRegionSouth - 1.0, west + 0.5, kRegionSouth - 0.5});
        west += 1.0;
    }
}

bool Write(const std::string& path, const std::vector<Basin>& basins)
{
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (driver == nullptr) {
        return false;
    }
    GDALDatasetUniquePtr dataset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset) {
        return false;
    }
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRLayer* layer = dataset->CreateLayer("Watershed", &wgs84, wkbPolygon, nullptr);
    if (layer == nullptr) {
        return false;
    }
    OGRFieldDefn hydroId("HydroID", OFTInteger);
    OGRFieldDefn pfafstetterId("PfafstetterID", OFTInteger);
    if (layer->CreateField(&hydroId) != OGRERR_NONE || layer->CreateField(&pfafstetterId) != OGRERR_NONE) {
        return false;
    }
    dataset->StartTransaction();
    int hydroIdValue = 1000;
    for (const Basin& basin : basins) {
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetField("HydroID", ++hydroIdValue);
        if (basin.code) {
            feature.SetField("PfafstetterID", *basin.code);
        } else {
            feature.SetFieldNull(feature.GetFieldIndex("PfafstetterID"));
        }
        OGRLinearRing ring;
        ring.addPoint(basin.west, basin.south);
        ring.addPoint(basin.east, basin.south);
        ring.addPoint(basin.east, basin.north);
        ring.addPoint(basin.west, basin.north);
        ring.closeRings();
        OGRPolygon polygon;
        polygon.addRing(&ring);
        feature.SetGeometry(&polygon);
        if (layer->CreateFeature(&feature) != OGRERR_NONE) {
            return false;
        }
    }
    return dataset->CommitTransaction() == OGRERR_NONE;
}

constexpr const char* kUsage =
    "Usage: drennow-make-sample OUTPUT.gpkg [LEVEL]\n"
    "Writes a GeoPackage whose layer Watershed holds the complete Pfafstetter\n"
    "subdivision of a region down to LEVEL (1 to 6, 3 unless given), with\n"
    "closed basins, a basin without a code and one coded 0.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // An option would otherwise be taken for the name of the file to write.
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int level = argc == 3 ? std::atoi(argv[2]) : 3;
    if (level < 1 || level > 6) {
        std::fprintf(stderr, "drennow-make-sample: LEVEL is 1 to 6\n");
        return 2;
    }
    GDALAllRegister();
    std::vector<Basin> basins;
    Subdivide(0, 1, level, kRegionWest, kRegionSouth, kRegionWest + kRegionSize, kRegionSouth + kRegionSize, basins);
    // Closed basins carry a trailing zero one level down; whether they drain
    // depends on the trailing-zeros answer.
    AddOutsiders({std::stoi("4" + std::string(static_cast<size_t>(level - 1), '4') + "0"),
                  std::stoi("6" + std::string(static_cast<size_t>(level - 1), '6') + "0"),
                  std::stoi("8" + std::string(static_cast<size_t>(level - 1), '8') + "0"), std::nullopt, 0},
                 basins);
    if (!Write(argv[1], basins)) {
        std::fprintf(stderr, "drennow-make-sample: could not write %s: %s\n", argv[1], CPLGetLastErrorMsg());
        return 1;
    }
    return 0;
}
