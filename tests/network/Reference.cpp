#include "Reference.h"

#include <cmath>
#include <limits>

namespace drennow::network::testing {

Reference::Reference(std::vector<Position> downstream) : downstream_(std::move(downstream))
{
    const auto n = static_cast<int64_t>(downstream_.size());
    for (Position start = 0; start < n; ++start) {
        Position basin = start;
        int64_t moves = 0;
        // More moves than basins means a basin was met twice: a cycle.
        while (downstream_[static_cast<size_t>(basin)] != kNoBasin && moves <= n) {
            basin = downstream_[static_cast<size_t>(basin)];
            ++moves;
        }
        walks_.push_back(moves <= n ? std::optional<Walk>(Walk{basin, moves}) : std::nullopt);
    }
}

Position Reference::Outlet(Position basin) const
{
    return ReachesOutlet(basin) ? walks_[static_cast<size_t>(basin)]->outlet : kNoBasin;
}

int64_t Reference::Moves(Position basin) const
{
    return ReachesOutlet(basin) ? walks_[static_cast<size_t>(basin)]->moves : -1;
}

bool Reference::IsUpstream(Position a, Position b) const
{
    if (a == b) {
        return true;
    }
    if (!ReachesOutlet(a) || !ReachesOutlet(b)) {
        return false;
    }
    for (Position basin = a; basin != kNoBasin; basin = downstream_[static_cast<size_t>(basin)]) {
        if (basin == b) {
            return true;
        }
    }
    return false;
}

double Reference::Accumulate(const std::vector<double>& values, Accumulation how, const std::vector<double>& weights,
                             Position b) const
{
    const double null = std::numeric_limits<double>::quiet_NaN();
    if (!ReachesOutlet(b)) {
        return null;
    }
    double sum = 0;
    double weightSum = 0;
    double count = 0;
    double min = std::numeric_limits<double>::infinity();
    double max = -min;
    for (Position a = 0; a < static_cast<Position>(values.size()); ++a) {
        double v = values[static_cast<size_t>(a)];
        if (!IsUpstream(a, b) || std::isnan(v)) {
            continue;
        }
        if (how == Accumulation::WeightedMean) {
            double w = weights[static_cast<size_t>(a)];
            if (std::isnan(w)) {
                continue;
            }
            sum += v * w;
            weightSum += w;
        } else {
            sum += v;
        }
        ++count;
        min = std::min(min, v);
        max = std::max(max, v);
    }
    switch (how) {
    case Accumulation::Count:
        return count;
    case Accumulation::Sum:
        return count > 0 ? sum : null;
    case Accumulation::Mean:
        return count > 0 ? sum / count : null;
    case Accumulation::Min:
        return count > 0 ? min : null;
    case Accumulation::Max:
        return count > 0 ? max : null;
    case Accumulation::WeightedMean:
        return weightSum != 0 ? sum / weightSum : null;
    }
    return null;
}

}  // namespace drennow::network::testing
