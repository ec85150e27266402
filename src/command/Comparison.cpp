#include "command/Comparison.h"

#include "command/RunTexts.h"

#include <variant>

namespace drennow::command {

namespace {

// Integers compare exactly, whatever their width; other numbers as numbers.
bool SameNumber(const runtime::Variant& a, const runtime::Variant& b)
{
    auto whole = [](const runtime::Variant& value) -> std::optional<int64_t> {
        return std::visit(
            [](const auto& v) -> std::optional<int64_t> {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_integral_v<T>) {
                    return static_cast<int64_t>(v);
                }
                return std::nullopt;
            },
            value.Get());
    };
    std::optional<int64_t> wholeA = whole(a);
    std::optional<int64_t> wholeB = whole(b);
    if (wholeA && wholeB) {
        return *wholeA == *wholeB;
    }
    return runtime::IsNumeric(a) && runtime::IsNumeric(b) && runtime::ToDouble(a) == runtime::ToDouble(b);
}

bool IsNothing(const runtime::Variant& value)
{
    return value.IsNull() || SameNumber(value, runtime::Variant(int32_t{0}));
}

std::string Shown(const runtime::Variant& value)
{
    return value.IsNull() ? "<Null>" : runtime::ToText(value);
}

}  // namespace

bool ValuesAgree(const runtime::Variant& written, const runtime::Variant& existing)
{
    if (!existing.IsNull() && SameNumber(written, existing)) {
        return true;
    }
    if (SameNumber(written, runtime::Variant(int32_t{0})) || runtime::ToDouble(written) < 0) {
        return IsNothing(existing);
    }
    return false;
}

ComparisonTally::ComparisonTally(std::string field) : field_(std::move(field)) {}

void ComparisonTally::Add(int32_t objectId, const runtime::Variant& written, const runtime::Variant& existing)
{
    ++compared_;
    if (ValuesAgree(written, existing)) {
        ++agreeing_;
        return;
    }
    disagreements_ += std::to_string(objectId) + "\t" + Shown(written) + "\t" + Shown(existing) + "\r\n";
}

std::string ComparisonTally::LogText() const
{
    return texts::ComparisonLogHeading(field_) + disagreements_;
}

Comparison ComparisonTally::Result(const std::string& logPath) const
{
    return Comparison{field_, agreeing_, compared_, logPath};
}

}  // namespace drennow::command
