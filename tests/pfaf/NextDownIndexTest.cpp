#include "WorkedResults.h"
#include "pfaf/NextDownIndex.h"
#include "pfaf/modPfafTools.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using drennow::modPfafTools::CodeWidth;
using drennow::modPfafTools::DigitRules;
using drennow::modPfafTools::GetNextDownCode;
using drennow::modPfafTools::NextDownIndex;
using drennow::modPfafTools::ZeroReading;
using drennow::runtime::Variant;
using drennow::runtime::VariantArray;
using namespace drennow::pfaftest;

namespace {

void ExpectResults(const VariantArray& list, const std::vector<Expected>& cases)
{
    NextDownIndex without(list, false);
    NextDownIndex with(list, true);
    for (const Expected& c : cases) {
        EXPECT_EQ(without.GetNextDownCode(c.basin), c.withoutTrailingZeros) << c.basin << " (No)";
        EXPECT_EQ(with.GetNextDownCode(c.basin), c.withTrailingZeros) << c.basin << " (Yes)";
    }
}

}  // namespace

TEST(NextDownIndex, WorkedResults)
{
    for (const WorkedList& worked : WorkedResults()) {
        SCOPED_TRACE(worked.name);
        ExpectResults(worked.list, worked.cases);
    }
}

TEST(NextDownIndex, WorkedResultsOfOtherRules)
{
    for (const WorkedRules& worked : WorkedResultsOfOtherRules()) {
        NextDownIndex index(worked.list, worked.rules);
        for (const ExpectedUnder& c : worked.cases) {
            EXPECT_EQ(index.GetNextDownCode(c.basin), c.nextDown) << worked.name << ": " << c.basin;
        }
    }
}

TEST(NextDownIndex, TrailingZerosOfCandidatesOnlyWhereTheFirstEvenDigitIsOne)
{
    ExpectResults(Descending({1210}), {{1234, -5, 1210}});
    ExpectResults(Descending({1200}), {{1234, -5, -5}});
    ExpectResults(Descending({1201}), {{1234, -5, -5}});
}

TEST(NextDownIndex, AnUnconvertibleElementFailsOnlyBasinsThatReachIt)
{
    for (Variant bad : {Variant("not a code"), Variant::Null(), Variant(int64_t{3000000000})}) {
        VariantArray list = ListOf({1239, 1233, bad, 1231, 1219});
        ExpectResults(list, {{1234, 1233, 1233}, {1232, -1, -1}, {1212, -1, -1}, {1211, -9, -9}});
    }
    ExpectResults(ListOf({Variant::Null(), 1233}), {{1234, -1, -1}, {0, -8, -8}, {-5, -3, -3}});
}

TEST(NextDownIndex, ListsThatNeedNoSearchOrCannotBeSearched)
{
    VariantArray never;
    ExpectResults(never, {{1234, -1, -1}, {1211, -9, -9}, {0, -8, -8}, {-1, -3, -3}});
    VariantArray empty;
    empty.ReDim(1, 0);
    ExpectResults(empty, {{1234, -5, -5}, {1211, -9, -9}});
}

TEST(NextDownIndex, FirstMatchInListOrderWhenTheListIsNotDescending)
{
    ExpectResults(ListOf({1219, 1231, 1233}), {{1234, 1219, 1219}, {1232, 1219, 1219}});
    ExpectResults(ListOf({1231, Variant("x"), 1233}), {{1234, 1231, 1231}, {1232, 1231, 1231}});
}

TEST(NextDownIndex, ConvertsNumericTextAndFractionsLikeTheScan)
{
    ExpectResults(ListOf({Variant(" 1233 "), Variant(1230.6)}), {{1234, 1233, 1233}, {1232, 1231, 1231}});
    // 1218.5 becomes 1218 (halves go to the even neighbour), which is not downstream.
    ExpectResults(ListOf({Variant(1218.5), Variant(1211), Variant()}), {{1232, 1211, 1211}});
}

TEST(NextDownIndex, PlainIntegersGiveTheSameAnswers)
{
    std::vector<int32_t> codes = Region1Level4();
    codes.insert(codes.end(), {1210, 1200, 1230, 0, -1234});
    std::sort(codes.begin(), codes.end(), std::greater<>());
    VariantArray list = ListOf(std::vector<Variant>(codes.begin(), codes.end()));
    for (bool allowTrailingZeros : {false, true}) {
        NextDownIndex plain(codes, allowTrailingZeros);
        NextDownIndex general(list, allowTrailingZeros);
        for (int32_t basin = -2; basin <= 2000; ++basin) {
            ASSERT_EQ(plain.GetNextDownCode(basin), general.GetNextDownCode(basin)) << basin;
        }
    }
}

