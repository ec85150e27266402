#include "network/Network.h"

#include "runtime/Prefetch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace drennow::network {

namespace {

constexpr double kNull = std::numeric_limits<double>::quiet_NaN();

// Nulls left out: a sum of none is null.
double SumOf(double a, double b)
{
    return std::isnan(a) ? b : (std::isnan(b) ? a : a + b);
}

double Present(double value)
{
    return std::isnan(value) ? 0.0 : 1.0;
}

}  // namespace

std::string NoBasinAt(Position basin)
{
    return "position " + std::to_string(basin) + " is no basin's";
}

Network::Network(const std::vector<Position>& downstream, const runtime::Checkpoint& checkpoint)
    : Network(
          [&downstream] {
              CheckCount(downstream.size());
              std::vector<Link> links;
              links.reserve(downstream.size());
              for (Position next : downstream) {
                  if (next < kNoBasin || next >= static_cast<Position>(downstream.size())) {
                      throw std::invalid_argument("downstream " + NoBasinAt(next));
                  }
                  links.push_back(static_cast<Link>(next));
              }
              return links;
          }(),
          checkpoint)
{
}

void Network::CheckCount(size_t count)
{
    if (count > kMaxBasins) {
        throw std::length_error("a network holds at most " + std::to_string(kMaxBasins) + " basins");
    }
}

Network::Network(std::vector<Link> downstream, const runtime::Checkpoint& checkpoint)
    : downstream_(std::move(downstream))
{
    CheckCount(downstream_.size());
    NumberDepthFirst(checkpoint);
    LabelByPosition(checkpoint);
    CountCycles();
}

Network::Children Network::UpstreamNeighbours(const runtime::Checkpoint& checkpoint) const
{
    // A counting sort of the basins by the basin they drain into.
    const size_t n = downstream_.size();
    Children up{std::vector<Link>(n + 1, 0), {}};
    for (Link next : downstream_) {
        if (next != kNone) {
            ++up.start[static_cast<size_t>(next) + 1];
        }
    }
    for (size_t d = 0; d < n; ++d) {
        up.start[d + 1] += up.start[d];
    }
    up.children.resize(static_cast<size_t>(up.start[n]));
    std::vector<Link> filled(up.start.begin(), up.start.end() - 1);
    for (size_t i = 0; i < n; ++i) {
        checkpoint.Pass();
        if (Link next = downstream_[i]; next != kNone) {
            up.children[static_cast<size_t>(filled[static_cast<size_t>(next)]++)] = static_cast<Link>(i);
        }
    }
    return up;
}

void Network::NumberDepthFirst(const runtime::Checkpoint& checkpoint)
{
    const size_t n = downstream_.size();
    const Children up = UpstreamNeighbours(checkpoint);
    // Pre-order from each outlet in read order; a basin that no outlet
    // reaches is on or upstream of a cycle, and gets no number. A basin
    // waits with the number of the basin it drains into.
    struct Waiting {
        Link basin;
        Link downstreamNumber;
    };
    basinAt_.reserve(n);
    downstreamNumber_.reserve(n);
    std::vector<Waiting> waiting;
    for (size_t root = 0; root < n; ++root) {
        if (downstream_[root] != kNone) {
            continue;
        }
        waiting.push_back({static_cast<Link>(root), kNone});
        while (!waiting.empty()) {
            checkpoint.Pass();
            auto [basin, down] = waiting.back();
            waiting.pop_back();
            auto number = static_cast<Link>(basinAt_.size());
            basinAt_.push_back(basin);
            downstreamNumber_.push_back(down);
            for (Link c = up.start[static_cast<size_t>(basin) + 1]; c-- > up.start[static_cast<size_t>(basin)];) {
                waiting.push_back({up.children[static_cast<size_t>(c)], number});
            }
        }
    }
    basinAt_.shrink_to_fit();
    downstreamNumber_.shrink_to_fit();
}

