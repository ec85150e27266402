#include "platform/memory/MemoryGis.h"

#include "runtime/Error.h"

#include <algorithm>

namespace drennow::memory {

// Shared by every object of one GIS.
struct Context {
    std::shared_ptr<FaultPlan> faults;
    std::shared_ptr<GisConfig> config;
    std::shared_ptr<Editor> editor;
    std::shared_ptr<StatusBar> statusBar;
    std::shared_ptr<ScriptedUi> ui;

    void Hit(const char* operation) const { faults->Hit(operation); }
};

namespace {

// Result codes the in-memory data source reports.
constexpr int32_t kNoSuchField = -2147219887;
constexpr int32_t kFieldExists = -2147219884;
constexpr int32_t kSchemaLocked = -2147220947;
constexpr int32_t kNotEditable = -2147217151;
constexpr int32_t kBrokenDataSource = runtime::kHostCallFailed;

[[noreturn]] void Fail(int32_t number, const std::string& description)
{
    throw runtime::Error(number, description);
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

class FieldImpl : public host::IField {
public:
    FieldImpl(Context context, FieldDef def) : context_(std::move(context)), def_(std::move(def)) {}
    std::string Name() override
    {
        context_.Hit("IField.Name");
        return def_.name;
    }
    int32_t Type() override
    {
        context_.Hit("IField.Type");
        // As data sources do: a 64-bit integer field is an integer field.
        return def_.type == host::kFieldTypeBigInteger ? host::kFieldTypeLongInteger : def_.type;
    }

private:
    Context context_;
    FieldDef def_;
};

// What an object that belongs to one table holds.
class OfTable {
public:
    OfTable(Context context, std::shared_ptr<TableData> table) : context_(std::move(context)), table_(std::move(table))
    {
    }

protected:
    Context context_;
    std::shared_ptr<TableData> table_;
};

// The live field list of a table.
class FieldsImpl : public host::IFields, private OfTable {
public:
    using OfTable::OfTable;
    int32_t FieldCount() override
    {
        context_.Hit("IFields.FieldCount");
        return static_cast<int32_t>(table_->Fields().size());
    }
    Ref<host::IField> Field(int32_t index) override
    {
        context_.Hit("IFields.Field");
        const auto& defs = table_->Fields();
        if (index < 0 || index >= static_cast<int32_t>(defs.size())) {
            Fail(kNoSuchField, "The field index is outside the field list");
        }
        return std::make_shared<FieldImpl>(context_, defs[static_cast<size_t>(index)]);
    }
    // Names compare without regard to case, as most data sources do.
    int32_t FindField(const std::string& name) override
    {
        context_.Hit("IFields.FindField");
        const auto& defs = table_->Fields();
        for (size_t i = 0; i < defs.size(); ++i) {
            if (SameNameIgnoringCase(defs[i].name, name)) {
                return static_cast<int32_t>(i);
            }
        }
        return -1;
    }
};

class RowImpl : public host::IRow {
public:
    RowImpl(Context context, std::shared_ptr<TableData> table, const RowData& data)
        : context_(std::move(context)), table_(std::move(table)), oid_(data.oid), values_(data.values)
    {
    }
    Variant Value(int32_t index) override
    {
        context_.Hit("IRow.Value");
        return values_.at(CheckedIndex(index));
    }
    void SetValue(int32_t index, const Variant& value) override
    {
        context_.Hit("IRow.SetValue");
        size_t i = CheckedIndex(index);
        int32_t type = table_->Fields()[i].type;
        if (type == host::kFieldTypeObjectId || type == host::kFieldTypeGeometry) {
            Fail(kNotEditable, "The field " + table_->Fields()[i].name + " cannot be written");
        }
        values_[i] = ConvertToFieldType(value, type);
    }
    int32_t OID() override
    {
        context_.Hit("IRow.OID");
        return oid_;
    }
    void Store() override
    {
        context_.Hit("IRow.Store");
        table_->Write(oid_, values_);
        context_.editor->RecordStore(*table_->workspace);
    }

private:
    size_t CheckedIndex(int32_t index) const
    {
        if (index < 0 || index >= static_cast<int32_t>(values_.size())) {
            Fail(kNoSuchField, "The field index is outside the field list");
        }
        return static_cast<size_t>(index);
    }

    Context context_;
    std::shared_ptr<TableData> table_;
    int32_t oid_;
    std::vector<Variant> values_;
};

// Delivers the rows of the given object ids that still exist, each a new
// object holding the values as they are when it is fetched.
class CursorImpl : public host::ICursor {
public:
    CursorImpl(Context context, std::shared_ptr<TableData> table, std::vector<int32_t> oids)
        : context_(std::move(context)), table_(std::move(table)), oids_(std::move(oids))
    {
    }
    Ref<host::IRow> NextRow() override
    {
        context_.Hit("ICursor.NextRow");
        while (next_ < oids_.size()) {
            if (RowData* row = table_->FindRow(oids_[next_++])) {
                return std::make_shared<RowImpl>(context_, table_, *row);
            }
        }
        return nullptr;
    }

private:
    Context context_;
    std::shared_ptr<TableData> table_;
    std::vector<int32_t> oids_;
    size_t next_ = 0;
};

std::vector<int32_t> AllOids(const TableData& table)
{
    std::vector<int32_t> oids;
    for (const RowData& row : table.Rows()) {
        oids.push_back(row.oid);
    }
    return oids;
}

class SelectionSetImpl : public host::ISelectionSet, private OfTable {
public:
    using OfTable::OfTable;
    int32_t Count() override
    {
        context_.Hit("ISelectionSet.Count");
        return static_cast<int32_t>(table_->selection.size());
    }
    Ref<host::ICursor> Search() override
    {
        context_.Hit("ISelectionSet.Search");
        return std::make_shared<CursorImpl>(
            context_, table_, std::vector<int32_t>(table_->selection.begin(), table_->selection.end()));
    }
};

class FeatureDatasetImpl : public host::IFeatureDataset {
public:
    FeatureDatasetImpl(Context context, Ref<host::IWorkspace> workspace)
        : context_(std::move(context)), workspace_(std::move(workspace))
    {
    }
    Ref<host::IWorkspace> Workspace() override
    {
        context_.Hit("IFeatureDataset.Workspace");
        return workspace_;
    }

private:
    Context context_;
    Ref<host::IWorkspace> workspace_;
};

class FeatureClassImpl : public host::IFeatureClass {
public:
    FeatureClassImpl(Context context, std::shared_ptr<TableData> table, Ref<host::IWorkspace> workspace)
        : context_(std::move(context)), table_(std::move(table)), workspace_(std::move(workspace))
    {
    }
    Ref<host::IFields> Fields() override
    {
        context_.Hit("IFeatureClass.Fields");
        return std::make_shared<FieldsImpl>(context_, table_);
    }
    void AddField(const host::NewField& field) override
    {
        context_.Hit("IFeatureClass.AddField");
        if (context_.editor->IsEditing(*table_->workspace)) {
            Fail(kSchemaLocked, "Cannot change the schema while the data is being edited");
        }
        for (const FieldDef& existing : table_->Fields()) {
            if (SameNameIgnoringCase(existing.name, field.Name)) {
                Fail(kFieldExists, "A field of that name already exists");
            }
        }
        table_->AddField(FieldDef{field.Name, field.Type});
    }
    int32_t FeatureType() override
    {
        context_.Hit("IFeatureClass.FeatureType");
        return table_->featureType;
    }
    int32_t ShapeType() override
    {
        context_.Hit("IFeatureClass.ShapeType");
        return table_->shapeType;
    }
    Ref<host::IFeatureDataset> FeatureDataset() override
    {
        context_.Hit("IFeatureClass.FeatureDataset");
        if (!table_->inFeatureDataset) {
            return nullptr;
        }
        return std::make_shared<FeatureDatasetImpl>(context_, workspace_);
    }
    Ref<host::IWorkspace> Workspace() override
    {
        context_.Hit("IFeatureClass.Workspace");
        return workspace_;
    }
    const std::shared_ptr<TableData>& Table() const { return table_; }

private:
    Context context_;
    std::shared_ptr<TableData> table_;
    Ref<host::IWorkspace> workspace_;
};

// What feature layers and stand-alone tables share: their rows and selection.
class TableLayerBase : public virtual host::ILayer, public host::ITable, public host::ITableSelection {
public:
    TableLayerBase(Context context, std::string name, std::shared_ptr<TableData> table)
        : context_(std::move(context)), name_(std::move(name)), table_(std::move(table))
    {
    }
    std::string Name() override
    {
        context_.Hit("ILayer.Name");
        return name_;
    }
    Ref<host::ICursor> Search() override
    {
        context_.Hit("ITable.Search");
        return std::make_shared<CursorImpl>(context_, Data(), AllOids(*Data()));
    }
    int32_t RowCount() override
    {
        context_.Hit("ITable.RowCount");
        return static_cast<int32_t>(Data()->Rows().size());
    }
    Ref<host::ISelectionSet> SelectionSet() override
    {
        context_.Hit("ITableSelection.SelectionSet");
        return std::make_shared<SelectionSetImpl>(context_, Data());
    }

protected:
    const std::shared_ptr<TableData>& Data() const
    {
        if (!table_) {
            Fail(kBrokenDataSource, "The layer's data source is not available");
        }
        return table_;
    }

    Context context_;
    std::string name_;
    std::shared_ptr<TableData> table_;
};

class FeatureLayerImpl : public TableLayerBase, public host::IFeatureLayer {
public:
    FeatureLayerImpl(Context context, std::string name, Ref<FeatureClassImpl> featureClass)
        : TableLayerBase(context, std::move(name), featureClass ? featureClass->Table() : nullptr),
          featureClass_(std::move(featureClass))
    {
    }
    std::string Name() override { return TableLayerBase::Name(); }
    Ref<host::IFeatureClass> FeatureClass() override
    {
        context_.Hit("IFeatureLayer.FeatureClass");
        return featureClass_;
    }
    Ref<host::ICursor> Search() override { return TableLayerBase::Search(); }

private:
    Ref<FeatureClassImpl> featureClass_;
};

class StandaloneTableImpl : public TableLayerBase, public host::IStandaloneTable {
public:
    using TableLayerBase::TableLayerBase;
    std::string Name() override { return TableLayerBase::Name(); }
};

class RasterLayerImpl : public host::IRasterLayer {
public:
    RasterLayerImpl(Context context, std::string name) : context_(std::move(context)), name_(std::move(name)) {}
    std::string Name() override
    {
        context_.Hit("ILayer.Name");
        return name_;
    }

private:
    Context context_;
    std::string name_;
};

// A group of layers; its members are not top-level layers of the map.
class GroupLayerImpl : public host::ILayer {
public:
    GroupLayerImpl(Context context, std::string name, Ref<host::ILayer> member)
        : context_(std::move(context)), name_(std::move(name)), member_(std::move(member))
    {
    }
    std::string Name() override
    {
        context_.Hit("ILayer.Name");
        return name_;
    }

private:
    Context context_;
    std::string name_;
    Ref<host::ILayer> member_;
};

// The map alone holds the layers, which themselves hold the context: no
// object is kept alive by a cycle.
class MapImpl : public host::IMap {
public:
    MapImpl(Context context, std::shared_ptr<std::vector<Ref<host::ILayer>>> layers)
        : context_(std::move(context)), layers_(std::move(layers))
    {
    }
    int32_t LayerCount() override
    {
        context_.Hit("IMap.LayerCount");
        return static_cast<int32_t>(layers_->size());
    }
    Ref<host::ILayer> Layer(int32_t index) override
    {
        context_.Hit("IMap.Layer");
        if (index < 0 || index >= static_cast<int32_t>(layers_->size())) {
            Fail(runtime::kInvalidProcedureCall, runtime::StandardDescription(runtime::kInvalidProcedureCall));
        }
        return (*layers_)[static_cast<size_t>(index)];
    }

private:
    Context context_;
    std::shared_ptr<std::vector<Ref<host::ILayer>>> layers_;
};

class DocumentImpl : public host::IMxDocument {
public:
    DocumentImpl(Context context, std::shared_ptr<std::vector<Ref<host::ILayer>>> layers)
        : context_(context), map_(std::make_shared<MapImpl>(context, std::move(layers)))
    {
    }
    Ref<host::IMap> FocusMap() override
    {
        context_.Hit("IMxDocument.FocusMap");
        return map_;
    }

private:
    Context context_;
    Ref<host::IMap> map_;
};

class TemplatesImpl : public host::ITemplates {
public:
    explicit TemplatesImpl(Context context) : context_(std::move(context)) {}
    int32_t Count() override
    {
        context_.Hit("ITemplates.Count");
        return static_cast<int32_t>(context_.config->templates.size());
    }
    std::string Item(int32_t index) override
    {
        context_.Hit("ITemplates.Item");
        const auto& templates = context_.config->templates;
        if (index < 0 || index >= static_cast<int32_t>(templates.size())) {
            Fail(runtime::kInvalidProcedureCall, runtime::StandardDescription(runtime::kInvalidProcedureCall));
        }
        return templates[static_cast<size_t>(index)];
    }

private:
    Context context_;
};

class CancelTrackerImpl : public host::ITrackCancel {
public:
    explicit CancelTrackerImpl(Context context) : context_(std::move(context)) {}
    bool Continue() override
    {
        context_.Hit("ITrackCancel.Continue");
        GisConfig& config = *context_.config;
        ++config.continueCalls;
        return config.cancelAtContinue == 0 || config.continueCalls < config.cancelAtContinue;
    }

private:
    Context context_;
};

class ApplicationImpl : public host::IApplication {
public:
    ApplicationImpl(Context context, std::shared_ptr<std::vector<Ref<host::ILayer>>> layers)
        : context_(context), document_(std::make_shared<DocumentImpl>(context, std::move(layers)))
    {
    }
    Ref<host::IMxDocument> Document() override
    {
        context_.Hit("IApplication.Document");
        return document_;
    }
    Ref<host::IStatusBar> StatusBar() override
    {
        context_.Hit("IApplication.StatusBar");
        return context_.statusBar;
    }
    Ref<host::ITemplates> Templates() override
    {
        context_.Hit("IApplication.Templates");
        return std::make_shared<TemplatesImpl>(context_);
    }
    Ref<host::IExtension> FindExtensionByCLSID(const host::UID& id) override
    {
        context_.Hit("IApplication.FindExtensionByCLSID");
        if (id.Value == host::kEditorProgId && context_.config->editorAvailable) {
            return context_.editor;
        }
        return nullptr;
    }
    Ref<host::ITrackCancel> NewCancelTracker() override
    {
        context_.Hit("IApplication.NewCancelTracker");
        return std::make_shared<CancelTrackerImpl>(context_);
    }
    Ref<host::IUserInterface> UserInterface() override
    {
        context_.Hit("IApplication.UserInterface");
        return context_.ui;
    }

private:
    Context context_;
    Ref<host::IMxDocument> document_;
};

class ProgressBarImpl : public host::IStepProgressor {
public:
    ProgressBarImpl(std::shared_ptr<FaultPlan> faults, StatusBar& statusBar)
        : faults_(std::move(faults)), statusBar_(statusBar)
    {
    }
    void MinRange(int32_t value) override { Record("MinRange", "MinRange " + std::to_string(value)); }
    void MaxRange(int32_t value) override { Record("MaxRange", "MaxRange " + std::to_string(value)); }
    void StepValue(int32_t value) override { Record("StepValue", "StepValue " + std::to_string(value)); }
    void Position(int32_t value) override { Record("Position", "Position " + std::to_string(value)); }
    void Message(const std::string& text) override { Record("Message", "Message " + text); }
    void Show() override
    {
        Record("Show", "Show");
        statusBar_.progressVisible = true;
    }
    void Step() override { Record("Step", "Step"); }
    void Hide() override
    {
        Record("Hide", "Hide");
        statusBar_.progressVisible = false;
    }

private:
    void Record(const std::string& member, std::string call)
    {
        faults_->Hit("IStepProgressor." + member);
        statusBar_.calls.push_back(std::move(call));
    }

    std::shared_ptr<FaultPlan> faults_;
    StatusBar& statusBar_;
};

}  // namespace

Variant ConvertToFieldType(const Variant& value, int32_t fieldType)
{
    if (value.IsNull()) {
        return value;
    }
    switch (fieldType) {
    case host::kFieldTypeSmallInteger:
        return Variant(runtime::ToInteger(value));
    case host::kFieldTypeLongInteger:
        return Variant(runtime::ToLong(value));
    case host::kFieldTypeBigInteger:
        return Variant(runtime::ToLongLong(value));
    case host::kFieldTypeSingle:
    case host::kFieldTypeDouble:
        return Variant(runtime::ToDouble(value));
    case host::kFieldTypeString:
        return Variant(runtime::ToText(value));
    default:
        return value;
    }
}

TableData::TableData(Workspace* workspace, std::vector<FieldDef> fields)
    : workspace(workspace), fields_(std::move(fields))
{
}

int32_t TableData::FieldIndex(const std::string& name) const
{
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].name == name) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

int32_t TableData::AddRow(const std::vector<std::pair<std::string, Variant>>& values)
{
    RowData row{nextOid_++, std::vector<Variant>(fields_.size(), Variant::Null())};
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].type == host::kFieldTypeObjectId) {
            row.values[i] = Variant(row.oid);
        } else if (fields_[i].type == host::kFieldTypeGeometry) {
            row.values[i] = Variant("polygon " + std::to_string(row.oid));
        }
    }
    for (const auto& [name, value] : values) {
        int32_t index = FieldIndex(name);
        if (index < 0) {
            Fail(kNoSuchField, "No field " + name);
        }
        row.values[static_cast<size_t>(index)] = value;
    }
    rows_.push_back(std::move(row));
    return rows_.back().oid;
}

