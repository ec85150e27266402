#pragma once

#include <ogrsf_frmts.h>

#include <string>
#include <vector>

// Pieces of SQL statements built from OGR names.
namespace drennow::gdalhost {

// "name" with inner double quotes doubled.
std::string QuoteIdentifier(const std::string& name);

// 'text' with inner single quotes doubled.
std::string QuoteLiteral(const std::string& text);

// The layer's table, quoted; a "schema.table" layer name gives both parts.
std::string QuotedTable(OGRLayer& layer, bool schemaQualified);

// The column that holds the feature ids, quoted; raises when the layer has
// none.
std::string QuotedFidColumn(OGRLayer& layer, const char* implicitRowId);

// Selects the id and those fields of every row of a GeoPackage or SQLite
// layer in id order, which is the order GDAL reads the table in; with
// afterAnId, of the rows whose ids are above the statement's parameter.
std::string SelectInIdOrder(OGRLayer& layer, const std::vector<int>& fields, bool afterAnId);

}  // namespace drennow::gdalhost
