#include "platform/gdal/data/GdalEditor.h"

#include "platform/gdal/data/GdalError.h"

namespace drennow::gdalhost {

int32_t GdalEditor::EditState()
{
    return workspace_ ? host::kEditStateEditing : host::kEditStateNotEditing;
}

bool GdalEditor::HasEdits()
{
    return workspace_ && workspace_->HasEdits();
}

void GdalEditor::StartEditing(const host::Ref<host::IWorkspace>& workspace)
{
    if (workspace_) {
        RaiseHostError("An edit session is already running");
    }
    auto dataset = host::QueryInterface<GdalWorkspace>(workspace);
    if (!dataset) {
        RaiseHostError("Only datasets opened here can be edited");
    }
    dataset->StartEditing();
    workspace_ = dataset;
}

void GdalEditor::StopEditing(bool saveEdits)
{
    RequireSession();
    host::Ref<GdalWorkspace> workspace = std::move(workspace_);
    inOperation_ = false;
    workspace->StopEditing(saveEdits);
}

void GdalEditor::StartOperation()
{
    RequireSession();
    if (inOperation_) {
        RaiseHostError("An edit operation is already open");
    }
    inOperation_ = true;
}

void GdalEditor::StopOperation(const std::string&)
{
    if (!inOperation_) {
        RaiseHostError("No edit operation is open");
    }
    inOperation_ = false;
}

void GdalEditor::RequireSession() const
{
    if (!workspace_) {
        RaiseHostError("No edit session is running");
    }
}

}  // namespace drennow::gdalhost
