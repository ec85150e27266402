#pragma once

#include "host/Data.h"

#include <QPointer>
#include <QString>
#include <QVariant>

#include <qgsfeature.h>
#include <qgsfeatureiterator.h>
#include <qgsfields.h>
#include <qgsvectorlayer.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QgsProject;

// The project's data behind the host boundary. The map is the top-level
// nodes of the project's layer tree; a vector layer with geometry is a
// feature layer whose feature class is the layer's own data. Rows are read
// without geometry, which the run never needs.
namespace drennow::qgis {

using host::Ref;

// A workspace is one layer data source (the layer's source text): QGIS puts
// single layers, not files or databases, into edit mode, so two layers of one
// GeoPackage are two workspaces, and the same table loaded twice is one.
class QgisWorkspace : public host::IWorkspace {
public:
    explicit QgisWorkspace(QString dataSource) : dataSource_(std::move(dataSource)) {}
    const QString& DataSource() const { return dataSource_; }

private:
    QString dataSource_;
};

// The layer a run works on: the layer whose features it reads, for it reads
// no other. The editor edits it alone and never ends the user's own edit
// mode on it: QGIS keeps an edit mode per layer, and a field can be added
// to a layer in edit mode. An edit mode the run began is the run's to end.
class RunLayer {
public:
    // A click starts afresh.
    void Forget() { *this = RunLayer(); }
    // The first layer read is the run's.
    void Note(QgsVectorLayer& layer);
    bool IsKnown() const { return known_; }
    // Nothing before the run read a layer, or once the project removed it.
    QgsVectorLayer* Layer() const { return layer_; }
    const QString& Name() const { return name_; }
    // The layer is the run's or another of its data source.
    bool Holds(const QgsVectorLayer& layer) const;
    // Raises the error that says the run's layer was removed, when it was.
    void CheckPresent() const;

    void NoteEditingBegun(QgsVectorLayer& layer) { begun_.emplace_back(&layer); }
    // The edit mode the run began on the layer has ended.
    void NoteEditingEnded(const QgsVectorLayer& layer);
    bool BeganEditing(const QgsVectorLayer& layer) const;
    // The layers still in the edit mode the run began.
    std::vector<QgsVectorLayer*> BegunAndEditing() const;

private:
    bool known_ = false;
    QPointer<QgsVectorLayer> layer_;
    QString name_;
    QString source_;
    std::vector<QPointer<QgsVectorLayer>> begun_;
};

// Hands out one workspace object per data source for as long as anything
// holds it, so that workspaces compare by identity; and knows the layer the
// run works on.
class WorkspaceRegistry {
public:
    Ref<QgisWorkspace> ForSource(const QString& dataSource);
    RunLayer& Run() { return run_; }

private:
    std::map<QString, std::weak_ptr<QgisWorkspace>> workspaces_;
    RunLayer run_;
};

// A vector layer that the project may delete while the run still holds it.
class LayerRef {
public:
    explicit LayerRef(QgsVectorLayer* layer) : layer_(layer), name_(layer ? layer->name() : QString()) {}
    // The layer; a deleted layer raises the host's error.
    QgsVectorLayer& Get() const;

private:
    QPointer<QgsVectorLayer> layer_;
    QString name_;
};

// Raises the error of a layer the project removed while the run used it.
[[noreturn]] void RaiseLayerRemoved(const QString& name);

// The field type as the run sees it: integers of 32 and 64 bits are long
// integers, the provider's key column is the object id.
int32_t FieldTypeOf(const QgsField& field, bool isKeyColumn);

runtime::Variant ToVariant(const QVariant& value);
QVariant ToQVariant(const runtime::Variant& value);

class QgisField : public host::IField {
public:
    QgisField(QString name, int32_t type) : name_(std::move(name)), type_(type) {}
    std::string Name() override { return name_.toStdString(); }
    int32_t Type() override { return type_; }

private:
    QString name_;
    int32_t type_;
};

// The layer's fields as they were when asked for.
class QgisFields : public host::IFields {
public:
    explicit QgisFields(const QgsVectorLayer& layer);
    int32_t FieldCount() override;
    Ref<host::IField> Field(int32_t index) override;
    int32_t FindField(const std::string& name) override;

private:
    QgsFields fields_;
    QgsAttributeList keyColumns_;
};

// A feature as read; written values go to the layer's edit buffer when the
// layer is in edit mode, else straight to its data provider.
class QgisRow : public host::IRow {
public:
    QgisRow(LayerRef layer, QgsFeature feature) : layer_(std::move(layer)), feature_(std::move(feature)) {}
    runtime::Variant Value(int32_t index) override;
    void SetValue(int32_t index, const runtime::Variant& value) override;
    int32_t OID() override;
    void Store() override;

private:
    void CheckIndex(int32_t index) const;
    void StoreInEditBuffer(QgsVectorLayer& layer);
    void StoreInProvider(QgsVectorLayer& layer);

