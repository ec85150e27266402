#include "platform/qgis/QgisData.h"

#include "command/QuestionNames.h"
#include "platform/qgis/HostError.h"
#include "platform/qgis/processing/NextDownIdAlgorithm.h"
#include "runtime/Error.h"

#include <qgslayertree.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgstransactiongroup.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>
#include <qgsvectorlayerjoinbuffer.h>
#include <qgsvectorlayerjoininfo.h>
#include <qgswkbtypes.h>

#include <algorithm>
#include <limits>
#include <type_traits>
#include <variant>

namespace drennow::qgis {

namespace {

int32_t ToCount(long long count)
{
    if (count > std::numeric_limits<int32_t>::max()) {
        runtime::Raise(runtime::kOverflow);
    }
    return static_cast<int32_t>(count);
}

bool IsPolygonLayer(const QgsVectorLayer& layer)
{
    return layer.isValid() && layer.geometryType() == QgsWkbTypes::PolygonGeometry;
}

QgsFeatureRequest AttributesOnly()
{
    return QgsFeatureRequest().setFlags(QgsFeatureRequest::NoGeometry);
}

QgsVectorDataProvider& ProviderOf(QgsVectorLayer& layer)
{
    QgsVectorDataProvider* provider = layer.dataProvider();
    if (!provider) {
        RaiseHostError(QStringLiteral("The layer %1 has no data provider").arg(layer.name()));
    }
    return *provider;
}

}  // namespace

Ref<QgisWorkspace> WorkspaceRegistry::ForSource(const QString& dataSource)
{
    std::weak_ptr<QgisWorkspace>& entry = workspaces_[dataSource];
    Ref<QgisWorkspace> workspace = entry.lock();
    if (!workspace) {
        workspace = std::make_shared<QgisWorkspace>(dataSource);
        entry = workspace;
    }
    return workspace;
}

void RaiseLayerRemoved(const QString& name)
{
    RaiseHostError(QStringLiteral("The layer %1 was removed from the project while the run worked on it; the run "
                                  "saved nothing. Add the layer to the project again and run again.")
                       .arg(name));
}

QgsVectorLayer& LayerRef::Get() const
{
    if (!layer_) {
        RaiseLayerRemoved(name_);
    }
    return *layer_;
}

void RunLayer::Note(QgsVectorLayer& layer)
{
    if (known_) {
        return;
    }
    known_ = true;
    layer_ = &layer;
    name_ = layer.name();
    source_ = layer.source();
}

bool RunLayer::Holds(const QgsVectorLayer& layer) const
{
    return known_ && layer.source() == source_;
}

void RunLayer::CheckPresent() const
{
    if (known_ && !layer_) {
        RaiseLayerRemoved(name_);
    }
}

bool RunLayer::BeganEditing(const QgsVectorLayer& layer) const
{
    return std::any_of(begun_.begin(), begun_.end(), [&](const QPointer<QgsVectorLayer>& begun) { return begun == &layer; });
}

void RunLayer::NoteEditingEnded(const QgsVectorLayer& layer)
{
    begun_.erase(std::remove(begun_.begin(), begun_.end(), &layer), begun_.end());
}

std::vector<QgsVectorLayer*> RunLayer::BegunAndEditing() const
{
    std::vector<QgsVectorLayer*> editing;
    for (const QPointer<QgsVectorLayer>& layer : begun_) {
        if (layer && layer->isEditable()) {
            editing.push_back(layer);
        }
    }
    return editing;
}

int32_t FieldTypeOf(const QgsField& field, bool isKeyColumn)
{
    if (isKeyColumn) {
        return host::kFieldTypeObjectId;
    }
    switch (field.type()) {
    case QVariant::Bool:
        return host::kFieldTypeSmallInteger;
    case QVariant::Int:
    case QVariant::UInt:
    case QVariant::LongLong:
    case QVariant::ULongLong:
        return host::kFieldTypeLongInteger;
    case QVariant::Double:
        return host::kFieldTypeDouble;
    case QVariant::Date:
    case QVariant::Time:
    case QVariant::DateTime:
        return host::kFieldTypeDate;
    case QVariant::ByteArray:
        return host::kFieldTypeBlob;
    default:
        return host::kFieldTypeString;
    }
}

runtime::Variant ToVariant(const QVariant& value)
{
    if (value.isNull()) {
        return runtime::Variant::Null();
    }
    switch (value.type()) {
    case QVariant::Bool:
        return runtime::Variant(static_cast<int16_t>(value.toBool() ? -1 : 0));
    case QVariant::Int:
        return runtime::Variant(static_cast<int32_t>(value.toInt()));
    case QVariant::UInt:
    case QVariant::LongLong:
        return runtime::Variant(static_cast<int64_t>(value.toLongLong()));
    case QVariant::ULongLong:
    case QVariant::Double:
        return runtime::Variant(value.toDouble());
    default:
        return runtime::Variant(value.toString().toStdString());
    }
}

QVariant ToQVariant(const runtime::Variant& value)
{
    return std::visit(
        [](const auto& v) -> QVariant {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, runtime::EmptyValue> || std::is_same_v<T, runtime::NullValue>) {
                return QVariant();
            } else if constexpr (std::is_same_v<T, std::string>) {
                return QString::fromStdString(v);
            } else if constexpr (std::is_same_v<T, int64_t>) {
                return QVariant(static_cast<qlonglong>(v));
            } else if constexpr (std::is_same_v<T, double>) {
                return QVariant(v);
            } else {
                return QVariant(static_cast<int>(v));
            }
        },
        value.Get());
}

