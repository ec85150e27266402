#include "platform/memory/MemoryGis.h"

#include "runtime/Error.h"

namespace drennow::memory {

namespace {

constexpr int32_t kNotEditable = -2147217151;
constexpr int32_t kEditorMisuse = -2147220990;

[[noreturn]] void Fail(int32_t number, const std::string& description)
{
    throw runtime::Error(number, description);
}

}  // namespace

int32_t Editor::EditState()
{
    faults_->Hit("IEditor.EditState");
    return state_;
}

Ref<host::IWorkspace> Editor::EditWorkspace()
{
    faults_->Hit("IEditor.EditWorkspace");
    return workspace_;
}

bool Editor::HasEdits()
{
    faults_->Hit("IEditor.HasEdits");
    return edited_;
}

void Editor::StartEditing(const Ref<host::IWorkspace>& workspace)
{
    faults_->Hit("IEditor.StartEditing");
    auto target = std::dynamic_pointer_cast<Workspace>(workspace);
    if (!target) {
        Fail(kEditorMisuse, "No workspace to edit");
    }
    if (state_ != host::kEditStateNotEditing) {
        Fail(kEditorMisuse, "The editor is already editing");
    }
    if (target->readOnly) {
        Fail(kNotEditable, "The workspace " + target->name + " cannot be edited");
    }
    workspace_ = target;
    state_ = runningState;
    edited_ = false;
    sessionStart_ = Take();
}

void Editor::StopEditing(bool saveEdits)
{
    faults_->Hit("IEditor.StopEditing");
    if (state_ == host::kEditStateNotEditing) {
        Fail(kEditorMisuse, "The editor is not editing");
    }
    if (operationOpen_) {
        Restore(operationStart_);  // an open operation is aborted
        operationOpen_ = false;
    }
    if (!saveEdits) {
        Restore(sessionStart_);
    }
    sessionLog.push_back((saveEdits ? "saved " : "discarded ") + workspace_->name);
    state_ = host::kEditStateNotEditing;
    workspace_ = nullptr;
    edited_ = false;
    sessionStart_.clear();
    undo_.clear();
    if (afterStopEditing) {
        afterStopEditing();
    }
}

void Editor::StartOperation()
{
    faults_->Hit("IEditor.StartOperation");
    if (state_ == host::kEditStateNotEditing || operationOpen_) {
        Fail(kEditorMisuse, "An operation cannot be started now");
    }
    operationStart_ = Take();
    operationOpen_ = true;
}

void Editor::StopOperation(const std::string& name)
{
    faults_->Hit("IEditor.StopOperation");
    if (!operationOpen_) {
        Fail(kEditorMisuse, "No operation is open");
    }
    undo_.push_back({name, std::move(operationStart_)});
    operationStart_.clear();
    operationOpen_ = false;
}

void Editor::Undo()
{
    if (undo_.empty() || operationOpen_) {
        Fail(kEditorMisuse, "Nothing to undo");
    }
    Restore(undo_.back().before);
    undo_.pop_back();
}

void Editor::RecordStore(Workspace& workspace)
{
    if (IsEditing(workspace)) {
        edited_ = true;
    } else {
        ++workspace.storesOutsideSession;
    }
}

std::vector<std::string> Editor::UndoNames() const
{
    std::vector<std::string> names;
    for (const Operation& operation : undo_) {
        names.push_back(operation.name);
    }
    return names;
}

Editor::Snapshot Editor::Take() const
{
    Snapshot snapshot;
    for (const auto& table : workspace_->tables) {
        snapshot.emplace_back(table, *table);
    }
    return snapshot;
}

void Editor::Restore(const Snapshot& snapshot)
{
    for (const auto& [table, state] : snapshot) {
        *table = state;
    }
}

StatusBar::StatusBar(std::shared_ptr<FaultPlan> faults) : faults_(std::move(faults)) {}

void StatusBar::Message(int32_t pane, const std::string& text)
{
    faults_->Hit("IStatusBar.Message");
    calls.push_back("Status " + std::to_string(pane) + " " + text);
}

}  // namespace drennow::memory
