// The command run end to end on QGIS layers, with the dialogs answered as a
// user would.
#include "QgisTestSupport.h"

#include "runtime/Error.h"

#include <qgslayertree.h>
#include <qgsvectordataprovider.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QUndoStack>
#include <QtTest/QTest>

namespace drennow::qgis::testing {
namespace {

using Driver = ModalDriver;

const QString kLogHeading =
    QStringLiteral("Following is a list of ObjectIDs for areas for which downstream ID could not be determined.");
const QString kFinished = QStringLiteral("Finished with NextDownID Determination");

class QgisCommandTest : public QgisHostTest {
protected:
    // The answers up to and including the populate question.
    void QueueQuestions(bool populateWithCodes)
    {
        driver.Queue(Driver::Answer(QMessageBox::No));  // trailing zeros
        driver.Queue(Driver::Pick(QStringLiteral("Watershed")));
        driver.Queue(Driver::AcceptDefault());  // the Pfafstetter field
        driver.Queue(Driver::Reply(QStringLiteral("4")));
        if (populateWithCodes) {
            driver.Queue(Driver::Answer(QMessageBox::Yes));
        } else {
            driver.Queue(Driver::Answer(QMessageBox::No));
            driver.Queue(Driver::Pick(QStringLiteral("HydroID")));
        }
    }

    static std::unique_ptr<QgsVectorLayer> WithNextDownField(std::unique_ptr<QgsVectorLayer> layer)
    {
        EXPECT_TRUE(layer->dataProvider()->addAttributes({QgsField(QStringLiteral("NextDownID"), QVariant::Int)}));
        layer->updateFields();
        return layer;
    }

    static std::map<int, int> ExpectedIds()
    {
        std::map<int, int> hydroIdOf;
        for (const Basin& basin : RegionTwelve()) {
            hydroIdOf[*basin.code] = basin.hydroId;
        }
        std::map<int, int> expected;
        for (const auto& [code, next] : RegionTwelveNextDown()) {
            expected[code] = next > 0 ? hydroIdOf.at(next) : next;
        }
        return expected;
    }

    static std::map<int, QVariant> NextDownByCode(QgsVectorLayer& layer)
    {
        return ValuesByKey(layer, QStringLiteral("PfafstetterID"), QStringLiteral("NextDownID"));
    }

    static int CountWritten(QgsVectorLayer& layer)
    {
        int written = 0;
        for (const auto& entry : NextDownByCode(layer)) {
            written += entry.second.isNull() ? 0 : 1;
        }
        return written;
    }

    std::vector<Shown> WindowsOfKind(const QString& kind) const
    {
        std::vector<Shown> found;
        for (const Shown& item : driver.shown) {
            if (item.kind == kind) {
                found.push_back(item);
            }
        }
        return found;
    }
};

TEST_F(QgisCommandTest, FillsDownstreamCodesOfAMemoryLayerInATemporarySession)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    Add(std::make_unique<QgsVectorLayer>(QStringLiteral("LineString?crs=EPSG:4326"), QStringLiteral("Rivers"),
                                         QStringLiteral("memory")));
    QgsLayerTreeGroup* group = project.layerTreeRoot()->addGroup(QStringLiteral("Upstream"));
    auto* nested = MemoryBasins(QStringLiteral("Nested"), RegionTwelve()).release();
    project.addMapLayer(nested, false);
    group->addLayer(nested);
    QueueQuestions(true);
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_FALSE(layer->isEditable()) << "the temporary session is closed";
    int nextDown = layer->fields().indexFromName(QStringLiteral("NextDownID"));
    ASSERT_GE(nextDown, 0) << "NextDownID was added";
    EXPECT_EQ(layer->fields().at(nextDown).type(), QVariant::Int);
    std::map<int, QVariant> written = NextDownByCode(*layer);
    for (const auto& [code, next] : RegionTwelveNextDown()) {
        EXPECT_EQ(written.at(code), QVariant(next)) << code;
    }

    std::vector<Shown> lists = WindowsOfKind(QStringLiteral("selection"));
    ASSERT_EQ(lists.size(), 2U);
    EXPECT_EQ(lists[0].title, QStringLiteral("Drennow"));
    EXPECT_EQ(lists[0].text, QStringLiteral("Select Watershed Layer"));
    EXPECT_EQ(lists[0].entries, (QStringList{QStringLiteral("Watershed"), QStringLiteral("Nested")}))
        << "polygon layers, a group's included";
    EXPECT_EQ(lists[1].text, QStringLiteral("Select Pfafstetter ID Field"));
    EXPECT_EQ(lists[1].current, QStringLiteral("PfafstetterID"));

