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

void Collection::Add(const Variant& item, std::string_view key)
{
    if (!items_.try_emplace(FoldCase(key), item).second) {
        Raise(kDuplicateKey);
    }
}

const Variant* Collection::Find(std::string_view key) const
{
    auto found = items_.find(FoldCase(key));
    return found == items_.end() ? nullptr : &found->second;
}

const Variant& Collection::Item(std::string_view key) const
{
    const Variant* item = Find(key);
    if (item == nullptr) {
        Raise(kInvalidProcedureCall);
    }
    return *item;
}

}  // namespace drennow::runtime
