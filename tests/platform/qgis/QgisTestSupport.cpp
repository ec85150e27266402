#include "QgisTestSupport.h"

#include "command/clsDrennow.h"

#include <qgscoordinatetransformcontext.h>
#include <qgsgeometry.h>
#include <qgslayertree.h>
#include <qgsvectorfilewriter.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QPushButton>

namespace drennow::qgis::testing {

std::vector<Basin> RegionTwelve()
{
    return {{1239, 101}, {1237, 102}, {1234, 103}, {1233, 104},
            {1231, 105}, {1219, 106}, {1212, 107}, {1211, 108}};
}

std::map<int, int> RegionTwelveNextDown()
{
    return {{1239, 1237}, {1237, 1233}, {1234, 1233}, {1233, 1231},
            {1231, 1219}, {1219, 1211}, {1212, 1211}, {1211, -9}};
}

std::unique_ptr<QgsVectorLayer> MemoryBasins(const QString& name, const std::vector<Basin>& basins)
{
    auto layer = std::make_unique<QgsVectorLayer>(
        QStringLiteral("Polygon?crs=EPSG:4326&field=PfafstetterID:integer&field=HydroID:integer"), name,
        QStringLiteral("memory"));
    QgsFeatureList features;
    double left = 0;
    for (const Basin& basin : basins) {
        QgsFeature feature(layer->fields());
        feature.setAttribute(0, basin.code ? QVariant(*basin.code) : QVariant());
        feature.setAttribute(1, basin.hydroId);
        feature.setGeometry(QgsGeometry::fromRect(QgsRectangle(left, 0, left + 1, 1)));
        features.append(feature);
        left += 1;
    }
    EXPECT_TRUE(layer->dataProvider()->addFeatures(features));
    layer->updateExtents();
    return layer;
}

QString WriteGeoPackage(const QString& path, const std::vector<Basin>& basins)
{
    std::unique_ptr<QgsVectorLayer> source = MemoryBasins(QStringLiteral("Watershed"), basins);
    QgsVectorFileWriter::SaveVectorOptions options;
    options.driverName = QStringLiteral("GPKG");
    options.layerName = QStringLiteral("Watershed");
    QString error;
    EXPECT_EQ(QgsVectorFileWriter::writeAsVectorFormatV3(source.get(), path, QgsCoordinateTransformContext(),
                                                         options, &error),
              QgsVectorFileWriter::NoError)
        << error.toStdString();
    return path;
}

std::unique_ptr<QgsVectorLayer> OpenGeoPackage(const QString& path, const QString& name)
{
    auto layer = std::make_unique<QgsVectorLayer>(path + QStringLiteral("|layername=Watershed"), name,
                                                  QStringLiteral("ogr"));
    EXPECT_TRUE(layer->isValid()) << path.toStdString();
    return layer;
}

// The fields of a line of the Rhine units: quoted or bare, commas inside
// quotes (the WKT) kept.
QStringList CsvFields(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (QChar c : line) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

std::map<int, QVariant> ValuesByKey(QgsVectorLayer& layer, const QString& keyField, const QString& valueField)
{
    std::map<int, QVariant> values;
    QgsFeatureIterator features = layer.getFeatures();
    for (QgsFeature feature; features.nextFeature(feature);) {
        values[feature.attribute(keyField).toInt()] = feature.attribute(valueField);
    }
    return values;
}

ModalDriver::ModalDriver()
{
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &ModalDriver::Poll);
    timer_.start();
}

void ModalDriver::EscapeAt(QgsStatusBar& statusBar, QWidget& target, const QString& message)
{
    escapeTimer_.setInterval(0);
    connect(&escapeTimer_, &QTimer::timeout, this, [this, bar = &statusBar, window = &target, message] {
        if (bar->currentMessage() == message) {
            QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            escapeTimer_.stop();
        }
    });
    escapeTimer_.start();
}

Shown ModalDriver::Describe(QWidget& window)
{
    Shown item;
    item.title = window.windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(&window)) {
        item.kind = QStringLiteral("message");
        item.text = box->text();
        item.buttons = box->standardButtons();
        item.hasIcon = box->icon() != QMessageBox::NoIcon;
    } else if (auto* input = qobject_cast<QInputDialog*>(&window)) {
        item.kind = QStringLiteral("input");
        item.text = input->labelText();
        item.defaultText = input->textValue();
    } else if (auto* list = window.findChild<QComboBox*>(QStringLiteral("cboFld"))) {
        item.kind = QStringLiteral("selection");
        item.text = window.findChild<QLabel*>(QStringLiteral("lblLayer"))->text();
        for (int i = 0; i < list->count(); ++i) {
            item.entries << list->itemText(i);
        }
        item.current = list->currentText();
    }
    return item;
}