RowData* TableData::FindRow(int32_t oid)
{
    auto found = std::find_if(rows_.begin(), rows_.end(), [oid](const RowData& row) { return row.oid == oid; });
    return found == rows_.end() ? nullptr : &*found;
}

Variant TableData::Get(int32_t oid, const std::string& field) const
{
    auto found = std::find_if(rows_.begin(), rows_.end(), [oid](const RowData& row) { return row.oid == oid; });
    int32_t index = FieldIndex(field);
    if (found == rows_.end() || index < 0) {
        Fail(kNoSuchField, "No row " + std::to_string(oid) + " or field " + field);
    }
    return found->values[static_cast<size_t>(index)];
}

void TableData::AddField(const FieldDef& field)
{
    fields_.push_back(field);
    for (RowData& row : rows_) {
        row.values.push_back(Variant::Null());
    }
}

void TableData::RenameField(const std::string& from, const std::string& to)
{
    int32_t index = FieldIndex(from);
    if (index < 0) {
        Fail(kNoSuchField, "No field " + from);
    }
    fields_[static_cast<size_t>(index)].name = to;
}

void TableData::Write(int32_t oid, const std::vector<Variant>& values)
{
    RowData* row = FindRow(oid);
    if (row == nullptr) {
        Fail(kNoSuchField, "The row " + std::to_string(oid) + " no longer exists");
    }
    if (values.size() != fields_.size()) {
        Fail(kNoSuchField, "The row does not match the table's fields");
    }
    row->values = values;
}

