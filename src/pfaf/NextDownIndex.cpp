#include "pfaf/NextDownIndex.h"

#include "pfaf/modPfafTools.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <limits>

namespace drennow::modPfafTools {

namespace {

// How many filings ahead a slot is brought into the cache: enough for the
// memory's latency, few enough to stay in the first-level cache.
constexpr size_t kFilingsAhead = 16;

// A key's digit at position k: the digit itself, but a 0 (odd in the
// unsubdivided reading) is filed as 2, which no other key holds at k. So the
// last non-zero digit of a key tells its position, and keys through k and
// through k - 1 never meet.
uint64_t KeyDigit(uint8_t digit)
{
    return digit == 0 ? 2 : digit;
}

// Calls visit(k, prefix, unit) for the positions k from the last down to
// `lowest`, until visit returns true: prefix is the code with its digits from
// k on set to zero, unit the place value of digit k.
template <typename Visit>
void ForEachPosition(const CodeDigits& code, int lowest, Visit&& visit)
{
    uint64_t prefix = code.Value();
    uint64_t unit = 1;
    for (int k = code.Count() - 1; k >= lowest; --k, unit *= 10) {
        prefix -= code[k] * unit;
        if (visit(k, prefix, unit)) {
            return;
        }
    }
}

// Calls file(key, k) for every key under which a basin can find this
// candidate: its first k digits and its digit at k, for each position k
// through which it receives flow. A candidate with odd leading digits
// receives none.
template <typename File>
void ForEachKey(int64_t code, const DigitRules& rules, File&& file)
{
    if (code < 10) {
        return;  // one digit has no position k after the first; no negatives
    }
    CodeDigits candidate(code);
    DigitSpan receiving = ReceivingPositions(candidate, rules);
    int lowest = std::max(receiving.begin, 1);
    if (lowest >= receiving.end || HasOddLeadingDigits(candidate, rules)) {
        return;
    }
    ForEachPosition(candidate, lowest, [&](int k, uint64_t prefix, uint64_t unit) {
        if (k < receiving.end) {
            file(prefix + KeyDigit(candidate[k]) * unit, k);
        }
        return false;
    });
}

// Calls file(key, position) for the keys of the list's elements in list
// order, but not for a key that the element filed last through the same
// digit position had too: a second element under a key is never kept. The
// elements of a descending list under one key follow one another (they share
// the key's digits), so there every key comes once.
template <typename Code, typename File>
void ForEachNewKey(const std::vector<Code>& codes, const DigitRules& rules, const runtime::Checkpoint& checkpoint,
                   File&& file)
{
    std::array<uint64_t, CodeDigits::kMaxCount> lastKey{};  // by digit position
    for (size_t position = 0; position < codes.size(); ++position) {
        checkpoint.Pass();
        ForEachKey(codes[position], rules, [&](uint64_t key, int k) {
            if (key != lastKey[static_cast<size_t>(k)]) {
                lastKey[static_cast<size_t>(k)] = key;
                file(key, position);
            }
        });
    }
}

// The digits below a digit that count as odd, largest first.
struct OddDigitsBelow {
    std::array<uint8_t, 5> digits{};
    int count = 0;
};
using OddDigitsTable = std::array<OddDigitsBelow, 10>;

constexpr OddDigitsTable OddDigitsBelowEach(ZeroReading zeros)
{
    OddDigitsTable table{};
    for (int digit = 0; digit < 10; ++digit) {
        for (int below = digit - 1; below >= 0; --below) {
            if (CountsAsOdd(static_cast<uint8_t>(below), zeros)) {
                OddDigitsBelow& entry = table[static_cast<size_t>(digit)];
                entry.digits[static_cast<size_t>(entry.count++)] = static_cast<uint8_t>(below);
            }
        }
    }
    return table;
}

constexpr OddDigitsTable kOddBelowClosedBasin = OddDigitsBelowEach(ZeroReading::kClosedBasin);
constexpr OddDigitsTable kOddBelowUnsubdivided = OddDigitsBelowEach(ZeroReading::kUnsubdivided);

// Calls look(key) for every key that can hold a candidate downstream of the
// basin, largest candidates first (a later position k, then a larger digit
// at k), until look returns true.
template <typename Look>
void ForEachLookup(const CodeDigits& basin, ZeroReading zeros, Look&& look)
{
    const OddDigitsTable& oddBelow =
        zeros == ZeroReading::kUnsubdivided ? kOddBelowUnsubdivided : kOddBelowClosedBasin;
    ForEachPosition(basin, 1, [&](int k, uint64_t prefix, uint64_t unit) {
        const OddDigitsBelow& candidates = oddBelow[basin[k]];
        for (int i = 0; i < candidates.count; ++i) {
            if (look(prefix + KeyDigit(candidates.digits[static_cast<size_t>(i)]) * unit)) {
                return true;
            }
        }
        return false;
    });
}

}  // namespace

template <typename Key, typename Code>
PrefixTable<Key, Code>::PrefixTable(size_t keys, bool keepPositions) : shift_(64 - 4)
{
    // At most two slots in three are used, so every probe meets an empty one.
    for (size_t slots = 16; keys * 3 > slots * 2; slots *= 2) {
        --shift_;
    }
    slots_.resize(size_t{1} << (64 - shift_));
    positions_.resize(keepPositions ? slots_.size() : 0);
}

template <typename Key, typename Code>
size_t PrefixTable<Key, Code>::Home(Key key) const
{
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> shift_);
}