QgisFields::QgisFields(const QgsVectorLayer& layer) : fields_(layer.fields())
{
    if (const QgsVectorDataProvider* provider = layer.dataProvider()) {
        keyColumns_ = provider->pkAttributeIndexes();
    }
}

int32_t QgisFields::FieldCount()
{
    return fields_.count();
}

Ref<host::IField> QgisFields::Field(int32_t index)
{
    if (index < 0 || index >= fields_.count()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    const QgsField& field = fields_.at(index);
    return std::make_shared<QgisField>(field.name(), FieldTypeOf(field, keyColumns_.contains(index)));
}

int32_t QgisFields::FindField(const std::string& name)
{
    // QGIS's own lookup: the exact name first, then ignoring case.
    return fields_.lookupField(QString::fromStdString(name));
}

void QgisRow::CheckIndex(int32_t index) const
{
    if (index < 0 || index >= feature_.attributeCount()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
}

runtime::Variant QgisRow::Value(int32_t index)
{
    CheckIndex(index);
    return ToVariant(feature_.attribute(index));
}

void QgisRow::SetValue(int32_t index, const runtime::Variant& value)
{
    CheckIndex(index);
    QVariant converted = ToQVariant(value);
    QString problem;
    if (!layer_.Get().fields().at(index).convertCompatible(converted, &problem)) {
        RaiseHostError(problem);
    }
    readValues_.try_emplace(index, feature_.attribute(index));
    feature_.setAttribute(index, converted);
}

int32_t QgisRow::OID()
{
    QgsFeatureId id = feature_.id();
    if (id > std::numeric_limits<int32_t>::max() || id < std::numeric_limits<int32_t>::min()) {
        runtime::Raise(runtime::kOverflow);
    }
    return static_cast<int32_t>(id);
}

void QgisRow::Store()
{
    QgsVectorLayer& layer = layer_.Get();
    if (layer.isEditable()) {
        StoreInEditBuffer(layer);
    } else {
        StoreInProvider(layer);
    }
    readValues_.clear();
}

void QgisRow::StoreInEditBuffer(QgsVectorLayer& layer)
{
    for (const auto& [index, oldValue] : readValues_) {
        if (!layer.changeAttributeValue(feature_.id(), index, feature_.attribute(index), oldValue)) {
            RaiseLayerError(layer, QStringLiteral("Feature %1 could not be changed").arg(feature_.id()));
        }
    }
}

void QgisRow::StoreInProvider(QgsVectorLayer& layer)
{
    QgsAttributeMap changes;
    for (const auto& entry : readValues_) {
        changes.insert(entry.first, feature_.attribute(entry.first));
    }
    QgsVectorDataProvider& provider = ProviderOf(layer);
    provider.clearErrors();
    if (!provider.changeAttributeValues({{feature_.id(), changes}})) {
        RaiseLayerError(layer, QStringLiteral("Feature %1 could not be written").arg(feature_.id()));
    }
}

Ref<host::IRow> QgisCursor::NextRow()
{
    if (!features_) {
        features_ = open_(layer_.Get());
    }
    QgsFeature feature;
    if (!features_->nextFeature(feature)) {
        return nullptr;
    }
    return std::make_shared<QgisRow>(layer_, feature);
}

Ref<host::IFields> QgisFeatureClass::Fields()
{
    return std::make_shared<QgisFields>(layer_.Get());
}

void QgisFeatureClass::AddField(const host::NewField& field)
{
    QgsVectorLayer& layer = layer_.Get();
    if (field.Type != host::kFieldTypeLongInteger && field.Type != host::kFieldTypeBigInteger) {
        RaiseHostError(QStringLiteral("Only integer fields can be added"));
    }
    const QString name = QString::fromStdString(field.Name);
    if (!layer.isEditable()) {
        if (!layer.startEditing()) {
            RaiseLayerError(layer, QStringLiteral("Editing could not start, to add the field %1").arg(name));
        }
        workspaces_.Run().NoteEditingBegun(layer);
    }
    QVariant::Type type = field.Type == host::kFieldTypeBigInteger ? QVariant::LongLong : QVariant::Int;
    if (!layer.addAttribute(QgsField(name, type))) {
        RaiseLayerError(layer, QStringLiteral("The field %1 could not be added").arg(name));
    }
}

int32_t QgisFeatureClass::ShapeType()
{
    QgsWkbTypes::Type type = layer_.Get().wkbType();
    switch (QgsWkbTypes::geometryType(type)) {
    case QgsWkbTypes::PointGeometry:
        return QgsWkbTypes::isMultiType(type) ? host::kShapeTypeMultipoint : host::kShapeTypePoint;
    case QgsWkbTypes::LineGeometry:
        return host::kShapeTypePolyline;
    case QgsWkbTypes::PolygonGeometry:
        return host::kShapeTypePolygon;
    default:
        return host::kShapeTypeNull;
    }
}

Ref<host::IWorkspace> QgisFeatureClass::Workspace()
{
    return workspaces_.ForSource(layer_.Get().source());
}

int32_t QgisSelectionSet::Count()
{
    return layer_.Get().selectedFeatureCount();
}

Ref<host::ICursor> QgisSelectionSet::Search()
{
    return std::make_shared<QgisCursor>(
        layer_, [](QgsVectorLayer& layer) { return layer.getSelectedFeatures(AttributesOnly()); });
}

std::string QgisFeatureLayer::Name()
{
    return layer_.Get().name().toStdString();
}

Ref<host::IFeatureClass> QgisFeatureLayer::FeatureClass()
{
    if (!layer_.Get().isValid()) {
        return nullptr;
    }
    return std::make_shared<QgisFeatureClass>(layer_, workspaces_);
}

QgsVectorLayer& QgisFeatureLayer::Readable() const
{
    QgsVectorLayer& layer = layer_.Get();
    if (!refusal_.isEmpty()) {
        RaiseHostError(refusal_);
    }
    workspaces_.Run().Note(layer);
    return layer;
}

Ref<host::ICursor> QgisFeatureLayer::Search()
{
    Readable();
    return std::make_shared<QgisCursor>(layer_,
                                        [](QgsVectorLayer& layer) { return layer.getFeatures(AttributesOnly()); });
}

int32_t QgisFeatureLayer::RowCount()
{
    QgsVectorLayer& layer = Readable();
    long long count = layer.featureCount();
    if (count < 0) {
        // The provider does not know its count without reading.
        count = 0;
        QgsFeatureIterator features = layer.getFeatures(AttributesOnly().setNoAttributes());
        for (QgsFeature feature; features.nextFeature(feature);) {
            ++count;
        }
    }
    return ToCount(count);
}

Ref<host::ISelectionSet> QgisFeatureLayer::SelectionSet()
{
    Readable();
    return std::make_shared<QgisSelectionSet>(layer_);
}

namespace {

QString ProcessingInstead()
{
    return QStringLiteral("or use the Processing algorithm %1, which writes a new layer")
        .arg(QString::fromLatin1(NextDownIdAlgorithm::kDisplayName));
}

// Why the run could not write NextDownID into the layer; empty when it can.
QString EditingRefusal(QgsVectorLayer& layer)
{
    const QgsVectorDataProvider* provider = layer.dataProvider();
    if (!layer.isValid() || !provider) {
        return {};  // the run reports the missing feature class
    }
    const QString nextDownName = QString::fromLatin1(command::names::kNextDownField);
    if (layer.readOnly()) {
        return QStringLiteral("The layer %1 is read-only in this project, so the run cannot write %2 into it. "
                              "Clear its read-only mark (Project Properties, Data Sources), %3.")
            .arg(layer.name(), nextDownName, ProcessingInstead());
    }
    const QgsVectorDataProvider::Capabilities can = provider->capabilities();
    if (!(can & QgsVectorDataProvider::ChangeAttributeValues)) {
        return QStringLiteral("The data source of the layer %1 (provider %2) cannot change attribute values (it is "
                              "opened read-only, or its format cannot), so the run cannot write %3 into it. Save "
                              "the layer in a format that can, such as GeoPackage (Export, Save Features As), %4.")
            .arg(layer.name(), provider->name(), nextDownName, ProcessingInstead());
    }
    const QgsFields fields = layer.fields();
    const int nextDown = fields.lookupField(nextDownName);
    if (nextDown < 0) {
        if (!(can & QgsVectorDataProvider::AddAttributes)) {
            return QStringLiteral("The layer %1 has no field %2, and its data source (provider %3) takes no new "
                                  "fields. Add %2, a whole-number field, to the data yourself, or save the layer in "
                                  "a format that takes new fields, such as GeoPackage, and run again.")
                .arg(layer.name(), nextDownName, provider->name());
        }
        return {};
    }
    switch (fields.fieldOrigin(nextDown)) {
    case QgsFields::OriginExpression:
        return QStringLiteral("%1 of the layer %2 is a virtual field, computed from its expression, which the run "
                              "cannot write. Remove or rename it (Layer Properties, Fields), so that the run adds "
                              "a field of its own, and run again.")
            .arg(fields.at(nextDown).name(), layer.name());
    case QgsFields::OriginJoin: {
        int joinedIndex = -1;
        const QgsVectorLayerJoinInfo* join = layer.joinBuffer()->joinForFieldIndex(nextDown, fields, joinedIndex);
        const QString joined = join && join->joinLayer() ? join->joinLayer()->name() : QStringLiteral("another layer");
        return QStringLiteral("%1 of the layer %2 comes from its join with %3, and the run writes only the layer's "
                              "own fields. Remove the join, or give the joined fields a prefix (Layer Properties, "
                              "Joins), and run again.")
            .arg(fields.at(nextDown).name(), layer.name(), joined);
    }
    default:
        return {};
    }
}

}  // namespace

QString QgisMap::RefusalFor(QgsVectorLayer& layer) const
{
    if (project_.autoTransaction()) {
        const auto groups = project_.transactionGroups();
        for (const QgsTransactionGroup* group : groups) {
            if (group->layers().contains(&layer)) {
                return QStringLiteral(
                           "The layer %1 is in a transaction group of the project (Project Properties, Data Sources: "
                           "Automatically create transaction groups where possible), whose edits are saved or "
                           "discarded for the whole group only. Turn the option off for the run, %2.")
                    .arg(layer.name(), ProcessingInstead());
            }
        }
    }
    if (!IsPolygonLayer(layer)) {
        return {};
    }
    int sharing = 0;
    for (QgsLayerTreeLayer* node : project_.layerTreeRoot()->findLayers()) {
        auto* other = qobject_cast<QgsVectorLayer*>(node->layer());
        sharing += other && IsPolygonLayer(*other) && other->name() == layer.name() ? 1 : 0;
    }
    if (sharing >= 2) {
        return QStringLiteral("%1 polygon layers of the project are called %2, and the run could edit another one "
                              "than the one chosen. Rename them (Layer Properties, Source) so that each name is one "
                              "layer's, and run again.")
            .arg(sharing)
            .arg(layer.name());
    }
    return EditingRefusal(layer);
}

int32_t QgisMap::LayerCount()
{
    return ToCount(project_.layerTreeRoot()->findLayers().count());
}

Ref<host::ILayer> QgisMap::Layer(int32_t index)
{
    const QList<QgsLayerTreeLayer*> nodes = project_.layerTreeRoot()->findLayers();
    if (index < 0 || index >= nodes.count()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    QgsLayerTreeLayer* node = nodes.at(index);
    QgsMapLayer* layer = node->layer();
    // A layer whose source could not be opened stays a feature layer: the
    // run then reports its missing feature class.
    auto* vectorLayer = qobject_cast<QgsVectorLayer*>(layer);
    if (vectorLayer && (!vectorLayer->isValid() || vectorLayer->isSpatial())) {
        return std::make_shared<QgisFeatureLayer>(vectorLayer, workspaces_, RefusalFor(*vectorLayer));
    }
    if (qobject_cast<QgsRasterLayer*>(layer)) {
        return std::make_shared<QgisRasterLayer>(layer->name());
    }
    return std::make_shared<QgisOtherLayer>(layer ? layer->name() : node->name());
}

}  // namespace drennow::qgis