    LayerRef layer_;
    QgsFeature feature_;
    std::map<int, QVariant> readValues_;  // values before the first write, by field
};

// Reads from the first fetch on, so that rows carry the fields and edits the
// layer has by then: the run opens its cursor over the features to update
// before it adds NextDownID and starts editing.
class QgisCursor : public host::ICursor {
public:
    using Open = std::function<QgsFeatureIterator(QgsVectorLayer&)>;

    QgisCursor(LayerRef layer, Open open) : layer_(std::move(layer)), open_(std::move(open)) {}
    Ref<host::IRow> NextRow() override;

private:
    LayerRef layer_;
    Open open_;
    std::optional<QgsFeatureIterator> features_;
};

class QgisFeatureClass : public host::IFeatureClass {
public:
    QgisFeatureClass(LayerRef layer, WorkspaceRegistry& workspaces)
        : layer_(std::move(layer)), workspaces_(workspaces)
    {
    }
    Ref<host::IFields> Fields() override;
    // In the layer's edit buffer, so that nothing reaches the data before
    // the run saves: in the user's edit mode when the layer is in one (the
    // field is then the user's to save or undo), else in an edit mode the
    // run begins for it, which the run saves or discards.
    void AddField(const host::NewField& field) override;
    int32_t FeatureType() override { return host::kFeatureTypeSimple; }
    int32_t ShapeType() override;
    // QGIS has no feature datasets.
    Ref<host::IFeatureDataset> FeatureDataset() override { return nullptr; }
    Ref<host::IWorkspace> Workspace() override;

private:
    LayerRef layer_;
    WorkspaceRegistry& workspaces_;
};

class QgisSelectionSet : public host::ISelectionSet {
public:
    explicit QgisSelectionSet(LayerRef layer) : layer_(std::move(layer)) {}
    int32_t Count() override;
    Ref<host::ICursor> Search() override;

private:
    LayerRef layer_;
};

// A vector layer with geometry: feature layer, table and selection at once.
// A layer the run must not touch (see QgisMap) is listed like any other,
// but reading its features raises the host's error with the reason, before
// the run changes anything.
class QgisFeatureLayer : public host::IFeatureLayer, public host::ITable, public host::ITableSelection {
public:
    QgisFeatureLayer(QgsVectorLayer* layer, WorkspaceRegistry& workspaces, QString refusal = {})
        : layer_(layer), workspaces_(workspaces), refusal_(std::move(refusal))
    {
    }
    std::string Name() override;
    // Nothing when the layer's data source could not be opened.
    Ref<host::IFeatureClass> FeatureClass() override;
    Ref<host::ICursor> Search() override;
    int32_t RowCount() override;
    Ref<host::ISelectionSet> SelectionSet() override;

private:
    QgsVectorLayer& Readable() const;

    LayerRef layer_;
    WorkspaceRegistry& workspaces_;
    QString refusal_;
};

// A layer of the layer tree that holds no features: a table without
// geometry, a layer of another kind, or a layer that is not loaded.
class QgisOtherLayer : public virtual host::ILayer {
public:
    explicit QgisOtherLayer(QString name) : name_(std::move(name)) {}
    std::string Name() override { return name_.toStdString(); }

private:
    QString name_;
};

class QgisRasterLayer : public QgisOtherLayer, public host::IRasterLayer {
public:
    using QgisOtherLayer::QgisOtherLayer;
};

// Every layer of the project's layer tree, in the order the Layers panel
// shows them, groups' layers included: in QGIS a group only arranges its
// layers. The run names its layer by name, so a polygon layer whose name
// another polygon layer shares is refused: the run could edit the other one.
// So is a layer in one of the project's transaction groups, whose edits are
// the group's, not the layer's, to save or discard, and a layer the run
// could not write NextDownID into (read-only, a data source that cannot
// change values or take the field, a virtual or joined NextDownID).
class QgisMap : public host::IMap {
public:
    QgisMap(QgsProject& project, WorkspaceRegistry& workspaces) : project_(project), workspaces_(workspaces) {}
    int32_t LayerCount() override;
    Ref<host::ILayer> Layer(int32_t index) override;

private:
    // Why the run must not touch the layer; empty when it may.
    QString RefusalFor(QgsVectorLayer& layer) const;

    QgsProject& project_;
    WorkspaceRegistry& workspaces_;
};

class QgisDocument : public host::IMxDocument {
public:
    QgisDocument(QgsProject& project, WorkspaceRegistry& workspaces) : project_(project), workspaces_(workspaces) {}
    Ref<host::IMap> FocusMap() override { return std::make_shared<QgisMap>(project_, workspaces_); }

private:
    QgsProject& project_;
    WorkspaceRegistry& workspaces_;
};

}  // namespace drennow::qgis