void Network::LabelByPosition(const runtime::Checkpoint& checkpoint)
{
    const size_t numbered = basinAt_.size();
    // Sizes upstream to downstream: every basin is numbered after the one it
    // drains into.
    std::vector<Link> size(numbered, 1);
    for (size_t k = numbered; k-- > 0;) {
        checkpoint.Pass();
        if (Link down = downstreamNumber_[k]; down != kNone) {
            size[static_cast<size_t>(down)] += size[k];
        }
    }
    // Moves downstream to upstream, kept by number; the outlet is the last
    // basin numbered without a downstream one.
    std::vector<Link>& moves = size;  // a basin's size is read before its moves are written
    labels_.assign(downstream_.size(), Interval{});
    ways_.assign(downstream_.size(), Way{});
    constexpr size_t kAhead = 16;
    Link outlet = kNone;
    for (size_t k = 0; k < numbered; ++k) {
        checkpoint.Pass();
        if (k + kAhead < numbered) {
            __builtin_prefetch(&labels_[static_cast<size_t>(basinAt_[k + kAhead])], 1);
            __builtin_prefetch(&ways_[static_cast<size_t>(basinAt_[k + kAhead])], 1);
        }
        auto basin = static_cast<size_t>(basinAt_[k]);
        Link down = downstreamNumber_[k];
        outlet = down == kNone ? basinAt_[k] : outlet;
        labels_[basin] = Interval{static_cast<Link>(k), size[k]};
        moves[k] = down == kNone ? 0 : moves[static_cast<size_t>(down)] + 1;
        ways_[basin] = Way{outlet, moves[k]};
    }
}

void Network::CountCycles()
{
    cycles_.basins = downstream_.size() - basinAt_.size();
    for (size_t i = 0; i < downstream_.size() && cycles_.firstFew.size() < std::min(kCycleExamples, cycles_.basins);
         ++i) {
        if (OnOrAboveCycle(static_cast<Link>(i))) {
            cycles_.firstFew.push_back(static_cast<Position>(i));
        }
    }
}

Network::Link Network::Checked(Position basin) const
{
    if (basin < 0 || basin >= static_cast<Position>(downstream_.size())) {
        throw std::out_of_range(NoBasinAt(basin));
    }
    return static_cast<Link>(basin);
}

size_t Network::Size() const
{
    return downstream_.size();
}

Position Network::Downstream(Position basin) const
{
    return downstream_[static_cast<size_t>(Checked(basin))];
}

Position Network::Outlet(Position basin) const
{
    return ways_[static_cast<size_t>(Checked(basin))].outlet;
}

int64_t Network::Moves(Position basin) const
{
    return ways_[static_cast<size_t>(Checked(basin))].moves;
}

int64_t Network::Rank(Position basin) const
{
    return labels_[static_cast<size_t>(Checked(basin))].pre;
}

const Cycles& Network::OnCycles() const
{
    return cycles_;
}

bool Network::IsUpstream(Position a, Position b) const
{
    return IsUpstreamOf(Checked(a), Checked(b));
}

size_t Network::AreUpstream(const Position* a, const Position* b, size_t count, bool* upstream,
                            const runtime::Checkpoint& checkpoint) const
{
    constexpr size_t kAhead = 16;
    constexpr size_t kPairsPerCheck = 4096;
    const auto basins = static_cast<uint64_t>(labels_.size());
    auto askFor = [&](Position basin) {
        if (static_cast<uint64_t>(basin) < basins) {
            runtime::Prefetch(&labels_[static_cast<size_t>(basin)]);
        }
    };
    for (size_t k = 0; k < count; ++k) {
        if (k % kPairsPerCheck == 0) {
            checkpoint.Pass();
        }
        if (k + kAhead < count) {
            askFor(a[k + kAhead]);
            askFor(b[k + kAhead]);
        }
        if (static_cast<uint64_t>(a[k]) >= basins || static_cast<uint64_t>(b[k]) >= basins) {
            return k;
        }
        upstream[k] = IsUpstreamOf(static_cast<Link>(a[k]), static_cast<Link>(b[k]));
    }
    return count;
}

std::vector<bool> Network::Upstream(const std::vector<Position>& of) const
{
    std::vector<bool> upstream(downstream_.size(), false);
    std::vector<Link> starts;
    for (Position basin : of) {
        Link b = Checked(basin);
        upstream[static_cast<size_t>(b)] = true;
        if (!OnOrAboveCycle(b)) {
            starts.push_back(labels_[static_cast<size_t>(b)].pre);
        }
    }
    // The intervals nest or are apart: taken by their starts, one that
    // begins inside the last one taken lies wholly within it.
    std::sort(starts.begin(), starts.end());
    Link end = 0;
    for (Link pre : starts) {
        if (pre < end) {
            continue;
        }
        end = pre + labels_[static_cast<size_t>(basinAt_[static_cast<size_t>(pre)])].size;
        for (Link k = pre; k < end; ++k) {
            upstream[static_cast<size_t>(basinAt_[static_cast<size_t>(k)])] = true;
        }
    }
    return upstream;
}

