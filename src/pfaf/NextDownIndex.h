#pragma once

#include "pfaf/DigitRules.h"
#include "runtime/Checkpoint.h"
#include "runtime/Prefetch.h"
#include "runtime/VariantArray.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace drennow::modPfafTools {

// Open addressing from prefix keys to the first list element filed under
// each. Key 0 marks an empty slot. A slot holds the key and the element's
// code; the element's list position is kept beside the slots only when asked
// for, which a list not in descending order needs to tell the first of
// several matches (in a descending one the first match met is the first).
template <typename Key, typename Code>
class PrefixTable {
public:
    using KeyType = Key;
    using CodeType = Code;

    // Room for that many keys, never more.
    explicit PrefixTable(size_t keys = 0, bool keepPositions = false);

    // Keeps the element already filed under the key, if any.
    void Insert(Key key, Code code, uint32_t position);
    // Brings the key's first slot into the cache ahead of its Insert.
    void Prefetch(Key key) const { runtime::Prefetch(&slots_[Home(key)]); }
    // The code and list position (0 when positions are not kept) filed under
    // the key, or nothing.
    struct Match {
        Code code;
        uint32_t position;
    };
    std::optional<Match> Find(uint64_t key) const;
    size_t MemoryBytes() const;

private:
    struct Slot {
        Key key = 0;
        Code code = 0;
    };

    size_t Home(Key key) const;

    std::vector<Slot> slots_;
    std::vector<uint32_t> positions_;  // of the slots' elements, when kept
    int shift_;
};

// Answers GetNextDownCode for one codes list and one set of digit rules
// without scanning the list: every basin gets exactly the element (or the
// failure code) the first-match scan over the same list would give.
//
// A candidate lies downstream of a basin through one digit position k: it
// shares the basin's first k digits, has a smaller digit at k, and that digit
// and the ones after it count as odd (ReceivingPositions). So each candidate
// is filed under its first k digits and its digit at k, for every such k, and
// a basin looks up at most five digits at each of its positions. Only the
// first element of each prefix is kept, which is the one the scan would meet
// first.
class NextDownIndex {
public:
    // From the list the scan would search, exactly as it stands (any order,
    // unconvertible elements included; unallocated fails every search).
    // Building passes the checkpoint at every code.
    NextDownIndex(const runtime::VariantArray& codes, const DigitRules& rules,
                  const runtime::Checkpoint& checkpoint = {});

    // From codes already held as plain integers, in list order (index 0
    // standing for the list's first element). The rules' width plays no part.
    NextDownIndex(const std::vector<int32_t>& codes, const DigitRules& rules,
                  const runtime::Checkpoint& checkpoint = {});
    NextDownIndex(const std::vector<int64_t>& codes, const DigitRules& rules,
                  const runtime::Checkpoint& checkpoint = {});

    // The closed-basin reading of 32-bit codes.
    NextDownIndex(const runtime::VariantArray& codes, bool allowTrailingZeros);
    NextDownIndex(const std::vector<int32_t>& codes, bool allowTrailingZeros);

    int64_t GetNextDownCode(int64_t basinCode) const;
    // Every match is smaller than the basin, so a 32-bit basin gets a 32-bit
    // answer.
    int32_t GetNextDownCode(int32_t basinCode) const
    {
        return static_cast<int32_t>(GetNextDownCode(int64_t{basinCode}));
    }

    // Asks for the slots that GetNextDownCode of the basin looks at first,
    // ahead of it: the waits for memory of several basins then overlap.
    void Prefetch(int64_t basinCode) const;

    // Heap bytes held by the index.
    size_t MemoryBytes() const;

private:
    // Codes of the 32-bit range have keys of the 32-bit range: a code of ten
    // digits starts with 1 or 2, and so does each of its keys.
    using NarrowTable = PrefixTable<uint32_t, int32_t>;
    using WideTable = PrefixTable<uint64_t, int64_t>;

    template <typename Code>
    void BuildFromList(const runtime::VariantArray& codes, const runtime::Checkpoint& checkpoint);
    template <typename Code>
    void Build(const std::vector<Code>& codes, const runtime::Checkpoint& checkpoint);
    template <typename Table, typename Code>
    void Fill(const std::vector<Code>& codes, const runtime::Checkpoint& checkpoint);
    template <typename Table>
    int64_t FirstMatch(const Table& table, const CodeDigits& basin) const;

    DigitRules rules_;
    // A basin without a match fails rather than finding nothing: the list
    // holds an unconvertible element (the index keeps only what precedes
    // it) or was never allocated.
    bool scanMeetsFailure_ = false;
    // Converted codes never rise along the list, so the largest match is
    // also the first one.
    bool descending_ = true;
    std::variant<NarrowTable, WideTable> table_;
};

}  // namespace drennow::modPfafTools
