#include "NetworkCase.h"

#include "pfaf/NextDownIndex.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <unordered_map>

namespace drennow::bench {

std::vector<double> MakeSubAreas(size_t count, uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> area(0.5, 800.0);
    std::vector<double> areas(count);
    for (double& value : areas) {
        value = area(random);
    }
    return areas;
}

std::vector<int64_t> DownstreamPositions(const std::vector<Basin>& basins, const modPfafTools::DigitRules& rules)
{
    std::vector<int32_t> codes = CodesOf(basins);
    std::sort(codes.begin(), codes.end(), std::greater<>());
    modPfafTools::NextDownIndex index(codes, rules);
    std::unordered_map<int32_t, int64_t> firstWithCode;
    for (size_t i = 0; i < basins.size(); ++i) {
        if (basins[i].pfafCode) {
            firstWithCode.try_emplace(*basins[i].pfafCode, static_cast<int64_t>(i));
        }
    }
    std::vector<int64_t> downstream(basins.size(), -1);
    for (size_t i = 0; i < basins.size(); ++i) {
        if (!basins[i].pfafCode || *basins[i].pfafCode == 0) {
            continue;  // a failure code: the chain ends
        }
        int32_t next = index.GetNextDownCode(*basins[i].pfafCode);
        if (auto found = firstWithCode.find(next); next > 0 && found != firstWithCode.end()) {
            downstream[i] = found->second;
        }
    }
    return downstream;
}

namespace {

// The last basin of each basin's chain and the upstream sums: the basins
// taken headwaters first (each once every basin draining into it is taken),
// each adding its sum to the basin below. Basins on a cycle are never taken
// and keep -1 as their outlet.
struct Walked {
    std::vector<int64_t> outlet;
    std::vector<double> upArea;
};

Walked WalkDown(const std::vector<double>& areas, const std::vector<int64_t>& downstream)
{
    size_t n = downstream.size();
    std::vector<size_t> inflows(n, 0);
    for (int64_t below : downstream) {
        inflows[static_cast<size_t>(std::max<int64_t>(below, 0))] += below >= 0 ? 1 : 0;
    }
    std::vector<size_t> order;
    for (size_t i = 0; i < n; ++i) {
        if (inflows[i] == 0) {
            order.push_back(i);
        }
    }
    Walked walked{std::vector<int64_t>(n, -1), areas};
    for (size_t taken = 0; taken < order.size(); ++taken) {
        size_t basin = order[taken];
        if (int64_t below = downstream[basin]; below >= 0) {
            walked.upArea[static_cast<size_t>(below)] += walked.upArea[basin];
            if (--inflows[static_cast<size_t>(below)] == 0) {
                order.push_back(static_cast<size_t>(below));
            }
        }
    }
    for (auto basin = order.rbegin(); basin != order.rend(); ++basin) {
        int64_t below = downstream[*basin];
        walked.outlet[*basin] = below < 0 ? static_cast<int64_t>(*basin) : walked.outlet[static_cast<size_t>(below)];
    }
    return walked;
}

}  // namespace

size_t CountNetworkMatches(const std::vector<Basin>& basins, const std::vector<double>& areas,
                           const std::vector<int64_t>& downstream, const NetworkFields& written)
{
    size_t n = basins.size();
    if (written.upArea.size() != n || written.outlet.size() != n || written.rank.size() != n) {
        return 0;
    }
    Walked walked = WalkDown(areas, downstream);
    std::unordered_map<int64_t, size_t> holders;
    for (const std::optional<int64_t>& rank : written.rank) {
        holders[rank.value_or(-1)] += 1;
    }
    size_t matches = 0;
    for (size_t i = 0; i < n; ++i) {
        const std::optional<double>& up = written.upArea[i];
        bool sum = up && std::fabs(*up - walked.upArea[i]) <= 1e-9 * walked.upArea[i];
        bool outlet = walked.outlet[i] >= 0 && written.outlet[i] == basins[static_cast<size_t>(walked.outlet[i])].pfafCode;
        const std::optional<int64_t>& rank = written.rank[i];
        bool ranked = rank && holders[*rank] == 1 &&
                      (downstream[i] < 0 || *rank > written.rank[static_cast<size_t>(downstream[i])].value_or(INT64_MAX));
        matches += sum && outlet && ranked ? 1 : 0;
    }
    return matches;
}

}  // namespace drennow::bench
