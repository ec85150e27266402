// The network of codes against the run's own answers: every basin drains
// into the first basin whose code is the value the run writes for it, on
// random code sets of both readings of zeros and both widths.
#include "Reference.h"

#include "command/NextDownAssigner.h"
#include "network/Network.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using drennow::command::AssignLayer;
using drennow::command::Assigned;
using drennow::command::RunOptions;
using drennow::network::Coded;
using drennow::network::FromCodes;
using drennow::network::kNoBasin;
using drennow::network::Position;
using drennow::runtime::Variant;

namespace {

// Codes of a few levels with every digit, and among them nulls, zeros,
// negatives, duplicates, codes as text and as reals, text that is no
// number and, in 64-bit runs, codes beyond 32 bits.
std::vector<Variant> RandomCodes(std::mt19937_64& random, size_t n, bool wide)
{
    std::vector<Variant> codes(n);
    for (size_t i = 0; i < n; ++i) {
        int64_t code = 0;
        for (size_t digits = 1 + random() % 4; digits-- > 0;) {
            code = code * 10 + static_cast<int64_t>(random() % 10);
        }
        code = code == 0 ? 1 : code;
        Variant& at = codes[i];
        switch (random() % 16) {
        case 0:
            at = Variant::Null();
            break;
        case 1:
            at = Variant(0);
            break;
        case 2:
            at = Variant(static_cast<int32_t>(-code));
            break;
        case 3:
            at = Variant(std::to_string(code));
            break;
        case 4:
            at = Variant("basin " + std::to_string(code));
            break;
        case 5:
            at = Variant(code * 100000000 + 1);  // 64-bit only
            break;
        case 6:
            at = codes[random() % (i + 1)];  // a repeated code, or empty: no code read
            break;
        case 7:
            at = Variant(static_cast<double>(code));
            break;
        default:
            at = wide ? Variant(code) : Variant(static_cast<int32_t>(code));
        }
    }
    return codes;
}

// Whether the run converts the code at its width (nulls aside).
bool Unconvertible(const Variant& code, bool wide)
{
    if (code.IsNull()) {
        return false;
    }
    try {
        wide ? drennow::runtime::ToLongLong(code) : drennow::runtime::ToLong(code);
        return false;
    } catch (const drennow::runtime::Error&) {
        return true;
    }
}

int64_t Number(const Variant& code)
{
    return drennow::runtime::ToLongLong(code);
}

// Each basin's downstream basin holds the code the run writes for it, and is
// the first basin read with that code; a failure ends the chain.
void ExpectTheRunsAnswers(const std::vector<Variant>& codes, const RunOptions& options, bool allowTrailingZeros)
{
    std::vector<Variant> asTheRunReads = codes;
    size_t unconvertible = 0;
    Position first = kNoBasin;
    for (size_t i = 0; i < codes.size(); ++i) {
        if (Unconvertible(codes[i], options.int64)) {
            asTheRunReads[i] = Variant::Null();
            first = unconvertible++ == 0 ? static_cast<Position>(i) : first;
        }
    }
    std::vector<Assigned> answers = AssignLayer(asTheRunReads, nullptr, options, allowTrailingZeros);
    Coded coded = FromCodes(
        codes.size(), [&codes](size_t i) { return codes[i]; }, options, allowTrailingZeros);
    EXPECT_EQ(coded.unconvertible, unconvertible);
    EXPECT_EQ(coded.firstUnconvertible, first);
    for (size_t i = 0; i < codes.size(); ++i) {
        Position down = coded.network.Downstream(static_cast<Position>(i));
        if (answers[i].failure) {
            EXPECT_EQ(down, kNoBasin) << "basin " << i << " " << codes[i];
            continue;
        }
        Position expected = kNoBasin;
        for (size_t j = 0; j < codes.size() && expected == kNoBasin; ++j) {
            if (!asTheRunReads[j].IsNull() && Number(asTheRunReads[j]) == Number(answers[i].value)) {
                expected = static_cast<Position>(j);
            }
        }
        EXPECT_EQ(down, expected) << "basin " << i << " " << codes[i] << " -> " << answers[i].value;
    }
}

}  // namespace

TEST(FromCodes, EveryBasinDrainsWhereTheRunSendsIt)
{
    std::mt19937_64 random(3);
    for (int round = 0; round < 400; ++round) {
        RunOptions options;
        options.int64 = random() % 2 == 0;
        options.zerosUnsubdivided = random() % 2 == 0;
        bool allowTrailingZeros = random() % 2 == 0;
        ExpectTheRunsAnswers(RandomCodes(random, 1 + random() % 60, options.int64), options, allowTrailingZeros);
        if (HasFailure()) {
            return;
        }
    }
}

TEST(FromCodes, CodesThatDoNotConvertEndTheChainAndAreCounted)
{
    std::vector<Variant> codes = {Variant(1), Variant("no number"), Variant(int64_t{5000000000}), Variant(2),
                                  Variant(3)};
    RunOptions narrow;
    Coded coded = FromCodes(
        codes.size(), [&codes](size_t i) { return codes[i]; }, narrow, false);
    EXPECT_EQ(coded.unconvertible, 2u);
    EXPECT_EQ(coded.firstUnconvertible, 1);
    EXPECT_EQ(coded.network.Downstream(1), kNoBasin);
    EXPECT_EQ(coded.network.Downstream(2), kNoBasin);
    RunOptions wide;
    wide.int64 = true;
    Coded widely = FromCodes(
        codes.size(), [&codes](size_t i) { return codes[i]; }, wide, false);
    EXPECT_EQ(widely.unconvertible, 1u);
    EXPECT_EQ(widely.firstUnconvertible, 1);
}

TEST(FromCodes, ARealisticLayerMatchesItsWalksAndTheRun)
{
    // Large enough for the hash table to wrap and probe: a complete
    // subdivision of three levels read in a scrambled order.
    std::vector<Variant> codes;
    for (int32_t code = 111; code <= 999; ++code) {
        if (code % 10 != 0 && code / 10 % 10 != 0) {
            codes.push_back(Variant(code));
        }
    }
    std::mt19937_64 random(9);
    std::shuffle(codes.begin(), codes.end(), random);
    RunOptions options;
    ExpectTheRunsAnswers(codes, options, false);
    Coded coded = FromCodes(
        codes.size(), [&codes](size_t i) { return codes[i]; }, options, false);
    std::vector<Position> downstream;
    for (size_t i = 0; i < codes.size(); ++i) {
        downstream.push_back(coded.network.Downstream(static_cast<Position>(i)));
    }
    drennow::network::testing::Reference reference(downstream);
    for (size_t i = 0; i < codes.size(); ++i) {
        EXPECT_EQ(coded.network.Outlet(static_cast<Position>(i)), reference.Outlet(static_cast<Position>(i)));
    }
    EXPECT_EQ(coded.network.OnCycles().basins, 0u);
}
