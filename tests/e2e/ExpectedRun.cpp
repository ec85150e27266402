#include "ExpectedRun.h"

#include "command/FailureCodes.h"
#include "command/RunTexts.h"
#include "pfaf/modPfafTools.h"
#include "runtime/VariantArray.h"

#include <algorithm>
#include <functional>

namespace drennow::e2e {

namespace {

std::string FailureLine(int64_t fid, int64_t code, const std::string& description)
{
    return std::to_string(fid) + "\t" + std::to_string(code) + "\t" + description + "\r\n";
}

}  // namespace

ExpectedRun Expect(const std::vector<gdaltest::Basin>& basins, int64_t firstFid, const RunChoices& choices)
{
    std::vector<int64_t> sorted;
    std::map<int64_t, std::optional<int64_t>> idOfCode;  // the first feature's identifier wins
    for (const gdaltest::Basin& basin : basins) {
        if (basin.pfafstetterId) {
            sorted.push_back(*basin.pfafstetterId);
            idOfCode.try_emplace(*basin.pfafstetterId, basin.hydroId);
        }
    }
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    runtime::VariantArray codes;
    if (!sorted.empty()) {
        codes.ReDim(1, static_cast<int32_t>(sorted.size()));
        for (size_t i = 0; i < sorted.size(); ++i) {
            codes(static_cast<int32_t>(i) + 1) = sorted[i];
        }
    }

    modPfafTools::DigitRules rules;
    rules.zeros = choices.zerosUnsubdivided ? modPfafTools::ZeroReading::kUnsubdivided
                                            : modPfafTools::ZeroReading::kClosedBasin;
    rules.allowTrailingZeros = choices.allowTrailingZeros;
    rules.width = choices.int64 ? modPfafTools::CodeWidth::k64Bit : modPfafTools::CodeWidth::k32Bit;
    ExpectedRun expected;
    std::string lines;
    for (size_t i = 0; i < basins.size(); ++i) {
        int64_t fid = firstFid + static_cast<int64_t>(i);
        std::optional<int64_t>& value = expected.nextDownIds[fid];
        value = basins[i].nextDownId;
        if (choices.selected && !choices.selected->count(fid)) {
            continue;
        }
        const std::optional<int64_t>& code = basins[i].pfafstetterId;
        if (!code) {
            value = command::kNullCodeFailure.code;
            lines += FailureLine(fid, command::kNullCodeFailure.code, command::kNullCodeFailure.text);
        } else if (*code == 0) {
            value = command::kZeroCodeFailure.code;
            lines += FailureLine(fid, command::kZeroCodeFailure.code, command::kZeroCodeFailure.text);
        } else if (int64_t down = modPfafTools::GetNextDownCode(*code, codes, rules); down <= 0) {
            value = down;
            lines += FailureLine(fid, down, command::DescribeFailureCode(static_cast<int32_t>(down)));
        } else if (!choices.writeIds) {
            value = down;
        } else {
            value = idOfCode.at(down);
        }
    }
    if (!lines.empty()) {
        expected.log = command::texts::kLogHeading + lines;
    }
    return expected;
}

std::vector<gdaltest::Basin> VariedBasins()
{
    std::vector<gdaltest::Basin> basins;
    int64_t hydroId = 5000;
    for (int64_t code = 11; code <= 99; ++code) {
        if (code % 10 != 0) {
            basins.push_back({code, ++hydroId, 777});
        }
    }
    // 4440 drains to 4430 only when trailing zeros are allowed.
    for (int64_t code : {555, 120, 340, 4440, 4430, 23, -45, 0}) {
        basins.push_back({code, ++hydroId, 777});
    }
    basins.push_back({std::nullopt, ++hydroId, 777});
    return basins;
}

}  // namespace drennow::e2e
