#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace drennow::runtime {

struct EmptyValue {
    bool operator==(const EmptyValue&) const = default;
};
struct NullValue {
    bool operator==(const NullValue&) const = default;
};

// A general value, as a row's field delivers it: empty, null, a 16-, 32- or
// 64-bit integer, a floating-point number or a text. The kind travels with
// the value.
class Variant {
public:
    using Storage = std::variant<EmptyValue, NullValue, int16_t, int32_t, int64_t, double, std::string>;

    Variant() = default;
    Variant(int16_t value) : storage_(value) {}
    Variant(int32_t value) : storage_(value) {}
    Variant(int64_t value) : storage_(value) {}
    Variant(double value) : storage_(value) {}
    Variant(std::string value) : storage_(std::move(value)) {}
    Variant(const char* value) : storage_(std::string(value)) {}
    Variant(NullValue value) : storage_(value) {}

    static Variant Null() { return Variant(NullValue{}); }

    bool IsEmpty() const { return std::holds_alternative<EmptyValue>(storage_); }
    bool IsNull() const { return std::holds_alternative<NullValue>(storage_); }
    bool IsText() const { return std::holds_alternative<std::string>(storage_); }
    bool IsInteger() const;  // a 16-, 32- or 64-bit integer
    bool IsNumber() const;   // an integer or a floating-point number

    const Storage& Get() const { return storage_; }
    const std::string& Text() const { return std::get<std::string>(storage_); }

    bool operator==(const Variant& other) const = default;

private:
    Storage storage_;
};

// Reads a text as a number: blanks around it, an optional sign, digits with
// an optional decimal point and an optional exponent. Nothing else.
std::optional<double> ParseNumber(std::string_view text);

// True for numbers, for empty, and for text that reads as a number.
bool IsNumeric(const Variant& value);

// Conversion to a 32-bit integer: fractions round to nearest, halves to
// even; numeric text is converted; other text raises 13, null raises 94, a
// value outside the range raises 6. Empty converts to 0.
int32_t ToLong(const Variant& value);

// The same conversion to a 64-bit integer. Decimal text without an exponent
// is read digit by digit, so that every 64-bit integer written out converts
// back exactly.
int64_t ToLongLong(const Variant& value);

// The same conversion to a 16-bit integer.
int16_t ToInteger(const Variant& value);

// The value as a floating-point number, by the same rules (no range limit).
double ToDouble(const Variant& value);

// The value as a number for arithmetic, or nothing for null (null makes any
// comparison false). Non-numeric text raises 13.
std::optional<double> NumericOrNull(const Variant& value);

// The text of a value: integers in plain decimal, floating-point numbers with
// up to 15 significant digits and no decimal point when whole, empty as "".
// Null raises 94.
std::string ToText(const Variant& value);

// The kind and value, for diagnostics.
std::ostream& operator<<(std::ostream& out, const Variant& value);

}  // namespace drennow::runtime