MemoryGis::MemoryGis()
    : faults_(std::make_shared<FaultPlan>()),
      config_(std::make_shared<GisConfig>()),
      ui_(std::make_shared<ScriptedUi>()),
      editor_(std::make_shared<Editor>(faults_)),
      statusBar_(std::make_shared<StatusBar>(faults_)),
      layers_(std::make_shared<std::vector<Ref<host::ILayer>>>())
{
    context_ = std::make_shared<Context>(Context{faults_, config_, editor_, statusBar_, ui_});
    application_ = std::make_shared<ApplicationImpl>(*context_, layers_);
}

std::shared_ptr<Workspace> MemoryGis::NewWorkspace(const std::string& name)
{
    return std::make_shared<Workspace>(name);
}

std::shared_ptr<TableData> MemoryGis::NewFeatureClass(Workspace& workspace, const std::vector<FieldDef>& attributes,
                                                      int32_t shapeType, int32_t featureType, bool inFeatureDataset)
{
    std::vector<FieldDef> fields{{"OBJECTID", host::kFieldTypeObjectId}, {"Shape", host::kFieldTypeGeometry}};
    fields.insert(fields.end(), attributes.begin(), attributes.end());
    auto table = std::make_shared<TableData>(&workspace, fields);
    table->shapeType = shapeType;
    table->featureType = featureType;
    table->inFeatureDataset = inFeatureDataset;
    workspace.tables.push_back(table);
    return table;
}

