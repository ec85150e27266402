#include "RealisticBasins.h"

#include <algorithm>
#include <limits>
#include <random>

namespace drennow::bench {

namespace {

// How deep units are subdivided: every unit down to `wholeFrom` levels, then
// each level with the chance `wholeChance` of staying whole (written with
// zeros to the full length), down to `level` digits.
struct Shape {
    int level;
    int wholeFrom;
    double wholeChance;
    int64_t largestCode;
};

class Subdivider {
public:
    Subdivider(size_t target, const Shape& shape, uint64_t seed)
        : target_(target), shape_(shape), rng_(seed)
    {
    }

    std::vector<int64_t> Codes()
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
        if (depth == shape_.level || (depth >= shape_.wholeFrom && Chance(shape_.wholeChance))) {
            Emit(PadWithZeros(unit, shape_.level - depth));
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
        if (code <= shape_.largestCode) {
            codes_.push_back(code);
        }
    }

    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    size_t target_;
    Shape shape_;
    std::mt19937_64 rng_;
    std::vector<int64_t> codes_;
};

// `count` features with the subdivision's codes, a few nulls (nothing), zeros
// and duplicated codes among them, in random order.
std::vector<std::optional<int64_t>> Features(const std::vector<int64_t>& codes, size_t count, uint64_t seed)
{
    std::mt19937_64 rng(seed + 1);
    auto anyCode = [&] { return codes[std::uniform_int_distribution<size_t>(0, codes.size() - 1)(rng)]; };
    std::vector<std::optional<int64_t>> features;
    features.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        int kind = std::uniform_int_distribution<int>(0, 9999)(rng);
        if (kind < 10) {
            features.emplace_back(std::nullopt);
        } else if (kind < 15) {
            features.emplace_back(0);
        } else if (kind < 25 || i >= codes.size()) {
            features.emplace_back(anyCode());
        } else {
            features.emplace_back(codes[i]);
        }
    }
    std::shuffle(features.begin(), features.end(), rng);
    return features;
}

// The features as basins of Int codes, identifiers counting up from `firstId`.
template <typename Int>
std::vector<BasicBasin<Int>> Numbered(const std::vector<std::optional<int64_t>>& features, Int firstId)
{
    std::vector<BasicBasin<Int>> basins;
    basins.reserve(features.size());
    for (size_t i = 0; i < features.size(); ++i) {
        std::optional<Int> code;
        if (features[i]) {
            code = static_cast<Int>(*features[i]);
        }
        basins.push_back({code, firstId + static_cast<Int>(i)});
    }
    return basins;
}

}  // namespace

std::vector<Basin> MakeRealisticBasins(size_t count, uint64_t seed)
{
    // Deep enough that about three regions fill the layer.
    Shape shape{1, 1, 0.03, std::numeric_limits<int32_t>::max()};
    for (uint64_t perRegion = 1; shape.level < 10 && perRegion * 3 < count; perRegion *= 9) {
        ++shape.level;
    }
    return Numbered<int32_t>(Features(Subdivider(count, shape, seed).Codes(), count, seed), 100000);
}

std::vector<WideBasin> MakeTwelveDigitBasins(size_t count, uint64_t seed)
{
    // Every unit subdivided to level 5, about one in six further at each finer
    // level: about three regions fill a million features.
    Shape shape{12, 5, 0.83, std::numeric_limits<int64_t>::max()};
    return Numbered<int64_t>(Features(Subdivider(count, shape, seed).Codes(), count, seed), 5000000000);
}

std::vector<int64_t> MakeTwelveDigitCodes(size_t count, uint64_t seed)
{
    return CodesOf(MakeTwelveDigitBasins(count, seed));
}

}  // namespace drennow::bench