    // The failure log of a project never saved goes to the home folder.
    QString logPath = QDir(QDir::homePath()).filePath(QStringLiteral("Drennow.log"));
    ASSERT_EQ(Messages().size(), 1U);
    EXPECT_EQ(Messages()[0], kFinished + QStringLiteral("\n\nSome IDs could not be determined.  See ") + logPath +
                                 QStringLiteral(" for details."));
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().startsWith((kLogHeading + QStringLiteral("\r\n")).toUtf8()));
}

TEST_F(QgisCommandTest, AsksItsQuestionsInBoxesTitledDrennowWithoutIcons)
{
    Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    QueueQuestions(true);
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    const std::vector<Shown>& shown = driver.shown;
    ASSERT_GE(shown.size(), 6U);
    EXPECT_EQ(shown[0].kind, QStringLiteral("message"));
    EXPECT_EQ(shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(shown[0].text.startsWith(
        QStringLiteral("Zeros at the end of Pfafstetter numbers usually indicate an \ninternal basin.")));
    EXPECT_TRUE(shown[0].text.endsWith(
        QStringLiteral("\n\nAllow trailing zeros during NextDownID determination?\n(Click Yes if using EDNA data)")));
    EXPECT_EQ(shown[3].kind, QStringLiteral("input"));
    EXPECT_EQ(shown[3].text, QStringLiteral("Input Pfafstetter Level (1-9)"));
    EXPECT_EQ(shown[3].defaultText, QStringLiteral("4")) << "the length of the codes";
    EXPECT_EQ(shown[4].text, QStringLiteral("Populate NextDownID with downstream Pfafstetter ID?"));
    for (const Shown& item : shown) {
        EXPECT_EQ(item.title, QStringLiteral("Drennow")) << item.text.toStdString();
        EXPECT_FALSE(item.hasIcon) << item.text.toStdString();
    }
}

TEST_F(QgisCommandTest, WritesIdentifiersOfTheSelectionIntoTheGeoPackage)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    ASSERT_TRUE(project.write(TempPath(QStringLiteral("basins.qgz"))));
    QgsFeatureIterator features =
        layer->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1234")));
    QgsFeature chosen;
    ASSERT_TRUE(features.nextFeature(chosen));
    layer->selectByIds({chosen.id()});
    QueueQuestions(false);
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_FALSE(layer->isEditable());
    std::unique_ptr<QgsVectorLayer> reread = OpenGeoPackage(path);
    std::map<int, QVariant> written = NextDownByCode(*reread);
    for (const auto& [code, value] : written) {
        if (code == 1234) {
            EXPECT_EQ(value, QVariant(ExpectedIds().at(1234))) << "the HydroID of 1233";
        } else {
            EXPECT_TRUE(value.isNull()) << code << " was not selected";
        }
    }
    EXPECT_EQ(Messages(), std::vector<QString>{kFinished});
    EXPECT_FALSE(QFile::exists(TempPath(QStringLiteral("Drennow.log")))) << "no failures, no log";
}

