#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <string>
#include <vector>

namespace drennow::gdalhost {

// The attribute tables (.dbf files) among the Shapefile dataset's files.
std::vector<std::string> AttributeTables(GDALDataset& dataset);

// The attribute table of a layer of the dataset: the .dbf whose name
// without extension is the layer's, or the only one.
std::string AttributeTablePath(GDALDataset& dataset, OGRLayer& layer);

}  // namespace drennow::gdalhost
