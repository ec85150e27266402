#pragma once

#include "host/Application.h"
#include "platform/gdal/data/GdalEditor.h"
#include "platform/gdal/data/GdalMap.h"
#include "request/RunRequest.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace drennow::gdalhost {

// The application around a map of GDAL datasets: its document, editor,
// status bar, user interface and cancel trackers.
class GdalApplication : public host::IApplication {
public:
    using CancelTrackerFactory = std::function<host::Ref<host::ITrackCancel>()>;

    // documentPath: what the host reports as the open document's full path.
    GdalApplication(host::Ref<GdalMap> map, std::string documentPath, host::Ref<host::IUserInterface> userInterface,
                    host::Ref<host::IStatusBar> statusBar, CancelTrackerFactory newCancelTracker);

    host::Ref<host::IMxDocument> Document() override { return document_; }
    host::Ref<host::IStatusBar> StatusBar() override { return statusBar_; }
    host::Ref<host::ITemplates> Templates() override;
    host::Ref<host::IExtension> FindExtensionByCLSID(const host::UID& id) override;
    host::Ref<host::ITrackCancel> NewCancelTracker() override { return newCancelTracker_(); }
    host::Ref<host::IUserInterface> UserInterface() override { return userInterface_; }

private:
    host::Ref<host::IMxDocument> document_;
    std::string documentPath_;
    host::Ref<host::IUserInterface> userInterface_;
    host::Ref<host::IStatusBar> statusBar_;
    CancelTrackerFactory newCancelTracker_;
    host::Ref<GdalEditor> editor_ = std::make_shared<GdalEditor>();
};

// The path that stands for the open document, so that its folder is where
// the failure log goes: a dataset file itself; inside a folder of
// Shapefiles; beside a file geodatabase; in logFolder when one is given;
// in the current folder for a dataset that is not a file (a database).
std::string DocumentPath(const std::string& firstDataset, const std::optional<std::string>& logFolder);

// Which rows of which layers to select before the run.
using request::SelectionRequest;

// Selects the rows asked for; returns notes for the user on ids that are of
// no feature. Raises, with a message for the user, for a filter a layer
// cannot evaluate, an unknown layer, or a request that selects nothing at all.
std::vector<std::string> ApplySelection(GdalMap& map, const SelectionRequest& request);

}  // namespace drennow::gdalhost
