// The command in project states beyond a plain layer: transaction groups,
// layers that share a name, data sources that refuse a change, and the save
// at the end of a temporary session.
#include "QgisTestSupport.h"

#include <qgslayertree.h>
#include <qgsvectordataprovider.h>

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

// Only top-level polygon layers are offered, so only they can be confused.
TEST_F(QgisProjectStateTest, ANameSharedWithALineLayerOrANestedLayerIsNoConflict)
{
    QgsVectorLayer* watershed = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    Add(std::make_unique<QgsVectorLayer>(QStringLiteral("LineString?crs=EPSG:4326"), QStringLiteral("Watershed"),
                                         QStringLiteral("memory")));
    QgsLayerTreeGroup* group = project.layerTreeRoot()->addGroup(QStringLiteral("Upstream"));
    QgsVectorLayer* nested = MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()).release();
    project.addMapLayer(nested, false);
    group->addLayer(nested);
    QueueWholeRun();

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(CountNonNull(*watershed), 8);
    EXPECT_EQ(NextDownIndex(*nested), -1);
}

// A delimited-text layer cannot take a field; its provider says nothing of
// why, and the report says it instead of an empty description.
TEST_F(QgisProjectStateTest, ADataSourceThatTakesNoFieldIsReportedWithTheReason)
{
    QFile csv(TempPath(QStringLiteral("basins.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("PfafstetterID,HydroID,wkt\n");
    for (const Basin& basin : RegionTwelve()) {
        csv.write(QStringLiteral("%1,%2,\"POLYGON((0 0,1 0,1 1,0 0))\"\n").arg(*basin.code).arg(basin.hydroId).toUtf8());
    }
    csv.close();
    QString uri = QUrl::fromLocalFile(csv.fileName()).toString() +
                  QStringLiteral("?type=csv&delimiter=,&wktField=wkt&crs=EPSG:4326&geomType=Polygon");
    QgsVectorLayer* layer = Add(std::make_unique<QgsVectorLayer>(uri, QStringLiteral("Watershed"),
                                                                 QStringLiteral("delimitedtext")));
    ASSERT_TRUE(layer->isValid());
    QueueUpToTheLayer();
    driver.Queue(Driver::AcceptDefault());
    driver.Queue(Driver::Reply(QStringLiteral("4")));
    driver.Queue(Driver::Answer(QMessageBox::Yes));
    driver.Queue(Driver::Answer(QMessageBox::Ok));

    Click();

    ASSERT_TRUE(driver.AllStepsUsed());
    EXPECT_EQ(OnlyMessage(), QStringLiteral("Error -2147467259: The field NextDownID could not be added (layer "
                                            "Watershed, provider delimitedtext): its data source takes no new "
                                            "fields (it is read-only, or its format cannot); add NextDownID to the "
                                            "data yourself, or save the layer in a format that can, such as "
                                            "GeoPackage\n7"));
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
