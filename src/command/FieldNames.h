#pragma once

#include <array>

// The names the run looks for among a layer's fields: the field it writes,
// and the names its Pfafstetter question prefers, best first. Other surfaces
// that choose these fields (the Processing algorithm) take them from here.
namespace drennow::command {

inline constexpr const char* kNextDownFieldName = "NextDownID";
inline constexpr std::array<const char*, 8> kPfafFieldNames = {
    "Pfafstetter", "PfafstetterID", "Level1", "Level2", "Level3", "Level4", "Level5", "Level6"};

}  // namespace drennow::command
