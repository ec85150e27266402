#pragma once

#include "host/Editor.h"
#include "platform/qgis/QgisData.h"

#include <QPointer>

#include <vector>

class QgsProject;
class QUndoCommand;

namespace drennow::qgis {

// The editor's single session mapped onto QGIS's per-layer edit mode:
// - A workspace is one layer data source (see QgisWorkspace).
// - EditState is 1 while any vector layer of the project is in edit mode.
// - EditWorkspace is the data source of the layers in edit mode. When they
//   come from several data sources it is a workspace of its own that equals
//   no other, so a run on any of them closes them all (with the save question)
//   before it edits its layer; nothing when no layer is in edit mode.
// - HasEdits: a layer in edit mode has changes that are not saved.
// - StartEditing puts the layers on the workspace's data source, that is the
//   chosen layer, into edit mode.
// - StopEditing commits (save) or rolls back every layer in edit mode.
// - StartOperation opens one edit command on the undo stack of every layer in
//   edit mode; StopOperation ends it under the given name, so one Undo takes
//   the whole operation back. Under a transaction group QGIS keeps no undo
//   commands, and the operation is then only a bracket.
class QgisEditor : public host::IEditor {
public:
    static constexpr const char* kOpenOperationName = "Drennow";

    QgisEditor(QgsProject& project, WorkspaceRegistry& workspaces) : project_(project), workspaces_(workspaces) {}

    int32_t EditState() override;
    Ref<host::IWorkspace> EditWorkspace() override;
    bool HasEdits() override;
    void StartEditing(const Ref<host::IWorkspace>& workspace) override;
    void StopEditing(bool saveEdits) override;
    void StartOperation() override;
    void StopOperation(const std::string& name) override;

    bool HasOpenOperation() const { return !operationLayers_.empty(); }
    // QGIS must never be left inside an edit command: a run that ended by an
    // error leaves its operation open, and this ends it, keeping what was
    // stored, under the command's own name.
    void EndOpenOperation();

private:
    std::vector<QgsVectorLayer*> EditingLayers() const;

    QgsProject& project_;
    WorkspaceRegistry& workspaces_;
    // A layer of the open operation and the command opened on its stack
    // (nothing where QGIS opened none).
    struct OpenCommand {
        QPointer<QgsVectorLayer> layer;
        const QUndoCommand* command = nullptr;
    };
    std::vector<OpenCommand> operationLayers_;
};

}  // namespace drennow::qgis
