#include "platform/gdal/GdalError.h"

#include "runtime/Error.h"

#include <cpl_error.h>

namespace drennow::gdalhost {

void RaiseHostError(const std::string& description)
{
    throw runtime::Error(kHostFailure, description);
}

void RaiseGdalError(const std::string& attempted)
{
    std::string reason = CPLGetLastErrorMsg();
    CPLErrorReset();
    RaiseHostError(reason.empty() ? attempted : attempted + ": " + reason);
}

}  // namespace drennow::gdalhost
