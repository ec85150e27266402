#include "platform/gdal/run/DatasetRun.h"

#include "command/ExitStatus.h"
#include "platform/gdal/run/GdalApplication.h"
#include "runtime/Error.h"

#include <cpl_error.h>

#include <cstring>

namespace drennow::gdalhost {

QuietGdalErrors::QuietGdalErrors()
{
    CPLPushErrorHandler(CPLQuietErrorHandler);
}

QuietGdalErrors::~QuietGdalErrors()
{
    CPLPopErrorHandler();
}

host::Ref<GdalMap> OpenDatasets(const std::vector<std::string>& datasets, const request::SelectionRequest& selection,
                                std::ostream& err)
{
    host::Ref<GdalMap> map;
    try {
        map = GdalMap::Open(datasets);
        for (const std::string& note : ApplySelection(*map, selection)) {
            err << "drennow: " << note << "\n";
        }
    } catch (const runtime::Error& error) {
        err << "drennow: " << error.Description() << "\n";
        return nullptr;
    }
    for (const auto& workspace : map->Workspaces()) {
        if (!workspace->ReadOnlyReason().empty()) {
            err << "drennow: " << workspace->Name() << ": " << workspace->ReadOnlyReason() << "\n";
        }
        for (const std::string& note : workspace->Notes()) {
            err << "drennow: " << workspace->Name() << ": " << note << "\n";
        }
    }
    return map;
}

std::string SignalName(int signal)
{
    const char* abbreviation = ::sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
}

int CancelStatus(int signal, std::ostream& err)
{
    err << "drennow: cancelled" << (signal ? " by " + SignalName(signal) : std::string())
        << "; no value was saved\n";
    return signal ? 128 + signal : command::kCancelled;
}

}  // namespace drennow::gdalhost