namespace {

// Random code lists shaped like real layers: a few clusters of codes sharing
// a region prefix and a level, so that downstream matches are common, with
// zeros inside and at the end, duplicates, values of other kinds, and now and
// then an element that does not convert. Codes have up to 10 digits (and fit
// 32 bits) or up to 19.
class RandomLists {
public:
    explicit RandomLists(uint32_t seed, int maxDigits = 10) : rng_(seed), maxDigits_(maxDigits) {}

    struct Case {
        VariantArray list;
        std::vector<int64_t> basins;
    };

    Case Next(size_t basinCount)
    {
        NewClusters();
        std::vector<Variant> values;
        for (int size = Uniform(1, 300); size > 0; --size) {
            values.push_back(NextElement(values));
        }
        Order(values);
        Case c;
        for (size_t i = 0; i < basinCount; ++i) {
            c.basins.push_back(NextBasin(values));
        }
        for (int bad = Chance(0.3) ? Uniform(1, 2) : 0; bad > 0; --bad) {
            values.insert(values.begin() + Uniform(0, static_cast<int>(values.size())), Unconvertible());
        }
        c.list = ListOf(values);
        return c;
    }

private:
    struct Cluster {
        int level;
        int rootLength;
        int64_t root;
    };

    int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    // Zero now and then, every other digit alike.
    int Digit() { return std::discrete_distribution<int>({1, 3, 3, 3, 3, 3, 3, 3, 3, 3})(rng_); }

    void NewClusters()
    {
        clusters_.clear();
        for (int count = Uniform(1, 4); count > 0; --count) {
            Cluster cluster{Uniform(1, maxDigits_), 0, Uniform(1, 9)};
            cluster.rootLength = Uniform(1, cluster.level);
            for (int i = 1; i < cluster.rootLength; ++i) {
                cluster.root = cluster.root * 10 + Digit();
            }
            clusters_.push_back(cluster);
        }
    }

    int64_t ClusterCode()
    {
        const Cluster& cluster = clusters_[static_cast<size_t>(Uniform(0, static_cast<int>(clusters_.size()) - 1))];
        auto code = static_cast<uint64_t>(cluster.root);
        for (int i = cluster.rootLength; i < cluster.level; ++i) {
            code = code * 10 + static_cast<uint64_t>(Digit());
        }
        if (cluster.level > 1 && Chance(0.15)) {
            uint64_t unit = 1;
            for (int zeros = Uniform(1, cluster.level - 1); zeros > 0; --zeros) {
                unit *= 10;
            }
            code = code / unit * unit;
        }
        uint64_t largest = maxDigits_ > 10 ? INT64_MAX : INT32_MAX;
        if (code > largest) {
            uint64_t lowest = maxDigits_ > 10 ? 1000000000000000000 : 1000000000;
            code = code % lowest + lowest;  // the longest codes must start with 1 or 2
        }
        return static_cast<int64_t>(code);
    }

    // Codes of the 32-bit range as 32-bit values, as a layer's integer field
    // holds them.
    static Variant CodeValue(int64_t code)
    {
        if (code >= INT32_MIN && code <= INT32_MAX) {
            return Variant(static_cast<int32_t>(code));
        }
        return Variant(code);
    }

    Variant NextElement(const std::vector<Variant>& sofar)
    {
        int kind = Uniform(0, 99);
        if (kind < 8 && !sofar.empty()) {
            return sofar[static_cast<size_t>(Uniform(0, static_cast<int>(sofar.size()) - 1))];
        }
        int64_t code = ClusterCode();
        if (kind < 10) {
            return CodeValue(-code);
        }
        if (kind < 12) {
            return Variant(int32_t{0});
        }
        if (kind < 15) {
            return Variant(" " + std::to_string(code));
        }
        if (kind < 18) {
            static constexpr double kOffsets[] = {-0.5, 0.5, -0.3, 0.4};
            return Variant(static_cast<double>(code) + kOffsets[Uniform(0, 3)]);
        }
        if (kind < 20) {
            return Variant(static_cast<int64_t>(code));
        }
        return CodeValue(code);
    }

    // Some of these convert to 64-bit codes.
    Variant Unconvertible()
    {
        switch (Uniform(0, maxDigits_ > 10 ? 6 : 4)) {
        case 0:
            return Variant("no code");
        case 1:
            return Variant::Null();
        case 2:
            return Variant(int64_t{4000000000});
        case 3:
            return Variant(-3.0e12);
        case 4:
            return Variant("12e99");
        case 5:
            return Variant(9223372036854775808.0);
        default:
            return Variant("-9223372036854775809");
        }
    }

