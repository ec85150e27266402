#pragma once

#include "RealisticBasins.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace drennow::bench {

inline constexpr const char* kLayerName = "Watershed";

// Writes the basins as the polygon layer "Watershed" (PfafstetterID,
// HydroID) of a new GeoPackage, in one transaction; feature i gets fid i + 1.
void WriteBasinsGeoPackage(const std::filesystem::path& path, const std::vector<Basin>& basins);

// The least any tool must do to fill NextDownID: add the field, read the two
// code fields of every feature (geometry ignored), then write NextDownID of
// every feature by one prepared UPDATE on GDAL's connection, in one
// transaction. What it writes is a stand-in: the feature's own HydroID.
void RunBaseline(const std::filesystem::path& path);

// NextDownID of every feature, in fid order (empty: null).
std::vector<std::optional<int32_t>> ReadNextDownIds(const std::filesystem::path& path);

}  // namespace drennow::bench
