#include "platform/qgis/QgisApplication.h"

#include "runtime/Error.h"

#include <qgsmapcanvas.h>
#include <qgsproject.h>

#include <QDir>

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

}  // namespace

std::string QgisTemplates::Item(int32_t index)
{
    if (index != 0) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    // Empty for a project never saved, or stored in a database.
    QString path = project_.absoluteFilePath();
    if (path.isEmpty()) {
        path = QDir(QDir::homePath()).filePath(QString::fromLatin1(kUnsavedProjectName));
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
    return std::make_shared<QgisTemplates>(project_);
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
    CanvasPause pause(mapCanvas_);
    command.OnClick();
    editor_->EndOpenOperation();
}

host::Ref<host::ITrackCancel> QgisApplication::NewCancelTracker()
{
    return std::make_shared<QgisCancelTracker>(eventInterval_, mainWindow_);
}

}  // namespace drennow::qgis
