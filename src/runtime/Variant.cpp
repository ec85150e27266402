#include "runtime/Variant.h"

#include "runtime/Error.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <limits>
#include <ostream>

namespace drennow::runtime {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Rounds to the nearest whole number, halves to the even neighbour,
// whatever rounding mode the process has set.
double RoundHalfEven(double value)
{
    double floor = std::floor(value);
    double fraction = value - floor;
    if (fraction > 0.5) {
        return floor + 1.0;
    }
    if (fraction < 0.5) {
        return floor;
    }
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

template <typename Int>
Int ToWhole(const Variant& value)
{
    // Both bounds are powers of two, exact as doubles; the largest value of
    // a 64-bit integer is not.
    constexpr auto kMin = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double kPastMax = -kMin;
    double number = ToDouble(value);
    if (!std::isfinite(number)) {
        Raise(kOverflow);
    }
    double rounded = RoundHalfEven(number);
    if (rounded < kMin || rounded >= kPastMax) {
        Raise(kOverflow);
    }
    return static_cast<Int>(rounded);
}

// Whether the fraction digits after a whole part round it up: above a half,
// or a half exactly and the whole part odd.
bool FractionRoundsUp(std::string_view fraction, uint64_t whole)
{
    if (fraction.empty() || fraction[0] < '5') {
        return false;
    }
    if (fraction[0] > '5') {
        return true;
    }
    bool aboveHalf = fraction.find_first_not_of('0', 1) != std::string_view::npos;
    return aboveHalf || whole % 2 == 1;
}

// Decimal text without an exponent, rounded to a 64-bit integer digit by
// digit: a double holds only 15 to 17 significant digits. Nothing for any
// other text.
std::optional<int64_t> RoundDecimalText(std::string_view text)
{
    if (!ParseNumber(text) || text.find_first_of("eE") != std::string_view::npos) {
        return std::nullopt;
    }
    size_t i = text.find_first_not_of(" \t");
    bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') {
        ++i;
    }
    // The largest magnitude of the sign: 2^63 below zero, 2^63 - 1 above.
    const uint64_t limit = (uint64_t{1} << 63) - (negative ? 0 : 1);
    uint64_t magnitude = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        auto digit = static_cast<uint64_t>(text[i] - '0');
        if (magnitude > (limit - digit) / 10) {
            Raise(kOverflow);
        }
        magnitude = magnitude * 10 + digit;
    }
    if (i < text.size() && text[i] == '.') {
        size_t end = i + 1;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
            ++end;
        }
        if (FractionRoundsUp(text.substr(i + 1, end - i - 1), magnitude)) {
            if (magnitude == limit) {
                Raise(kOverflow);
            }
            ++magnitude;
        }
    }
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

}  // namespace

bool Variant::IsInteger() const
{
    return std::holds_alternative<int16_t>(storage_) || std::holds_alternative<int32_t>(storage_) ||
           std::holds_alternative<int64_t>(storage_);
}

bool Variant::IsNumber() const
{
    return IsInteger() || std::holds_alternative<double>(storage_);
}

std::optional<double> ParseNumber(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    size_t i = begin;
    auto digits = [&] {
        size_t start = i;
        while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        return i - start;
    };
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    size_t mantissaDigits = digits();
    if (i < end && text[i] == '.') {
        ++i;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0) {
        return std::nullopt;
    }
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < end && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        if (digits() == 0) {
            return std::nullopt;
        }
    }
    if (i != end) {
        return std::nullopt;
    }
    // Read as written, with a full stop, whatever the process's locale says
    // a decimal mark is; beyond the range as strtod reads it.
    static const locale_t kCLocale = ::newlocale(LC_ALL_MASK, "C", nullptr);
    std::string clean(text.substr(begin, end - begin));
    return ::strtod_l(clean.c_str(), nullptr, kCLocale);
}

bool IsNumeric(const Variant& value)
{
    if (value.IsText()) {
        return ParseNumber(value.Text()).has_value();
    }
    return value.IsNumber() || value.IsEmpty();
}

double ToDouble(const Variant& value)
{
    return std::visit(
        [](const auto& v) -> double {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, EmptyValue>) {
                return 0.0;
            } else if constexpr (std::is_same_v<T, NullValue>) {
                Raise(kInvalidUseOfNull);
            } else if constexpr (std::is_same_v<T, std::string>) {
                auto number = ParseNumber(v);
                if (!number) {
                    Raise(kTypeMismatch);
                }
                return *number;
            } else {
                return static_cast<double>(v);
            }
        },
        value.Get());
}

int32_t ToLong(const Variant& value)
{
    // Integers are converted exactly; the floating-point route below would
    // also be exact for every 32-bit value, but 64-bit values need the check.
    if (const auto* v = std::get_if<int64_t>(&value.Get())) {
        if (*v < std::numeric_limits<int32_t>::min() || *v > std::numeric_limits<int32_t>::max()) {
            Raise(kOverflow);
        }
        return static_cast<int32_t>(*v);
    }
    if (const auto* v = std::get_if<int32_t>(&value.Get())) {
        return *v;
    }
    return ToWhole<int32_t>(value);
}

int64_t ToLongLong(const Variant& value)
{
    if (const auto* v = std::get_if<int64_t>(&value.Get())) {
        return *v;
    }
    if (const auto* v = std::get_if<int32_t>(&value.Get())) {
        return *v;
    }
    if (value.IsText()) {
        if (std::optional<int64_t> exact = RoundDecimalText(value.Text())) {
            return *exact;
        }
    }
    return ToWhole<int64_t>(value);
}

int16_t ToInteger(const Variant& value)
{
    if (const auto* v = std::get_if<int64_t>(&value.Get())) {
        if (*v < std::numeric_limits<int16_t>::min() || *v > std::numeric_limits<int16_t>::max()) {
            Raise(kOverflow);
        }
        return static_cast<int16_t>(*v);
    }
    return ToWhole<int16_t>(value);
}

std::optional<double> NumericOrNull(const Variant& value)
{
    if (value.IsNull()) {
        return std::nullopt;
    }
    return ToDouble(value);
}

std::string ToText(const Variant& value)
{
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, EmptyValue>) {
                return "";
            } else if constexpr (std::is_same_v<T, NullValue>) {
                Raise(kInvalidUseOfNull);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return v;
            } else if constexpr (std::is_same_v<T, double>) {
                // printf's %.15G in the C locale, whatever the process's.
                char buffer[32];
                char* end = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15).ptr;
                std::transform(buffer, end, buffer, [](char c) { return c == 'e' ? 'E' : c; });
                return std::string(buffer, end);
            } else {
                return std::to_string(v);
            }
        },
        value.Get());
}

std::ostream& operator<<(std::ostream& out, const Variant& value)
{
    static constexpr const char* kKinds[] = {"Empty", "Null", "Integer", "Long", "LongLong", "Double", "String"};
    out << kKinds[value.Get().index()];
    if (!value.IsEmpty() && !value.IsNull()) {
        out << "(" << ToText(value) << ")";
    }
    return out;
}

}  // namespace drennow::runtime
