#include "RealisticBasins.h"

#include <algorithm>
#include <limits>
#include <random>

namespace drennow::bench {

namespace {

class Subdivider {
public:
    Subdivider(size_t target, uint64_t seed) : target_(target), rng_(seed)
    {
        // Deep enough that about three regions fill the layer.
        uint64_t perRegion = 1;
        while (level_ < 10 && perRegion * 3 < target) {
            perRegion *= 9;
            ++level_;
        }
    }

    std::vector<int32_t> Codes()
    {
        for (int64_t region = 1; region <= 9 && codes_.size() < target_; ++region) {
            Subdivide(region, 1);
        }
        return std::move(codes_);
    }

private:
    void Subdivide(int64_t unit, int depth)
    {
        if (codes_.size() >= target_) {
            return;
        }
        if (depth == level_ || Chance(0.03)) {
            Emit(PadWithZeros(unit, level_ - depth));
            return;
        }
        for (int64_t digit = 1; digit <= 9; ++digit) {
            Subdivide(unit * 10 + digit, depth + 1);
        }
        if (Chance(0.01)) {
            Subdivide(unit * 10, depth + 1);  // a closed basin inside the unit
        }
    }

    static int64_t PadWithZeros(int64_t unit, int zeros)
    {
        for (; zeros > 0; --zeros) {
            unit *= 10;
        }
        return unit;
    }

    void Emit(int64_t code)
    {
        if (code <= std::numeric_limits<int32_t>::max()) {
            codes_.push_back(static_cast<int32_t>(code));
        }
    }

    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    size_t target_;
    int level_ = 1;
    std::mt19937_64 rng_;
    std::vector<int32_t> codes_;
};

}  // namespace

std::vector<Basin> MakeRealisticBasins(size_t count, uint64_t seed)
{
    std::vector<int32_t> codes = Subdivider(count, seed).Codes();
    std::mt19937_64 rng(seed + 1);
    auto anyCode = [&] { return codes[std::uniform_int_distribution<size_t>(0, codes.size() - 1)(rng)]; };
    std::vector<Basin> basins;
    basins.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        int kind = std::uniform_int_distribution<int>(0, 9999)(rng);
        std::optional<int32_t> code;
        if (kind < 10) {
            code = std::nullopt;
        } else if (kind < 15) {
            code = 0;
        } else if (kind < 25 || i >= codes.size()) {
            code = anyCode();
        } else {
            code = codes[i];
        }
        basins.push_back({code, 0});
    }
    std::shuffle(basins.begin(), basins.end(), rng);
    for (size_t i = 0; i < basins.size(); ++i) {
        basins[i].hydroId = static_cast<int32_t>(100000 + i);
    }
    return basins;
}

std::vector<int32_t> CodesOf(const std::vector<Basin>& basins)
{
    std::vector<int32_t> codes;
    codes.reserve(basins.size());
    for (const Basin& basin : basins) {
        if (basin.pfafCode) {
            codes.push_back(*basin.pfafCode);
        }
    }
    return codes;
}

}  // namespace drennow::bench
