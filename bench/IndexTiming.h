#pragma once

#include "RealisticBasins.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

namespace drennow::bench {

// Times sorting the layer's codes (as plain integers and by SortArray),
// building the next-down index and looking up every basin, against the plain
// scan on a sample of basins extrapolated to the layer. Prints one figure a
// line; false when the two sorts, or the index and the scan on a sampled
// basin, disagree.
bool TimeIndexAgainstScan(const std::vector<Basin>& basins, size_t scanSample, std::ostream& out);

// The same for 64-bit codes, in the unsubdivided reading and in the
// closed-basin reading with trailing zeros allowed; the codes are sorted as
// plain integers only.
bool TimeWideIndexAgainstScan(const std::vector<int64_t>& codes, size_t scanSample, std::ostream& out);

}  // namespace drennow::bench
