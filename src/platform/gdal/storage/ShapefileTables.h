#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <string>
#include <vector>

namespace drennow::gdalhost {

// The attribute tables (.dbf files) among the Shapefile dataset's files,
// as the files that edits change (see EditedFile): where a name is a link,
// the file it leads to.
std::vector<std::string> AttributeTables(GDALDataset& dataset);

// The attribute table of a layer of the dataset, as the file that edits
// change: the .dbf whose name without extension is the layer's, or the
// only one.
std::string AttributeTablePath(GDALDataset& dataset, OGRLayer& layer);

// The rows a reading of the layer without a filter gives: GDAL skips the
// records of a Shapefile flagged as deleted, which its count includes.
GIntBig ShapefileRowCount(GDALDataset& dataset, OGRLayer& layer);

// Adds the field to the layer's attribute table all or nothing (see
// AddDbfField), stored as GDAL stores it when it adds a field: GDAL sees it
// once it opens the dataset afresh. Numeric and text fields only.
void AddShapefileField(GDALDataset& dataset, OGRLayer& layer, const OGRFieldDefn& field);

}  // namespace drennow::gdalhost
