#pragma once
// What a network run is asked for: the layer, how its network is built, the
// fields it writes, or the basins it lists upstream or downstream of some.

#include "command/RunOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace drennow::networkrun {

// What an output field receives for each basin.
enum class Measure { Sum, Mean, Min, Max, WeightedMean, Count, Outlet, Moves, Rank };

// The options of the command line that name a field, as its texts name them.
namespace options {
inline constexpr const char* kLayer = "--layer";
inline constexpr const char* kPfafField = "--pfaf-field";
inline constexpr const char* kNextDownField = "--next-down-field";
inline constexpr const char* kIdField = "--id-field";
inline constexpr const char* kSum = "--sum";
inline constexpr const char* kMean = "--mean";
inline constexpr const char* kMin = "--min";
inline constexpr const char* kMax = "--max";
inline constexpr const char* kWeightedMean = "--weighted-mean";
inline constexpr const char* kCount = "--count";
inline constexpr const char* kOutlet = "--outlet";
inline constexpr const char* kMoves = "--moves";
inline constexpr const char* kRank = "--rank";
inline constexpr const char* kUpstreamOf = "--upstream-of";
inline constexpr const char* kDownstreamOf = "--downstream-of";
}  // namespace options

// The option that asks for a measure.
const char* OptionOf(Measure measure);

struct OutputField {
    Measure measure = Measure::Count;
    std::string dest;    // the field written
    std::string source;  // the values accumulated (Sum to WeightedMean)
    std::string weight;  // the weights (WeightedMean)
};

// The basins upstream of some (or on the way down from them), the given ones
// included.
enum class Direction { Upstream, Downstream };
struct Query {
    Direction direction = Direction::Upstream;
    std::vector<int64_t> fids;
    const char* Option() const { return direction == Direction::Upstream ? options::kUpstreamOf : options::kDownstreamOf; }
};

struct NetworkRequest {
    std::optional<std::string> layer;  // the only feature layer of the map when absent
    // The network from Pfafstetter codes...
    std::optional<std::string> pfafField;
    bool allowTrailingZeros = false;
    command::RunOptions options;  // int64 and zerosUnsubdivided
    // ... or from a topology field and identifiers (which also name outlets
    // with codes).
    std::optional<std::string> nextDownField;
    std::optional<std::string> idField;
    std::vector<OutputField> outputs;
    std::optional<Query> query;  // asked instead of outputs
};

}  // namespace drennow::networkrun
