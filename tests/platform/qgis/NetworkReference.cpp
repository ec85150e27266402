#include "NetworkReference.h"

#include "command/NextDownAssigner.h"
#include "platform/qgis/QgisData.h"

#include <algorithm>
#include <numeric>

namespace drennow::qgis::testing {

ReferenceNetwork ReferenceNetwork::FromCodes(const std::vector<QVariant>& codes, const command::RunOptions& options,
                                             bool allowTrailingZeros)
{
    std::vector<runtime::Variant> values;
    for (const QVariant& code : codes) {
        values.push_back(ToVariant(code));
    }
    std::vector<command::Assigned> assigned = command::AssignLayer(values, nullptr, options, allowTrailingZeros);
    ReferenceNetwork network;
    for (size_t i = 0; i < codes.size(); ++i) {
        long down = -1;
        if (!assigned[i].failure) {
            const qlonglong next = assigned[i].value.IsNull() ? 0 : static_cast<qlonglong>(
                                                                    runtime::ToDouble(assigned[i].value));
            for (size_t j = 0; j < codes.size() && down < 0; ++j) {
                if (!codes[j].isNull() && codes[j].toLongLong() == next) {
                    down = static_cast<long>(j);
                }
            }
        }
        network.down_.push_back(down);
    }
    return network;
}

ReferenceNetwork ReferenceNetwork::FromNextDown(const std::vector<QVariant>& ids, const std::vector<QVariant>& nextDown)
{
    ReferenceNetwork network;
    for (size_t i = 0; i < ids.size(); ++i) {
        long down = -1;
        if (!nextDown[i].isNull() && nextDown[i].toLongLong() != 0) {
            for (size_t j = 0; j < ids.size() && down < 0; ++j) {
                if (!ids[j].isNull() && ids[j].toLongLong() == nextDown[i].toLongLong()) {
                    down = static_cast<long>(j);
                }
            }
        }
        network.down_.push_back(down);
    }
    return network;
}

bool ReferenceNetwork::OnOrAboveCycle(size_t basin) const
{
    // A chain without a cycle ends within Size() steps.
    long at = static_cast<long>(basin);
    for (size_t step = 0; step <= Size(); ++step) {
        if (down_[static_cast<size_t>(at)] < 0) {
            return false;
        }
        at = down_[static_cast<size_t>(at)];
    }
    return true;
}

std::optional<size_t> ReferenceNetwork::Outlet(size_t basin) const
{
    if (OnOrAboveCycle(basin)) {
        return std::nullopt;
    }
    size_t at = basin;
    while (down_[at] >= 0) {
        at = static_cast<size_t>(down_[at]);
    }
    return at;
}

std::optional<long> ReferenceNetwork::Moves(size_t basin) const
{
    if (OnOrAboveCycle(basin)) {
        return std::nullopt;
    }
    long moves = 0;
    for (size_t at = basin; down_[at] >= 0; at = static_cast<size_t>(down_[at])) {
        ++moves;
    }
    return moves;
}

bool ReferenceNetwork::IsUpstream(size_t a, size_t b) const
{
    long at = static_cast<long>(a);
    for (size_t step = 0; step <= Size() && at >= 0; ++step) {
        if (static_cast<size_t>(at) == b) {
            return true;
        }
        at = down_[static_cast<size_t>(at)];
    }
    return false;
}

std::vector<size_t> ReferenceNetwork::UpstreamSet(size_t basin) const
{
    std::vector<size_t> set;
    for (size_t other = 0; other < Size(); ++other) {
        if (IsUpstream(other, basin)) {
            set.push_back(other);
        }
    }
    return set;
}

std::vector<double> ReferenceNetwork::PresentValues(size_t basin, const std::vector<std::optional<double>>& values) const
{
    std::vector<double> present;
    if (OnOrAboveCycle(basin)) {
        return present;
    }
    for (size_t other : UpstreamSet(basin)) {
        if (values[other]) {
            present.push_back(*values[other]);
        }
    }
    return present;
}

std::optional<double> ReferenceNetwork::Sum(size_t basin, const std::vector<std::optional<double>>& values) const
{
    std::vector<double> present = PresentValues(basin, values);
    if (present.empty()) {
        return std::nullopt;
    }
    return std::accumulate(present.begin(), present.end(), 0.0);
}

std::optional<double> ReferenceNetwork::Mean(size_t basin, const std::vector<std::optional<double>>& values) const
{
    std::vector<double> present = PresentValues(basin, values);
    if (present.empty()) {
        return std::nullopt;
    }
    return std::accumulate(present.begin(), present.end(), 0.0) / static_cast<double>(present.size());
}

std::optional<double> ReferenceNetwork::Min(size_t basin, const std::vector<std::optional<double>>& values) const
{
    std::vector<double> present = PresentValues(basin, values);
    if (present.empty()) {
        return std::nullopt;
    }
    return *std::min_element(present.begin(), present.end());
}

std::optional<double> ReferenceNetwork::Max(size_t basin, const std::vector<std::optional<double>>& values) const
{
    std::vector<double> present = PresentValues(basin, values);
    if (present.empty()) {
        return std::nullopt;
    }
    return *std::max_element(present.begin(), present.end());
}

std::optional<double> ReferenceNetwork::WeightedMean(size_t basin, const std::vector<std::optional<double>>& values,
                                                     const std::vector<std::optional<double>>& weights) const
{
    if (OnOrAboveCycle(basin)) {
        return std::nullopt;
    }
    double weighted = 0;
    double weight = 0;
    bool any = false;
    for (size_t other : UpstreamSet(basin)) {
        if (values[other] && weights[other]) {
            weighted += *values[other] * *weights[other];
            weight += *weights[other];
            any = true;
        }
    }
    if (!any || weight == 0) {
        return std::nullopt;
    }
    return weighted / weight;
}

std::optional<long> ReferenceNetwork::Count(size_t basin) const
{
    if (OnOrAboveCycle(basin)) {
        return std::nullopt;
    }
    return static_cast<long>(UpstreamSet(basin).size());
}

}  // namespace drennow::qgis::testing
