#pragma once
// A network of basins walked by definition, for the Processing algorithms'
// tests: each basin's downstream basin found by a search over all of them,
// chains walked one step at a time, upstream sets and sums by definition.

#include "command/RunOptions.h"

#include <QVariant>

#include <cstdint>
#include <optional>
#include <vector>

namespace drennow::qgis::testing {

class ReferenceNetwork {
public:
    // Basin i drains into the first basin whose code is the next-down code
    // the command's pass writes for basin i (none where it writes a failure).
    static ReferenceNetwork FromCodes(const std::vector<QVariant>& codes, const command::RunOptions& options,
                                      bool allowTrailingZeros);
    // Basin i drains into the first basin whose identifier is its next-down
    // value; null and 0 end the chain.
    static ReferenceNetwork FromNextDown(const std::vector<QVariant>& ids, const std::vector<QVariant>& nextDown);

    size_t Size() const { return down_.size(); }
    // Where basin i drains; -1 at the end of its chain.
    long Down(size_t basin) const { return down_[basin]; }
    // The chain from the basin comes back to a basin it met.
    bool OnOrAboveCycle(size_t basin) const;
    // The chain's last basin; nothing on or above a cycle.
    std::optional<size_t> Outlet(size_t basin) const;
    std::optional<long> Moves(size_t basin) const;
    // Basin a's chain meets basin b (a == b included).
    bool IsUpstream(size_t a, size_t b) const;
    // Over the upstream set of the basin: the non-null values' sum, mean,
    // least, greatest; sum(v * w) / sum(w) where both are present; the count
    // of basins. Nothing for a set without a value, and on or above a cycle.
    std::optional<double> Sum(size_t basin, const std::vector<std::optional<double>>& values) const;
    std::optional<double> Mean(size_t basin, const std::vector<std::optional<double>>& values) const;
    std::optional<double> Min(size_t basin, const std::vector<std::optional<double>>& values) const;
    std::optional<double> Max(size_t basin, const std::vector<std::optional<double>>& values) const;
    std::optional<double> WeightedMean(size_t basin, const std::vector<std::optional<double>>& values,
                                       const std::vector<std::optional<double>>& weights) const;
    std::optional<long> Count(size_t basin) const;

private:
    std::vector<size_t> UpstreamSet(size_t basin) const;
    std::vector<double> PresentValues(size_t basin, const std::vector<std::optional<double>>& values) const;

    std::vector<long> down_;
};

}  // namespace drennow::qgis::testing
