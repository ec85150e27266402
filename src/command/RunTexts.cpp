#include "command/RunTexts.h"

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

std::string CannotEdit(const std::string& layerName)
{
    return "Could Not Edit " + layerName;
}

std::string FinishedWithFailures(const std::string& logPath)
{
    return std::string(kFinished) + "\r\n\r\nSome IDs could not be determined.  See " + logPath + " for details.";
}

std::string ErrorReport(int32_t number, const std::string& description, const std::string& stageMarker)
{
    return ErrorReport(number, description) + "\r\n" + stageMarker;
}

std::string ErrorReport(int32_t number, const std::string& description)
{
    return "Error " + std::to_string(number) + ": " + description;
}

}  // namespace drennow::command::texts
