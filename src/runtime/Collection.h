#pragma once

#include "runtime/Variant.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace drennow::runtime {

// A keyed collection of general values. Keys are texts, compared without
// regard to letter case; a key made of digits is a key like any other, never
// a position. The first add of a key wins; a second add of the same key
// raises error 457 and changes nothing.
class Collection {
public:
    void Add(const Variant& item, std::string_view key);
    // The item under the key; a missing key raises error 5.
    const Variant& Item(std::string_view key) const;
    // The item under the key, or nothing, without raising.
    const Variant* Find(std::string_view key) const;
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    void Reserve(size_t count) { items_.reserve(count); }

private:
    std::unordered_map<std::string, Variant> items_;
};

}  // namespace drennow::runtime
