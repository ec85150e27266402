#pragma once
// Features of a layer copied, with every attribute and their geometry, into
// a new dataset of the format its file's extension names.

#include <cstdint>
#include <string>
#include <vector>

namespace drennow::gdalhost {

// Why the file cannot be written as a new dataset (it exists, or no format
// takes its extension); empty when it can.
std::string UnwritableOutput(const std::string& file);

// Copies the features of those ids of the dataset's layer to the new file;
// raises runtime::Error, having removed what it made, when it cannot.
void CopyFeatures(const std::string& dataset, const std::string& layer, const std::vector<int32_t>& fids,
                  const std::string& file);

}  // namespace drennow::gdalhost
