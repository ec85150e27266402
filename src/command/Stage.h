#pragma once

#include <cstdint>
#include <string>

namespace drennow::command {

// The step a run has reached, in the order the run takes them; the error
// report shows its marker, the number as text.
enum class Stage : int32_t {
    GetDocument = 1,      // the active document and its focus map
    PrepareLayerList,     // the layer-selection dialog
    AskLayer,             // filling and showing it
    FindLayer,            // the chosen layer, its feature class, the features to write
    AskPfafField,         // the Pfafstetter-field dialog
    AskLevel,             // checking the field, asking for the level
    AskPopulate,          // what NextDownID is to receive (and the identifier dialog)
    FindNextDownField,    // the identifier field checked, NextDownID and the editor found
    StartEditing,         // the edit session on the layer's workspace
    BuildCodes,           // the code array
    SortAndCollect,       // its sort and the ID collection
    AssignNextDown,       // NextDownID inside the edit operation
    Save,                 // the edit operation stopped, a temporary session saved
    Complete,             // the failure log and the closing message
};

inline constexpr int32_t kLastStage = static_cast<int32_t>(Stage::Complete);

// "1" to "14".
std::string MarkerOf(Stage stage);
// What the run does at the stage, for a host that explains an error report's
// marker.
std::string DescriptionOf(Stage stage);

}  // namespace drennow::command
