#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace drennow::bench {

struct Basin {
    std::optional<int32_t> pfafCode;  // empty: the field is null
    int32_t hydroId;
};

// A layer of `count` basins shaped like a national catchment set: complete
// Pfafstetter subdivisions of regions 1, 2, ... to one level, with the odd
// unit left undivided (padded with trailing zeros), closed basins (a 0 digit,
// subdivided further), and a few nulls, zeros and duplicated codes. Features
// come in random order; identifiers are unique. The same seed gives the same
// layer.
std::vector<Basin> MakeRealisticBasins(size_t count, uint64_t seed = 1);

// The codes of `count` features of a world-wide layer at level 12, as a
// 0 digit writes a unit that stays whole at a level: every unit subdivided to
// level 5, finer levels for some units only. A few features have no code,
// zeros and duplicated codes are among them, and they come in random order.
std::vector<int64_t> MakeTwelveDigitCodes(size_t count, uint64_t seed = 1);

// Codes of the layer with a value, in feature order.
std::vector<int32_t> CodesOf(const std::vector<Basin>& basins);

}  // namespace drennow::bench
