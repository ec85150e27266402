#pragma once

#include "host/Application.h"
#include "host/Command.h"
#include "platform/qgis/QgisData.h"
#include "platform/qgis/QgisEditor.h"
#include "platform/qgis/QgisProgress.h"
#include "platform/qgis/QtUserInterface.h"

#include <QAction>
#include <QPointer>

#include <chrono>

class QgsMapCanvas;
class QgsProject;
class QgsStatusBar;
class QWidget;

namespace drennow::qgis {

// The document's path: the project's file, or, for a project that was never
// saved, a name beside the file of the run's layer (in the user's home
// folder when its data is in no file), so the failure log goes there.
class QgisTemplates : public host::ITemplates {
public:
    QgisTemplates(QgsProject& project, const RunLayer& run) : project_(project), run_(run) {}
    int32_t Count() override { return 1; }
    std::string Item(int32_t index) override;

private:
    QgsProject& project_;
    const RunLayer& run_;
};

// The application object over what the command needs of QGIS: the project,
// the status bar, the main window (which owns the boxes; it may be none) and
// the map canvas (it may be none).
class QgisApplication : public host::IApplication {
public:
    static constexpr std::chrono::milliseconds kEventInterval{50};

    QgisApplication(QgsProject& project, QgsStatusBar& statusBar, QWidget* mainWindow, QgsMapCanvas* mapCanvas,
                    std::chrono::milliseconds eventInterval = kEventInterval);

    host::Ref<host::IMxDocument> Document() override;
    host::Ref<host::IStatusBar> StatusBar() override { return statusBar_; }
    host::Ref<host::ITemplates> Templates() override;
    // The editor for the editor's identifier, else nothing.
    host::Ref<host::IExtension> FindExtensionByCLSID(const host::UID& id) override;
    host::Ref<host::ITrackCancel> NewCancelTracker() override;
    host::Ref<host::IUserInterface> UserInterface() override { return userInterface_; }

    QgisEditor& Editor() { return *editor_; }
    // The action that clicks the command: disabled while a run works.
    void SetAction(QAction* action) { action_ = action; }
    // A click of the command; QGIS is left with no edit command open, and
    // with no edit mode that the run began and did not finish (a cancel says
    // so on the status bar). A click while a run works does nothing. The map
    // canvas draws nothing meanwhile: a drawing of the layer being written
    // would read it while the run reads and saves it, and on a large layer
    // double the run's time. It draws afresh afterwards.
    void Click(host::ICommand& command);

private:
    void Settle(host::ICommand& command);

    bool running_ = false;
    QPointer<QAction> action_;
    QgsProject& project_;
    std::chrono::milliseconds eventInterval_;
    WorkspaceRegistry workspaces_;
    host::Ref<QgisEditor> editor_;
    host::Ref<QgisStatusBar> statusBar_;
    host::Ref<QtUserInterface> userInterface_;
    QPointer<QWidget> mainWindow_;
    QPointer<QgsMapCanvas> mapCanvas_;
};

}  // namespace drennow::qgis
