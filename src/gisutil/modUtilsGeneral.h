#pragma once

#include "host/Application.h"
#include "runtime/Collection.h"
#include "runtime/VariantArray.h"

#include <cstdint>
#include <string>

// General GIS and editing utilities: sorting and key lookup on the run's
// in-memory data, edit-session control, the row cursor and the document
// folder.
namespace drennow::modUtilsGeneral {

// Sorts elements 1..n in place: ascending when the flag is true, else
// descending. Numbers and numeric text compare by value; other text raises 13
// and an index outside the array raises 9, with exchanges already made kept.
void SortArray(runtime::VariantArray& values, const int32_t& count, const bool& ascending);

void SwapValues(runtime::Variant& first, runtime::Variant& second);

// The collection yields an item for the key. Never raises.
bool CollectionHasKey(const runtime::Collection& collection, const std::string& key);

// The part of a path before its last separator ("\" or "/"), keeping quotes
// around a quoted path. A path longer than 32767 characters raises 6.
std::string GetParentFolder(const std::string& path);

// Results of StartEditSession.
enum StartEditResult : int16_t {
    kStartFailed = 0,
    kEditingWorkspace = 1,
    kStartCancelled = 2,
};

// Results of StopEditSession.
enum StopEditResult : int16_t {
    kStopFailed = -1,
    kNotEditing = 1,
    kStopCancelled = 2,
};

// Makes the editor edit the workspace, closing a session on another
// workspace first (asking whether to save its pending edits). Never raises.
int16_t StartEditSession(const host::Ref<host::IWorkspace>& workspace);

// Ends whatever edit session the editor runs, asking whether to save pending
// edits. Never raises.
int16_t StopEditSession(const host::Ref<host::IApplication>& application);

// The save question: its prompt and title.
extern const char* const kSaveEditsPrompt;
extern const char* const kSaveEditsTitle;

// Opens a cursor over the table's selected rows, or over all rows when none
// is selected, with their count and whether the selection is used. An object
// that is neither a feature layer nor a stand-alone table leaves the outputs
// untouched. Host errors pass to the caller.
void GetRowCursor(const host::Ref<host::ITable>& table, host::Ref<host::ICursor>& cursor, int32_t& count,
                  bool& usesSelection);

// The open document's full path, or its folder when folderOnly is true; ""
// when it cannot be read. Never raises.
std::string GetDocumentPath(const host::Ref<host::IApplication>& application, bool folderOnly);

}  // namespace drennow::modUtilsGeneral
