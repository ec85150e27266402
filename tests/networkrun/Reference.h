#pragma once
// What a network gives by definition, walked basin by basin: chains followed
// step by step, upstream sets as the basins whose chain passes through.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <vector>

namespace drennow::reference {

constexpr int64_t kNone = -1;

// downstream[i]: the basin i drains into, or kNone.
class WalkedNetwork {
public:
    explicit WalkedNetwork(std::vector<int64_t> downstream) : downstream_(std::move(downstream)) {}

    size_t Size() const { return downstream_.size(); }

    // The chain from the basin, itself first; nothing when it meets a basin twice.
    std::optional<std::vector<int64_t>> Chain(int64_t basin) const
    {
        std::vector<int64_t> chain;
        std::set<int64_t> seen;
        for (int64_t at = basin; at != kNone; at = downstream_[static_cast<size_t>(at)]) {
            if (!seen.insert(at).second) {
                return std::nullopt;
            }
            chain.push_back(at);
        }
        return chain;
    }

    // The basins met walking down from the basin, itself first, until one
    // is met again.
    std::vector<int64_t> WalkedFrom(int64_t basin) const
    {
        std::vector<int64_t> walked;
        std::set<int64_t> seen;
        for (int64_t at = basin; at != kNone && seen.insert(at).second; at = downstream_[static_cast<size_t>(at)]) {
            walked.push_back(at);
        }
        return walked;
    }

    bool OnOrAboveCycle(int64_t basin) const { return !Chain(basin).has_value(); }
    std::optional<int64_t> Outlet(int64_t basin) const
    {
        auto chain = Chain(basin);
        return chain ? std::optional<int64_t>(chain->back()) : std::nullopt;
    }
    std::optional<int64_t> Moves(int64_t basin) const
    {
        auto chain = Chain(basin);
        return chain ? std::optional<int64_t>(static_cast<int64_t>(chain->size()) - 1) : std::nullopt;
    }

    // The basins whose chain passes through the basin (it included).
    std::vector<int64_t> UpstreamSet(int64_t basin) const
    {
        std::vector<int64_t> set;
        if (OnOrAboveCycle(basin)) {
            return set;
        }
        for (size_t a = 0; a < Size(); ++a) {
            auto chain = Chain(static_cast<int64_t>(a));
            if (chain && std::find(chain->begin(), chain->end(), basin) != chain->end()) {
                set.push_back(static_cast<int64_t>(a));
            }
        }
        return set;
    }

    // Over the upstream set, nulls (NaN) left out; nothing for no value.
    std::optional<double> Sum(int64_t basin, const std::vector<double>& values) const
    {
        return Fold(basin, values, [](double a, double b) { return a + b; });
    }
    std::optional<double> Min(int64_t basin, const std::vector<double>& values) const
    {
        return Fold(basin, values, [](double a, double b) { return std::min(a, b); });
    }
    std::optional<double> Max(int64_t basin, const std::vector<double>& values) const
    {
        return Fold(basin, values, [](double a, double b) { return std::max(a, b); });
    }
    std::optional<double> Mean(int64_t basin, const std::vector<double>& values) const
    {
        return WeightedMean(basin, values, std::vector<double>(values.size(), 1.0));
    }
    std::optional<double> WeightedMean(int64_t basin, const std::vector<double>& values,
                                       const std::vector<double>& weights) const
    {
        double weighted = 0, total = 0;
        bool any = false;
        for (int64_t a : UpstreamSet(basin)) {
            double v = values[static_cast<size_t>(a)], w = weights[static_cast<size_t>(a)];
            if (!std::isnan(v) && !std::isnan(w)) {
                weighted += v * w;
                total += w;
                any = true;
            }
        }
        return any && total != 0 ? std::optional<double>(weighted / total) : std::nullopt;
    }

private:
    template <typename F>
    std::optional<double> Fold(int64_t basin, const std::vector<double>& values, F f) const
    {
        std::optional<double> result;
        for (int64_t a : UpstreamSet(basin)) {
            double v = values[static_cast<size_t>(a)];
            if (!std::isnan(v)) {
                result = result ? f(*result, v) : v;
            }
        }
        return result;
    }

    std::vector<int64_t> downstream_;
};

}  // namespace drennow::reference
