#include "platform/gdal/data/GdalError.h"

#include "host/Data.h"
#include "runtime/Error.h"

namespace drennow::gdalhost {

namespace {

// What libpq and the server say when the connection to a PostgreSQL server
// is gone: it broke, the server ended it (an administrator, a shutdown) or
// it was never there.
constexpr const char* kLostConnection[] = {
    "server closed the connection unexpectedly", "no connection to the server", "terminating connection",
    "could not receive data from server", "could not send data to server", "connection to server was lost",
    "SSL connection has been closed unexpectedly"};

bool TellsOfALostConnection(const std::string& reason)
{
    for (const char* sign : kLostConnection) {
        if (reason.find(sign) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A server's message may end in a line break.
[[noreturn]] void RaiseWithReason(const std::string& attempted, std::string reason)
{
    reason.erase(reason.find_last_not_of(" \n") + 1);
    if (TellsOfALostConnection(reason)) {
        throw host::ConnectionLost(attempted + ": the connection to the database server was lost (" + reason + ")");
    }
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
