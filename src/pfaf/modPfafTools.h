#pragma once

#include "runtime/VariantArray.h"

#include <cstdint>
#include <string>

// Arithmetic on Pfafstetter basin codes. A code is a 32-bit integer whose
// decimal digits, read from the left, are its levels of subdivision. Even
// digits are tributary basins, odd digits interbasins along the main stem,
// and 0 marks a closed basin: only the digits after the last 0 drain.
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

// The first element of the descending codes list that lies downstream of the
// basin, or a failure code. Never raises.
int32_t GetNextDownCode(int32_t basinCode, const runtime::VariantArray& codes, bool allowTrailingZeros);

}  // namespace drennow::modPfafTools
