#include "runtime/Collection.h"

#include "runtime/Error.h"

#include <algorithm>
#include <bit>
#include <utility>

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

template <typename Key, typename Number>
size_t DecimalTable<Key, Number>::Home(Key key) const
{
    // Fibonacci hashing spreads neighbouring codes over the table.
    uint64_t hash = static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(hash >> shift_);
}

template <typename Key, typename Number>
auto DecimalTable<Key, Number>::Find(Key key) const -> const Slot*
{
    if (slots_.empty()) {
        return nullptr;
    }
    for (size_t i = Home(key);; i = (i + 1) & (slots_.size() - 1)) {
        const Slot& slot = slots_[i];
        if (slot.item == kFree) {
            return nullptr;
        }
        if (slot.key == key) {
            return &slot;
        }
    }
}

template <typename Key, typename Number>
void DecimalTable<Key, Number>::Add(const Slot& slot)
{
    if ((count_ + 1) * 4 > slots_.size() * 3) {
        Rehash(slots_.empty() ? 64 : slots_.size() * 2);
    }
    size_t i = Home(slot.key);
    while (slots_[i].item != kFree) {
        i = (i + 1) & (slots_.size() - 1);
    }
    slots_[i] = slot;
    ++count_;
}

template <typename Key, typename Number>
void DecimalTable<Key, Number>::Reserve(size_t count)
{
    size_t slots = 64;
    while (slots * 3 < count * 4) {
        slots *= 2;
    }
    if (slots > slots_.size()) {
        Rehash(slots);
    }
}

template <typename Key, typename Number>
void DecimalTable<Key, Number>::Rehash(size_t slots)
{
    std::vector<Slot> old = std::move(slots_);
    slots_ = std::vector<Slot>(slots);
    shift_ = 64 - std::countr_zero(slots);
    for (const Slot& slot : old) {
        if (slot.item != kFree) {
            size_t i = Home(slot.key);
            while (slots_[i].item != kFree) {
                i = (i + 1) & (slots_.size() - 1);
            }
            slots_[i] = slot;
        }
    }
}

template class DecimalTable<int32_t, int32_t>;
template class DecimalTable<int64_t, int64_t>;

// "0", or an optional minus and digits without a leading zero, in range.
std::optional<int64_t> Collection::DecimalKey(std::string_view key)
{
    bool negative = !key.empty() && key[0] == '-';
    std::string_view digits = negative ? key.substr(1) : key;
    if (digits.empty() || digits.size() > 19 || (digits[0] == '0' && (digits.size() > 1 || negative))) {
        return std::nullopt;
    }
    uint64_t magnitude = 0;  // 19 digits fit
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
    }
    uint64_t largest = uint64_t{INT64_MAX} + (negative ? 1 : 0);
    if (magnitude > largest) {
        return std::nullopt;
    }
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

void Collection::Reserve(size_t count)
{
    reserved_ = count;
    if (narrow_.Count() > 0) {
        narrow_.Reserve(count);
    }
    if (wide_.Count() > 0) {
        wide_.Reserve(count);
    }
}

template <typename Table>
void Collection::AddTo(Table& table, typename Table::KeyType key, const Variant& item)
{
    if (table.Find(key)) {
        Raise(kDuplicateKey);
    }
    if (narrow_.Count() + wide_.Count() == 0) {
        table.Reserve(reserved_);
    }
    if (const auto* number = std::get_if<typename Table::NumberType>(&item.Get())) {
        table.Add({key, *number, Table::kInSlot});
    } else {
        decimalItems_.push_back(item);
        table.Add({key, 0, static_cast<uint32_t>(decimalItems_.size())});
    }
}

template <typename Table>
std::optional<Variant> Collection::FindIn(const Table& table, typename Table::KeyType key) const
{
    const typename Table::Slot* slot = table.Find(key);
    if (slot == nullptr) {
        return std::nullopt;
    }
    return slot->item == Table::kInSlot ? Variant(slot->number) : decimalItems_[slot->item - 1];
}

void Collection::Add(const Variant& item, std::string_view key)
{
    if (std::optional<int64_t> decimal = DecimalKey(key)) {
        Add(item, *decimal);
        return;
    }
    if (!texts_.try_emplace(FoldCase(key), item).second) {
        Raise(kDuplicateKey);
    }
}

void Collection::Add(const Variant& item, int64_t key)
{
    if (std::in_range<int32_t>(key)) {
        AddTo(narrow_, static_cast<int32_t>(key), item);
    } else {
        AddTo(wide_, key, item);
    }
}

std::optional<Variant> Collection::Find(int64_t key) const
{
    if (std::in_range<int32_t>(key)) {
        return FindIn(narrow_, static_cast<int32_t>(key));
    }
    return FindIn(wide_, key);
}

void Collection::Prefetch(int64_t key) const
{
    if (std::in_range<int32_t>(key)) {
        narrow_.Prefetch(static_cast<int32_t>(key));
    } else {
        wide_.Prefetch(key);
    }
}

std::optional<Variant> Collection::Find(std::string_view key) const
{
    if (std::optional<int64_t> decimal = DecimalKey(key)) {
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