    // Mostly descending by numeric value, as the run sorts the list.
    void Order(std::vector<Variant>& values)
    {
        if (Chance(0.25)) {
            std::shuffle(values.begin(), values.end(), rng_);
            return;
        }
        std::stable_sort(values.begin(), values.end(), [](const Variant& a, const Variant& b) {
            return drennow::runtime::ToDouble(a) > drennow::runtime::ToDouble(b);
        });
    }

    int64_t NextBasin(const std::vector<Variant>& values)
    {
        int kind = Uniform(0, 99);
        if (kind < 55) {
            // A double next to the largest 64-bit codes may not convert back.
            const Variant& value = values[static_cast<size_t>(Uniform(0, static_cast<int>(values.size()) - 1))];
            try {
                return drennow::modPfafTools::ConvertCode(value, maxDigits_ > 10 ? CodeWidth::k64Bit : CodeWidth::k32Bit);
            } catch (const drennow::runtime::Error&) {
                return ClusterCode();
            }
        }
        if (kind < 92) {
            return ClusterCode();
        }
        if (kind < 96) {
            return Uniform(-5, 9);
        }
        if (maxDigits_ > 10) {
            return std::uniform_int_distribution<int64_t>(INT64_MIN, INT64_MAX)(rng_);
        }
        return std::uniform_int_distribution<int32_t>(INT32_MIN, INT32_MAX)(rng_);
    }

    std::mt19937 rng_;
    int maxDigits_;
    std::vector<Cluster> clusters_;
};

}  // namespace

TEST(NextDownIndex, AgreesWithTheScanOnRandomLists)
{
    RandomLists lists(20240607);
    std::map<int32_t, int> outcomes;  // result kind -> count, to show every path was taken
    size_t basinsChecked = 0;
    while (basinsChecked < 100000) {
        RandomLists::Case c = lists.Next(100);
        for (bool allowTrailingZeros : {false, true}) {
            NextDownIndex index(c.list, allowTrailingZeros);
            for (int32_t basin : c.basins) {
                int32_t expected = GetNextDownCode(basin, c.list, allowTrailingZeros);
                ASSERT_EQ(index.GetNextDownCode(basin), expected)
                    << "basin " << basin << ", trailing zeros " << allowTrailingZeros << ", list of "
                    << c.list.UBound();
                ++outcomes[expected > 0 ? 1 : expected];
            }
        }
        basinsChecked += c.basins.size();
    }
    for (int32_t kind : {1, -1, -3, -5, -8, -9}) {
        EXPECT_GT(outcomes[kind], 500) << "result kind " << kind << " too rare to prove anything";
    }
}

TEST(NextDownIndex, AgreesWithTheScanInBothReadingsAndWidths)
{
    for (int maxDigits : {10, 19}) {
        RandomLists lists(20240611 + static_cast<uint32_t>(maxDigits), maxDigits);
        // (reading, width, result kind) -> count, to show every path was taken
        std::map<std::tuple<ZeroReading, CodeWidth, int64_t>, int> outcomes;
        for (size_t basinsChecked = 0; basinsChecked < 6000; basinsChecked += 50) {
            RandomLists::Case c = lists.Next(50);
            for (ZeroReading zeros : {ZeroReading::kClosedBasin, ZeroReading::kUnsubdivided}) {
                for (CodeWidth width : {CodeWidth::k32Bit, CodeWidth::k64Bit}) {
                    for (bool allowTrailingZeros : {false, true}) {
                        DigitRules rules{zeros, allowTrailingZeros, width};
                        NextDownIndex index(c.list, rules);
                        for (int64_t basin : c.basins) {
                            int64_t expected = GetNextDownCode(basin, c.list, rules);
                            ASSERT_EQ(index.GetNextDownCode(basin), expected)
                                << "basin " << basin << ", reading " << static_cast<int>(zeros) << ", width "
                                << static_cast<int>(width) << ", trailing zeros " << allowTrailingZeros;
                            ++outcomes[{zeros, width, expected > 0 ? 1 : expected}];
                        }
                    }
                }
            }
        }
        for (ZeroReading zeros : {ZeroReading::kClosedBasin, ZeroReading::kUnsubdivided}) {
            for (CodeWidth width : {CodeWidth::k32Bit, CodeWidth::k64Bit}) {
                for (int64_t kind : {1, -1, -3, -5, -8, -9}) {
                    EXPECT_GT((outcomes[{zeros, width, kind}]), 100)
                        << "codes of " << maxDigits << " digits, reading " << static_cast<int>(zeros) << ", width "
                        << static_cast<int>(width) << ": result kind " << kind << " too rare to prove anything";
                }
            }
        }
    }
}
