#pragma once

#include "host/Data.h"

#include <string>

namespace drennow::host {

// An extension of the application, found by its identifier.
struct IExtension : virtual IUnknown {};

// The identifier of an extension: its ProgID text.
struct UID {
    std::string Value;
};

// The text that identifies the editor extension.
inline constexpr const char* kEditorProgId = "esriEditor.Editor";

enum EditState : int32_t {
    kEditStateNotEditing = 0,
    kEditStateEditing = 1,
};

// The editor: one edit session at a time, on one workspace, with undoable
// operations inside it.
struct IEditor : virtual IExtension {
    // 0 not editing, 1 editing; other values also mean a session is running.
    virtual int32_t EditState() = 0;
    virtual Ref<IWorkspace> EditWorkspace() = 0;
    virtual bool HasEdits() = 0;
    virtual void StartEditing(const Ref<IWorkspace>& workspace) = 0;
    virtual void StopEditing(bool saveEdits) = 0;
    virtual void StartOperation() = 0;
    virtual void StopOperation(const std::string& name) = 0;
};

}  // namespace drennow::host
