#pragma once

#include "pfaf/DigitRules.h"
#include "runtime/VariantArray.h"

#include <cstdint>
#include <string>

// Arithmetic on Pfafstetter basin codes. A code is an integer whose decimal
// digits, read from the left, are its levels of subdivision. Even digits are
// tributary basins, odd digits interbasins along the main stem; what a 0
// means depends on the zero reading (DigitRules.h). The functions taking a
// trailing-zeros answer alone use the closed-basin reading and 32-bit codes:
// a 0 marks a closed basin, and only the digits after the last 0 drain.
namespace drennow::modPfafTools {

// Failure codes written in place of a downstream value: GetNextDownCode's,
// and those the run records itself (a null or zero code, -5 for an
// identifier missing downstream). -2 and -4 are described in the log but no
// step gives them.
enum NextDownFailure : int16_t {
    kSearchFailed = -1,
    kBoundsUnknown = -2,
    kNegativeCode = -3,
    kTooManyDigits = -4,
    kNothingDownstream = -5,
    kNullCode = -6,
    kZeroCode = -8,
    kDrainsToWaterbody = -9,
};

bool IsEven(int64_t number);

// 1230 -> 123, 1200 -> 12, 1203 -> 1203, 0 -> 0.
int32_t StripTrailingZeros(int32_t code);

// The digits after the last zero: 1203 -> 3, 12043 -> 43, 1230 -> 0.
int32_t DigitsAfterLastZero(int32_t code);

// The unit has no downstream unit: it drains to the receiving waterbody (or
// internally).
bool DrainsToWaterbody(const std::string& codeText, bool allowTrailingZeros);

// Every digit but the last is odd, after the zero rules.
bool HasOddLeadingDigits(const std::string& codeText, bool allowTrailingZeros);

// The candidate lies downstream of the basin.
bool IsDownstreamOf(int32_t basinCode, int32_t candidateCode, bool allowTrailingZeros);
bool IsDownstreamOf(int64_t basinCode, int64_t candidateCode, const DigitRules& rules);

// A codes list element as a code: ToLong for 32-bit codes, ToLongLong for
// 64-bit ones.
int64_t ConvertCode(const runtime::Variant& element, CodeWidth width);

// The first element of the descending codes list that lies downstream of the
// basin, or a failure code. Each element is converted when the search
// reaches it, at the rules' width; one that does not convert fails the
// search. Never raises.
int32_t GetNextDownCode(int32_t basinCode, const runtime::VariantArray& codes, bool allowTrailingZeros);
int64_t GetNextDownCode(int64_t basinCode, const runtime::VariantArray& codes, const DigitRules& rules);

}  // namespace drennow::modPfafTools
