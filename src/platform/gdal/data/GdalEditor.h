#pragma once

#include "host/Editor.h"
#include "platform/gdal/data/GdalWorkspace.h"

namespace drennow::gdalhost {

// The editor: one session at a time on one dataset. Operations group edits
// only by name; the dataset's session is what makes them all-or-nothing.
class GdalEditor : public host::IEditor {
public:
    int32_t EditState() override;
    host::Ref<host::IWorkspace> EditWorkspace() override { return workspace_; }
    bool HasEdits() override;
    void StartEditing(const host::Ref<host::IWorkspace>& workspace) override;
    void StopEditing(bool saveEdits) override;
    void StartOperation() override;
    void StopOperation(const std::string& name) override;

private:
    void RequireSession() const;

    host::Ref<GdalWorkspace> workspace_;
    bool inOperation_ = false;
};

}  // namespace drennow::gdalhost
