#include "command/FailureCodes.h"

namespace drennow::command {

std::string DescribeFailureCode(int32_t code)
{
    switch (code) {
    case -9:
        return "Basin drains to waterbody/internally";
    case -8:
        return "Basin drains internally";
    case -6:
        return "PfafsetterID is <Null>";
    case -5:
        return "Downstream ID not found in database";
    case -4:
        return "PfafsetterID has more digits than specified Level";
    case -3:
        return "PfafsetterID < 0";
    case -2:
        return "Could not determine bounds for downstream ID";
    default:
        return "Unknown Error";
    }
}

}  // namespace drennow::command
