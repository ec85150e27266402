#include "command/Stage.h"

#include <array>

namespace drennow::command {

std::string MarkerOf(Stage stage)
{
    return std::to_string(static_cast<int32_t>(stage));
}

std::string DescriptionOf(Stage stage)
{
    static const std::array<const char*, kLastStage> kDescriptions{
        "getting the document and its map",
        "preparing the layer list",
        "asking for the layer",
        "finding the layer and the features to write",
        "asking for the Pfafstetter field",
        "checking the field and asking for the level",
        "asking what NextDownID is to receive",
        "checking the identifier field, finding NextDownID and the editor",
        "starting the edit session",
        "reading the codes",
        "sorting the codes and reading the identifiers",
        "writing NextDownID",
        "saving the edits",
        "writing the failure log",
    };
    return kDescriptions.at(static_cast<size_t>(static_cast<int32_t>(stage) - 1));
}

}  // namespace drennow::command