std::vector<bool> Network::DownstreamOf(const std::vector<Position>& of) const
{
    std::vector<bool> below(downstream_.size(), false);
    for (Position basin : of) {
        // Down until a basin marked already: every cycle is walked once.
        for (Link b = Checked(basin); b != kNone && !below[static_cast<size_t>(b)];
             b = downstream_[static_cast<size_t>(b)]) {
            below[static_cast<size_t>(b)] = true;
        }
    }
    return below;
}

template <typename Combine>
void Network::PushDown(std::vector<double>& byNumber, Combine combine, const runtime::Checkpoint& checkpoint) const
{
    for (size_t k = byNumber.size(); k-- > 0;) {
        checkpoint.Pass();
        if (Link down = downstreamNumber_[k]; down != kNone) {
            double& into = byNumber[static_cast<size_t>(down)];
            into = combine(into, byNumber[k]);
        }
    }
}

template <typename Of>
std::vector<double> Network::ByNumber(Of of) const
{
    std::vector<double> byNumber(basinAt_.size());
    for (size_t k = 0; k < basinAt_.size(); ++k) {
        byNumber[k] = of(static_cast<size_t>(basinAt_[k]));
    }
    return byNumber;
}

std::vector<double> Network::ByPosition(const std::vector<double>& byNumber) const
{
    constexpr size_t kAhead = 16;
    std::vector<double> byPosition(downstream_.size(), kNull);
    for (size_t k = 0; k < basinAt_.size(); ++k) {
        if (k + kAhead < basinAt_.size()) {
            __builtin_prefetch(&byPosition[static_cast<size_t>(basinAt_[k + kAhead])], 1);
        }
        byPosition[static_cast<size_t>(basinAt_[k])] = byNumber[k];
    }
    return byPosition;
}

std::vector<double> Network::Accumulate(const std::vector<double>& values, Accumulation how,
                                        const std::vector<double>& weights,
                                        const runtime::Checkpoint& checkpoint) const
{
    if (values.size() != downstream_.size()) {
        throw std::invalid_argument("as many values as basins are needed");
    }
    if (how == Accumulation::WeightedMean && weights.size() != values.size()) {
        throw std::invalid_argument("as many weights as values are needed");
    }
    auto sum = [&](auto of) {
        std::vector<double> byNumber = ByNumber(of);
        PushDown(byNumber, [](double a, double b) { return SumOf(a, b); }, checkpoint);
        return byNumber;
    };
    auto ratio = [&](std::vector<double> numerator, const std::vector<double>& denominator) {
        for (size_t k = 0; k < numerator.size(); ++k) {
            numerator[k] = denominator[k] > 0 || denominator[k] < 0 ? numerator[k] / denominator[k] : kNull;
        }
        return ByPosition(numerator);
    };
    auto value = [&values](size_t b) { return values[b]; };
    auto present = [&values](size_t b) { return Present(values[b]); };
    switch (how) {
    case Accumulation::Sum:
        return ByPosition(sum(value));
    case Accumulation::Count:
        return ByPosition(sum(present));
    case Accumulation::Mean:
        return ratio(sum(value), sum(present));
    case Accumulation::Min:
    case Accumulation::Max: {
        std::vector<double> byNumber = ByNumber(value);
        if (how == Accumulation::Min) {
            PushDown(byNumber, [](double a, double b) { return std::fmin(a, b); }, checkpoint);
        } else {
            PushDown(byNumber, [](double a, double b) { return std::fmax(a, b); }, checkpoint);
        }
        return ByPosition(byNumber);
    }
    case Accumulation::WeightedMean: {
        auto eitherNull = [&](size_t b) { return std::isnan(values[b]) || std::isnan(weights[b]); };
        auto weighted = [&](size_t b) { return eitherNull(b) ? kNull : values[b] * weights[b]; };
        auto weight = [&](size_t b) { return eitherNull(b) ? kNull : weights[b]; };
        return ratio(sum(weighted), sum(weight));
    }
    }
    throw std::invalid_argument("no such accumulation");
}

size_t Network::MemoryBytes() const
{
    return sizeof(Link) * (downstream_.capacity() + basinAt_.capacity() + downstreamNumber_.capacity()) +
           sizeof(Interval) * labels_.capacity() + sizeof(Way) * ways_.capacity() + sizeof(Position) * cycles_.firstFew.capacity() + sizeof(*this);
}

}  // namespace drennow::network