template <typename Key, typename Code>
void PrefixTable<Key, Code>::Insert(Key key, Code code, uint32_t position)
{
    size_t mask = slots_.size() - 1;
    for (size_t i = Home(key);; i = (i + 1) & mask) {
        if (slots_[i].key == key) {
            return;  // an earlier element holds this key
        }
        if (slots_[i].key == 0) {
            slots_[i] = Slot{key, code};
            if (!positions_.empty()) {
                positions_[i] = position;
            }
            return;
        }
    }
}

template <typename Key, typename Code>
auto PrefixTable<Key, Code>::Find(uint64_t key) const -> std::optional<Match>
{
    if constexpr (sizeof(Key) < sizeof(key)) {
        if (key > std::numeric_limits<Key>::max()) {
            return std::nullopt;  // a basin longer than any code held
        }
    }
    size_t mask = slots_.size() - 1;
    for (size_t i = Home(static_cast<Key>(key));; i = (i + 1) & mask) {
        if (slots_[i].key == key) {
            return Match{slots_[i].code, positions_.empty() ? 0 : positions_[i]};
        }
        if (slots_[i].key == 0) {
            return std::nullopt;
        }
    }
}

template <typename Key, typename Code>
size_t PrefixTable<Key, Code>::MemoryBytes() const
{
    return slots_.capacity() * sizeof(Slot) + positions_.capacity() * sizeof(uint32_t);
}

template class PrefixTable<uint32_t, int32_t>;
template class PrefixTable<uint64_t, int64_t>;

NextDownIndex::NextDownIndex(const runtime::VariantArray& codes, const DigitRules& rules,
                             const runtime::Checkpoint& checkpoint)
    : rules_(rules)
{
    if (rules.width == CodeWidth::k64Bit) {
        BuildFromList<int64_t>(codes, checkpoint);
    } else {
        BuildFromList<int32_t>(codes, checkpoint);
    }
}

NextDownIndex::NextDownIndex(const std::vector<int32_t>& codes, const DigitRules& rules,
                             const runtime::Checkpoint& checkpoint)
    : rules_(rules)
{
    Build(codes, checkpoint);
}

NextDownIndex::NextDownIndex(const std::vector<int64_t>& codes, const DigitRules& rules,
                             const runtime::Checkpoint& checkpoint)
    : rules_(rules)
{
    Build(codes, checkpoint);
}

NextDownIndex::NextDownIndex(const runtime::VariantArray& codes, bool allowTrailingZeros)
    : NextDownIndex(codes, DigitRules{.allowTrailingZeros = allowTrailingZeros})
{
}

NextDownIndex::NextDownIndex(const std::vector<int32_t>& codes, bool allowTrailingZeros)
    : NextDownIndex(codes, DigitRules{.allowTrailingZeros = allowTrailingZeros})
{
}

