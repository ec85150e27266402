#include "platform/gdal/GdalError.h"

#include "runtime/Error.h"

namespace drennow::gdalhost {

namespace {

// A server's message may end in a line break.
[[noreturn]] void RaiseWithReason(const std::string& attempted, std::string reason)
{
    reason.erase(reason.find_last_not_of(" \n") + 1);
    RaiseHostError(reason.empty() ? attempted : attempted + ": " + reason);
}

}  // namespace

void RaiseHostError(const std::string& description)
{
    throw runtime::Error(runtime::kHostCallFailed, description);
}

void RaiseGdalError(const std::string& attempted)
{
    std::string reason = CPLGetLastErrorMsg();
    CPLErrorReset();
    RaiseWithReason(attempted, reason);
}

FirstGdalFailure::FirstGdalFailure()
{
    CPLPushErrorHandlerEx(&FirstGdalFailure::Record, this);
}

FirstGdalFailure::~FirstGdalFailure()
{
    CPLPopErrorHandler();
}

void FirstGdalFailure::Raise(const std::string& attempted) const
{
    CPLErrorReset();
    RaiseWithReason(attempted, message_);
}

void CPL_STDCALL FirstGdalFailure::Record(CPLErr type, CPLErrorNum, const char* message)
{
    auto* self = static_cast<FirstGdalFailure*>(CPLGetErrorHandlerUserData());
    if (type >= CE_Failure && !self->happened_) {
        self->happened_ = true;
        self->message_ = message;
    }
}

}  // namespace drennow::gdalhost
