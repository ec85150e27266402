#include "command/RunTexts.h"

#include <cstdio>

namespace drennow::command::texts {

std::string LayerNotFound(const std::string& layerName)
{
    return "The layer called " + layerName + " was not found in the map";
}

std::string FeatureClassMissing(const std::string& layerName)
{
    return "Feature class missing for " + layerName;
}

std::string FieldNotFound(const std::string& fieldName)
{
    return "The field called " + fieldName + " was not found in the layer";
}

std::string LevelPrompt(int16_t highestLevel)
{
    return "Input Pfafstetter Level (1-" + std::to_string(highestLevel) + ")";
}

std::string InvalidLevel(int16_t highestLevel)
{
    return "Invalid Level.  Level must be 1 through " + std::to_string(highestLevel) + ".";
}

std::string CannotEdit(const std::string& layerName)
{
    return "Could Not Edit " + layerName;
}

std::string NextDownCannotHold(int32_t objectId, const std::string& value)
{
    return "Overflow: the NextDownID field of feature " + std::to_string(objectId) + " cannot hold " + value +
           "; remove the field, or widen it to a 64-bit integer, and run again";
}

namespace {

std::string WhatToDo(const std::string& error, bool int64)
{
    if (error != "Overflow") {
        return "";
    }
    return int64 ? "; codes and identifiers have at most 19 digits"
                 : "; beyond the 32-bit range: run with 64-bit codes and identifiers (--int64 on the command line, "
                   "INT64 in Processing, int64=True in Python)";
}

}  // namespace

std::string CodeDoesNotConvert(const std::string& error, int32_t objectId, const std::string& field,
                               const std::string& value, bool int64)
{
    return error + ": feature " + std::to_string(objectId) + " has " + value + " in " + field +
           ", which is not a whole number of the codes' range" + WhatToDo(error, int64);
}

std::string DownstreamIdDoesNotConvert(const std::string& error, int32_t objectId, const std::string& field,
                                       const std::string& value, bool int64)
{
    return error + ": feature " + std::to_string(objectId) + " drains into a basin whose " + field + " is " + value +
           ", which is not a whole number of the identifiers' range" + WhatToDo(error, int64);
}

std::string FinishedWithFailures(const std::string& logPath)
{
    return std::string(kFinished) + "\r\n\r\nSome IDs could not be determined.  See " + logPath + " for details.";
}

std::string ErrorReport(int32_t number, const std::string& description, const std::string& stageMarker)
{
    return ErrorReport(number, description) + "\r\n" + stageMarker;
}

std::string SavedWithoutLog(const std::vector<std::string>& logPaths)
{
    std::string names;
    for (const std::string& path : logPaths) {
        names += (names.empty() ? "" : " and ") + path;
    }
    return "\r\n\r\nThe edits were saved, but " + names + (logPaths.size() == 1 ? " was" : " were") +
           " not written.";
}

std::string ComparisonLogHeading(const std::string& field)
{
    return "Features whose NextDownID disagrees with " + field + ".\r\nObjectID\tNextDownID\t" + field + "\r\n";
}

std::string AgreementLine(const std::string& field, int64_t agreeing, int64_t compared)
{
    char share[32] = "";
    if (compared > 0) {
        std::snprintf(share, sizeof share, " (%.1f %%)", 100.0 * static_cast<double>(agreeing) / compared);
    }
    return "Agreement with " + field + ": " + std::to_string(agreeing) + " of " + std::to_string(compared) +
           " basins" + share;
}

std::string ErrorReport(int32_t number, const std::string& description)
{
    return "Error " + std::to_string(number) + ": " + description;
}

}  // namespace drennow::command::texts
