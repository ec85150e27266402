#pragma once

#include "runtime/Variant.h"

#include <ogr_feature.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <cstdint>
#include <string>

// Field types and values between OGR and the host boundary.
namespace drennow::gdalhost {

// The host's type of an OGR attribute field: 32- and 64-bit integers are
// long integers, 16-bit ones small integers.
int32_t HostFieldType(const OGRFieldDefn& field);

struct OgrFieldKind {
    OGRFieldType type;
    OGRFieldSubType subType;
};

// The OGR type of a field to be added of the host type; raises for types
// that are not added.
OgrFieldKind OgrFieldFor(int32_t hostType);

// The value of an attribute as a general value: null when unset or null.
runtime::Variant ReadField(const OGRFeature& feature, int ogrIndex);

// Whether a GeoPackage column of the field's type is read straight from the
// database: integers, reals and text.
bool ReadableAsColumn(const OGRFieldDefn& field);

// The value of a result column of a GeoPackage statement as ReadField gives
// it for the feature GDAL's GeoPackage driver reads from the same column.
runtime::Variant ReadColumn(sqlite3_stmt* statement, int column, const OGRFieldDefn& field);

// Converts the value to the field's type and sets it; raises the runtime's
// conversion errors (13, 94, 6) for values the type cannot hold.
void WriteField(OGRFeature& feature, int ogrIndex, const runtime::Variant& value);

// Whether the field stores the integer as it is: a real rounds integers
// beyond its precision, and a database's numeric of a given number of
// digits holds no more (declaredWidths: those of a database, where a
// single-precision real is stored as such too).
bool HoldsExactly(const OGRFieldDefn& field, int64_t value, bool declaredWidths);

// A count as a 32-bit number; larger ones raise the overflow error.
int32_t ObjectId(int64_t count);

// A feature id of the layer as a 32-bit object id; a larger one raises the
// overflow error, naming the feature and its id column.
int32_t FeatureObjectId(OGRLayer& layer, int64_t fid);

}  // namespace drennow::gdalhost