std::shared_ptr<TableData> MemoryGis::NewTable(Workspace& workspace, const std::vector<FieldDef>& attributes)
{
    std::vector<FieldDef> fields{{"OBJECTID", host::kFieldTypeObjectId}};
    fields.insert(fields.end(), attributes.begin(), attributes.end());
    auto table = std::make_shared<TableData>(&workspace, fields);
    workspace.tables.push_back(table);
    return table;
}

namespace {

// The workspace object of a table: the workspace itself is owned by the test
// and shared with every class in it.
Ref<host::IWorkspace> WorkspaceOf(const TableData& table)
{
    return Ref<host::IWorkspace>(Ref<host::IWorkspace>{}, table.workspace);
}

}  // namespace

void MemoryGis::AddLayer(Ref<host::ILayer> layer)
{
    layers_->push_back(std::move(layer));
}

void MemoryGis::AddFeatureLayer(const std::string& name, const std::shared_ptr<TableData>& featureClass)
{
    const Context& context = *context_;
    auto classImpl = std::make_shared<FeatureClassImpl>(context, featureClass, WorkspaceOf(*featureClass));
    AddLayer(std::make_shared<FeatureLayerImpl>(context, name, classImpl));
}

void MemoryGis::AddBrokenLayer(const std::string& name)
{
    const Context& context = *context_;
    AddLayer(std::make_shared<FeatureLayerImpl>(context, name, nullptr));
}

