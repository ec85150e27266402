#pragma once
// `drennow network` on GDAL datasets: opening them, selecting, running the
// network over the GDAL host, printing or writing a query's basins, and the
// exit status.

#include "host/Progress.h"
#include "platform/gdal/run/GdalApplication.h"
#include "request/NetworkOptionTable.h"

#include <functional>
#include <ostream>

namespace drennow::gdalhost {

// Where the network run talks to its user; it asks nothing.
struct NetworkSurface {
    std::ostream& out;  // the closing lines, a query's feature ids
    std::ostream& err;  // error reports and notes
    host::Ref<host::IStatusBar> statusBar;
    GdalApplication::CancelTrackerFactory newCancelTracker;
    // The signal that asked to cancel; 0 when none did (an Esc key included).
    std::function<int()> interruptSignal;
};

// Never raises: what goes wrong is told on err; the exit status (an
// ExitStatus, or 128 + the signal that cancelled).
int RunNetworkOnDatasets(const request::NetworkCommandLine& line, NetworkSurface& surface);

}  // namespace drennow::gdalhost
