#pragma once
// Every text a network run shows: its refusals, notes, progress and closing
// lines. Hosts and tests refer to these.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace drennow::networkrun::texts {

// Refusals of the layer and of fields, before anything changes.
inline constexpr const char* kNoFeatureLayer = "the map has no feature layer";
std::string LayerNotFound(const std::string& layer, const std::vector<std::string>& layers);
std::string SeveralLayers(const std::vector<std::string>& layers);
inline constexpr const char* kNoFeatures = "the layer has no feature";
std::string FieldNotFound(const char* option, const std::string& field, const std::string& layer,
                          const std::vector<std::string>& fields);
std::string FieldAmbiguous(const char* option, const std::string& field, const std::string& layer,
                           const std::vector<std::string>& matching);
std::string TextValueField(const char* option, const std::string& field);
std::string NotANumber(const char* option, const std::string& field, int32_t objectId, const std::string& value);
std::string DestinationIsRead(const char* option, const std::string& field);
std::string DestinationTwice(const std::string& field);
std::string DestinationType(const char* option, const std::string& field, const char* typeName, const char* holds);
std::string DestinationRange(const char* option, const std::string& field, const char* typeName,
                             const std::string& value, int32_t objectId);
std::string NoQueriedFeature(const char* option, const std::string& layer);

// Checks of the editor.
inline constexpr const char* kSessionOpen = "an edit session is open already; the run edits in one of its own";
std::string FieldNotAdded(const std::string& field);

// What the values of a measure are, for a refusal of the field to hold them.
inline constexpr const char* kRealValues = "real numbers";
inline constexpr const char* kWholeValues = "whole numbers";

// A note on ids of no feature; the run goes on with the others.
std::string IdsOfNoFeature(const char* option, size_t missing, const std::string& layer, size_t found);

// Progress.
inline constexpr const char* kReadingBasins = "Reading basins";
inline constexpr const char* kBuildingNetwork = "Building the network";
inline constexpr const char* kWritingFields = "Writing fields";
inline constexpr const char* kSaving = "Saving the fields (please wait)";
inline constexpr const char* kOperationName = "network";

// The closing lines.
std::string FieldsWritten(const std::vector<std::string>& fields, size_t written, size_t basins, size_t outlets);
std::string OnCycles(size_t basins, const std::vector<int32_t>& firstIds);
std::string CodesNotConverting(size_t basins, const std::vector<int32_t>& firstIds, bool identifiers);
std::string RepeatedIdentifiers(size_t basins);
std::string FeaturesFound(size_t found, size_t basins);
std::string FeaturesCopied(size_t found, size_t basins, const std::string& file);

}  // namespace drennow::networkrun::texts
