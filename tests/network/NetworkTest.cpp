// The network against its definition on random topologies (trees, cycles,
// self-loops, identifiers of no basin, repeated identifiers), and its
// refusals of positions and lengths that fit no basin.
#include "Reference.h"

#include "network/Network.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

using drennow::network::Accumulation;
using drennow::network::FromNextDown;
using drennow::network::kCycleExamples;
using drennow::network::kNoBasin;
using drennow::network::Network;
using drennow::network::Position;
using drennow::network::Topology;
using drennow::network::testing::Reference;
using drennow::runtime::Variant;

namespace {

// A random downstream vector: mostly basins draining into later or earlier
// ones at random, some outlets, and now and then a self-loop or a cycle.
std::vector<Position> RandomDownstream(std::mt19937_64& random, size_t n)
{
    std::vector<Position> downstream(n);
    for (size_t i = 0; i < n; ++i) {
        switch (random() % 8) {
        case 0:
            downstream[i] = kNoBasin;
            break;
        case 1:
            downstream[i] = random() % 4 == 0 ? static_cast<Position>(i) : static_cast<Position>(random() % n);
            break;
        default:
            // Toward higher positions with an outlet at the end: mostly trees.
            downstream[i] = i + 1 < n ? static_cast<Position>(i + 1 + random() % (n - i - 1 + 1)) : kNoBasin;
            downstream[i] = downstream[i] >= static_cast<Position>(n) ? kNoBasin : downstream[i];
        }
    }
    return downstream;
}

std::vector<double> RandomValues(std::mt19937_64& random, size_t n)
{
    std::vector<double> values(n);
    std::uniform_real_distribution<double> value(-50.0, 100.0);
    for (double& v : values) {
        v = random() % 5 == 0 ? std::nan("") : value(random);
    }
    return values;
}

void ExpectSameNumber(double expected, double actual, const std::string& where)
{
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << where << ": " << actual;
    } else {
        EXPECT_NEAR(actual, expected, 1e-9 * (1 + std::fabs(expected))) << where;
    }
}

// Everything the network answers, against the reference.
void ExpectAsDefined(const Network& network, const std::vector<Position>& downstream)
{
    Reference reference(downstream);
    const auto n = static_cast<Position>(downstream.size());
    ASSERT_EQ(network.Size(), downstream.size());
    std::vector<Position> onCycles;
    std::set<int64_t> ranks;
    for (Position b = 0; b < n; ++b) {
        EXPECT_EQ(network.Downstream(b), downstream[static_cast<size_t>(b)]);
        EXPECT_EQ(network.Outlet(b), reference.Outlet(b)) << "basin " << b;
        EXPECT_EQ(network.Moves(b), reference.Moves(b)) << "basin " << b;
        if (!reference.ReachesOutlet(b)) {
            onCycles.push_back(b);
            EXPECT_EQ(network.Rank(b), -1);
        } else {
            ranks.insert(network.Rank(b));
            Position down = downstream[static_cast<size_t>(b)];
            if (down != kNoBasin) {
                EXPECT_GT(network.Rank(b), network.Rank(down)) << "basin " << b;
            }
        }
        for (Position a = 0; a < n; ++a) {
            EXPECT_EQ(network.IsUpstream(a, b), reference.IsUpstream(a, b)) << a << " upstream of " << b;
        }
    }
    // Every pair at once, in an order that jumps about.
    std::vector<Position> above;
    std::vector<Position> below;
    for (Position a = 0; a < n; ++a) {
        for (Position b = 0; b < n; ++b) {
            above.push_back((a * 7 + b) % n);
            below.push_back(b);
        }
    }
    std::vector<char> answers(above.size() + 1, 2);
    static_assert(sizeof(bool) == sizeof(char));
    EXPECT_EQ(network.AreUpstream(above.data(), below.data(), above.size(), reinterpret_cast<bool*>(answers.data())),
              above.size());
    for (size_t k = 0; k < above.size(); ++k) {
        ASSERT_EQ(answers[k] == 1, reference.IsUpstream(above[k], below[k])) << above[k] << " upstream of " << below[k];
    }
    EXPECT_EQ(answers.back(), 2) << "nothing is written past the pairs";
    EXPECT_EQ(ranks.size(), static_cast<size_t>(n) - onCycles.size()) << "ranks are distinct";
    EXPECT_EQ(network.OnCycles().basins, onCycles.size());
    onCycles.resize(std::min(onCycles.size(), kCycleExamples));
    EXPECT_EQ(network.OnCycles().firstFew, onCycles);
}

