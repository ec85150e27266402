#pragma once

#include "GdalTestData.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace drennow::e2e {

// What a completed run must leave: NextDownID of every feature and the bytes
// of the failure log ("" when none is written).
struct ExpectedRun {
    std::map<int64_t, std::optional<int64_t>> nextDownIds;
    std::string log;
};

struct RunChoices {
    bool allowTrailingZeros = false;
    bool writeIds = false;                      // HydroID rather than Pfafstetter codes
    std::optional<std::set<int64_t>> selected;  // every feature when absent
    bool zerosUnsubdivided = false;             // --zeros unsubdivided
    bool int64 = false;                         // --int64
};

// Worked out from the codes by the Pfafstetter rules, feature by feature in
// id order; feature ids start at firstFid. Unselected features keep the
// NextDownID they had.
ExpectedRun Expect(const std::vector<gdaltest::Basin>& basins, int64_t firstFid, const RunChoices& choices);

// Basins that meet every rule: the complete level-2 subdivision, a level-3
// unit with nothing downstream, closed basins with trailing zeros, a code
// given twice, a negative code, a zero and a missing code.
std::vector<gdaltest::Basin> VariedBasins();

}  // namespace drennow::e2e
