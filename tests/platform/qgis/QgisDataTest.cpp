// The project's layers, fields, rows, workspaces and edit mode as the run
// sees them through the host boundary.
#include "QgisTestSupport.h"

#include "runtime/Error.h"

#include <qgslayertree.h>
#include <qgsvectordataprovider.h>

#include <QDir>
#include <QUndoStack>

namespace drennow::qgis::testing {
namespace {

using host::QueryInterface;

class QgisDataTest : public QgisHostTest {
protected:
    host::Ref<host::IMap> Map() { return application->Document()->FocusMap(); }

    host::Ref<host::IFeatureLayer> FeatureLayer(int32_t index)
    {
        return QueryInterface<host::IFeatureLayer>(Map()->Layer(index));
    }

    host::IEditor& Editor()
    {
        auto editor = QueryInterface<host::IEditor>(application->FindExtensionByCLSID({host::kEditorProgId}));
        EXPECT_NE(editor, nullptr);
        return *editor;
    }
};

TEST_F(QgisDataTest, TheMapIsEveryLayerOfTheLayerTreeGroupsIncluded)
{
    Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    Add(std::make_unique<QgsVectorLayer>(QStringLiteral("LineString?crs=EPSG:4326"), QStringLiteral("Rivers"),
                                         QStringLiteral("memory")));
    Add(std::make_unique<QgsVectorLayer>(QStringLiteral("None?field=Code:integer"), QStringLiteral("Codes"),
                                         QStringLiteral("memory")));
    QgsLayerTreeGroup* group = project.layerTreeRoot()->addGroup(QStringLiteral("Upstream"));
    auto* nested = MemoryBasins(QStringLiteral("Nested"), RegionTwelve()).release();
    project.addMapLayer(nested, false);
    group->addLayer(nested);

    host::Ref<host::IMap> map = Map();
    ASSERT_EQ(map->LayerCount(), 4);
    std::vector<std::string> names;
    for (int32_t i = 0; i < map->LayerCount(); ++i) {
        names.push_back(map->Layer(i)->Name());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Watershed", "Rivers", "Codes", "Nested"}))
        << "a group only arranges its layers";
    EXPECT_EQ(FeatureLayer(0)->FeatureClass()->ShapeType(), host::kShapeTypePolygon);
    EXPECT_EQ(FeatureLayer(0)->FeatureClass()->FeatureType(), host::kFeatureTypeSimple);
    EXPECT_EQ(FeatureLayer(1)->FeatureClass()->ShapeType(), host::kShapeTypePolyline);
    EXPECT_EQ(FeatureLayer(2), nullptr) << "a table without geometry holds no features";
    ASSERT_NE(FeatureLayer(3), nullptr) << "the group's polygon layer";
    EXPECT_EQ(FeatureLayer(3)->FeatureClass()->ShapeType(), host::kShapeTypePolygon);
    EXPECT_THROW(map->Layer(4), runtime::Error);
}

TEST_F(QgisDataTest, ALayerThatCouldNotBeOpenedHasNoFeatureClass)
{
    Add(std::make_unique<QgsVectorLayer>(TempPath(QStringLiteral("missing.gpkg")), QStringLiteral("Lost"),
                                         QStringLiteral("ogr")));
    ASSERT_NE(FeatureLayer(0), nullptr);
    EXPECT_EQ(FeatureLayer(0)->FeatureClass(), nullptr);
}

TEST_F(QgisDataTest, FieldTypesAsTheRunSeesThem)
{
    Add(std::make_unique<QgsVectorLayer>(
        QStringLiteral("Polygon?field=Small:integer&field=Big:int8&field=Area:double&field=Name:string&field=Day:date"),
        QStringLiteral("Memory"), QStringLiteral("memory")));
    Add(OpenGeoPackage(WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve())));

    host::Ref<host::IFields> memory = FeatureLayer(0)->FeatureClass()->Fields();
    std::vector<int32_t> types;
    for (int32_t i = 0; i < memory->FieldCount(); ++i) {
        types.push_back(memory->Field(i)->Type());
    }
    EXPECT_EQ(types, (std::vector<int32_t>{host::kFieldTypeLongInteger, host::kFieldTypeLongInteger,
                                           host::kFieldTypeDouble, host::kFieldTypeString, host::kFieldTypeDate}));

    host::Ref<host::IFields> package = FeatureLayer(1)->FeatureClass()->Fields();
    ASSERT_EQ(package->Field(0)->Name(), "fid");
    EXPECT_EQ(package->Field(0)->Type(), host::kFieldTypeObjectId) << "the provider's key column";
    EXPECT_EQ(package->Field(2)->Type(), host::kFieldTypeLongInteger);
    EXPECT_EQ(package->FindField("HydroID"), 2);
    EXPECT_EQ(package->FindField("hydroid"), 2) << "names compare without case, as QGIS does";
    EXPECT_EQ(package->FindField("NextDownID"), -1);
}

// The field waits in an edit mode until it is saved: begun for it when the
// layer was not editing (the run's to end), else the user's.
TEST_F(QgisDataTest, AddingAFieldGoesToTheEditBufferNotTheFile)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* layer = Add(OpenGeoPackage(path));
    host::Ref<host::IFeatureClass> featureClass = FeatureLayer(0)->FeatureClass();

