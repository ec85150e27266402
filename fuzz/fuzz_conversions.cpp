// Random texts and numbers through the general-value conversions: no crash,
// no undefined behaviour, and every conversion that succeeds is consistent
// with the number the text reads as.
#include "runtime/Error.h"
#include "runtime/Variant.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using drennow::runtime::Variant;

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void Convert(const Variant& value)
{
    bool numeric = drennow::runtime::IsNumeric(value);
    try {
        int32_t whole = drennow::runtime::ToLong(value);
        Check(numeric);
        Check(std::fabs(drennow::runtime::ToDouble(value) - whole) <= 0.5);
    } catch (const drennow::runtime::Error& error) {
        Check(error.Number() == 6 || error.Number() == 13 || error.Number() == 94);
        Check((error.Number() == 13) == (value.IsText() && !numeric));
    }
    try {
        // Decimal text converts digit by digit, so only doubles' rounding
        // separates it from the number the text reads as.
        int64_t wide = drennow::runtime::ToLongLong(value);
        double number = drennow::runtime::ToDouble(value);
        Check(numeric);
        Check(std::fabs(number - static_cast<double>(wide)) <= 0.5 + std::fabs(number) * 0x1p-50);
    } catch (const drennow::runtime::Error& error) {
        Check(error.Number() == 6 || error.Number() == 13 || error.Number() == 94);
        Check((error.Number() == 13) == (value.IsText() && !numeric));
    }
    try {
        int16_t small = drennow::runtime::ToInteger(value);
        Check(std::fabs(drennow::runtime::ToDouble(value) - small) <= 0.5);
    } catch (const drennow::runtime::Error& error) {
        Check(error.Number() == 6 || error.Number() == 13 || error.Number() == 94);
    }
    try {
        std::string text = drennow::runtime::ToText(value);
        if (value.IsInteger()) {
            Check(drennow::runtime::ToDouble(Variant(text)) == drennow::runtime::ToDouble(value));
        }
    } catch (const drennow::runtime::Error& error) {
        Check(error.Number() == 94 && value.IsNull());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Convert(Variant(std::string(reinterpret_cast<const char*>(data), size)));
    if (size >= 8) {
        int64_t integer;
        double real;
        std::memcpy(&integer, data, 8);
        std::memcpy(&real, data, 8);
        Convert(Variant(integer));
        Convert(Variant(real));
        Convert(Variant(static_cast<int32_t>(integer)));
        Convert(Variant(static_cast<int16_t>(integer)));
    }
    return 0;
}