void MemoryGis::AddRasterLayer(const std::string& name)
{
    AddLayer(std::make_shared<RasterLayerImpl>(*context_, name));
}

void MemoryGis::AddGroupLayer(const std::string& name, const std::shared_ptr<TableData>& memberFeatureClass,
                              const std::string& memberName)
{
    const Context& context = *context_;
    auto classImpl =
        std::make_shared<FeatureClassImpl>(context, memberFeatureClass, WorkspaceOf(*memberFeatureClass));
    auto member = std::make_shared<FeatureLayerImpl>(context, memberName, classImpl);
    AddLayer(std::make_shared<GroupLayerImpl>(context, name, member));
}

void MemoryGis::RemoveLayer(int32_t index)
{
    layers_->erase(layers_->begin() + index);
}

void MemoryGis::AddStandaloneTable(const std::string& name, const std::shared_ptr<TableData>& table)
{
    AddLayer(std::make_shared<StandaloneTableImpl>(*context_,
                                                   name, table));
}

}  // namespace drennow::memory

namespace drennow::memory {

Ref<host::IStepProgressor> StatusBar::ProgressBar()
{
    faults_->Hit("IStatusBar.ProgressBar");
    if (!progressBar_) {
        progressBar_ = std::make_shared<ProgressBarImpl>(faults_, *this);
    }
    return progressBar_;
}

}  // namespace drennow::memory