void ModalDriver::Poll()
{
    QWidget* window = QApplication::activeModalWidget();
    if (!window || window == handled_ || !window->isVisible()) {
        return;
    }
    handled_ = window;
    shown.push_back(Describe(*window));
    if (steps_.empty()) {
        ++unexpected;
        window->close();
        if (auto* dialog = qobject_cast<QDialog*>(window)) {
            dialog->reject();
        }
        return;
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step(*window);
}

ModalDriver::Step ModalDriver::Answer(QMessageBox::StandardButton button)
{
    return [button](QWidget& window) {
        auto* box = qobject_cast<QMessageBox*>(&window);
        ASSERT_NE(box, nullptr) << "expected a message box: " << window.windowTitle().toStdString();
        ASSERT_NE(box->button(button), nullptr);
        box->button(button)->click();
    };
}

ModalDriver::Step ModalDriver::Reply(const QString& text)
{
    return [text](QWidget& window) {
        auto* input = qobject_cast<QInputDialog*>(&window);
        ASSERT_NE(input, nullptr) << "expected the input box";
        input->setTextValue(text);
        input->accept();
    };
}

ModalDriver::Step ModalDriver::CancelInput()
{
    return [](QWidget& window) {
        auto* input = qobject_cast<QInputDialog*>(&window);
        ASSERT_NE(input, nullptr) << "expected the input box";
        input->reject();
    };
}

ModalDriver::Step ModalDriver::Pick(const QString& entry)
{
    return [entry](QWidget& window) {
        auto* list = window.findChild<QComboBox*>(QStringLiteral("cboFld"));
        ASSERT_NE(list, nullptr) << "expected the selection dialog";
        int index = list->findText(entry);
        ASSERT_GE(index, 0) << entry.toStdString();
        list->setCurrentIndex(index);
        window.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    };
}

ModalDriver::Step ModalDriver::AcceptDefault()
{
    return [](QWidget& window) {
        auto* ok = window.findChild<QPushButton*>(QStringLiteral("cmdOK"));
        ASSERT_NE(ok, nullptr) << "expected the selection dialog";
        ok->click();
    };
}

ModalDriver::Step ModalDriver::PressCancel()
{
    return [](QWidget& window) {
        auto* cancel = window.findChild<QPushButton*>(QStringLiteral("cmdCancel"));
        ASSERT_NE(cancel, nullptr) << "expected the selection dialog";
        cancel->click();
    };
}

QgisHostTest::QgisHostTest() : statusBar(new QgsStatusBar), canvas(new QgsMapCanvas)
{
    mainWindow.statusBar()->addPermanentWidget(statusBar, 1);
    mainWindow.setCentralWidget(canvas);
    mainWindow.resize(800, 600);
    mainWindow.show();
    application =
        std::make_shared<QgisApplication>(project, *statusBar, &mainWindow, canvas, std::chrono::milliseconds(0));
    command = command::CreateCommand(command::clsDrennow::kProgId);
    command->OnCreate(application);
}

QgisHostTest::~QgisHostTest()
{
    EXPECT_EQ(driver.unexpected, 0) << "a window opened that the test did not expect";
    command = nullptr;
    project.clear();
}

QgsVectorLayer* QgisHostTest::Add(std::unique_ptr<QgsVectorLayer> layer)
{
    QgsVectorLayer* added = layer.release();
    project.addMapLayer(added, false);
    project.layerTreeRoot()->addLayer(added);
    return added;
}

std::vector<QString> QgisHostTest::Messages() const
{
    std::vector<QString> messages;
    for (const Shown& item : driver.shown) {
        if (item.kind == QLatin1String("message") && item.buttons == QMessageBox::Ok) {
            messages.push_back(item.text);
        }
    }
    return messages;
}

QString QgisHostTest::TempPath(const QString& name) const
{
    return folder.filePath(name);
}

}  // namespace drennow::qgis::testing
