#pragma once

#include "platform/qgis/QgisApplication.h"

#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsstatusbar.h>
#include <qgsvectorlayer.h>

#include <QMainWindow>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drennow::qgis::testing {

// One basin of a test layer: its Pfafstetter code (none for null) and HydroID.
struct Basin {
    std::optional<int> code;
    int hydroId = 0;
};

// Eight basins of region 12 whose downstream neighbours follow from the
// Pfafstetter rules: 1239 -> 1237 -> 1233 -> 1231 -> 1219 -> 1211, and
// 1234 -> 1233, 1212 -> 1211; 1211 drains to the sea.
std::vector<Basin> RegionTwelve();
// The downstream code of each code of RegionTwelve (-9 for the outlet).
std::map<int, int> RegionTwelveNextDown();

// A memory polygon layer with the fields PfafstetterID and HydroID.
std::unique_ptr<QgsVectorLayer> MemoryBasins(const QString& name, const std::vector<Basin>& basins);
// The same written as a GeoPackage; its path.
QString WriteGeoPackage(const QString& path, const std::vector<Basin>& basins);
// A layer of the GeoPackage, read through OGR.
std::unique_ptr<QgsVectorLayer> OpenGeoPackage(const QString& path, const QString& name = QStringLiteral("Watershed"));

// Attribute values of every feature, keyed by the value of the key field.
std::map<int, QVariant> ValuesByKey(QgsVectorLayer& layer, const QString& keyField, const QString& valueField);

// The fields of a line of the Rhine units: quoted or bare, commas inside
// quotes (the WKT) kept.
QStringList CsvFields(const QString& line);

// What a modal window showed when the driver met it.
struct Shown {
    QString kind;  // "message", "input" or "selection"
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    bool hasIcon = false;
    QString defaultText;
    QStringList entries;
    QString current;
};

// Answers modal windows as they open, one scripted step each, and records
// what they showed. A window with no step left is closed and recorded as
// unexpected, so a test never hangs.
class ModalDriver : public QObject {
public:
    using Step = std::function<void(QWidget& window)>;

    ModalDriver();
    void Queue(Step step) { steps_.push_back(std::move(step)); }

    static Step Answer(QMessageBox::StandardButton button);
    static Step Reply(const QString& text);
    static Step CancelInput();
    static Step Pick(const QString& entry);
    static Step AcceptDefault();
    static Step PressCancel();

    // Posts Esc to the window once the status bar shows that message.
    void EscapeAt(QgsStatusBar& statusBar, QWidget& target, const QString& message);

    std::vector<Shown> shown;
    int unexpected = 0;
    bool AllStepsUsed() const { return steps_.empty(); }

private:
    void Poll();
    static Shown Describe(QWidget& window);

    QTimer timer_;
    QTimer escapeTimer_;
    std::deque<Step> steps_;
    QPointer<QWidget> handled_;
};

// A project with a main window, its status bar and map canvas, the QGIS
// application object over them, and the command created on it.
class QgisHostTest : public ::testing::Test {
protected:
    QgisHostTest();
    ~QgisHostTest() override;

    // Adds the layer at the top level of the project's layer tree.
    QgsVectorLayer* Add(std::unique_ptr<QgsVectorLayer> layer);
    void Click() { application->Click(*command); }
    // The messages with only OK, in order.
    std::vector<QString> Messages() const;
    QString TempPath(const QString& name) const;

    QTemporaryDir folder;
    QgsProject project;
    QMainWindow mainWindow;
    QgsStatusBar* statusBar;
    QgsMapCanvas* canvas;
    std::shared_ptr<QgisApplication> application;
    host::Ref<host::ICommand> command;
    ModalDriver driver;
};

}  // namespace drennow::qgis::testing
