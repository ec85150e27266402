#pragma once
// The network's answers by definition, for the tests: chains walked one by
// one, upstream sets as the basins whose walk down meets a basin.

#include "network/Network.h"

#include <optional>
#include <vector>

namespace drennow::network::testing {

class Reference {
public:
    explicit Reference(std::vector<Position> downstream);

    // The walk down from the basin ends at an outlet (no cycle on the way).
    bool ReachesOutlet(Position basin) const { return walks_[static_cast<size_t>(basin)].has_value(); }
    Position Outlet(Position basin) const;
    int64_t Moves(Position basin) const;
    // Walking down from a meets b (a is b included).
    bool IsUpstream(Position a, Position b) const;
    // Over b's upstream set, by definition; NaN for no value (Count: 0), NaN
    // when b does not reach an outlet.
    double Accumulate(const std::vector<double>& values, Accumulation how, const std::vector<double>& weights,
                      Position b) const;

private:
    struct Walk {
        Position outlet;
        int64_t moves;
    };
    std::vector<Position> downstream_;
    std::vector<std::optional<Walk>> walks_;
};

}  // namespace drennow::network::testing