    featureClass->AddField({"NextDownID", host::kFieldTypeLongInteger});

    host::Ref<host::IFields> fields = featureClass->Fields();
    int32_t index = fields->FindField("NextDownID");
    ASSERT_GE(index, 0);
    EXPECT_EQ(fields->Field(index)->Type(), host::kFieldTypeLongInteger);
    EXPECT_TRUE(layer->isEditable());
    EXPECT_EQ(OpenGeoPackage(path)->fields().indexFromName(QStringLiteral("NextDownID")), -1) << "not in the file";
    EXPECT_THROW(featureClass->AddField({"NextDownID", host::kFieldTypeLongInteger}), runtime::Error)
        << "a second field of that name is refused";
    EXPECT_TRUE(application->Editor().DiscardRunsEditing()) << "the edit mode was begun for the field";
    EXPECT_FALSE(layer->isEditable());
    EXPECT_EQ(layer->fields().indexFromName(QStringLiteral("NextDownID")), -1);

    ASSERT_TRUE(layer->startEditing());
    featureClass->AddField({"NextDownID", host::kFieldTypeBigInteger});
    EXPECT_EQ(layer->fields().field(QStringLiteral("NextDownID")).type(), QVariant::LongLong);
    EXPECT_FALSE(application->Editor().DiscardRunsEditing()) << "the user's edit mode is not the run's";
    EXPECT_TRUE(layer->isEditable());
    ASSERT_TRUE(layer->commitChanges());
    EXPECT_GE(OpenGeoPackage(path)->fields().indexFromName(QStringLiteral("NextDownID")), 0) << "saved by the user";
}

TEST_F(QgisDataTest, RowsReadAndWriteThroughTheEditBufferOrTheProvider)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), {{1234, 7}, {std::nullopt, 8}}));
    auto table = QueryInterface<host::ITable>(FeatureLayer(0));
    EXPECT_EQ(table->RowCount(), 2);
    host::Ref<host::ICursor> cursor = table->Search();
    host::Ref<host::IRow> first = cursor->NextRow();
    host::Ref<host::IRow> second = cursor->NextRow();
    EXPECT_EQ(cursor->NextRow(), nullptr);
    EXPECT_EQ(first->Value(0), runtime::Variant(int32_t{1234}));
    EXPECT_TRUE(second->Value(0).IsNull());

    // Outside edit mode the value goes straight to the data source.
    first->SetValue(1, runtime::Variant("41"));
    first->Store();
    EXPECT_FALSE(layer->isModified());
    EXPECT_EQ(ValuesByKey(*layer, QStringLiteral("PfafstetterID"), QStringLiteral("HydroID")).at(1234), QVariant(41));

    // In edit mode it goes to the edit buffer, converted to the field's type.
    ASSERT_TRUE(layer->startEditing());
    first->SetValue(1, runtime::Variant(int16_t{-6}));
    first->Store();
    EXPECT_TRUE(layer->isModified());
    EXPECT_EQ(ValuesByKey(*layer, QStringLiteral("PfafstetterID"), QStringLiteral("HydroID")).at(1234), QVariant(-6));
    EXPECT_THROW(first->SetValue(1, runtime::Variant("no number")), runtime::Error);
    EXPECT_THROW(first->Value(5), runtime::Error);
}

TEST_F(QgisDataTest, TheSelectionSetHoldsTheSelectedFeaturesOnly)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    QgsFeature picked;
    layer->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1219")))
        .nextFeature(picked);
    layer->selectByIds({picked.id()});

    host::Ref<host::ISelectionSet> selection = QueryInterface<host::ITableSelection>(FeatureLayer(0))->SelectionSet();
    EXPECT_EQ(selection->Count(), 1);
    host::Ref<host::ICursor> cursor = selection->Search();
    host::Ref<host::IRow> row = cursor->NextRow();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->OID(), picked.id());
    EXPECT_EQ(cursor->NextRow(), nullptr);
}

TEST_F(QgisDataTest, TheDocumentPathIsTheProjectFileOrAPlaceInTheHomeFolder)
{
    host::Ref<host::ITemplates> templates = application->Templates();
    ASSERT_EQ(templates->Count(), 1);
    EXPECT_EQ(QString::fromStdString(templates->Item(0)).section(QLatin1Char('/'), 0, -2), QDir::homePath());

    ASSERT_TRUE(project.write(TempPath(QStringLiteral("basins.qgz"))));
    EXPECT_EQ(QString::fromStdString(application->Templates()->Item(0)), TempPath(QStringLiteral("basins.qgz")));
}

