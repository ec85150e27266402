#include "platform/gdal/GdalError.h"

#include "runtime/Error.h"

#include <cpl_error.h>

namespace drennow::gdalhost {

void RaiseHostError(const std::string& description)
{
    throw runtime::Error(runtime::kHostCallFailed, description);
}

void RaiseGdalError(const std::string& attempted)
{
    std::string reason = CPLGetLastErrorMsg();
    CPLErrorReset();
    RaiseHostError(reason.empty() ? attempted : attempted + ": " + reason);
}

FirstGdalFailure::FirstGdalFailure()
{
    CPLPushErrorHandlerEx(
        [](CPLErr errorClass, CPLErrorNum, const char* message) {
            auto* self = static_cast<FirstGdalFailure*>(CPLGetErrorHandlerUserData());
            if (errorClass >= CE_Failure && !self->happened_) {
                self->happened_ = true;
                self->reason_ = message ? message : "";
            }
        },
        this);
}

FirstGdalFailure::~FirstGdalFailure()
{
    CPLPopErrorHandler();
}

void FirstGdalFailure::Raise(const std::string& attempted) const
{
    CPLErrorReset();
    RaiseHostError(reason_.empty() ? attempted : attempted + ": " + reason_);
}

}  // namespace drennow::gdalhost
