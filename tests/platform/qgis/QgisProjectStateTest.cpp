// The command in project states beyond a plain layer: transaction groups,
// layers that share a name, data sources that refuse a change, and the save
// at the end of a temporary session.
#include "QgisTestSupport.h"

#include <qgslayertree.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayerjoininfo.h>

#include <QFile>
#include <QLineEdit>
#include <QUrl>

namespace drennow::qgis::testing {
namespace {

using Driver = ModalDriver;

class QgisProjectStateTest : public QgisHostTest {
protected:
    // The trailing-zeros answer and the layer; what follows is the test's.
    void QueueUpToTheLayer(const QString& layerName = QStringLiteral("Watershed"))
    {
        driver.Queue(Driver::Answer(QMessageBox::No));
        driver.Queue(Driver::Pick(layerName));
    }

    // Every question answered, downstream codes written, then OK.
    void QueueWholeRun()
    {
        QueueUpToTheLayer();
        driver.Queue(Driver::AcceptDefault());
        driver.Queue(Driver::Reply(QStringLiteral("4")));
        driver.Queue(Driver::Answer(QMessageBox::Yes));
        driver.Queue(Driver::Answer(QMessageBox::Ok));
    }

    // The only closing message: the error report's text.
    QString OnlyMessage() const
    {
        std::vector<QString> messages = Messages();
        EXPECT_EQ(messages.size(), 1U);
        return messages.empty() ? QString() : messages.front();
    }

    static int NextDownIndex(QgsVectorLayer& layer)
    {
        return layer.fields().indexFromName(QStringLiteral("NextDownID"));
    }

    static int CountNonNull(QgsVectorLayer& layer)
    {
        int count = 0;
        for (const auto& entry : ValuesByKey(layer, QStringLiteral("PfafstetterID"), QStringLiteral("NextDownID"))) {
            count += entry.second.isNull() ? 0 : 1;
        }
        return count;
    }
};

// With the project's transaction groups on, every layer of one GeoPackage
// shares one transaction: the run is refused before it adds a field or
// writes a value, whether NextDownID is there or not.
TEST_F(QgisProjectStateTest, ALayerInATransactionGroupIsRefusedBeforeAnythingChanges)
{
    for (bool withField : {false, true}) {
        SCOPED_TRACE(withField ? "with NextDownID" : "without NextDownID");
        project.clear();
        driver.shown.clear();
        QString path = WriteGeoPackage(TempPath(QStringLiteral("grouped%1.gpkg").arg(withField)), RegionTwelve());
        if (withField) {
            auto layer = OpenGeoPackage(path);
            ASSERT_TRUE(layer->dataProvider()->addAttributes({QgsField(QStringLiteral("NextDownID"), QVariant::Int)}));
        }
        project.setAutoTransaction(true);
        QgsVectorLayer* watershed = Add(OpenGeoPackage(path));
        Add(OpenGeoPackage(path, QStringLiteral("Outlines")));
        ASSERT_FALSE(project.transactionGroups().isEmpty()) << "QGIS grouped the GeoPackage's layers";
        QueueUpToTheLayer();
        driver.Queue(Driver::Answer(QMessageBox::Ok));

        Click();

        ASSERT_TRUE(driver.AllStepsUsed());
        QString message = OnlyMessage();
        EXPECT_TRUE(message.startsWith(QStringLiteral("Error -2147467259: The layer Watershed is in a transaction "
                                                      "group of the project")))
            << message.toStdString();
        EXPECT_TRUE(message.endsWith(QStringLiteral("\n4"))) << "refused when the layer is looked at";
        EXPECT_FALSE(watershed->isEditable());
        auto reread = OpenGeoPackage(path);
        EXPECT_EQ(NextDownIndex(*reread) >= 0, withField) << "no field added";
        if (withField) {
            EXPECT_EQ(CountNonNull(*reread), 0) << "no value written";
        }
    }
}

TEST_F(QgisProjectStateTest, TheSameGeoPackageWithoutTransactionGroupsIsFilled)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    ASSERT_FALSE(project.autoTransaction());
    Add(OpenGeoPackage(path));
    Add(OpenGeoPackage(path, QStringLiteral("Outlines")));
    QueueWholeRun();

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(CountNonNull(*OpenGeoPackage(path)), 8);
}

TEST_F(QgisProjectStateTest, APolygonLayerNameThatTwoLayersShareIsRefused)
{
    QgsVectorLayer* first = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    QgsVectorLayer* second = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    QueueUpToTheLayer();
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(OnlyMessage(),
              QStringLiteral("Error -2147467259: 2 polygon layers of the project are called Watershed, and the run "
                             "could edit another one than the one chosen. Rename them (Layer Properties, Source) so "
                             "that each name is one layer's, and run again.\n4"));
    for (QgsVectorLayer* layer : {first, second}) {
        EXPECT_EQ(NextDownIndex(*layer), -1) << "neither layer was touched";
        EXPECT_FALSE(layer->isEditable());
    }
}

// A group's layers are offered as well, so a name is refused when a nested
// polygon layer shares it; a line layer of that name is no conflict.
TEST_F(QgisProjectStateTest, ANameSharedWithANestedPolygonLayerIsRefusedAndALineLayersIsNot)
{
    QgsVectorLayer* watershed = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    Add(std::make_unique<QgsVectorLayer>(QStringLiteral("LineString?crs=EPSG:4326"), QStringLiteral("Watershed"),
                                         QStringLiteral("memory")));
    QgsLayerTreeGroup* group = project.layerTreeRoot()->addGroup(QStringLiteral("Upstream"));
    QgsVectorLayer* nested = MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()).release();
    project.addMapLayer(nested, false);
    group->addLayer(nested);
    QueueUpToTheLayer();
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_TRUE(OnlyMessage().startsWith(QStringLiteral("Error -2147467259: 2 polygon layers of the project are "
                                                        "called Watershed")));
    EXPECT_EQ(NextDownIndex(*watershed), -1);

