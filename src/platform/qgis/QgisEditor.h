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
//   no other, so a run on any of them closes the others (with the save
//   question) before it edits its layer; nothing when no layer is in edit mode.
// - The user's own edit mode on the run's layer (see RunLayer) is never
//   stopped: QGIS needs no other session closed to edit a layer or add a
//   field to it, so the run works inside it, and HasEdits and StopEditing
//   leave it out. The edit mode the run began is the run's: StopEditing
//   saves or discards it, and so does the end of the run.
// - HasEdits: a layer that StopEditing would end has changes not saved.
// - StartEditing puts the layers on the workspace's data source, that is the
//   chosen layer, into edit mode.
// - StopEditing commits (save) or rolls back every layer in edit mode but the
//   user's on the run's layer.
// - StartOperation opens one edit command on the undo stack of the run's
//   layer (of every layer in edit mode before the run read one);
//   StopOperation ends it under the given name, so one Undo takes the whole
//   operation back. Under a transaction group QGIS keeps no undo commands,
//   and the operation is then only a bracket. An operation completed in an
//   edit mode the run began saves it: the run then ends as with a temporary
//   session, also when another layer's session was open as it began.
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
    // After a run that did not finish: discards the edit mode the run began,
    // a field it added in it included. True when there was one.
    bool DiscardRunsEditing();

private:
    std::vector<QgsVectorLayer*> EditingLayers() const;
    // The layers StopEditing ends.
    std::vector<QgsVectorLayer*> StoppableLayers() const;
    std::vector<QgsVectorLayer*> OperationLayers() const;
    void EndEditing(const std::vector<QgsVectorLayer*>& layers, bool saveEdits);

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
