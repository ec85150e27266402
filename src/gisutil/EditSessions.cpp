#include "gisutil/modUtilsGeneral.h"

#include "host/modGlobals.h"
#include "runtime/Error.h"

namespace drennow::modUtilsGeneral {

const char* const kSaveEditsPrompt =
    "There are pending edits in another workspace.  Do you wish to save edits?\r\n"
    "\r\n"
    "Yes - Save the edits\r\n"
    "No - Cancel all the edits\r\n"
    "Cancel - Exit and do nothing\r\n";
const char* const kSaveEditsTitle = "Save Edits?";

namespace {

// The editor is looked up afresh on every call; nothing is cached.
host::Ref<host::IEditor> FindEditor(const host::Ref<host::IApplication>& application)
{
    host::UID id{host::kEditorProgId};
    return host::QueryInterface<host::IEditor>(runtime::Deref(application).FindExtensionByCLSID(id));
}

enum class SaveAnswer { Save, Discard, Cancel };

SaveAnswer AskToSave(const host::Ref<host::IApplication>& application)
{
    auto& ui = runtime::Deref(runtime::Deref(application).UserInterface());
    switch (ui.MessageBox(host::Prompt::SaveEdits, kSaveEditsPrompt, host::MessageButtons::YesNoCancel, host::DefaultButton::First,
                          kSaveEditsTitle)) {
    case host::kAnswerYes:
        return SaveAnswer::Save;
    case host::kAnswerNo:
        return SaveAnswer::Discard;
    default:
        return SaveAnswer::Cancel;
    }
}

// Stops the running session, asking first when it holds edits. False when
// the user cancelled and nothing was stopped.
bool StopRunningSession(const host::Ref<host::IApplication>& application, host::IEditor& editor)
{
    if (!editor.HasEdits()) {
        editor.StopEditing(false);
        return true;
    }
    SaveAnswer answer = AskToSave(application);
    if (answer == SaveAnswer::Cancel) {
        return false;
    }
    editor.StopEditing(answer == SaveAnswer::Save);
    return true;
}

}  // namespace

int16_t StartEditSession(const host::Ref<host::IWorkspace>& workspace)
{
    try {
        const auto& application = modGlobals::g_pApp;
        host::Ref<host::IEditor> editorRef = FindEditor(application);
        host::IEditor& editor = runtime::Deref(editorRef);
        if (editor.EditState() != host::kEditStateNotEditing) {
            if (editor.EditWorkspace() == workspace) {
                return kEditingWorkspace;
            }
            if (!StopRunningSession(application, editor)) {
                return kStartCancelled;
            }
        }
        editor.StartEditing(workspace);
        return editor.EditState() == host::kEditStateEditing ? kEditingWorkspace : kStartFailed;
    } catch (const host::ConnectionLost&) {
        throw;
    } catch (const std::exception&) {
        return kStartFailed;
    }
}

int16_t StopEditSession(const host::Ref<host::IApplication>& application)
{
    try {
        host::Ref<host::IEditor> editorRef = FindEditor(application);
        host::IEditor& editor = runtime::Deref(editorRef);
        if (editor.EditState() == host::kEditStateNotEditing) {
            return kNotEditing;
        }
        return StopRunningSession(application, editor) ? kNotEditing : kStopCancelled;
    } catch (const host::ConnectionLost&) {
        throw;
    } catch (const std::exception&) {
        return kStopFailed;
    }
}

}  // namespace drennow::modUtilsGeneral
