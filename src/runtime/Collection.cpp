#include "runtime/Collection.h"

#include "runtime/Error.h"

#include <algorithm>

namespace drennow::runtime {

namespace {

std::string FoldCase(std::string_view key)
{
    std::string folded(key);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return folded;
}

}  // namespace

// "0", or an optional minus and digits without a leading zero, in range.
std::optional<int32_t> Collection::DecimalKey(std::string_view key)
{
    bool negative = !key.empty() && key[0] == '-';
    std::string_view digits = negative ? key.substr(1) : key;
    if (digits.empty() || digits.size() > 10 || (digits[0] == '0' && (digits.size() > 1 || negative))) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    value = negative ? -value : value;
    if (value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

size_t Collection::Home(int32_t key) const
{
    // Fibonacci hashing spreads neighbouring codes over the table.
    uint64_t hash = static_cast<uint32_t>(key) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(hash >> 20) & (decimal_.size() - 1);
}

const Collection::Slot* Collection::FindDecimal(int32_t key) const
{
    if (decimal_.empty()) {
        return nullptr;
    }
    for (size_t i = Home(key);; i = (i + 1) & (decimal_.size() - 1)) {
        const Slot& slot = decimal_[i];
        if (slot.item == kFree) {
            return nullptr;
        }
        if (slot.key == key) {
            return &slot;
        }
    }
}

void Collection::GrowDecimal()
{
    Rehash(decimal_.empty() ? 64 : decimal_.size() * 2);
}

void Collection::Reserve(size_t count)
{
    size_t slots = 64;
    while (slots * 3 < count * 4) {
        slots *= 2;
    }
    if (slots > decimal_.size()) {
        Rehash(slots);
    }
}

void Collection::Rehash(size_t slots)
{
    std::vector<Slot> old = std::move(decimal_);
    decimal_ = std::vector<Slot>(slots);
    for (const Slot& slot : old) {
        if (slot.item != kFree) {
            size_t i = Home(slot.key);
            while (decimal_[i].item != kFree) {
                i = (i + 1) & (decimal_.size() - 1);
            }
            decimal_[i] = slot;
        }
    }
}

void Collection::Add(const Variant& item, std::string_view key)
{
    if (std::optional<int32_t> decimal = DecimalKey(key)) {
        Add(item, *decimal);
        return;
    }
    if (!texts_.try_emplace(FoldCase(key), item).second) {
        Raise(kDuplicateKey);
    }
}

void Collection::Add(const Variant& item, int32_t key)
{
    if (FindDecimal(key)) {
        Raise(kDuplicateKey);
    }
    if ((decimalCount_ + 1) * 4 > decimal_.size() * 3) {
        GrowDecimal();
    }
    size_t i = Home(key);
    while (decimal_[i].item != kFree) {
        i = (i + 1) & (decimal_.size() - 1);
    }
    if (const auto* number = std::get_if<int32_t>(&item.Get())) {
        decimal_[i] = Slot{key, *number, kInSlot};
    } else {
        decimalItems_.push_back(item);
        decimal_[i] = Slot{key, 0, static_cast<uint32_t>(decimalItems_.size())};
    }
    ++decimalCount_;
}

Variant Collection::ItemOf(const Slot& slot) const
{
    return slot.item == kInSlot ? Variant(slot.number) : decimalItems_[slot.item - 1];
}

std::optional<Variant> Collection::Find(int32_t key) const
{
    const Slot* slot = FindDecimal(key);
    if (slot == nullptr) {
        return std::nullopt;
    }
    return ItemOf(*slot);
}

std::optional<Variant> Collection::Find(std::string_view key) const
{
    if (std::optional<int32_t> decimal = DecimalKey(key)) {
        return Find(*decimal);
    }
    auto found = texts_.find(FoldCase(key));
    if (found == texts_.end()) {
        return std::nullopt;
    }
    return found->second;
}

Variant Collection::Item(std::string_view key) const
{
    std::optional<Variant> item = Find(key);
    if (!item) {
        Raise(kInvalidProcedureCall);
    }
    return *std::move(item);
}

}  // namespace drennow::runtime
