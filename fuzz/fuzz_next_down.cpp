// Random code lists and basins: the next-down index must give exactly what
// the first-match scan gives, and the digit rules must never fail.
#include "pfaf/NextDownIndex.h"
#include "pfaf/modPfafTools.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using drennow::runtime::Variant;
using drennow::runtime::VariantArray;

namespace {

// Reads the input as a stream of small records.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return offset_ >= size_; }
    uint8_t Byte() { return Empty() ? 0 : data_[offset_++]; }
    int32_t Code()
    {
        uint32_t raw = 0;
        for (int i = 0; i < 4; ++i) {
            raw = raw << 8 | Byte();
        }
        // Mostly codes with few distinct digits, so that matches are common.
        switch (Byte() % 4) {
        case 0:
            return static_cast<int32_t>(raw);
        case 1:
            return static_cast<int32_t>(raw % 10000);
        default:
            return static_cast<int32_t>(1000000 + raw % 300000);
        }
    }
    Variant Element()
    {
        switch (Byte() % 8) {
        case 0:
            return Variant("x");
        case 1:
            return Variant(std::to_string(Code()));
        case 2:
            return Variant(static_cast<int64_t>(Code()) * 4);
        case 3:
            return Variant(Code() + 0.5);
        default:
            return Variant(Code());
        }
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input(data, size);
    bool allowTrailingZeros = input.Byte() % 2 == 1;
    int count = input.Byte() % 64;
    VariantArray codes;
    if (input.Byte() % 16 != 0) {
        codes.ReDim(1, count);
        for (int i = 1; i <= count; ++i) {
            codes(i) = input.Element();
        }
    }
    drennow::modPfafTools::NextDownIndex index(codes, allowTrailingZeros);
    while (!input.Empty()) {
        int32_t basin = input.Code();
        int32_t scanned = drennow::modPfafTools::GetNextDownCode(basin, codes, allowTrailingZeros);
        int32_t indexed = index.GetNextDownCode(basin);
        if (scanned != indexed) {
            std::fprintf(stderr, "basin %d: scan %d, index %d\n", basin, scanned, indexed);
            std::abort();
        }
    }
    return 0;
}
