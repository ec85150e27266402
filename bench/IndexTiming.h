#pragma once

#include "RealisticBasins.h"

#include <cstddef>
#include <ostream>
#include <vector>

namespace drennow::bench {

// Times sorting the layer's codes (as plain integers and by SortArray),
// building the next-down index and looking up every basin, against the plain
// scan on a sample of basins extrapolated to the layer. Prints one figure a
// line; false when the two sorts, or the index and the scan on a sampled
// basin, disagree.
bool TimeIndexAgainstScan(const std::vector<Basin>& basins, size_t scanSample, std::ostream& out);

}  // namespace drennow::bench