TEST_F(QgisCommandTest, WritesIdentifiersOfEveryFeatureAndLogsBesideTheProject)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    ASSERT_TRUE(project.write(TempPath(QStringLiteral("basins.qgz"))));
    QueueQuestions(false);
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    std::unique_ptr<QgsVectorLayer> reread = OpenGeoPackage(path);
    std::map<int, QVariant> written = NextDownByCode(*reread);
    for (const auto& [code, expected] : ExpectedIds()) {
        EXPECT_EQ(written.at(code), QVariant(expected)) << code;
    }
    ASSERT_EQ(Messages().size(), 1U);
    EXPECT_TRUE(Messages()[0].contains(QDir::toNativeSeparators(TempPath(QStringLiteral("Drennow.log")))));
    QFile log(TempPath(QStringLiteral("Drennow.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QgsFeature outlet;
    layer->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1211")))
        .nextFeature(outlet);
    EXPECT_TRUE(log.readAll().contains(QStringLiteral("\r\n%1\t-9\t").arg(outlet.id()).toUtf8()))
        << "the outlet's line names its fid";
}

TEST_F(QgisCommandTest, RunWhileEditingIsOneUndoCommandThatTakesEveryValueBack)
{
    QgsVectorLayer* layer = Add(WithNextDownField(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve())));
    ASSERT_TRUE(layer->startEditing());
    QueueQuestions(true);
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_TRUE(layer->isEditable()) << "the user's session stays open";
    QUndoStack* stack = layer->undoStack();
    ASSERT_EQ(stack->count(), 1);
    EXPECT_EQ(stack->index(), 1) << "the command is closed";
    EXPECT_EQ(stack->text(0), QStringLiteral("nextdownid"));
    EXPECT_EQ(CountWritten(*layer), 8);

    stack->undo();
    EXPECT_EQ(CountWritten(*layer), 0);
    EXPECT_FALSE(layer->isModified());
}

TEST_F(QgisCommandTest, EscWhileAssigningInATemporarySessionKeepsNothing)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    QString logPath = QDir(QDir::homePath()).filePath(QStringLiteral("Drennow.log"));
    QFile::remove(logPath);
    QueueQuestions(true);
    driver.EscapeAt(*statusBar, mainWindow, QStringLiteral("Finding NextDownID 2.. Hit Esc to Cancel"));

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(driver.shown.size(), 5U) << "no message after a cancel";
    EXPECT_FALSE(layer->isEditable());
    EXPECT_EQ(CountWritten(*OpenGeoPackage(path)), 0);
    EXPECT_FALSE(QFile::exists(logPath));
    EXPECT_EQ(OpenGeoPackage(path)->fields().indexFromName(QStringLiteral("NextDownID")), -1)
        << "the field the run added is gone with its values";
    EXPECT_EQ(layer->fields().indexFromName(QStringLiteral("NextDownID")), -1);
    EXPECT_EQ(layer->undoStack()->count(), 0);
    EXPECT_EQ(statusBar->currentMessage(), QStringLiteral("Drennow: the run was cancelled; nothing was saved"));
}

TEST_F(QgisCommandTest, EscWhileAssigningDuringTheUsersSessionKeepsWhatWasDone)
{
    QgsVectorLayer* layer = Add(WithNextDownField(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve())));
    ASSERT_TRUE(layer->startEditing());
    QueueQuestions(true);
    driver.EscapeAt(*statusBar, mainWindow, QStringLiteral("Finding NextDownID 2.. Hit Esc to Cancel"));

    Click();

    EXPECT_EQ(driver.shown.size(), 5U) << "no message after a cancel";
    ASSERT_TRUE(layer->isEditable());
    int written = CountWritten(*layer);
    EXPECT_GE(written, 2);
    EXPECT_LT(written, 8);
    QUndoStack* stack = layer->undoStack();
    ASSERT_EQ(stack->count(), 1);
    EXPECT_EQ(stack->text(0), QStringLiteral("Drennow"));
    stack->undo();
    EXPECT_EQ(CountWritten(*layer), 0);
}

TEST_F(QgisCommandTest, AnErrorWhileAssigningLeavesNoEditCommandOpen)
{
    QgsVectorLayer* layer = Add(WithNextDownField(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve())));
    // 1233's identifier is null: the first basin draining into it stops the run.
    QgsFeature feature;
    layer->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1233")))
        .nextFeature(feature);
    ASSERT_TRUE(layer->dataProvider()->changeAttributeValues({{feature.id(), {{1, QVariant()}}}}));
    ASSERT_TRUE(layer->startEditing());
    QueueQuestions(false);
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_EQ(Messages().size(), 1U);
    EXPECT_EQ(Messages()[0], QStringLiteral("Error 94: %1\n12")
                                 .arg(QString::fromStdString(runtime::StandardDescription(runtime::kInvalidUseOfNull))));
    QUndoStack* stack = layer->undoStack();
    ASSERT_EQ(stack->count(), 1);
    EXPECT_EQ(stack->index(), 1) << "the operation was ended";
    EXPECT_EQ(stack->text(0), QStringLiteral("Drennow"));
    EXPECT_GT(CountWritten(*layer), 0) << "what was stored before the error stays";
}

