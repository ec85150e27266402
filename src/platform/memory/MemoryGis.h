#pragma once

#include "host/Application.h"
#include "platform/memory/Faults.h"
#include "platform/memory/ScriptedUi.h"

#include <functional>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

// An in-memory GIS behind the host boundary: workspaces of tables, feature
// classes and layers, a map, an editor with sessions, operations and undo, a
// status bar that records every call, a cancel tracker that gives up at a
// chosen call, and a scripted user interface. Every operation counts its
// calls in one fault plan, which can make any of them fail.
namespace drennow::memory {

using host::Ref;
using runtime::Variant;

struct FieldDef {
    std::string name;
    int32_t type = host::kFieldTypeLongInteger;
};

struct RowData {
    int32_t oid = 0;
    std::vector<Variant> values;  // one per field; the object id field holds oid
};

class Workspace;

// The rows of a table or feature class.
class TableData {
public:
    TableData(Workspace* workspace, std::vector<FieldDef> fields);

    const std::vector<FieldDef>& Fields() const { return fields_; }
    int32_t FieldIndex(const std::string& name) const;  // exact name, -1 when absent
    // Adds a row with the given values by field name (others null); its oid.
    int32_t AddRow(const std::vector<std::pair<std::string, Variant>>& values);
    RowData* FindRow(int32_t oid);
    const std::vector<RowData>& Rows() const { return rows_; }
    Variant Get(int32_t oid, const std::string& field) const;
    void AddField(const FieldDef& field);
    void RenameField(const std::string& from, const std::string& to);
    // Writes a row's values, converted to the fields' types.
    void Write(int32_t oid, const std::vector<Variant>& values);

    std::set<int32_t> selection;
    Workspace* workspace;
    // For feature classes.
    int32_t featureType = host::kFeatureTypeSimple;
    int32_t shapeType = host::kShapeTypePolygon;
    bool inFeatureDataset = true;

private:
    std::vector<FieldDef> fields_;
    std::vector<RowData> rows_;
    int32_t nextOid_ = 1;
};

// Converts a written value to the field's type, as a data source would.
Variant ConvertToFieldType(const Variant& value, int32_t fieldType);

class Workspace : public host::IWorkspace {
public:
    explicit Workspace(std::string name) : name(std::move(name)) {}

    std::string name;
    bool readOnly = false;  // sessions cannot be started on it
    std::vector<std::shared_ptr<TableData>> tables;
    // Stores while no session edits this workspace.
    int storesOutsideSession = 0;
};

class Editor;
class StatusBar;
struct Context;

// Settings of the application that tests change while objects are alive.
struct GisConfig {
    // The document's path is the template list's last entry.
    std::vector<std::string> templates{"Normal.mxt", "/maps/basins.mxd"};
    bool editorAvailable = true;
    // Continue answers false from this call on, counted over all trackers; 0 never.
    int cancelAtContinue = 0;
    int continueCalls = 0;
};

// Everything the command reaches, in one object that tests configure.
class MemoryGis {
public:
    MemoryGis();

    std::shared_ptr<Workspace> NewWorkspace(const std::string& name);
    // A feature class with an object id field "OBJECTID", a geometry field
    // "Shape" and the given attribute fields.
    std::shared_ptr<TableData> NewFeatureClass(Workspace& workspace, const std::vector<FieldDef>& attributes,
                                               int32_t shapeType = host::kShapeTypePolygon,
                                               int32_t featureType = host::kFeatureTypeSimple,
                                               bool inFeatureDataset = true);
    std::shared_ptr<TableData> NewTable(Workspace& workspace, const std::vector<FieldDef>& attributes);

    // Top-level layers, in map order.
    void AddFeatureLayer(const std::string& name, const std::shared_ptr<TableData>& featureClass);
    void AddBrokenLayer(const std::string& name);  // a feature layer without feature class
    void AddRasterLayer(const std::string& name);
    void AddGroupLayer(const std::string& name, const std::shared_ptr<TableData>& memberFeatureClass,
                       const std::string& memberName);
    void AddStandaloneTable(const std::string& name, const std::shared_ptr<TableData>& table);
    // Takes the top-level layer at that position out of the map.
    void RemoveLayer(int32_t index);

    Ref<host::IApplication> Application() const { return application_; }
    Editor& TheEditor() { return *editor_; }
    StatusBar& TheStatusBar() { return *statusBar_; }
    const StatusBar& TheStatusBar() const { return *statusBar_; }
    ScriptedUi& Ui() { return *ui_; }
    const ScriptedUi& Ui() const { return *ui_; }
    FaultPlan& Faults() { return *faults_; }
    GisConfig& Config() { return *config_; }

private:
    void AddLayer(Ref<host::ILayer> layer);

    std::shared_ptr<FaultPlan> faults_;
    std::shared_ptr<GisConfig> config_;
    std::shared_ptr<ScriptedUi> ui_;
    std::shared_ptr<Editor> editor_;
    std::shared_ptr<StatusBar> statusBar_;
    std::shared_ptr<std::vector<Ref<host::ILayer>>> layers_;
    std::shared_ptr<const Context> context_;
    std::shared_ptr<host::IApplication> application_;
};

// The editor: one session on one workspace; operations become undoable steps.
class Editor : public host::IEditor {
public:
    explicit Editor(std::shared_ptr<FaultPlan> faults) : faults_(std::move(faults)) {}

    int32_t EditState() override;
    Ref<host::IWorkspace> EditWorkspace() override;
    bool HasEdits() override;
    void StartEditing(const Ref<host::IWorkspace>& workspace) override;
    void StopEditing(bool saveEdits) override;
    void StartOperation() override;
    void StopOperation(const std::string& name) override;

    // Test controls and observations.
    void Undo();  // takes the last stopped operation back
    bool IsEditing(const Workspace& workspace) const { return state_ != 0 && workspace_.get() == &workspace; }
    void RecordStore(Workspace& workspace);
    std::vector<std::string> UndoNames() const;
    void MarkEdited() { edited_ = true; }
    bool OperationOpen() const { return operationOpen_; }
    // What EditState reports while a session runs (1 normally).
    int32_t runningState = host::kEditStateEditing;
    // Saved and discarded sessions, in order.
    std::vector<std::string> sessionLog;
    // Something that happens meanwhile, once a session has been stopped.
    std::function<void()> afterStopEditing;

private:
    using Snapshot = std::vector<std::pair<std::shared_ptr<TableData>, TableData>>;
    Snapshot Take() const;
    static void Restore(const Snapshot& snapshot);

    struct Operation {
        std::string name;
        Snapshot before;
    };

    std::shared_ptr<FaultPlan> faults_;
    int32_t state_ = host::kEditStateNotEditing;
    std::shared_ptr<Workspace> workspace_;
    Snapshot sessionStart_;
    Snapshot operationStart_;
    bool operationOpen_ = false;
    bool edited_ = false;
    std::vector<Operation> undo_;
};

// Records every call of the status bar and its progress bar.
class StatusBar : public host::IStatusBar {
public:
    explicit StatusBar(std::shared_ptr<FaultPlan> faults);
    void Message(int32_t pane, const std::string& text) override;
    Ref<host::IStepProgressor> ProgressBar() override;

    std::vector<std::string> calls;  // e.g. "Show", "MaxRange 5", "Message text"
    bool progressVisible = false;

private:
    std::shared_ptr<FaultPlan> faults_;
    std::shared_ptr<host::IStepProgressor> progressBar_;
};

}  // namespace drennow::memory
