#include "pfaf/modPfafTools.h"

#include "runtime/Error.h"

#include <string_view>

namespace drennow::modPfafTools {

namespace {

bool IsEvenDigit(char digit)
{
    return (digit - '0') % 2 == 0;
}

int32_t ValueOf(std::string_view digits)
{
    int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
    }
    return static_cast<int32_t>(value);
}

int32_t ParseCode(const std::string& codeText)
{
    return runtime::ToLong(runtime::Variant(codeText));
}

// The drainage rules look only at what is left after these steps: without
// trailing zeros when they are allowed, then the digits after the last zero.
std::string ApplyZeroRules(const std::string& codeText, bool allowTrailingZeros)
{
    int32_t code = ParseCode(codeText);
    if (allowTrailingZeros) {
        code = StripTrailingZeros(code);
    }
    return std::to_string(DigitsAfterLastZero(code));
}

}  // namespace

bool IsEven(int64_t number)
{
    return number % 2 == 0;
}

int32_t StripTrailingZeros(int32_t code)
{
    if (code == 0) {
        return 0;
    }
    std::string text = std::to_string(code);
    while (!text.empty() && text.back() == '0') {
        text.pop_back();
    }
    return ParseCode(text);
}

int32_t DigitsAfterLastZero(int32_t code)
{
    if (code == 0) {
        return 0;
    }
    std::string text = std::to_string(code);
    size_t lastZero = text.find_last_of('0');
    if (lastZero == std::string::npos) {
        return ParseCode(text);
    }
    return ValueOf(std::string_view(text).substr(lastZero + 1));
}

bool DrainsToWaterbody(const std::string& codeText, bool allowTrailingZeros)
{
    std::string t = ApplyZeroRules(codeText, allowTrailingZeros);
    size_t firstEven = 0;
    while (firstEven < t.size() && !IsEvenDigit(t[firstEven])) {
        ++firstEven;
    }
    if (firstEven == t.size()) {
        return true;
    }
    return t.find_first_not_of('1', firstEven + 1) == std::string::npos;
}

bool HasOddLeadingDigits(const std::string& codeText, bool allowTrailingZeros)
{
    std::string t = ApplyZeroRules(codeText, allowTrailingZeros);
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (IsEvenDigit(t[i])) {
            return false;
        }
    }
    return true;
}

bool IsDownstreamOf(int32_t basinCode, int32_t candidateCode, bool allowTrailingZeros)
{
    if (basinCode <= 1) {
        return false;
    }
    if (candidateCode < 1 || candidateCode >= basinCode) {
        return false;
    }
    std::string a = std::to_string(basinCode);
    std::string b = std::to_string(candidateCode);
    if (a.size() != b.size() || a[0] != b[0]) {
        return false;
    }
    if (DrainsToWaterbody(a, allowTrailingZeros)) {
        return false;
    }
    if (HasOddLeadingDigits(b, allowTrailingZeros)) {
        return false;
    }
    size_t n = b.size();
    size_t trailingZeros = n - std::to_string(StripTrailingZeros(candidateCode)).size();
    size_t k = 0;
    while (a[k] == b[k]) {
        ++k;  // b < a, so they differ somewhere
    }
    if (IsEvenDigit(b[k])) {
        return false;
    }
    for (size_t j = k + 1; j < n; ++j) {
        if (IsEvenDigit(b[j])) {
            // Positions count from 0 here: j lies within the trailing zeros
            // when fewer than z digits follow it.
            return allowTrailingZeros && n - 1 - j < trailingZeros;
        }
    }
    return true;
}

int32_t GetNextDownCode(int32_t basinCode, const runtime::VariantArray& codes, bool allowTrailingZeros)
{
    if (basinCode == 0) {
        return kZeroCode;
    }
    if (basinCode < 0) {
        return kNegativeCode;
    }
    try {
        if (DrainsToWaterbody(std::to_string(basinCode), allowTrailingZeros)) {
            return kDrainsToWaterbody;
        }
        int32_t last = codes.UBound();
        for (int32_t i = codes.LBound(); i <= last; ++i) {
            int32_t candidate = runtime::ToLong(codes(i));
            if (candidate < basinCode && IsDownstreamOf(basinCode, candidate, allowTrailingZeros)) {
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
