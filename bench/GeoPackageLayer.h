#pragma once

#include "RealisticBasins.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace drennow::bench {

inline constexpr const char* kLayerName = "Watershed";

// Writes the basins as the polygon layer "Watershed" (PfafstetterID,
// HydroID: integer fields of the basins' width) of a new GeoPackage, in one
// transaction; feature i gets fid i + 1.
template <typename Int>
void WriteBasinsGeoPackage(const std::filesystem::path& path, const std::vector<BasicBasin<Int>>& basins);

// The least any tool must do to fill NextDownID: add the field, read the two
// code fields of every feature (geometry ignored), then write NextDownID of
// every feature by one prepared UPDATE on GDAL's connection, in one
// transaction. What it writes is a stand-in: the feature's own HydroID. The
// two fields are read, and NextDownID is added and written, as integers of
// HydroID's width: 64 bits when HydroID is a 64-bit field, else 32.
void RunBaseline(const std::filesystem::path& path);

// NextDownID of every feature, in fid order (empty: null).
std::vector<std::optional<int64_t>> ReadNextDownIds(const std::filesystem::path& path);

}  // namespace drennow::bench