void ExpectAccumulationsAsDefined(const Network& network, const std::vector<Position>& downstream,
                                  std::mt19937_64& random)
{
    Reference reference(downstream);
    std::vector<double> values = RandomValues(random, downstream.size());
    std::vector<double> weights = RandomValues(random, downstream.size());
    for (Accumulation how : {Accumulation::Sum, Accumulation::Mean, Accumulation::Min, Accumulation::Max,
                             Accumulation::Count, Accumulation::WeightedMean}) {
        std::vector<double> result = network.Accumulate(values, how, weights);
        ASSERT_EQ(result.size(), values.size());
        for (Position b = 0; b < static_cast<Position>(values.size()); ++b) {
            ExpectSameNumber(reference.Accumulate(values, how, weights, b), result[static_cast<size_t>(b)],
                             "accumulation " + std::to_string(static_cast<int>(how)) + " at " + std::to_string(b));
        }
    }
}

void ExpectSetsAsDefined(const Network& network, const std::vector<Position>& downstream, std::mt19937_64& random)
{
    Reference reference(downstream);
    const auto n = static_cast<Position>(downstream.size());
    std::vector<Position> of;
    for (size_t k = random() % 4; k-- > 0;) {
        of.push_back(static_cast<Position>(random() % static_cast<uint64_t>(n)));
    }
    std::vector<bool> upstream = network.Upstream(of);
    std::vector<bool> below = network.DownstreamOf(of);
    for (Position a = 0; a < n; ++a) {
        bool expectedUpstream = false;
        bool expectedBelow = false;
        for (Position b : of) {
            expectedUpstream = expectedUpstream || reference.IsUpstream(a, b);
            // On the way down from b: walked to within n moves.
            Position basin = b;
            for (Position step = 0; step <= n && basin != kNoBasin; ++step) {
                expectedBelow = expectedBelow || basin == a;
                basin = downstream[static_cast<size_t>(basin)];
            }
        }
        EXPECT_EQ(upstream[static_cast<size_t>(a)], expectedUpstream) << "basin " << a;
        EXPECT_EQ(below[static_cast<size_t>(a)], expectedBelow) << "basin " << a;
    }
}

}  // namespace

TEST(Network, RandomTopologiesAnswerAsTheirChainsDefine)
{
    std::mt19937_64 random(11);
    for (int round = 0; round < 300; ++round) {
        size_t n = 1 + random() % 40;
        std::vector<Position> downstream = RandomDownstream(random, n);
        Network network(downstream);
        ExpectAsDefined(network, downstream);
        ExpectAccumulationsAsDefined(network, downstream, random);
        ExpectSetsAsDefined(network, downstream, random);
        if (HasFailure()) {
            return;
        }
    }
}

TEST(Network, DeepChainsAndWideFansAreNumberedWithoutRecursion)
{
    const size_t n = 200000;
    std::vector<Position> chain(n);
    std::vector<Position> fan(n, 0);
    for (size_t i = 0; i < n; ++i) {
        chain[i] = i + 1 < n ? static_cast<Position>(i + 1) : kNoBasin;
    }
    fan[0] = kNoBasin;
    Network deep(chain);
    EXPECT_EQ(deep.Moves(0), static_cast<int64_t>(n - 1));
    EXPECT_EQ(deep.Outlet(0), static_cast<Position>(n - 1));
    EXPECT_EQ(deep.Accumulate(std::vector<double>(n, 1.0), Accumulation::Sum).back(), static_cast<double>(n));
    Network wide(fan);
    EXPECT_EQ(wide.Accumulate(std::vector<double>(n, 1.0), Accumulation::Count)[0], static_cast<double>(n));
    EXPECT_TRUE(wide.IsUpstream(static_cast<Position>(n - 1), 0));
    EXPECT_FALSE(wide.IsUpstream(1, 2));
}

TEST(Network, PositionsAndLengthsThatFitNoBasinAreRefused)
{
    EXPECT_THROW(Network({0, 2}), std::invalid_argument);
    EXPECT_THROW(Network({-2}), std::invalid_argument);
    Network network({kNoBasin, 0});
    EXPECT_THROW(network.Outlet(2), std::out_of_range);
    EXPECT_THROW(network.IsUpstream(0, -1), std::out_of_range);
    // Pairs are answered up to the first that holds no basin's position.
    const Position above[] = {1, 0, 0, 1};
    const Position below[] = {0, 1, 2, 0};
    bool upstream[4] = {false, true, true, true};
    EXPECT_EQ(network.AreUpstream(above, below, 4, upstream), 2u);
    EXPECT_TRUE(upstream[0]);
    EXPECT_FALSE(upstream[1]);
    const Position negative[] = {-1};
    EXPECT_EQ(network.AreUpstream(negative, below, 1, upstream), 0u);
    EXPECT_THROW(network.Upstream({5}), std::out_of_range);
    EXPECT_THROW(network.DownstreamOf({-1}), std::out_of_range);
    EXPECT_THROW(network.Accumulate({1.0}, Accumulation::Sum), std::invalid_argument);
    EXPECT_THROW(network.Accumulate({1.0, 2.0}, Accumulation::WeightedMean, {1.0}), std::invalid_argument);
    Network empty(std::vector<Position>{});
    EXPECT_EQ(empty.Accumulate({}, Accumulation::Sum), std::vector<double>{});
}

