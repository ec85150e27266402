#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Every text the run shows: titles, questions, list labels, messages,
// progress and the failure log. Hosts and tests refer to these; a host
// recognises a question by its identity (host::Prompt), never by its words.
namespace drennow::command::texts {

inline constexpr const char* kTitle = "Drennow";

// Questions.
inline constexpr const char* kTrailingZerosQuestion =
    "Zeros at the end of Pfafstetter numbers usually indicate an \r\n"
    "internal basin.  However, some datasets, such as EDNA \r\n"
    "catchments, do have trailing zeros in the Pfafstetter \r\n"
    "numbers and do indicate internal basins.\r\n"
    "\r\n"
    "Allow trailing zeros during NextDownID determination?\r\n"
    "(Click Yes if using EDNA data)";
inline constexpr const char* kLayerLabel = "Select Watershed Layer";
inline constexpr const char* kPfafFieldLabel = "Select Pfafstetter ID Field";
// Codes have at most this many digits: 32-bit ones, and 64-bit ones.
inline constexpr int16_t kHighestLevel = 9;
inline constexpr int16_t kHighestLevel64 = 19;
std::string LevelPrompt(int16_t highestLevel);
inline constexpr const char* kPopulateQuestion = "Populate NextDownID with downstream Pfafstetter ID?";
inline constexpr const char* kIdFieldLabel = "Select ID field (for populating NextDownID)";

// Checks that end the run.
std::string LayerNotFound(const std::string& layerName);
std::string FeatureClassMissing(const std::string& layerName);
inline constexpr const char* kNoFeatures = "No features found";
std::string FieldNotFound(const std::string& fieldName);
std::string InvalidLevel(int16_t highestLevel);
inline constexpr const char* kNoEditor = "Could not find Editor";
inline constexpr const char* kCannotStopEditing = "Could not stop editing";
std::string CannotEdit(const std::string& layerName);
// A code, or the identifier of the basin a feature drains into, that does not
// convert; the conversion error's own text first.
std::string CodeDoesNotConvert(const std::string& error, int32_t objectId, const std::string& field,
                               const std::string& value, bool int64);
std::string DownstreamIdDoesNotConvert(const std::string& error, int32_t objectId, const std::string& field,
                                       const std::string& value, bool int64);
// A value for a NextDownID field too narrow for it.
std::string NextDownCannotHold(int32_t objectId, const std::string& value);

// Progress and the status bar.
inline constexpr const char* kBuildingCodes = "Building Pfafstetter array";
inline constexpr const char* kFindingNextDown = "Finding NextDownID";
inline constexpr const char* kFinishing = "Finishing Edit Operation (please wait)";
inline constexpr const char* kClosingTemporarySession = "Closing temporary edit session, please wait";

// Edit operations.
inline constexpr const char* kCompletedOperation = "nextdownid";
inline constexpr const char* kCancelledOperation = "Drennow";

// The end of the run.
inline constexpr const char* kFinished = "Finished with NextDownID Determination";
std::string FinishedWithFailures(const std::string& logPath);
std::string ErrorReport(int32_t number, const std::string& description, const std::string& stageMarker);
// Follows the error report when the edits were saved but these logs could
// not be written.
std::string SavedWithoutLog(const std::vector<std::string>& logPaths);
// Outside any run: no stage to name.
std::string ErrorReport(int32_t number, const std::string& description);

// The comparison with an existing field, and its log beside the failure log.
inline constexpr const char* kComparisonLogName = "Drennow-compare.log";
std::string ComparisonLogHeading(const std::string& field);
std::string AgreementLine(const std::string& field, int64_t agreeing, int64_t compared);

// The failure log.
inline constexpr const char* kLogName = "Drennow.log";
inline constexpr const char* kLogTitle =
    "Following is a list of ObjectIDs for areas for which downstream ID could not be determined.";
// The titles of a failure's three parts: its object id, code and description.
inline constexpr std::array<const char*, 3> kLogColumns{"ObjectID", "Code", "Description"};
// The title line and the column titles, each ended by CR LF.
inline const std::string kLogHeading = std::string(kLogTitle) + "\r\n" + kLogColumns[0] + "\t" + kLogColumns[1] +
                                       "\t" + kLogColumns[2] + "\r\n";

}  // namespace drennow::command::texts
