#pragma once

#include "runtime/Prefetch.h"
#include "runtime/Variant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace drennow::runtime {

// Open addressing from integers, each standing for its decimal text, to
// items: an item of type Number is kept in the slot itself, so that finding
// it touches one place in memory; any other is kept in a list beside the
// table, and the slot holds its position.
template <typename Key, typename Number>
class DecimalTable {
public:
    using KeyType = Key;
    using NumberType = Number;
    static constexpr uint32_t kFree = 0;
    static constexpr uint32_t kInSlot = UINT32_MAX;
    struct Slot {
        Key key = 0;
        Number number = 0;      // the item, when it is kept in the slot
        uint32_t item = kFree;  // kInSlot, or the item's position in the list plus one
    };

    const Slot* Find(Key key) const;
    // Brings the key's first slot into the cache ahead of its Find or Add.
    void Prefetch(Key key) const
    {
        if (!slots_.empty()) {
            runtime::Prefetch(&slots_[Home(key)]);
        }
    }
    // Files a key not filed yet.
    void Add(const Slot& slot);
    size_t Count() const { return count_; }
    // Makes room for this many keys at once.
    void Reserve(size_t count);

private:
    size_t Home(Key key) const;
    void Rehash(size_t slots);

    std::vector<Slot> slots_;
    size_t count_ = 0;
    int shift_ = 64;
};

// A keyed collection of general values. Keys are texts, compared without
// regard to letter case; a key made of digits is a key like any other, never
// a position. The first add of a key wins; a second add of the same key
// raises error 457 and changes nothing.
class Collection {
public:
    void Add(const Variant& item, std::string_view key);
    // The same for the key that is the decimal text of an integer.
    void Add(const Variant& item, int64_t key);
    // The item under the key; a missing key raises error 5.
    Variant Item(std::string_view key) const;
    // The item under the key, or nothing, without raising.
    std::optional<Variant> Find(std::string_view key) const;
    std::optional<Variant> Find(int64_t key) const;
    // Brings the place of the decimal key into the cache ahead of its Add or
    // Find, so that the waits of several overlap.
    void Prefetch(int64_t key) const;
    int32_t Count() const { return static_cast<int32_t>(narrow_.Count() + wide_.Count() + texts_.size()); }
    // Makes room for this many decimal keys at once: in each table (see
    // below) that holds keys already, or else in the one the first decimal
    // key goes to, as it is filed.
    void Reserve(size_t count);
    // The integer whose plain decimal text the key is, if it is one: a key
    // that such an integer finds.
    static std::optional<int64_t> DecimalKey(std::string_view key);

private:
    // Keys that are the plain decimal text of an integer (codes of basins,
    // mostly) live in open-addressing tables of their own: no text is kept
    // and no node allocated per key. Keys of the 32-bit range, with 32-bit
    // items in their slots, take 12 bytes a slot; wider keys, with 64-bit
    // items in their slots (identifiers of 64-bit fields), take 24.
    template <typename Table>
    void AddTo(Table& table, typename Table::KeyType key, const Variant& item);
    template <typename Table>
    std::optional<Variant> FindIn(const Table& table, typename Table::KeyType key) const;

    DecimalTable<int32_t, int32_t> narrow_;
    DecimalTable<int64_t, int64_t> wide_;
    std::vector<Variant> decimalItems_;  // items not kept in their slots
    size_t reserved_ = 0;
    std::unordered_map<std::string, Variant> texts_;
};

}  // namespace drennow::runtime