// A drawing of the layer while the run reads and saves it competes with the
// run for the data source; the map is drawn once the run has ended, and a
// canvas the user had held back stays so.
TEST_F(QgisCommandTest, TheMapIsNotDrawnWhileTheRunReadsAndWritesTheLayer)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    canvas->setLayers({layer});
    canvas->setExtent(layer->extent());
    int drawings = 0;
    QObject::connect(canvas, &QgsMapCanvas::renderStarting, canvas, [&] { ++drawings; });
    std::optional<int> drawingsBeforeTheMessage;
    bool frozenAtTheMessage = false;
    QueueQuestions(false);
    driver.Queue([&](QWidget& window) {
        drawingsBeforeTheMessage = drawings;
        frozenAtTheMessage = canvas->isFrozen();
        Driver::Answer(QMessageBox::Ok)(window);
    });
    canvas->waitWhileRendering();
    drawings = 0;

    Click();

    EXPECT_EQ(CountWritten(*OpenGeoPackage(path)), 8);
    EXPECT_EQ(drawingsBeforeTheMessage, 0);
    EXPECT_TRUE(frozenAtTheMessage);
    EXPECT_FALSE(canvas->isFrozen());
    for (int waited = 0; waited < 500 && drawings == 0; ++waited) {
        QTest::qWait(10);
    }
    EXPECT_GT(drawings, 0) << "the map shows the values written";

    canvas->freeze(true);
    QueueQuestions(false);
    driver.Queue(Driver::Answer(QMessageBox::Ok));
    Click();
    EXPECT_TRUE(canvas->isFrozen()) << "the user's own hold stays";
}

class SaveQuestionTest : public QgisCommandTest {
protected:
    // A GeoPackage without NextDownID, and another layer with an unsaved edit.
    void SetUp() override
    {
        path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
        watershed = Add(OpenGeoPackage(path));
        lakes = Add(MemoryBasins(QStringLiteral("Lakes"), {{7, 1}}));
        ASSERT_TRUE(lakes->startEditing());
        QgsFeature lake;
        lakes->getFeatures().nextFeature(lake);
        ASSERT_TRUE(lakes->changeAttributeValue(lake.id(), 1, 99));
        QueueQuestions(true);
    }

    int SavedLakeId() const
    {
        QgsFeature lake;
        lakes->dataProvider()->getFeatures().nextFeature(lake);
        return lake.attribute(1).toInt();
    }