    nested->setName(QStringLiteral("Nested"));
    driver.shown.clear();
    QueueUpToTheLayer(QStringLiteral("Nested"));
    driver.Queue(Driver::AcceptDefault());
    driver.Queue(Driver::Reply(QStringLiteral("4")));
    driver.Queue(Driver::Answer(QMessageBox::Yes));
    driver.Queue(Driver::Answer(QMessageBox::Ok));
    Click();
    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(CountNonNull(*nested), 8) << "the group's layer was filled";
    EXPECT_EQ(NextDownIndex(*watershed), -1);
}

// Layers the run could not write are refused with the reason as soon as the
// layer is chosen: before any other question, and before a field is added.
TEST_F(QgisProjectStateTest, ALayerThatCannotBeWrittenIsRefusedAtOnceWithTheReason)
{
    QFile csv(TempPath(QStringLiteral("basins.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("PfafstetterID,HydroID,wkt\n");
    for (const Basin& basin : RegionTwelve()) {
        csv.write(QStringLiteral("%1,%2,\"POLYGON((0 0,1 0,1 1,0 0))\"\n").arg(*basin.code).arg(basin.hydroId).toUtf8());
    }
    csv.close();
    const QByteArray csvBefore = [&] { csv.open(QIODevice::ReadOnly); return csv.readAll(); }();
    csv.close();
    QString uri = QUrl::fromLocalFile(csv.fileName()).toString() +
                  QStringLiteral("?type=csv&delimiter=,&wktField=wkt&crs=EPSG:4326&geomType=Polygon");
    QgsVectorLayer* text = Add(std::make_unique<QgsVectorLayer>(uri, QStringLiteral("Watershed"),
                                                                QStringLiteral("delimitedtext")));
    ASSERT_TRUE(text->isValid());
    QueueUpToTheLayer();
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(OnlyMessage(),
              QStringLiteral("Error -2147467259: The data source of the layer Watershed (provider delimitedtext) "
                             "cannot change attribute values (it is opened read-only, or its format cannot), so the "
                             "run cannot write NextDownID into it. Save the layer in a format that can, such as "
                             "GeoPackage (Export, Save Features As), or use the Processing algorithm Fill "
                             "NextDownID from Pfafstetter codes, which writes a new layer.\n4"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll(), csvBefore);
    csv.close();
    project.removeMapLayer(text);

    // A GeoPackage layer the project marks read-only: the file keeps its columns.
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    layer->setReadOnly(true);
    driver.shown.clear();
    QueueUpToTheLayer();
    driver.Queue(Driver::Answer(QMessageBox::Ok));
    Click();
    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(driver.shown.size(), 3U) << "no question after the layer's";
    EXPECT_TRUE(OnlyMessage().contains(QStringLiteral("The layer Watershed is read-only in this project")));
    EXPECT_TRUE(OnlyMessage().endsWith(QStringLiteral("\n4")));
    EXPECT_FALSE(layer->isEditable());
    EXPECT_EQ(NextDownIndex(*OpenGeoPackage(path)), -1) << "no field was added to the file";
}

// A NextDownID that is an expression, or a joined layer's, holds no values
// the run could write.
TEST_F(QgisProjectStateTest, AVirtualOrJoinedNextDownIdIsRefusedWithTheReason)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    layer->addExpressionField(QStringLiteral("\"HydroID\" + 1"), QgsField(QStringLiteral("NextDownID"), QVariant::Int));
    QueueUpToTheLayer();
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(OnlyMessage(), QStringLiteral("Error -2147467259: NextDownID of the layer Watershed is a virtual "
                                            "field, computed from its expression, which the run cannot write. "
                                            "Remove or rename it (Layer Properties, Fields), so that the run adds a "
                                            "field of its own, and run again.\n4"));
    EXPECT_FALSE(layer->isEditable());

    layer->removeExpressionField(layer->fields().indexFromName(QStringLiteral("NextDownID")));
    auto* downstream = new QgsVectorLayer(QStringLiteral("None?field=HydroID:integer&field=NextDownID:integer"),
                                          QStringLiteral("Downstream"), QStringLiteral("memory"));
    project.addMapLayer(downstream, false);
    QgsVectorLayerJoinInfo join;
    join.setJoinLayer(downstream);
    join.setJoinFieldName(QStringLiteral("HydroID"));
    join.setTargetFieldName(QStringLiteral("HydroID"));
    join.setPrefix(QStringLiteral(""));
    join.setJoinFieldNamesSubset(new QStringList{QStringLiteral("NextDownID")});
    ASSERT_TRUE(layer->addJoin(join));
    ASSERT_GE(layer->fields().indexFromName(QStringLiteral("NextDownID")), 0);
    driver.shown.clear();
    QueueUpToTheLayer();
    driver.Queue(Driver::Answer(QMessageBox::Ok));
    Click();
    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_TRUE(OnlyMessage().startsWith(
        QStringLiteral("Error -2147467259: NextDownID of the layer Watershed comes from its join with Downstream")));
    EXPECT_FALSE(layer->isEditable());
}

// The save of a temporary session blocks the window; the status bar has
// shown "Finishing" by then, not the last feature's count.
TEST_F(QgisProjectStateTest, TheFinishingMessageIsOnScreenWhenTheSaveBegins)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    auto* field = statusBar->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    QString painted;
    struct PaintWatch : QObject {
        QLineEdit* field;
        QString* painted;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (watched == field && event->type() == QEvent::Paint) {
                *painted = field->text();
            }
            return false;
        }
    } watch;
    watch.field = field;
    watch.painted = &painted;
    field->installEventFilter(&watch);
    QString paintedAtSave;
    QObject::connect(layer, &QgsVectorLayer::beforeCommitChanges, [&] { paintedAtSave = painted; });
    QueueWholeRun();

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(paintedAtSave, QStringLiteral("Finishing Edit Operation (please wait)"));
    EXPECT_EQ(CountNonNull(*OpenGeoPackage(path)), 8);
}

}  // namespace
}  // namespace drennow::qgis::testing
