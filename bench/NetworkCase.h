#pragma once
// The network case of the end-to-end benchmark: the areas of the basins, and
// what `drennow network --sum SUB_AREA=UP_AREA --outlet MAIN --rank SORT`
// must write, worked out by walking each basin's chain down.

#include "RealisticBasins.h"

#include "pfaf/DigitRules.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace drennow::bench {

// A positive SUB_AREA for each of `count` basins; the same seed gives the
// same areas.
std::vector<double> MakeSubAreas(size_t count, uint64_t seed = 7);

// The fields the network case writes, by feature in fid order.
struct NetworkFields {
    std::vector<std::optional<double>> upArea;
    std::vector<std::optional<int64_t>> outlet;
    std::vector<std::optional<int64_t>> rank;
};

// Where each basin drains under the rules: the position of the first basin
// with its next-down code, or -1 where its chain ends.
std::vector<int64_t> DownstreamPositions(const std::vector<Basin>& basins, const modPfafTools::DigitRules& rules);

// How many features hold what the run must write: the sum of SUB_AREA over
// the basins whose chain passes through them (within 1e-9 of it), the code of
// the last basin of their chain, and a rank that no other feature holds and
// that comes after the rank of the basin they drain into. The sums are
// gathered basin by basin downstream, headwaters first.
size_t CountNetworkMatches(const std::vector<Basin>& basins, const std::vector<double>& areas,
                           const std::vector<int64_t>& downstream, const NetworkFields& written);

}  // namespace drennow::bench
