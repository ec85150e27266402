#include "platform/qgis/QgisApplication.h"

#include "command/RunTexts.h"
#include "command/clsDrennow.h"
#include "runtime/Error.h"

#include <qgsmapcanvas.h>
#include <qgsproject.h>

#include <qgsmessagelog.h>
#include <qgsproviderregistry.h>
#include <qgsvectorlayer.h>

#include <QAction>
#include <QDir>
#include <QFileInfo>

namespace drennow::qgis {

namespace {

constexpr const char* kUnsavedProjectName = "Untitled.qgz";

// Holds the canvas's drawing back (a drawing under way is stopped) for as
// long as it lives, unless it was held back already, and then draws afresh.
class CanvasPause {
public:
    explicit CanvasPause(QgsMapCanvas* canvas) : canvas_(canvas && !canvas->isFrozen() ? canvas : nullptr)
    {
        if (canvas_) {
            canvas_->stopRendering();
            canvas_->freeze(true);
        }
    }
    ~CanvasPause()
    {
        if (canvas_) {
            canvas_->freeze(false);
            canvas_->refresh();
        }
    }
    CanvasPause(const CanvasPause&) = delete;
    CanvasPause& operator=(const CanvasPause&) = delete;

private:
    QPointer<QgsMapCanvas> canvas_;
};

// The folder of the file the layer's data is in; the home folder for data in
// no file (a database, memory) or no layer.
QString DataFolderOf(const QgsVectorLayer* layer)
{
    if (layer) {
        const QVariantMap parts = QgsProviderRegistry::instance()->decodeUri(layer->providerType(), layer->source());
        const QFileInfo file(parts.value(QStringLiteral("path")).toString());
        if (file.isFile()) {
            return file.absolutePath();
        }
    }
    return QDir::homePath();
}

}  // namespace

std::string QgisTemplates::Item(int32_t index)
{
    if (index != 0) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    // Empty for a project never saved, or stored in a database.
    QString path = project_.absoluteFilePath();
    if (path.isEmpty()) {
        path = QDir(DataFolderOf(run_.Layer())).filePath(QString::fromLatin1(kUnsavedProjectName));
    }
    return QDir::toNativeSeparators(path).toStdString();
}

QgisApplication::QgisApplication(QgsProject& project, QgsStatusBar& statusBar, QWidget* mainWindow,
                                 QgsMapCanvas* mapCanvas, std::chrono::milliseconds eventInterval)
    : project_(project),
      eventInterval_(eventInterval),
      editor_(std::make_shared<QgisEditor>(project, workspaces_)),
      statusBar_(std::make_shared<QgisStatusBar>(statusBar, eventInterval)),
      userInterface_(std::make_shared<QtUserInterface>(mainWindow)),
      mainWindow_(mainWindow),
      mapCanvas_(mapCanvas)
{
}

host::Ref<host::IMxDocument> QgisApplication::Document()
{
    return std::make_shared<QgisDocument>(project_, workspaces_);
}

host::Ref<host::ITemplates> QgisApplication::Templates()
{
    return std::make_shared<QgisTemplates>(project_, workspaces_.Run());
}

host::Ref<host::IExtension> QgisApplication::FindExtensionByCLSID(const host::UID& id)
{
    if (id.Value != host::kEditorProgId) {
        return nullptr;
    }
    return editor_;
}

void QgisApplication::Click(host::ICommand& command)
{
    if (running_) {
        return;
    }
    running_ = true;
    const bool actionWasEnabled = action_ && action_->isEnabled();
    if (action_) {
        action_->setEnabled(false);
    }
    workspaces_.Run().Forget();
    userInterface_->NewRun();
    {
        CanvasPause pause(mapCanvas_);
        command.OnClick();
        Settle(command);
    }
    if (action_) {
        action_->setEnabled(actionWasEnabled);
    }
    running_ = false;
}

// Nothing the run began outlives it unfinished; errors here have no run left
// to report them, so they go to QGIS's log.
void QgisApplication::Settle(host::ICommand& command)
{
    const auto* drennow = dynamic_cast<const command::clsDrennow*>(&command);
    const bool finished = !drennow || drennow->LastOutcome() == command::RunOutcome::Completed ||
                          drennow->LastOutcome() == command::RunOutcome::SavedWithoutLog;
    try {
        editor_->EndOpenOperation();
        const bool discarded = !finished && editor_->DiscardRunsEditing();
        const RunLayer& run = workspaces_.Run();
        if (drennow && drennow->LastOutcome() == command::RunOutcome::Cancelled) {
            QgsVectorLayer* layer = run.Layer();
            statusBar_->Message(0, layer && layer->isEditable()
                                       ? "Drennow: the run was cancelled; the values it wrote are one step of the "
                                         "layer's edit session, which Edit > Undo takes back"
                                       : "Drennow: the run was cancelled; nothing was saved");
        } else if (discarded) {
            statusBar_->Message(0, "Drennow: the run ended before it finished; nothing was saved");
        }
    } catch (const std::exception& error) {
        QgsMessageLog::logMessage(QString::fromStdString(error.what()), QString::fromLatin1(command::texts::kTitle),
                                  Qgis::MessageLevel::Critical);
    }
}

host::Ref<host::ITrackCancel> QgisApplication::NewCancelTracker()
{
    return std::make_shared<QgisCancelTracker>(eventInterval_, mainWindow_);
}

}  // namespace drennow::qgis