TEST_F(QgisDataTest, AWorkspaceIsOneLayerDataSource)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    Add(OpenGeoPackage(path, QStringLiteral("Watershed")));
    Add(OpenGeoPackage(path, QStringLiteral("Same table again")));
    Add(MemoryBasins(QStringLiteral("Lakes"), RegionTwelve()));

    host::Ref<host::IWorkspace> watershed = FeatureLayer(0)->FeatureClass()->Workspace();
    EXPECT_EQ(watershed, FeatureLayer(0)->FeatureClass()->Workspace());
    EXPECT_EQ(watershed, FeatureLayer(1)->FeatureClass()->Workspace());
    EXPECT_NE(watershed, FeatureLayer(2)->FeatureClass()->Workspace());
}

TEST_F(QgisDataTest, TheEditorFollowsTheLayersInEditMode)
{
    QString path = WriteGeoPackage(TempPath(QStringLiteral("basins.gpkg")), RegionTwelve());
    QgsVectorLayer* watershed = Add(OpenGeoPackage(path));
    QgsVectorLayer* lakes = Add(MemoryBasins(QStringLiteral("Lakes"), RegionTwelve()));
    host::IEditor& editor = Editor();
    EXPECT_EQ(application->FindExtensionByCLSID({"esriEditor.Other"}), nullptr);
    EXPECT_EQ(editor.EditState(), host::kEditStateNotEditing);
    EXPECT_EQ(editor.EditWorkspace(), nullptr);

    host::Ref<host::IWorkspace> workspace = FeatureLayer(0)->FeatureClass()->Workspace();
    editor.StartEditing(workspace);
    EXPECT_TRUE(watershed->isEditable());
    EXPECT_FALSE(lakes->isEditable()) << "only the chosen layer";
    EXPECT_EQ(editor.EditState(), host::kEditStateEditing);
    EXPECT_EQ(editor.EditWorkspace(), workspace);
    EXPECT_FALSE(editor.HasEdits());

    QgsFeature feature;
    watershed->getFeatures().nextFeature(feature);
    ASSERT_TRUE(watershed->changeAttributeValue(feature.id(), 2, 555));
    EXPECT_TRUE(editor.HasEdits());

    ASSERT_TRUE(lakes->startEditing());
    host::Ref<host::IWorkspace> mixed = editor.EditWorkspace();
    EXPECT_NE(mixed, workspace) << "layers of two data sources are no one workspace";
    EXPECT_NE(mixed, FeatureLayer(1)->FeatureClass()->Workspace());

    editor.StopEditing(true);
    EXPECT_EQ(editor.EditState(), host::kEditStateNotEditing);
    EXPECT_FALSE(lakes->isEditable());
    EXPECT_EQ(ValuesByKey(*OpenGeoPackage(path), QStringLiteral("fid"), QStringLiteral("HydroID")).at(feature.id()),
              QVariant(555))
        << "saved to the file";

    editor.StartEditing(workspace);
    ASSERT_TRUE(watershed->changeAttributeValue(feature.id(), 2, 777));
    editor.StopEditing(false);
    EXPECT_FALSE(watershed->isEditable());
    EXPECT_EQ(ValuesByKey(*watershed, QStringLiteral("fid"), QStringLiteral("HydroID")).at(feature.id()),
              QVariant(555))
        << "rolled back";
}

TEST_F(QgisDataTest, AnOperationIsOneNamedUndoCommand)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    QgisEditor& editor = application->Editor();
    EXPECT_THROW(editor.StartOperation(), runtime::Error) << "not editing";
    ASSERT_TRUE(layer->startEditing());
    EXPECT_THROW(editor.StopOperation("nextdownid"), runtime::Error) << "no operation open";

    editor.StartOperation();
    EXPECT_TRUE(editor.HasOpenOperation());
    EXPECT_THROW(editor.StartOperation(), runtime::Error);
    QgsFeatureIterator features = layer->getFeatures();
    for (QgsFeature feature; features.nextFeature(feature);) {
        ASSERT_TRUE(layer->changeAttributeValue(feature.id(), 1, 0));
    }
    editor.StopOperation("nextdownid");

    QUndoStack* stack = layer->undoStack();
    ASSERT_EQ(stack->count(), 1);
    EXPECT_EQ(stack->text(0), QStringLiteral("nextdownid"));
    stack->undo();
    EXPECT_FALSE(layer->isModified()) << "one undo takes every change back";

    editor.StartOperation();
    editor.EndOpenOperation();
    EXPECT_FALSE(editor.HasOpenOperation());
    EXPECT_EQ(stack->text(stack->index() - 1), QStringLiteral("Drennow"));
    editor.EndOpenOperation();  // nothing open: nothing happens
    EXPECT_EQ(stack->count(), 1) << "the undone command made way for the new one";
}

}  // namespace
}  // namespace drennow::qgis::testing
