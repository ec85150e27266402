#include "pfaf/NextDownIndex.h"

#include "pfaf/modPfafTools.h"

#include <array>
#include <exception>

namespace drennow::modPfafTools {

namespace {

constexpr std::array<uint32_t, 10> kPowersOfTen = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000,
};

// The decimal digits of a positive code, most significant first.
struct Digits {
    uint32_t value;
    std::array<uint8_t, 10> digit{};
    int count = 0;

    explicit Digits(int32_t code) : value(static_cast<uint32_t>(code))
    {
        std::array<uint8_t, 10> reversed{};
        for (auto rest = static_cast<uint32_t>(code); rest != 0; rest /= 10) {
            reversed[count++] = static_cast<uint8_t>(rest % 10);
        }
        for (int i = 0; i < count; ++i) {
            digit[i] = reversed[count - 1 - i];
        }
    }
};

bool IsOdd(uint8_t digit)
{
    return digit % 2 == 1;
}

// The code with its last `count` digits set to zero.
uint32_t ZeroLastDigits(uint32_t code, int count)
{
    return code / kPowersOfTen[count] * kPowersOfTen[count];
}

// DrainsToWaterbody on digits, without building texts.
bool Drains(const Digits& code, bool allowTrailingZeros)
{
    int end = code.count;
    while (allowTrailingZeros && code.digit[end - 1] == 0) {
        --end;  // a positive code has a non-zero digit
    }
    int begin = end;
    while (begin > 0 && code.digit[begin - 1] != 0) {
        --begin;
    }
    if (begin == end) {
        return true;  // ends in 0: what is left is the single digit 0
    }
    int firstEven = begin;
    while (firstEven < end && IsOdd(code.digit[firstEven])) {
        ++firstEven;
    }
    for (int i = firstEven + 1; i < end; ++i) {
        if (code.digit[i] != 1) {
            return false;
        }
    }
    return true;
}

// Calls file(key) for every prefix key under which a basin can find this
// candidate: the candidate's digits up to position k, then zeros, for each k
// in its final odd run. The run must follow a digit 2, 4, 6 or 8, or the
// candidate has odd leading digits and never receives flow.
template <typename File>
void ForEachKey(int32_t candidate, bool allowTrailingZeros, File&& file)
{
    if (candidate < 10) {
        return;  // one digit has no position k after the first
    }
    Digits code(candidate);
    int last = code.count - 1;
    while (code.digit[last] == 0) {
        --last;
    }
    if (last != code.count - 1 && !allowTrailingZeros) {
        return;
    }
    int beforeRun = last;
    while (beforeRun >= 0 && IsOdd(code.digit[beforeRun])) {
        --beforeRun;
    }
    if (beforeRun < 0 || beforeRun == last || code.digit[beforeRun] == 0) {
        return;
    }
    for (int k = beforeRun + 1; k <= last; ++k) {
        file(ZeroLastDigits(code.value, code.count - 1 - k));
    }
}

// Calls look(key) for every prefix key that can hold a candidate downstream
// of the basin, largest candidates first (a later position k, then a larger
// odd digit at k), until look returns true.
template <typename Look>
void ForEachLookup(const Digits& basin, Look&& look)
{
    for (int k = basin.count - 1; k >= 1; --k) {
        int after = basin.count - 1 - k;
        uint32_t prefix = ZeroLastDigits(basin.value, after + 1);
        int largestOdd = basin.digit[k] - (IsOdd(basin.digit[k]) ? 2 : 1);
        for (int odd = largestOdd; odd >= 1; odd -= 2) {
            if (look(prefix + static_cast<uint32_t>(odd) * kPowersOfTen[after])) {
                return;
            }
        }
    }
}

}  // namespace

NextDownIndex::NextDownIndex(const runtime::VariantArray& codes, bool allowTrailingZeros)
    : allowTrailingZeros_(allowTrailingZeros)
{
    std::vector<int32_t> converted;
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
                converted.push_back(runtime::ToLong(codes(static_cast<int32_t>(i))));
            }
        } catch (const std::exception&) {
            scanMeetsFailure_ = true;
        }
    }
    Build(converted);
}

NextDownIndex::NextDownIndex(const std::vector<int32_t>& codes, bool allowTrailingZeros)
    : allowTrailingZeros_(allowTrailingZeros)
{
    Build(codes);
}

void NextDownIndex::Build(const std::vector<int32_t>& codes)
{
    slots_.assign(16, Slot{});
    shift_ = 64 - 4;
    for (size_t position = 0; position < codes.size(); ++position) {
        int32_t code = codes[position];
        if (position > 0 && code > codes[position - 1]) {
            descending_ = false;
        }
        ForEachKey(code, allowTrailingZeros_,
                   [&](uint32_t key) { Insert(key, code, static_cast<uint32_t>(position)); });
    }
}

size_t NextDownIndex::Home(uint32_t key) const
{
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> shift_);
}

void NextDownIndex::Insert(uint32_t key, int32_t code, uint32_t position)
{
    size_t mask = slots_.size() - 1;
    for (size_t i = Home(key);; i = (i + 1) & mask) {
        if (slots_[i].key == key) {
            return;  // an earlier element holds this key
        }
        if (slots_[i].key == 0) {
            slots_[i] = Slot{key, code, position};
            break;
        }
    }
    if (++used_ * 3 > slots_.size() * 2) {
        Grow();
    }
}

void NextDownIndex::Grow()
{
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    --shift_;
    size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.key == 0) {
            continue;
        }
        size_t i = Home(slot.key);
        while (slots_[i].key != 0) {
            i = (i + 1) & mask;
        }
        slots_[i] = slot;
    }
}

const NextDownIndex::Slot* NextDownIndex::Find(uint32_t key) const
{
    size_t mask = slots_.size() - 1;
    for (size_t i = Home(key);; i = (i + 1) & mask) {
        if (slots_[i].key == key) {
            return &slots_[i];
        }
        if (slots_[i].key == 0) {
            return nullptr;
        }
    }
}

int32_t NextDownIndex::GetNextDownCode(int32_t basinCode) const
{
    if (basinCode == 0) {
        return kZeroCode;
    }
    if (basinCode < 0) {
        return kNegativeCode;
    }
    Digits basin(basinCode);
    if (Drains(basin, allowTrailingZeros_)) {
        return kDrainsToWaterbody;
    }
    const Slot* first = nullptr;
    ForEachLookup(basin, [&](uint32_t key) {
        const Slot* match = Find(key);
        if (match != nullptr && (first == nullptr || match->position < first->position)) {
            first = match;
        }
        return first != nullptr && descending_;
    });
    if (first != nullptr) {
        return first->code;
    }
    return scanMeetsFailure_ ? kSearchFailed : kNothingDownstream;
}

size_t NextDownIndex::MemoryBytes() const
{
    return slots_.capacity() * sizeof(Slot);
}

}  // namespace drennow::modPfafTools
