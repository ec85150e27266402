#pragma once

#include "runtime/Variant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace drennow::runtime {

// A keyed collection of general values. Keys are texts, compared without
// regard to letter case; a key made of digits is a key like any other, never
// a position. The first add of a key wins; a second add of the same key
// raises error 457 and changes nothing.
class Collection {
public:
    void Add(const Variant& item, std::string_view key);
    // The same for the key that is the decimal text of a 32-bit integer.
    void Add(const Variant& item, int32_t key);
    // The item under the key; a missing key raises error 5.
    Variant Item(std::string_view key) const;
    // The item under the key, or nothing, without raising.
    std::optional<Variant> Find(std::string_view key) const;
    std::optional<Variant> Find(int32_t key) const;
    int32_t Count() const { return static_cast<int32_t>(decimalCount_ + texts_.size()); }
    // Makes room for this many decimal keys at once.
    void Reserve(size_t count);

private:
    // Keys that are the plain decimal text of a 32-bit integer (codes of
    // basins, mostly) live in an open-addressing table of their own: no text
    // is kept and no node allocated per key. An item that is a 32-bit
    // integer (an identifier, mostly) is kept in the slot itself, so that
    // finding it touches one place in memory.
    static constexpr uint32_t kFree = 0;
    static constexpr uint32_t kInSlot = UINT32_MAX;
    struct Slot {
        int32_t key = 0;
        int32_t number = 0;     // the item, when it is kept in the slot
        uint32_t item = kFree;  // kInSlot, or position in decimalItems_ plus one
    };
    static std::optional<int32_t> DecimalKey(std::string_view key);
    size_t Home(int32_t key) const;
    const Slot* FindDecimal(int32_t key) const;
    Variant ItemOf(const Slot& slot) const;
    void GrowDecimal();
    void Rehash(size_t slots);

    std::vector<Slot> decimal_;
    std::vector<Variant> decimalItems_;  // items not kept in their slots
    size_t decimalCount_ = 0;
    std::unordered_map<std::string, Variant> texts_;
};

}  // namespace drennow::runtime
