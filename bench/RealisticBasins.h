#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace drennow::bench {

// A feature's code and identifier, 32- or 64-bit integers.
template <typename Int>
struct BasicBasin {
    std::optional<Int> pfafCode;  // empty: the field is null
    Int hydroId;
};
using Basin = BasicBasin<int32_t>;
using WideBasin = BasicBasin<int64_t>;

// A layer of `count` basins shaped like a national catchment set: complete
// Pfafstetter subdivisions of regions 1, 2, ... to one level, with the odd
// unit left undivided (padded with trailing zeros), closed basins (a 0 digit,
// subdivided further), and a few nulls, zeros and duplicated codes. Features
// come in random order; identifiers are unique. The same seed gives the same
// layer.
std::vector<Basin> MakeRealisticBasins(size_t count, uint64_t seed = 1);

// `count` features of a world-wide layer at level 12, as a 0 digit writes a
// unit that stays whole at a level: every unit subdivided to level 5, finer
// levels for some units only. A few features have no code, zeros and
// duplicated codes are among them, and they come in random order.
// Identifiers are unique, of ten digits, past the 32-bit range.
std::vector<WideBasin> MakeTwelveDigitBasins(size_t count, uint64_t seed = 1);

// The codes of those features that have one, in feature order.
std::vector<int64_t> MakeTwelveDigitCodes(size_t count, uint64_t seed = 1);

// Codes of the layer with a value, in feature order.
template <typename Int>
std::vector<Int> CodesOf(const std::vector<BasicBasin<Int>>& basins)
{
    std::vector<Int> codes;
    codes.reserve(basins.size());
    for (const BasicBasin<Int>& basin : basins) {
        if (basin.pfafCode) {
            codes.push_back(*basin.pfafCode);
        }
    }
    return codes;
}

}  // namespace drennow::bench
