// The network of a realistic layer against baselines of the same run: its
// building from codes against the run's pass with identifiers, its queries
// and accumulations against plain loops over the same arrays.
#include "RealisticBasins.h"

#include "command/NextDownAssigner.h"
#include "network/Network.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using drennow::network::Accumulation;
using drennow::network::Network;
using drennow::network::Position;
using drennow::runtime::Variant;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "Usage: network_bench [--basins N] [--without-baseline]\n"
    "Builds the network of N realistic basins (1,000,000 unless given) from their codes and\n"
    "times it, its accumulations and its queries against baselines of the same run; the\n"
    "baseline of the build (the run's pass with identifiers) is left out on request. The\n"
    "queries and accumulations are the best of 5 runs.\n";

constexpr size_t kPairs = 10000000;

template <typename Work>
double Seconds(Work work)
{
    Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The best of a few runs, for the short measures.
template <typename Work>
double BestSeconds(Work work)
{
    constexpr int kRuns = 5;
    double best = Seconds(work);
    for (int run = 1; run < kRuns; ++run) {
        best = std::min(best, Seconds(work));
    }
    return best;
}

void Row(const std::string& what, double seconds, std::optional<double> baseline)
{
    std::cout << std::left << std::setw(34) << what << std::right << std::setw(10) << std::fixed
              << std::setprecision(1) << seconds * 1000 << " ms";
    if (baseline) {
        std::cout << std::setw(10) << std::setprecision(1) << *baseline * 1000 << " ms" << std::setw(8)
                  << std::setprecision(2) << seconds / *baseline << "x";
    }
    std::cout << '\n';
}

double PeakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct Arguments {
    size_t basins = 1000000;
    bool baseline = true;
};

std::optional<Arguments> Parse(int argc, char** argv)
{
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--basins" && i + 1 < argc) {
            char* end = nullptr;
            arguments.basins = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0' || arguments.basins == 0) {
                return std::nullopt;
            }
        } else if (word == "--without-baseline") {
            arguments.baseline = false;
        } else {
            return std::nullopt;
        }
    }
    return arguments;
}

// The outlet whose upstream set is the largest.
Position LargestOutlet(const Network& network)
{
    std::vector<double> ones(network.Size(), 1.0);
    std::vector<double> count = network.Accumulate(ones, Accumulation::Count);
    Position best = 0;
    for (size_t i = 0; i < count.size(); ++i) {
        if (network.Downstream(static_cast<Position>(i)) == drennow::network::kNoBasin && count[i] > count[best]) {
            best = static_cast<Position>(i);
        }
    }
    return best;
}

void TimeQueries(const Network& network)
{
    const size_t n = network.Size();
    std::mt19937_64 random(7);
    std::vector<double> values(n);
    std::uniform_real_distribution<double> area(0.5, 500.0);
    for (double& value : values) {
        value = random() % 50 == 0 ? std::nan("") : area(random);
    }
    // The plain loop: every value read and one written per basin.
    std::vector<double> plain;
    double baseline = BestSeconds([&] {
        plain = std::vector<double>(n, 0.0);
        for (size_t i = 0; i < n; ++i) {
            plain[i] = std::isnan(values[i]) ? 0.0 : values[i] * 2.0;
        }
    });
    for (auto [how, name] : {std::pair{Accumulation::Sum, "accumulate sum"}, {Accumulation::Mean, "accumulate mean"},
                             {Accumulation::Max, "accumulate max"}, {Accumulation::Count, "accumulate count"},
                             {Accumulation::WeightedMean, "accumulate weighted mean"}}) {
        std::vector<double> result;
        double seconds = BestSeconds([&] { result = network.Accumulate(values, how, values); });
        Row(name, seconds, baseline);
    }
    Position outlet = LargestOutlet(network);
    std::vector<bool> upstream;
    double seconds = BestSeconds([&] { upstream = network.Upstream({outlet}); });
    size_t members = 0;
    for (bool member : upstream) {
        members += member ? 1 : 0;
    }
    Row("upstream of an outlet (" + std::to_string(members) + ")", seconds, baseline);

    std::vector<std::pair<Position, Position>> pairs(kPairs);
    for (auto& [a, b] : pairs) {
        a = static_cast<Position>(random() % n);
        b = random() % 2 == 0 ? network.Outlet(a) : static_cast<Position>(random() % n);
    }
    size_t hits = 0;
    double pairBaseline = BestSeconds([&] {
        hits = 0;
        for (const auto& [a, b] : pairs) {
            hits += network.Downstream(a) == b ? 1 : 0;
        }
    });
    size_t upstreamHits = 0;
    double pairSeconds = BestSeconds([&] {
        upstreamHits = 0;
        for (const auto& [a, b] : pairs) {
            upstreamHits += network.IsUpstream(a, b) ? 1 : 0;
        }
    });
    Row("IsUpstream, 10,000,000 pairs", pairSeconds, pairBaseline);
    std::cout << "  (downstream pairs " << hits << ", upstream pairs " << upstreamHits << ")\n";
}

}  // namespace

int main(int argc, char** argv)
{
    std::optional<Arguments> arguments = Parse(argc, argv);
    if (!arguments) {
        std::cerr << kUsage;
        return 2;
    }
    std::vector<drennow::bench::Basin> basins = drennow::bench::MakeRealisticBasins(arguments->basins);
    const size_t n = basins.size();
    auto codeAt = [&basins](size_t i) {
        return basins[i].pfafCode ? Variant(*basins[i].pfafCode) : Variant::Null();
    };
    auto idAt = [&basins](size_t i) { return Variant(basins[i].hydroId); };
    drennow::command::RunOptions options;
    std::cout << n << " basins\n"
              << std::left << std::setw(34) << "" << std::right << std::setw(13) << "network" << std::setw(13)
              << "baseline" << std::setw(9) << "ratio" << '\n';

    std::optional<double> baseline;
    if (arguments->baseline) {
        size_t failures = 0;
        baseline = Seconds([&] {
            drennow::command::AssignLayer(n, codeAt, idAt, options, false,
                                          [&failures](size_t, drennow::command::Assigned&& answer) {
                                              failures += answer.failure ? 1 : 0;
                                          });
        });
    }
    std::optional<drennow::network::Coded> coded;
    double build = Seconds([&] { coded.emplace(drennow::network::FromCodes(n, codeAt, options, false)); });
    Row("build from codes", build, baseline);
    const Network& network = coded->network;
    TimeQueries(network);
    std::cout << "network memory: " << std::setprecision(1)
              << static_cast<double>(network.MemoryBytes()) / static_cast<double>(n) << " bytes per basin\n"
              << "peak resident: " << std::setprecision(0) << PeakResidentMiB() << " MiB\n";
    return EXIT_SUCCESS;
}