template <typename Code>
void NextDownIndex::BuildFromList(const runtime::VariantArray& codes, const runtime::Checkpoint& checkpoint)
{
    std::vector<Code> converted;
    if (!codes.IsAllocated()) {
        scanMeetsFailure_ = true;  // on reading the bounds
    } else {
        int64_t first = codes.LBound();
        int64_t last = codes.UBound();
        converted.reserve(static_cast<size_t>(last - first + 1));
        // The scan stops at the first unconvertible element, so nothing past
        // it can be a match.
        try {
            for (int64_t i = first; i <= last; ++i) {
                converted.push_back(static_cast<Code>(ConvertCode(codes(static_cast<int32_t>(i)), rules_.width)));
            }
        } catch (const std::exception&) {
            scanMeetsFailure_ = true;
        }
    }
    Build(converted, checkpoint);
}

template <typename Code>
void NextDownIndex::Build(const std::vector<Code>& codes, const runtime::Checkpoint& checkpoint)
{
    descending_ = std::is_sorted(codes.begin(), codes.end(), std::greater<>());
    auto fitsNarrow = [](Code code) { return code <= std::numeric_limits<int32_t>::max(); };
    if (std::all_of(codes.begin(), codes.end(), fitsNarrow)) {
        Fill<NarrowTable>(codes, checkpoint);
    } else {
        Fill<WideTable>(codes, checkpoint);
    }
}

// Counts the keys first, to make a table sized for them that never grows;
// then files each key a few keys after its slot was asked for, in the order
// the keys come: the waits for memory of neighbouring filings overlap.
template <typename Table, typename Code>
void NextDownIndex::Fill(const std::vector<Code>& codes, const runtime::Checkpoint& checkpoint)
{
    using Key = typename Table::KeyType;
    struct Filing {
        Key key;
        uint32_t position;
    };
    size_t keys = 0;
    ForEachNewKey(codes, rules_, checkpoint, [&](uint64_t, size_t) { ++keys; });
    auto& table = table_.emplace<Table>(keys, !descending_);
    auto file = [&](const Filing& filing) {
        table.Insert(filing.key, static_cast<typename Table::CodeType>(codes[filing.position]), filing.position);
    };
    std::array<Filing, kFilingsAhead> waiting{};
    size_t gathered = 0;
    ForEachNewKey(codes, rules_, checkpoint, [&](uint64_t key, size_t position) {
        Filing& slot = waiting[gathered++ % kFilingsAhead];
        if (gathered > kFilingsAhead) {
            file(slot);
        }
        slot = {static_cast<Key>(key), static_cast<uint32_t>(position)};
        table.Prefetch(slot.key);
    });
    for (size_t i = gathered > kFilingsAhead ? gathered - kFilingsAhead : 0; i < gathered; ++i) {
        file(waiting[i % kFilingsAhead]);
    }
}

template <typename Table>
int64_t NextDownIndex::FirstMatch(const Table& table, const CodeDigits& basin) const
{
    std::optional<typename Table::Match> first;
    ForEachLookup(basin, rules_.zeros, [&](uint64_t key) {
        std::optional<typename Table::Match> match = table.Find(key);
        if (match && (!first || match->position < first->position)) {
            first = match;
        }
        return first && descending_;
    });
    return first ? first->code : 0;
}

int64_t NextDownIndex::GetNextDownCode(int64_t basinCode) const
{
    if (basinCode == 0) {
        return kZeroCode;
    }
    if (basinCode < 0) {
        return kNegativeCode;
    }
    CodeDigits basin(basinCode);
    if (DrainsToWaterbody(basin, rules_)) {
        return kDrainsToWaterbody;
    }
    int64_t match = std::visit([&](const auto& table) { return FirstMatch(table, basin); }, table_);
    if (match != 0) {
        return match;  // codes filed have two digits or more
    }
    return scanMeetsFailure_ ? kSearchFailed : kNothingDownstream;
}

void NextDownIndex::Prefetch(int64_t basinCode) const
{
    // Most basins find their match among their first few keys.
    constexpr int kKeysAhead = 2;
    if (basinCode <= 0) {
        return;
    }
    std::visit(
        [&](const auto& table) {
            using Key = typename std::decay_t<decltype(table)>::KeyType;
            int keys = 0;
            ForEachLookup(CodeDigits(basinCode), rules_.zeros, [&](uint64_t key) {
                if (key <= std::numeric_limits<Key>::max()) {
                    table.Prefetch(static_cast<Key>(key));
                }
                return ++keys == kKeysAhead;
            });
        },
        table_);
}

size_t NextDownIndex::MemoryBytes() const
{
    return std::visit([](const auto& table) { return table.MemoryBytes(); }, table_);
}

}  // namespace drennow::modPfafTools
