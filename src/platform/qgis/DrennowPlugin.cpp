// The plugin QGIS loads: a "Pfafstetter" menu and toolbar holding the
// command's action, a click of which runs the command on the current project,
// and the Processing provider of the same pass.
#include "command/clsDrennow.h"
#include "platform/qgis/QgisApplication.h"
#include "platform/qgis/processing/DrennowProvider.h"

#include <qgis.h>
#include <qgisinterface.h>
#include <qgisplugin.h>
#include <qgsapplication.h>
#include <qgsprocessingregistry.h>
#include <qgsproject.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>

namespace drennow::qgis {

namespace {

const QString kPluginName = QStringLiteral("Drennow");
const QString kDescription = QStringLiteral("Fills NextDownID of watershed polygons from their Pfafstetter codes");
const QString kCategory = QStringLiteral("Pfafstetter");
const QString kVersion = QStringLiteral(DRENNOW_VERSION);

class DrennowPlugin : public QgisPlugin {
public:
    explicit DrennowPlugin(QgisInterface* iface)
        : QgisPlugin(kPluginName, kDescription, kCategory, kVersion, QgisPlugin::UI), iface_(iface)
    {
    }
    ~DrennowPlugin() override { unload(); }

    void initGui() override;
    void unload() override;

private:
    void AddToMenuBar(QMenu* menu);

    QgisInterface* iface_;
    host::Ref<host::ICommand> command_;
    host::Ref<QgisApplication> application_;
    QPointer<QAction> action_;
    QPointer<QMenu> menu_;
    QPointer<QToolBar> toolBar_;
    QPointer<DrennowProvider> provider_;  // the registry's own once added
};

void DrennowPlugin::initGui()
{
    application_ = std::make_shared<QgisApplication>(*QgsProject::instance(), *iface_->statusBarIface(),
                                                     iface_->mainWindow(), iface_->mapCanvas());
    command_ = command::CreateCommand(command::clsDrennow::kProgId);
    command_->OnCreate(application_);

    action_ = new QAction(QString::fromStdString(command_->Caption()), iface_->mainWindow());
    action_->setObjectName(QString::fromStdString(command_->Name()));
    action_->setToolTip(QString::fromStdString(command_->Tooltip()));
    action_->setStatusTip(QString::fromStdString(command_->Message()));
    action_->setEnabled(command_->Enabled());
    application_->SetAction(action_);
    QObject::connect(action_, &QAction::triggered, action_, [this] { application_->Click(*command_); });

    const QString category = QString::fromStdString(command_->Category());
    menu_ = new QMenu(category, iface_->mainWindow());
    menu_->setObjectName(category);
    menu_->addAction(action_);
    AddToMenuBar(menu_);
    toolBar_ = iface_->addToolBar(category);
    toolBar_->setObjectName(category);
    toolBar_->addAction(action_);

    provider_ = new DrennowProvider;
    if (!QgsApplication::processingRegistry()->addProvider(provider_)) {
        provider_ = nullptr;  // deleted by the registry
    }
}

// Before the Help menu, as QGIS places the menus of its own plugins.
void DrennowPlugin::AddToMenuBar(QMenu* menu)
{
    auto* mainWindow = qobject_cast<QMainWindow*>(iface_->mainWindow());
    if (!mainWindow) {
        return;
    }
    QMenu* help = iface_->helpMenu();
    mainWindow->menuBar()->insertMenu(help ? help->menuAction() : nullptr, menu);
}

void DrennowPlugin::unload()
{
    if (provider_) {
        QgsApplication::processingRegistry()->removeProvider(provider_);
    }
    delete toolBar_;
    delete menu_;
    delete action_;
    command_ = nullptr;  // releases the application object
    application_ = nullptr;
}

}  // namespace

}  // namespace drennow::qgis

QGISEXTERN QgisPlugin* classFactory(QgisInterface* iface)
{
    return new drennow::qgis::DrennowPlugin(iface);
}

QGISEXTERN const QString* name()
{
    return &drennow::qgis::kPluginName;
}

QGISEXTERN const QString* description()
{
    return &drennow::qgis::kDescription;
}

QGISEXTERN const QString* category()
{
    return &drennow::qgis::kCategory;
}

QGISEXTERN const QString* version()
{
    return &drennow::qgis::kVersion;
}

QGISEXTERN int type()
{
    return QgisPlugin::UI;
}

QGISEXTERN void unload(QgisPlugin* plugin)
{
    delete plugin;
}
