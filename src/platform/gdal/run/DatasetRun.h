#pragma once
// What every run on GDAL datasets does alike: GDAL's own messages kept
// quiet, the datasets opened with the selection made, and a cancel told.

#include "platform/gdal/data/GdalMap.h"
#include "request/RunRequest.h"

#include <ostream>

namespace drennow::gdalhost {

// GDAL's own messages are not shown: the run reports what went wrong.
class QuietGdalErrors {
public:
    QuietGdalErrors();
    ~QuietGdalErrors();
    QuietGdalErrors(const QuietGdalErrors&) = delete;
    QuietGdalErrors& operator=(const QuietGdalErrors&) = delete;
};

// The datasets, with the selection made; nothing, once told why, when they
// cannot be opened or the selection cannot be made. Notes on the selection
// and on datasets opened read-only are told too.
host::Ref<GdalMap> OpenDatasets(const std::vector<std::string>& datasets, const request::SelectionRequest& selection,
                                std::ostream& err);

std::string SignalName(int signal);

// Tells of a cancel (by that signal, 0 for none) that saved nothing; the
// exit status.
int CancelStatus(int signal, std::ostream& err);

}  // namespace drennow::gdalhost