    void ExpectTheQuestion() const
    {
        std::vector<Shown> boxes = WindowsOfKind(QStringLiteral("message"));
        auto question = std::find_if(boxes.begin(), boxes.end(),
                                     [](const Shown& item) { return item.title == QLatin1String("Save Edits?"); });
        ASSERT_NE(question, boxes.end());
        EXPECT_EQ(question->text, QStringLiteral("There are pending edits in another workspace.  Do you wish to save "
                                                 "edits?\n\nYes - Save the edits\nNo - Cancel all the edits\n"
                                                 "Cancel - Exit and do nothing\n"));
        EXPECT_EQ(question->buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        EXPECT_FALSE(question->hasIcon);
    }

    QString path;
    QgsVectorLayer* watershed = nullptr;
    QgsVectorLayer* lakes = nullptr;
};

// The watershed layer's edit mode is the run's own even though another
// layer's session was open as the run began: the run saves it at the end.
TEST_F(SaveQuestionTest, YesSavesTheOtherLayerAndTheRunSavesItsOwn)
{
    driver.Queue(Driver::Answer(QMessageBox::Yes));
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ExpectTheQuestion();
    ASSERT_EQ(Messages().size(), 1U);
    EXPECT_TRUE(Messages()[0].startsWith(kFinished));
    EXPECT_FALSE(lakes->isEditable());
    EXPECT_EQ(SavedLakeId(), 99);
    EXPECT_FALSE(watershed->isEditable()) << "saved and closed, as a temporary session";
    EXPECT_EQ(watershed->undoStack()->count(), 0);
    EXPECT_EQ(CountWritten(*OpenGeoPackage(path)), 8) << "on disk";
}

TEST_F(SaveQuestionTest, NoDiscardsTheOtherLayersEditsAndTheRunSavesItsOwn)
{
    driver.Queue(Driver::Answer(QMessageBox::No));
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    EXPECT_FALSE(lakes->isEditable());
    EXPECT_EQ(SavedLakeId(), 1);
    EXPECT_FALSE(watershed->isEditable());
    EXPECT_EQ(CountWritten(*OpenGeoPackage(path)), 8);
}

// Esc during the pass after the question: the run's edit mode and the field
// it added are gone; nothing reached the file.
TEST_F(SaveQuestionTest, EscAfterTheQuestionLeavesTheFileAsItWas)
{
    driver.Queue(Driver::Answer(QMessageBox::Yes));
    driver.EscapeAt(*statusBar, mainWindow, QStringLiteral("Finding NextDownID 2.. Hit Esc to Cancel"));

    Click();

    EXPECT_FALSE(watershed->isEditable());
    EXPECT_EQ(watershed->fields().indexFromName(QStringLiteral("NextDownID")), -1);
    EXPECT_EQ(OpenGeoPackage(path)->fields().indexFromName(QStringLiteral("NextDownID")), -1);
    EXPECT_EQ(statusBar->currentMessage(), QStringLiteral("Drennow: the run was cancelled; nothing was saved"));
}

TEST_F(SaveQuestionTest, CancelEndsTheRunAndLeavesTheEditsPending)
{
    driver.Queue(Driver::Answer(QMessageBox::Cancel));

    Click();

    ExpectTheQuestion();
    EXPECT_EQ(Messages().size(), 0U) << "a quiet end";
    EXPECT_TRUE(lakes->isEditable());
    EXPECT_TRUE(lakes->isModified());
    EXPECT_EQ(watershed->fields().indexFromName(QStringLiteral("NextDownID")), -1);
}

// The user's own pending edits on the chosen layer are the user's: no save
// question, nothing saved or discarded; the run works inside that edit mode
// on the data as edited, the field it adds included.
TEST_F(QgisCommandTest, TheUsersPendingEditsOnTheLayerStayTheUsers)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    ASSERT_TRUE(layer->startEditing());
    const int pfaf = layer->fields().indexFromName(QStringLiteral("PfafstetterID"));
    QgsFeature outlet;
    QgsFeature upstream;
    layer->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1211")))
        .nextFeature(outlet);
    layer->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1239")))
        .nextFeature(upstream);
    ASSERT_TRUE(layer->changeAttributeValue(outlet.id(), pfaf, 1210, 1211));  // a changed code
    ASSERT_TRUE(layer->deleteFeature(upstream.id()));
    QgsFeature added(layer->fields());
    added.setAttribute(pfaf, 1238);
    ASSERT_TRUE(layer->addFeature(added));
    const int userSteps = layer->undoStack()->count();
    QueueQuestions(true);
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    for (const Shown& item : driver.shown) {
        EXPECT_NE(item.title, QStringLiteral("Save Edits?")) << "no save question";
    }
    ASSERT_TRUE(layer->isEditable()) << "the user's edit mode stays";
    EXPECT_TRUE(layer->isModified());
    std::map<int, QVariant> written = NextDownByCode(*layer);
    EXPECT_EQ(written.count(1239), 0U) << "still deleted";
    EXPECT_EQ(written.count(1211), 0U) << "still changed";
    EXPECT_EQ(written.at(1210), QVariant(-9)) << "the changed code, as edited";
    EXPECT_EQ(written.at(1238), QVariant(1237)) << "the added feature";
    QUndoStack* stack = layer->undoStack();
    ASSERT_EQ(stack->count(), userSteps + 2) << "the field, then the values";
    EXPECT_EQ(stack->text(stack->count() - 1), QStringLiteral("nextdownid"));
    std::unique_ptr<QgsVectorLayer> onDisk = OpenGeoPackage(path);
    EXPECT_EQ(onDisk->fields().indexFromName(QStringLiteral("NextDownID")), -1) << "nothing saved";
    EXPECT_EQ(onDisk->featureCount(), 8);

    stack->undo();
    stack->undo();
    EXPECT_EQ(layer->fields().indexFromName(QStringLiteral("NextDownID")), -1);
    EXPECT_EQ(ValuesByKey(*layer, QStringLiteral("PfafstetterID"), QStringLiteral("HydroID")).count(1238), 1U)
        << "the user's own edits remain";
}

// An error after the field was added: the edit mode the run began ends, and
// the file is as before.
TEST_F(QgisCommandTest, AnErrorInATemporarySessionLeavesTheFileAsItWas)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    {
        std::unique_ptr<QgsVectorLayer> writable = OpenGeoPackage(path);
        QgsFeature feature;
        writable->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1233")))
            .nextFeature(feature);
        int hydroId = writable->fields().indexFromName(QStringLiteral("HydroID"));
        ASSERT_TRUE(writable->dataProvider()->changeAttributeValues({{feature.id(), {{hydroId, QVariant()}}}}));
    }
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    QueueQuestions(false);
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_EQ(Messages().size(), 1U);
    EXPECT_TRUE(Messages()[0].startsWith(QStringLiteral("Error 94: ")));
    EXPECT_FALSE(layer->isEditable());
    EXPECT_EQ(layer->fields().indexFromName(QStringLiteral("NextDownID")), -1);
    EXPECT_EQ(OpenGeoPackage(path)->fields().indexFromName(QStringLiteral("NextDownID")), -1);
    EXPECT_EQ(statusBar->currentMessage(),
              QStringLiteral("Drennow: the run ended before it finished; nothing was saved"));
}

