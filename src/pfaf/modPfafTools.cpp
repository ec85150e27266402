#include "pfaf/modPfafTools.h"

#include <exception>

namespace drennow::modPfafTools {

namespace {

DigitRules ClosedBasin(bool allowTrailingZeros)
{
    return {ZeroReading::kClosedBasin, allowTrailingZeros, CodeWidth::k32Bit};
}

// A code given as text, converted as a 32-bit list element is.
CodeDigits DigitsOfText(const std::string& codeText)
{
    return CodeDigits(runtime::ToLong(runtime::Variant(codeText)));
}

}  // namespace

bool IsEven(int64_t number)
{
    return number % 2 == 0;
}

int32_t StripTrailingZeros(int32_t code)
{
    CodeDigits digits(code);
    auto stripped = static_cast<int64_t>(digits.ValueOf(0, digits.Count() - digits.TrailingZeros()));
    return static_cast<int32_t>(code < 0 ? -stripped : stripped);
}

int32_t DigitsAfterLastZero(int32_t code)
{
    CodeDigits digits(code);
    DigitSpan after = DrainingDigits(digits, ClosedBasin(false));
    if (after.begin == 0) {
        return code;  // no zero
    }
    return static_cast<int32_t>(digits.ValueOf(after.begin, after.end));
}

bool DrainsToWaterbody(const std::string& codeText, bool allowTrailingZeros)
{
    return DrainsToWaterbody(DigitsOfText(codeText), ClosedBasin(allowTrailingZeros));
}

bool HasOddLeadingDigits(const std::string& codeText, bool allowTrailingZeros)
{
    return HasOddLeadingDigits(DigitsOfText(codeText), ClosedBasin(allowTrailingZeros));
}

bool IsDownstreamOf(int32_t basinCode, int32_t candidateCode, bool allowTrailingZeros)
{
    return IsDownstreamOf(int64_t{basinCode}, int64_t{candidateCode}, ClosedBasin(allowTrailingZeros));
}

bool IsDownstreamOf(int64_t basinCode, int64_t candidateCode, const DigitRules& rules)
{
    if (basinCode <= 1 || candidateCode < 1 || candidateCode >= basinCode) {
        return false;
    }
    CodeDigits basin(basinCode);
    CodeDigits candidate(candidateCode);
    if (basin.Count() != candidate.Count() || basin[0] != candidate[0]) {
        return false;
    }
    if (DrainsToWaterbody(basin, rules) || HasOddLeadingDigits(candidate, rules)) {
        return false;
    }
    int k = 1;
    while (basin[k] == candidate[k]) {
        ++k;  // the candidate is smaller, so they differ somewhere
    }
    DigitSpan receiving = ReceivingPositions(candidate, rules);
    return k >= receiving.begin && k < receiving.end;
}

int64_t ConvertCode(const runtime::Variant& element, CodeWidth width)
{
    return width == CodeWidth::k64Bit ? runtime::ToLongLong(element) : runtime::ToLong(element);
}

int32_t GetNextDownCode(int32_t basinCode, const runtime::VariantArray& codes, bool allowTrailingZeros)
{
    // Every match is smaller than the basin, so the answer fits.
    return static_cast<int32_t>(GetNextDownCode(int64_t{basinCode}, codes, ClosedBasin(allowTrailingZeros)));
}

int64_t GetNextDownCode(int64_t basinCode, const runtime::VariantArray& codes, const DigitRules& rules)
{
    if (basinCode == 0) {
        return kZeroCode;
    }
    if (basinCode < 0) {
        return kNegativeCode;
    }
    try {
        if (DrainsToWaterbody(CodeDigits(basinCode), rules)) {
            return kDrainsToWaterbody;
        }
        int32_t last = codes.UBound();
        for (int32_t i = codes.LBound(); i <= last; ++i) {
            int64_t candidate = ConvertCode(codes(i), rules.width);
            if (candidate < basinCode && IsDownstreamOf(basinCode, candidate, rules)) {
                return candidate;
            }
            if (i == last) {
                break;  // last may be the largest 32-bit index
            }
        }
        return kNothingDownstream;
    } catch (const std::exception&) {
        return kSearchFailed;
    }
}

}  // namespace drennow::modPfafTools
