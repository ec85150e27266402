// The networks of a layer's columns: of its Pfafstetter codes, through the
// run's own answers, and of a topology field.
#include "network/Network.h"
#include "network/PositionsByKey.h"

#include "runtime/Error.h"

#include <optional>

namespace drennow::network {

using runtime::Variant;

namespace {

// The layer's codes as whole numbers at the run's width, read once.
struct ReadCodes {
    std::vector<int64_t> number;  // 0 where takenAsNull
    std::vector<bool> takenAsNull;  // null, or does not convert
    bool allIntegers = true;     // every code is null or an integer
    size_t unconvertible = 0;
    Position firstUnconvertible = kNoBasin;
};

// The code as the run converts it; nothing when it does not convert.
std::optional<int64_t> WholeNumberAtWidth(const Variant& code, bool int64)
{
    try {
        return int64 ? runtime::ToLongLong(code) : runtime::ToLong(code);
    } catch (const runtime::Error&) {
        return std::nullopt;
    }
}

ReadCodes Read(size_t count, const command::ValueAt& codeAt, bool int64, const runtime::Checkpoint& checkpoint)
{
    ReadCodes codes;
    codes.number.resize(count, 0);
    codes.takenAsNull.resize(count, false);
    for (size_t i = 0; i < count; ++i) {
        checkpoint.Pass();
        Variant code = codeAt(i);
        if (code.IsNull()) {
            codes.takenAsNull[i] = true;
            continue;
        }
        codes.allIntegers = codes.allIntegers && code.IsInteger();
        std::optional<int64_t> number = WholeNumberAtWidth(code, int64);
        if (!number) {
            codes.takenAsNull[i] = true;
            codes.firstUnconvertible = codes.unconvertible++ == 0 ? static_cast<Position>(i) : codes.firstUnconvertible;
            continue;
        }
        codes.number[i] = *number;
    }
    return codes;
}

// The codes as the run is to read them, nulls for those that do not
// convert. Integers are handed from what was read (the run reads every
// integer kind alike); other values are read again, as the run would.
command::ValueAt AsTheRunReads(const ReadCodes& codes, const command::ValueAt& codeAt)
{
    if (codes.allIntegers) {
        return [&codes](size_t i) { return codes.takenAsNull[i] ? Variant::Null() : Variant(codes.number[i]); };
    }
    return [&codes, &codeAt](size_t i) { return codes.takenAsNull[i] ? Variant::Null() : codeAt(i); };
}

// Where the run's answers, codes, lead: the first basin of each code.
PositionsByKey FirstOfEachCode(const ReadCodes& codes, const runtime::Checkpoint& checkpoint)
{
    constexpr size_t kAhead = 16;
    const std::vector<int64_t>& number = codes.number;
    PositionsByKey first(number.size());
    for (size_t i = 0; i < number.size(); ++i) {
        checkpoint.Pass();
        if (i + kAhead < number.size() && number[i + kAhead] > 0) {
            first.Prefetch(number[i + kAhead]);
        }
        if (number[i] > 0) {
            first.Add(number[i], static_cast<int32_t>(i));
        }
    }
    return first;
}

// Per basin, the first basin of its next-down code (kNone for 0 or a code
// of no basin), looked up a few basins ahead of their use.
std::vector<int32_t> FirstBasins(const std::vector<int64_t>& nextDown, const PositionsByKey& first,
                                 const runtime::Checkpoint& checkpoint)
{
    constexpr size_t kAhead = 16;
    std::vector<int32_t> basins(nextDown.size(), -1);
    for (size_t i = 0; i < nextDown.size(); ++i) {
        checkpoint.Pass();
        if (i + kAhead < nextDown.size() && nextDown[i + kAhead] != 0) {
            first.Prefetch(nextDown[i + kAhead]);
        }
        if (nextDown[i] != 0) {
            basins[i] = first.Find(nextDown[i]);
        }
    }
    return basins;
}

}  // namespace

Coded FromCodes(size_t count, const command::ValueAt& codeAt, const command::RunOptions& options,
                bool allowTrailingZeros, const runtime::Checkpoint& checkpoint)
{
    Network::CheckCount(count);
    ReadCodes codes = Read(count, codeAt, options.int64, checkpoint);
    // The run's answers: next-down codes, 0 for a failure.
    std::vector<int64_t> nextDown(count, 0);
    command::AssignLayer(
        count, AsTheRunReads(codes, codeAt), {}, options, allowTrailingZeros,
        [&nextDown](size_t i, command::Assigned&& answer) {
            if (!answer.failure) {
                nextDown[i] = runtime::ToLongLong(answer.value);
            }
        },
        checkpoint);
    size_t unconvertible = codes.unconvertible;
    Position firstUnconvertible = codes.firstUnconvertible;
    std::vector<Network::Link> downstream = FirstBasins(nextDown, FirstOfEachCode(codes, checkpoint), checkpoint);
    codes = {};
    nextDown = {};
    return Coded{Network(std::move(downstream), checkpoint), unconvertible, firstUnconvertible};
}

Topology FromNextDown(size_t count, const command::ValueAt& idAt, const command::ValueAt& nextDownAt,
                      const runtime::Checkpoint& checkpoint)
{
    Network::CheckCount(count);
    PositionsByKey first(count);
    size_t repeated = 0;
    for (size_t i = 0; i < count; ++i) {
        checkpoint.Pass();
        Variant id = idAt(i);
        if (!id.IsNull() && !first.Add(runtime::ToLongLong(id), static_cast<int32_t>(i))) {
            ++repeated;
        }
    }
    std::vector<Network::Link> downstream(count, Network::kNone);
    for (size_t i = 0; i < count; ++i) {
        checkpoint.Pass();
        Variant next = nextDownAt(i);
        int64_t id = next.IsNull() ? 0 : runtime::ToLongLong(next);
        downstream[i] = id == 0 ? Network::kNone : first.Find(id);
    }
    return Topology{Network(std::move(downstream), checkpoint), repeated};
}

}  // namespace drennow::network
