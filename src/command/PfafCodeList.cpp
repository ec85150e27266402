#include "command/PfafCodeList.h"

#include "gisutil/modUtilsGeneral.h"
#include "runtime/Error.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace drennow::command {

namespace {

// An integer of the 32-bit range, as a 32-bit integer.
std::optional<int32_t> AsPlainCode(const runtime::Variant& value)
{
    if (!value.IsInteger()) {
        return std::nullopt;
    }
    return std::visit(
        [](const auto& v) -> std::optional<int32_t> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_integral_v<T>) {
                if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()) {
                    return static_cast<int32_t>(v);
                }
            }
            return std::nullopt;
        },
        value.Get());
}

}  // namespace

void PfafCodeList::Add(const runtime::Variant& value)
{
    if (count_ == std::numeric_limits<int32_t>::max()) {
        runtime::Raise(runtime::kOverflow);
    }
    ++count_;
    if (!general_) {
        if (std::optional<int32_t> code = AsPlainCode(value)) {
            plain_.push_back(*code);
            return;
        }
        BecomeGeneral();
    }
    values_.ReDimPreserve(count_);
    values_(count_) = value;
}

void PfafCodeList::BecomeGeneral()
{
    general_ = true;
    values_.Reserve(plain_.size() + 1);
    for (size_t i = 0; i < plain_.size(); ++i) {
        values_.ReDimPreserve(static_cast<int32_t>(i + 1));
        values_(static_cast<int32_t>(i + 1)) = runtime::Variant(plain_[i]);
    }
    plain_ = {};
}

void PfafCodeList::SortDescending()
{
    if (!general_) {
        std::sort(plain_.begin(), plain_.end(), std::greater<>());
        return;
    }
    // Where every value is a number, the Shell sort's order differs from a
    // standard sort only among equal numbers, which no search can tell apart.
    bool allNumbers = true;
    for (int32_t i = 1; i <= count_ && allNumbers; ++i) {
        allNumbers = values_(i).IsNumber() && !std::isnan(runtime::ToDouble(values_(i)));
    }
    if (!allNumbers) {
        modUtilsGeneral::SortArray(values_, count_, false);
        return;
    }
    std::vector<runtime::Variant> numbers;
    numbers.reserve(static_cast<size_t>(count_));
    for (int32_t i = 1; i <= count_; ++i) {
        numbers.push_back(values_(i));
    }
    std::stable_sort(numbers.begin(), numbers.end(), [](const runtime::Variant& a, const runtime::Variant& b) {
        return runtime::ToDouble(a) > runtime::ToDouble(b);
    });
    for (int32_t i = 1; i <= count_; ++i) {
        values_(i) = std::move(numbers[static_cast<size_t>(i - 1)]);
    }
}

modPfafTools::NextDownIndex PfafCodeList::BuildIndex(bool allowTrailingZeros) const
{
    if (general_ || count_ == 0) {
        // No code at all leaves the list unallocated, which fails a search.
        return modPfafTools::NextDownIndex(values_, allowTrailingZeros);
    }
    return modPfafTools::NextDownIndex(plain_, allowTrailingZeros);
}

}  // namespace drennow::command
