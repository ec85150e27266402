#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <string>
#include <vector>

// Statements the host runs on a PostgreSQL database beyond what GDAL's
// driver does, on the dataset's own connection: inside the transaction of
// an edit session while one is open.
namespace drennow::gdalhost::postgres {

// The first row a statement gives, each value as text ("" for a null);
// nothing when it gives none. Raises what was attempted with the server's
// message when the statement fails.
std::vector<std::string> FirstRow(GDALDataset& dataset, const std::string& sql, const std::string& attempted);

}  // namespace drennow::gdalhost::postgres