TEST(Network, ACheckThatStopsTheWorkStopsIt)
{
    std::vector<Position> downstream(100000, kNoBasin);
    drennow::runtime::Checkpoint stop([] { throw std::runtime_error("stopped"); });
    EXPECT_THROW(Network(downstream, stop), std::runtime_error);
    Network network(downstream);
    EXPECT_THROW(network.Accumulate(std::vector<double>(downstream.size(), 1.0), Accumulation::Sum, {}, stop),
                 std::runtime_error);
}

namespace {

// Identifiers from a small range (so some repeat, some are missing), next-down
// values among them, 0, null and identifiers of no basin.
struct RandomTopology {
    std::vector<Variant> ids;
    std::vector<Variant> nextDown;
};

RandomTopology MakeRandomTopology(std::mt19937_64& random, size_t n)
{
    RandomTopology topology;
    for (size_t i = 0; i < n; ++i) {
        topology.ids.push_back(random() % 15 == 0 ? Variant::Null() : Variant(static_cast<int32_t>(random() % (2 * n))));
        switch (random() % 6) {
        case 0:
            topology.nextDown.push_back(Variant(0));
            break;
        case 1:
            topology.nextDown.push_back(Variant::Null());
            break;
        case 2:
            topology.nextDown.push_back(Variant(std::to_string(random() % (2 * n))));  // text that converts
            break;
        default:
            topology.nextDown.push_back(Variant(static_cast<int64_t>(random() % (2 * n))));
        }
    }
    return topology;
}

// Where each basin drains by definition: the first basin of the identifier.
std::vector<Position> DownstreamByDefinition(const RandomTopology& topology, size_t& repeated)
{
    const size_t n = topology.ids.size();
    std::vector<Position> downstream(n, kNoBasin);
    repeated = 0;
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < i && !topology.ids[i].IsNull(); ++j) {
            if (topology.ids[j] == topology.ids[i]) {
                ++repeated;
                break;
            }
        }
        const Variant& next = topology.nextDown[i];
        if (next.IsNull() || drennow::runtime::ToLongLong(next) == 0) {
            continue;
        }
        for (size_t j = 0; j < n; ++j) {
            if (!topology.ids[j].IsNull() &&
                drennow::runtime::ToLongLong(topology.ids[j]) == drennow::runtime::ToLongLong(next)) {
                downstream[i] = static_cast<Position>(j);
                break;
            }
        }
    }
    return downstream;
}

}  // namespace

TEST(FromNextDown, TheFirstBasinOfAnIdentifierReceivesTheFlow)
{
    std::mt19937_64 random(5);
    for (int round = 0; round < 200; ++round) {
        size_t n = 1 + random() % 30;
        RandomTopology topology = MakeRandomTopology(random, n);
        size_t repeated = 0;
        std::vector<Position> downstream = DownstreamByDefinition(topology, repeated);
        Topology built = FromNextDown(
            n, [&](size_t i) { return topology.ids[i]; }, [&](size_t i) { return topology.nextDown[i]; });
        EXPECT_EQ(built.repeatedIds, repeated);
        ExpectAsDefined(built.network, downstream);
        if (HasFailure()) {
            return;
        }
    }
}

TEST(FromNextDown, ValuesThatAreNoWholeNumbersRaiseTheRuntimesError)
{
    std::vector<Variant> ids = {Variant(1), Variant("river")};
    std::vector<Variant> next = {Variant(0), Variant(1)};
    auto at = [](const std::vector<Variant>& values) { return [&values](size_t i) { return values[i]; }; };
    EXPECT_THROW(FromNextDown(2, at(ids), at(next)), drennow::runtime::Error);
    ids[1] = Variant(2);
    next[0] = Variant("sea");
    EXPECT_THROW(FromNextDown(2, at(ids), at(next)), drennow::runtime::Error);
}
