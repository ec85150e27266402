// Random code lists and basins under random digit rules: the next-down index
// must give exactly what the first-match scan gives, and the digit rules must
// never fail.
#include "pfaf/NextDownIndex.h"
#include "pfaf/modPfafTools.h"

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using drennow::modPfafTools::CodeWidth;
using drennow::modPfafTools::DigitRules;
using drennow::modPfafTools::ZeroReading;
using drennow::runtime::Variant;
using drennow::runtime::VariantArray;

namespace {

// Reads the input as a stream of small records.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return offset_ >= size_; }
    uint8_t Byte() { return Empty() ? 0 : data_[offset_++]; }
    uint64_t Raw(int bytes)
    {
        uint64_t raw = 0;
        for (int i = 0; i < bytes; ++i) {
            raw = raw << 8 | Byte();
        }
        return raw;
    }
    int64_t Code()
    {
        // Mostly codes with few distinct digits, so that matches are common.
        switch (Byte() % 8) {
        case 0:
            return static_cast<int32_t>(Raw(4));
        case 1:
            return static_cast<int64_t>(Raw(8));
        case 2:
            return static_cast<int64_t>(Raw(4) % 10000);
        case 3:
            return static_cast<int64_t>(1000000 + Raw(4) % 300000);
        case 4:
            return static_cast<int64_t>(232610000000 + Raw(4) % 200000);
        case 5:
            return INT64_MAX - static_cast<int64_t>(Raw(2));
        default:
            return DigitByDigit();
        }
    }
    Variant Element()
    {
        int64_t code = Code();
        switch (Byte() % 8) {
        case 0:
            return Variant("x");
        case 1:
            return Variant(std::to_string(code));
        case 2:
            return Variant(static_cast<int64_t>(static_cast<uint64_t>(code) * 4));
        case 3:
            return Variant(static_cast<double>(code) + 0.5);
        case 4:
            return Variant::Null();
        default:
            if (code >= INT32_MIN && code <= INT32_MAX) {
                return Variant(static_cast<int32_t>(code));
            }
            return Variant(code);
        }
    }

private:
    // 1 to 19 digits, zeros among them as often as any two other digits.
    int64_t DigitByDigit()
    {
        int count = 1 + Byte() % 19;
        uint64_t code = 1 + Byte() % 9;
        for (int i = 1; i < count; ++i) {
            uint8_t digit = Byte() % 11;
            code = code * 10 + (digit > 9 ? 0 : digit);
        }
        return static_cast<int64_t>(code > INT64_MAX ? code % 1000000000000000000 : code);
    }

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    uint8_t options = input.Byte();
    DigitRules rules{(options & 2) != 0 ? ZeroReading::kUnsubdivided : ZeroReading::kClosedBasin, (options & 1) != 0,
                     (options & 4) != 0 ? CodeWidth::k64Bit : CodeWidth::k32Bit};
    int count = input.Byte() % 64;
    VariantArray codes;
    if (input.Byte() % 16 != 0) {
        codes.ReDim(1, count);
        for (int i = 1; i <= count; ++i) {
            codes(i) = input.Element();
        }
    }
    drennow::modPfafTools::NextDownIndex index(codes, rules);
    while (!input.Empty()) {
        int64_t basin = input.Code();
        int64_t scanned = drennow::modPfafTools::GetNextDownCode(basin, codes, rules);
        int64_t indexed = index.GetNextDownCode(basin);
        if (scanned != indexed) {
            std::fprintf(stderr, "basin %" PRId64 ", options %d: scan %" PRId64 ", index %" PRId64 "\n", basin,
                         options & 7, scanned, indexed);
            std::abort();
        }
    }
    return 0;
}
