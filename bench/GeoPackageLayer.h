#pragma once

#include "NetworkCase.h"
#include "RealisticBasins.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace drennow::bench {

inline constexpr const char* kLayerName = "Watershed";

// Writes the basins as the polygon layer "Watershed" (PfafstetterID,
// HydroID: integer fields of the basins' width; SUB_AREA, a real field, when
// areas are given) of a new GeoPackage, in one transaction; feature i gets
// fid i + 1.
template <typename Int>
void WriteBasinsGeoPackage(const std::filesystem::path& path, const std::vector<BasicBasin<Int>>& basins,
                           const std::vector<double>& subAreas = {});

// The least any tool must do to fill NextDownID: add the field, read the two
// code fields of every feature (geometry ignored), then write NextDownID of
// every feature by one prepared UPDATE on GDAL's connection, in one
// transaction. What it writes is a stand-in: the feature's own HydroID. The
// two fields are read, and NextDownID is added and written, as integers of
// HydroID's width: 64 bits when HydroID is a 64-bit field, else 32.
void RunBaseline(const std::filesystem::path& path);

// The least any tool must do to write the network case's fields: add
// UP_AREA (real), MAIN and SORT (integers), read PfafstetterID and SUB_AREA
// of every feature (geometry ignored), then write the three fields of every
// feature by one prepared UPDATE on GDAL's connection, in one transaction.
// What it writes is a stand-in: SUB_AREA, the code and the feature's place.
// With statementPerField, each field of a feature is written by an UPDATE of
// its own, as a writer of one column at a time does.
void RunNetworkBaseline(const std::filesystem::path& path, bool statementPerField = false);

// The network case's fields of every feature, in fid order.
NetworkFields ReadNetworkFields(const std::filesystem::path& path);

// NextDownID of every feature, in fid order (empty: null).
std::vector<std::optional<int64_t>> ReadNextDownIds(const std::filesystem::path& path);

}  // namespace drennow::bench
