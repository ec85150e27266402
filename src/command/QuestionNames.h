#pragma once

#include <string>
#include <vector>

// The names the run looks for in its lists, best first, and the field it
// writes. Every surface that chooses a layer or field by name refers to these.
namespace drennow::command::names {

constexpr const char* kNextDownField = "NextDownID";

inline const std::vector<std::string> kWatershedLayers{"Watershed", "Catchment"};
inline const std::vector<std::string> kPfafFields{"Pfafstetter", "PfafstetterID", "Level1", "Level2",
                                                  "Level3",      "Level4",        "Level5", "Level6"};
inline const std::vector<std::string> kIdFields{"ID", "HydroID"};

}  // namespace drennow::command::names
