#include "command/FailureCodes.h"

namespace drennow::command {

std::string FailureLine(const FailureRecord& failure)
{
    return std::to_string(failure.objectId) + "\t" + std::to_string(failure.code) + "\t" + failure.description;
}

std::string DescribeFailureCode(int32_t code)
{
    switch (code) {
    case modPfafTools::kDrainsToWaterbody:
        return "Basin drains to waterbody/internally";
    case modPfafTools::kZeroCode:
        return "Basin drains internally";
    case modPfafTools::kNullCode:
        return "PfafsetterID is <Null>";
    case modPfafTools::kNothingDownstream:
        return "Downstream ID not found in database";
    case modPfafTools::kTooManyDigits:
        return "PfafsetterID has more digits than specified Level";
    case modPfafTools::kNegativeCode:
        return "PfafsetterID < 0";
    case modPfafTools::kBoundsUnknown:
        return "Could not determine bounds for downstream ID";
    default:
        return "Unknown Error";
    }
}

bool IsFailureCode(int32_t code)
{
    switch (code) {
    case modPfafTools::kSearchFailed:
    case modPfafTools::kBoundsUnknown:
    case modPfafTools::kNegativeCode:
    case modPfafTools::kTooManyDigits:
    case modPfafTools::kNothingDownstream:
    case modPfafTools::kNullCode:
    case modPfafTools::kZeroCode:
    case modPfafTools::kDrainsToWaterbody:
        return true;
    default:
        return false;
    }
}

}  // namespace drennow::command
