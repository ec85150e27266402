#include "platform/qgis/QgisEditor.h"

#include "command/RunTexts.h"
#include "platform/qgis/HostError.h"

#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include <QCoreApplication>
#include <QUndoStack>

#include <algorithm>

namespace drennow::qgis {

std::vector<QgsVectorLayer*> QgisEditor::EditingLayers() const
{
    std::vector<QgsVectorLayer*> editing;
    for (QgsVectorLayer* layer : project_.layers<QgsVectorLayer*>()) {
        if (layer->isEditable()) {
            editing.push_back(layer);
        }
    }
    return editing;
}

int32_t QgisEditor::EditState()
{
    return EditingLayers().empty() ? host::kEditStateNotEditing : host::kEditStateEditing;
}

Ref<host::IWorkspace> QgisEditor::EditWorkspace()
{
    std::vector<QgsVectorLayer*> editing = EditingLayers();
    if (editing.empty()) {
        return nullptr;
    }
    const QString source = editing.front()->source();
    bool oneSource = std::all_of(editing.begin(), editing.end(),
                                 [&](QgsVectorLayer* layer) { return layer->source() == source; });
    if (!oneSource) {
        return std::make_shared<QgisWorkspace>(QString());
    }
    return workspaces_.ForSource(source);
}

std::vector<QgsVectorLayer*> QgisEditor::StoppableLayers() const
{
    const RunLayer& run = workspaces_.Run();
    std::vector<QgsVectorLayer*> layers = EditingLayers();
    layers.erase(std::remove_if(layers.begin(), layers.end(),
                                [&](QgsVectorLayer* layer) { return run.Holds(*layer) && !run.BeganEditing(*layer); }),
                 layers.end());
    return layers;
}

bool QgisEditor::HasEdits()
{
    std::vector<QgsVectorLayer*> stoppable = StoppableLayers();
    return std::any_of(stoppable.begin(), stoppable.end(), [](QgsVectorLayer* layer) { return layer->isModified(); });
}

void QgisEditor::StartEditing(const Ref<host::IWorkspace>& workspace)
{
    auto dataSource = host::QueryInterface<QgisWorkspace>(workspace);
    if (!dataSource) {
        RaiseHostError(QStringLiteral("Not a workspace of this project"));
    }
    workspaces_.Run().CheckPresent();
    bool started = false;
    for (QgsVectorLayer* layer : project_.layers<QgsVectorLayer*>()) {
        if (layer->source() != dataSource->DataSource()) {
            continue;
        }
        if (!layer->isEditable()) {
            if (!layer->startEditing()) {
                RaiseLayerError(*layer, QStringLiteral("Editing could not start"),
                                layer->supportsEditing() ? QStringList()
                                                         : QStringList{QStringLiteral("the layer is read-only")});
            }
            workspaces_.Run().NoteEditingBegun(*layer);
        }
        started = true;
    }
    if (!started) {
        RaiseHostError(QStringLiteral("No layer of the project uses %1").arg(dataSource->DataSource()));
    }
}

void QgisEditor::EndEditing(const std::vector<QgsVectorLayer*>& layers, bool saveEdits)
{
    if (saveEdits && !layers.empty()) {
        // A save blocks the window for seconds on large layers: it shows what
        // is pending (the run's "Finishing" message) before, not after.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    for (QgsVectorLayer* layer : layers) {
        if (saveEdits ? !layer->commitChanges() : !layer->rollBack()) {
            RaiseLayerError(*layer,
                            saveEdits ? QStringLiteral("The edits could not be saved")
                                      : QStringLiteral("The edits could not be discarded"),
                            layer->commitErrors());
        }
        workspaces_.Run().NoteEditingEnded(*layer);
    }
}

void QgisEditor::StopEditing(bool saveEdits)
{
    EndEditing(StoppableLayers(), saveEdits);
}

bool QgisEditor::DiscardRunsEditing()
{
    std::vector<QgsVectorLayer*> begun = workspaces_.Run().BegunAndEditing();
    EndEditing(begun, false);
    return !begun.empty();
}

std::vector<QgsVectorLayer*> QgisEditor::OperationLayers() const
{
    const RunLayer& run = workspaces_.Run();
    std::vector<QgsVectorLayer*> layers = EditingLayers();
    if (run.IsKnown()) {
        layers.erase(std::remove_if(layers.begin(), layers.end(), [&](QgsVectorLayer* layer) { return !run.Holds(*layer); }),
                     layers.end());
    }
    return layers;
}

void QgisEditor::StartOperation()
{
    if (HasOpenOperation()) {
        RaiseHostError(QStringLiteral("An edit operation is already open"));
    }
    workspaces_.Run().CheckPresent();
    std::vector<QgsVectorLayer*> editing = OperationLayers();
    if (editing.empty()) {
        RaiseHostError(workspaces_.Run().IsKnown()
                           ? QStringLiteral("The layer %1 left edit mode before the run could write it (a plugin or "
                                            "script ended its editing); nothing was written. Run again.")
                                 .arg(workspaces_.Run().Name())
                           : QStringLiteral("No layer is in edit mode"));
    }
    for (QgsVectorLayer* layer : editing) {
        layer->beginEditCommand(QString::fromLatin1(kOpenOperationName));
        // An open command already sits in the stack at its current index.
        QUndoStack* stack = layer->undoStack();
        operationLayers_.push_back({layer, stack ? stack->command(stack->index()) : nullptr});
    }
}

void QgisEditor::StopOperation(const std::string& name)
{
    if (!HasOpenOperation()) {
        RaiseHostError(QStringLiteral("No edit operation is open"));
    }
    for (const OpenCommand& open : operationLayers_) {
        QgsVectorLayer* layer = open.layer;
        if (!layer || !layer->isEditable()) {
            continue;
        }
        layer->endEditCommand();
        // The name is only known now; the stack hands out its commands as
        // const, though they are its own to rename.
        QUndoStack* stack = layer->undoStack();
        if (open.command && stack && stack->index() > 0 && stack->command(stack->index() - 1) == open.command) {
            const_cast<QUndoCommand*>(open.command)->setText(QString::fromStdString(name));
        }
    }
    operationLayers_.clear();
    if (name == command::texts::kCompletedOperation) {
        workspaces_.Run().CheckPresent();
        EndEditing(workspaces_.Run().BegunAndEditing(), true);
    }
}

void QgisEditor::EndOpenOperation()
{
    if (HasOpenOperation()) {
        StopOperation(kOpenOperationName);
    }
}

}  // namespace drennow::qgis
