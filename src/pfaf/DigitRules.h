#pragma once

#include <array>
#include <cstdint>

// The digit rules of Pfafstetter codes, on the decimal digits of a code. Every
// search, the plain scan and the index alike, reads codes through these.
namespace drennow::modPfafTools {

// What a 0 digit means.
enum class ZeroReading : uint8_t {
    // A closed basin: the drainage rules look only at the digits after the
    // last 0, and trailing zeros may pad a unit left undivided.
    kClosedBasin,
    // A unit not subdivided at that level: no digit is cut off, and a 0 counts
    // as an odd digit, and as a 1 after the first even digit.
    kUnsubdivided,
};

// How the elements of a codes list convert: to 32-bit codes of at most 10
// digits, or to 64-bit codes of at most 19.
enum class CodeWidth : uint8_t {
    k32Bit,
    k64Bit,
};

// The options a search runs with.
struct DigitRules {
    ZeroReading zeros = ZeroReading::kClosedBasin;
    // Trailing zeros are stripped before the drainage rules, and a candidate's
    // trailing zeros pass the odd-digit test. Closed-basin reading only.
    bool allowTrailingZeros = false;
    CodeWidth width = CodeWidth::k32Bit;
};

// The decimal digits of a code's magnitude, most significant first; 0 has the
// single digit 0.
class CodeDigits {
public:
    static constexpr int kMaxCount = 19;

    explicit CodeDigits(int64_t code)
        : value_(code < 0 ? 0 - static_cast<uint64_t>(code) : static_cast<uint64_t>(code))
    {
        // Filled from the last digit, and read from the first one written.
        uint64_t rest = value_;
        do {
            digit_[--first_] = static_cast<uint8_t>(rest % 10);
            rest /= 10;
        } while (rest != 0);
    }

    uint64_t Value() const { return value_; }
    int Count() const { return kMaxCount - first_; }
    uint8_t operator[](int position) const { return digit_[first_ + position]; }
    int TrailingZeros() const
    {
        int zeros = 0;
        while (zeros < Count() && (*this)[Count() - 1 - zeros] == 0) {
            ++zeros;
        }
        return zeros;
    }

    // The number the digits [begin, end) spell.
    uint64_t ValueOf(int begin, int end) const
    {
        uint64_t value = 0;
        for (int i = begin; i < end; ++i) {
            value = value * 10 + (*this)[i];
        }
        return value;
    }

private:
    uint64_t value_;
    int first_ = kMaxCount;
    std::array<uint8_t, kMaxCount> digit_;
};

// Positions [begin, end) of a code's digits.
struct DigitSpan {
    int begin;
    int end;
};

// The rules are defined here, inline: every lookup of the index runs them.

constexpr bool CountsAsOdd(uint8_t digit, ZeroReading zeros)
{
    return digit % 2 == 1 || (digit == 0 && zeros == ZeroReading::kUnsubdivided);
}

// After the first even digit, the digits of an outlet's interbasins.
constexpr bool CountsAsOne(uint8_t digit, ZeroReading zeros)
{
    return digit == 1 || (digit == 0 && zeros == ZeroReading::kUnsubdivided);
}

// Where the trailing zeros the rules let pass begin: the digit count when
// they are not allowed.
inline int EndBeforeAllowedZeros(const CodeDigits& code, const DigitRules& rules)
{
    bool allowed = rules.zeros == ZeroReading::kClosedBasin && rules.allowTrailingZeros;
    return code.Count() - (allowed ? code.TrailingZeros() : 0);
}

// The digits the drainage rules read: all of them in the unsubdivided
// reading; in the closed-basin reading, those after the last 0 once trailing
// zeros are stripped where they are allowed (none when the code still ends
// in 0).
inline DigitSpan DrainingDigits(const CodeDigits& code, const DigitRules& rules)
{
    if (rules.zeros == ZeroReading::kUnsubdivided) {
        return {0, code.Count()};
    }
    int end = EndBeforeAllowedZeros(code, rules);
    int begin = end;
    while (begin > 0 && code[begin - 1] != 0) {
        --begin;
    }
    return {begin, end};
}

// The unit has no downstream unit: every digit after its first even digit is
// a 1 (it lies on the outlet's interbasins), or it has no even digit at all.
inline bool DrainsToWaterbody(const CodeDigits& code, const DigitRules& rules)
{
    DigitSpan digits = DrainingDigits(code, rules);
    int firstEven = digits.begin;
    while (firstEven < digits.end && CountsAsOdd(code[firstEven], rules.zeros)) {
        ++firstEven;
    }
    for (int i = firstEven + 1; i < digits.end; ++i) {
        if (!CountsAsOne(code[i], rules.zeros)) {
            return false;
        }
    }
    return true;
}

// Every digit but the last is odd: the unit lies on the main stem and
// receives no flow from a unit of its own length.
inline bool HasOddLeadingDigits(const CodeDigits& code, const DigitRules& rules)
{
    DigitSpan digits = DrainingDigits(code, rules);
    for (int i = digits.begin; i + 1 < digits.end; ++i) {
        if (!CountsAsOdd(code[i], rules.zeros)) {
            return false;
        }
    }
    return true;
}

// The positions k where a candidate may first differ from a basin that
// drains into it: its digit at k and every digit after it count as odd, but
// for trailing zeros where they are allowed. Tested on candidates without odd
// leading digits.
inline DigitSpan ReceivingPositions(const CodeDigits& candidate, const DigitRules& rules)
{
    int end = EndBeforeAllowedZeros(candidate, rules);
    int begin = end;
    while (begin > 0 && CountsAsOdd(candidate[begin - 1], rules.zeros)) {
        --begin;
    }
    return {begin, end};
}

}  // namespace drennow::modPfafTools
