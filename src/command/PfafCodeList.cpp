#include "command/PfafCodeList.h"

#include "gisutil/modUtilsGeneral.h"
#include "runtime/Error.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace drennow::command {

namespace {

// An integer of the range of Code, as a Code.
template <typename Code>
std::optional<Code> AsPlainCode(const runtime::Variant& value)
{
    if (!value.IsInteger()) {
        return std::nullopt;
    }
    return std::visit(
        [](const auto& v) -> std::optional<Code> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_integral_v<T>) {
                if (v >= std::numeric_limits<Code>::min() && v <= std::numeric_limits<Code>::max()) {
                    return static_cast<Code>(v);
                }
            }
            return std::nullopt;
        },
        value.Get());
}

// The integer type of a plain codes vector.
template <typename Plain>
using CodeOf = typename std::decay_t<Plain>::value_type;

}  // namespace

PfafCodeList::PfafCodeList(modPfafTools::CodeWidth width) : width_(width)
{
    if (width == modPfafTools::CodeWidth::k64Bit) {
        plain_.emplace<std::vector<int64_t>>();
    }
}

void PfafCodeList::Add(const runtime::Variant& value)
{
    if (count_ == std::numeric_limits<int32_t>::max()) {
        runtime::Raise(runtime::kOverflow);
    }
    ++count_;
    if (!general_) {
        bool added = std::visit(
            [&](auto& plain) {
                auto code = AsPlainCode<CodeOf<decltype(plain)>>(value);
                if (code) {
                    plain.push_back(*code);
                }
                return code.has_value();
            },
            plain_);
        if (added) {
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
    std::visit(
        [&](auto& plain) {
            values_.Reserve(plain.size() + 1);
            for (size_t i = 0; i < plain.size(); ++i) {
                values_.ReDimPreserve(static_cast<int32_t>(i + 1));
                values_(static_cast<int32_t>(i + 1)) = runtime::Variant(plain[i]);
            }
            plain = {};
        },
        plain_);
}

void PfafCodeList::SortDescending(const runtime::Checkpoint& checkpoint)
{
    if (!general_) {
        std::visit(
            [&checkpoint](auto& plain) {
                if (!checkpoint.Active()) {
                    std::sort(plain.begin(), plain.end(), std::greater<>());
                    return;
                }
                std::sort(plain.begin(), plain.end(), [&checkpoint](auto a, auto b) {
                    checkpoint.Pass();
                    return a > b;
                });
            },
            plain_);
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
    std::stable_sort(numbers.begin(), numbers.end(),
                     [&checkpoint](const runtime::Variant& a, const runtime::Variant& b) {
                         checkpoint.Pass();
                         return runtime::ToDouble(a) > runtime::ToDouble(b);
                     });
    for (int32_t i = 1; i <= count_; ++i) {
        values_(i) = std::move(numbers[static_cast<size_t>(i - 1)]);
    }
}

modPfafTools::NextDownIndex PfafCodeList::BuildIndex(bool allowTrailingZeros) const
{
    return BuildIndex(modPfafTools::ZeroReading::kClosedBasin, allowTrailingZeros);
}

modPfafTools::NextDownIndex PfafCodeList::BuildIndex(modPfafTools::ZeroReading zeros, bool allowTrailingZeros,
                                                     const runtime::Checkpoint& checkpoint) const
{
    modPfafTools::DigitRules rules{zeros, allowTrailingZeros, width_};
    if (general_ || count_ == 0) {
        // No code at all leaves the list unallocated, which fails a search.
        return modPfafTools::NextDownIndex(values_, rules, checkpoint);
    }
    return std::visit([&](const auto& plain) { return modPfafTools::NextDownIndex(plain, rules, checkpoint); },
                      plain_);
}

}  // namespace drennow::command
