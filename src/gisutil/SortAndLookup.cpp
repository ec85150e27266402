#include "gisutil/modUtilsGeneral.h"

#include <optional>
#include <utility>

namespace drennow::modUtilsGeneral {

namespace {

// sign x a > sign x b, where a null on either side makes the test false.
bool SignedGreater(const runtime::Variant& a, const runtime::Variant& b, int16_t sign)
{
    std::optional<double> left = runtime::NumericOrNull(a);
    std::optional<double> right = runtime::NumericOrNull(b);
    if (!left || !right) {
        return false;
    }
    return sign * *left > sign * *right;
}

}  // namespace

void SortArray(runtime::VariantArray& values, const int32_t& count, const bool& ascending)
{
    const int16_t sign = ascending ? 1 : -1;
    for (int32_t gap = count / 2; gap > 0; gap /= 2) {
        int32_t limit = count - gap;
        int32_t last = 0;
        do {
            last = 0;
            for (int32_t i = 1; i <= limit; ++i) {
                if (SignedGreater(values(i), values(i + gap), sign)) {
                    SwapValues(values(i), values(i + gap));
                    last = i;
                }
            }
            limit = last - gap;
        } while (last != 0);
    }
}

void SwapValues(runtime::Variant& first, runtime::Variant& second)
{
    runtime::Variant held = std::move(first);
    first = std::move(second);
    second = std::move(held);
}

bool CollectionHasKey(const runtime::Collection& collection, const std::string& key)
{
    try {
        collection.Item(key);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace drennow::modUtilsGeneral