// A layer removed while the run asks its questions: the report names it.
TEST_F(QgisCommandTest, ALayerRemovedDuringTheRunIsNamedInTheReport)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    driver.Queue(Driver::Answer(QMessageBox::No));
    driver.Queue(Driver::Pick(QStringLiteral("Watershed")));
    driver.Queue(Driver::AcceptDefault());
    driver.Queue([&](QWidget& window) {
        project.removeMapLayer(layer);
        Driver::Reply(QStringLiteral("4"))(window);
    });
    driver.Queue(Driver::Answer(QMessageBox::Yes));
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_EQ(Messages().size(), 1U);
    EXPECT_TRUE(Messages()[0].startsWith(QStringLiteral(
        "Error -2147467259: The layer Watershed was removed from the project while the run worked on it; the run "
        "saved nothing.")))
        << Messages()[0].toStdString();
}

// Esc or the close box at a question ends the run with nothing changed; so
// does Esc in a selection dialog.
TEST_F(QgisCommandTest, EscAtAnyQuestionEndsTheRunWithNothingChanged)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    auto escape = [](QWidget& window) { QTest::keyClick(&window, Qt::Key_Escape); };
    std::vector<std::vector<ModalDriver::Step>> runs = {
        {escape},                                                                   // trailing zeros
        {Driver::Answer(QMessageBox::No), escape},                                  // the layer list
        {Driver::Answer(QMessageBox::No), Driver::Pick(QStringLiteral("Watershed")), escape},  // the code list
        {Driver::Answer(QMessageBox::No), Driver::Pick(QStringLiteral("Watershed")), Driver::AcceptDefault(),
         Driver::Reply(QStringLiteral("4")), escape},                              // populate
        {Driver::Answer(QMessageBox::No), Driver::Pick(QStringLiteral("Watershed")), Driver::AcceptDefault(),
         Driver::Reply(QStringLiteral("4")), [](QWidget& window) { window.close(); }},  // its close box
    };
    for (size_t run = 0; run < runs.size(); ++run) {
        driver.shown.clear();
        for (const ModalDriver::Step& step : runs[run]) {
            driver.Queue(step);
        }
        Click();
        EXPECT_TRUE(driver.AllStepsUsed()) << run;
        EXPECT_EQ(driver.shown.size(), runs[run].size()) << "nothing shown after the Esc, run " << run;
        EXPECT_EQ(driver.unexpected, 0) << run;
        EXPECT_FALSE(layer->isEditable()) << run;
        EXPECT_EQ(layer->fields().indexFromName(QStringLiteral("NextDownID")), -1) << run;
    }
    EXPECT_EQ(OpenGeoPackage(path)->fields().indexFromName(QStringLiteral("NextDownID")), -1);
}

// A click while a run works does nothing, and the action is disabled.
TEST_F(QgisCommandTest, TheActionIsDisabledWhileARunWorks)
{
    Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    QAction action;
    application->SetAction(&action);
    bool enabledDuringTheRun = true;
    driver.Queue([&](QWidget& window) {
        enabledDuringTheRun = action.isEnabled();
        application->Click(*command);  // as a script would trigger it
        Driver::Answer(QMessageBox::No)(window);
    });
    driver.Queue(Driver::PressCancel());

    Click();

    EXPECT_FALSE(enabledDuringTheRun);
    EXPECT_TRUE(action.isEnabled());
    EXPECT_EQ(driver.shown.size(), 2U) << "the second click asked nothing";
    EXPECT_EQ(driver.unexpected, 0);
}

// Without a saved project the log goes beside the layer's file.
TEST_F(QgisCommandTest, WithoutAProjectFileTheLogGoesBesideTheData)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    Add(OpenGeoPackage(path));
    QString homeLog = QDir(QDir::homePath()).filePath(QStringLiteral("Drennow.log"));
    QFile::remove(homeLog);
    QueueQuestions(true);
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    QString logPath = QDir::toNativeSeparators(TempPath(QStringLiteral("Drennow.log")));
    ASSERT_EQ(Messages().size(), 1U);
    EXPECT_TRUE(Messages()[0].contains(logPath)) << Messages()[0].toStdString();
    EXPECT_TRUE(QFile::exists(logPath));
    EXPECT_FALSE(QFile::exists(homeLog));
}

}  // namespace
}  // namespace drennow::qgis::testing
