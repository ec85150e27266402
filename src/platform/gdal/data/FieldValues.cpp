#include "platform/gdal/data/FieldValues.h"

#include "host/Data.h"
#include "platform/gdal/data/GdalError.h"
#include "runtime/Error.h"

#include <cmath>
#include <limits>

namespace drennow::gdalhost {

int32_t HostFieldType(const OGRFieldDefn& field)
{
    switch (field.GetType()) {
    case OFTInteger:
        return field.GetSubType() == OFSTInt16 || field.GetSubType() == OFSTBoolean ? host::kFieldTypeSmallInteger
                                                                                     : host::kFieldTypeLongInteger;
    case OFTInteger64:
        return host::kFieldTypeLongInteger;
    case OFTReal:
        return field.GetSubType() == OFSTFloat32 ? host::kFieldTypeSingle : host::kFieldTypeDouble;
    case OFTDate:
    case OFTTime:
    case OFTDateTime:
        return host::kFieldTypeDate;
    case OFTBinary:
        return host::kFieldTypeBlob;
    default:
        return host::kFieldTypeString;
    }
}

OgrFieldKind OgrFieldFor(int32_t hostType)
{
    switch (hostType) {
    case host::kFieldTypeSmallInteger:
        return {OFTInteger, OFSTInt16};
    case host::kFieldTypeLongInteger:
        return {OFTInteger, OFSTNone};
    case host::kFieldTypeBigInteger:
        return {OFTInteger64, OFSTNone};
    case host::kFieldTypeSingle:
        return {OFTReal, OFSTFloat32};
    case host::kFieldTypeDouble:
        return {OFTReal, OFSTNone};
    case host::kFieldTypeString:
        return {OFTString, OFSTNone};
    default:
        RaiseHostError("Fields of type " + std::to_string(hostType) + " cannot be added");
    }
}

runtime::Variant ReadField(const OGRFeature& feature, int ogrIndex)
{
    if (!feature.IsFieldSetAndNotNull(ogrIndex)) {
        return runtime::Variant::Null();
    }
    const OGRFieldDefn& field = *feature.GetFieldDefnRef(ogrIndex);
    switch (field.GetType()) {
    case OFTInteger:
        if (field.GetSubType() == OFSTInt16 || field.GetSubType() == OFSTBoolean) {
            return static_cast<int16_t>(feature.GetFieldAsInteger(ogrIndex));
        }
        return static_cast<int32_t>(feature.GetFieldAsInteger(ogrIndex));
    case OFTInteger64:
        return static_cast<int64_t>(feature.GetFieldAsInteger64(ogrIndex));
    case OFTReal:
        return feature.GetFieldAsDouble(ogrIndex);
    default:
        return std::string(feature.GetFieldAsString(ogrIndex));
    }
}

bool ReadableAsColumn(const OGRFieldDefn& field)
{
    switch (field.GetType()) {
    case OFTInteger:
    case OFTInteger64:
    case OFTReal:
    case OFTString:
        return true;
    default:
        return false;
    }
}

runtime::Variant ReadColumn(sqlite3_stmt* statement, int column, const OGRFieldDefn& field)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
        return runtime::Variant::Null();
    }
    switch (field.GetType()) {
    case OFTInteger:
        // The driver keeps the low 32 bits of a larger stored integer.
        if (field.GetSubType() == OFSTInt16 || field.GetSubType() == OFSTBoolean) {
            return static_cast<int16_t>(sqlite3_column_int(statement, column));
        }
        return static_cast<int32_t>(sqlite3_column_int(statement, column));
    case OFTInteger64:
        return static_cast<int64_t>(sqlite3_column_int64(statement, column));
    case OFTReal:
        return sqlite3_column_double(statement, column);
    case OFTString:
        // Up to a first NUL, as the driver copies it.
        return std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
    default:
        RaiseHostError(std::string("The field ") + field.GetNameRef() + " is not read as a column");
    }
}

void WriteField(OGRFeature& feature, int ogrIndex, const runtime::Variant& value)
{
    if (value.IsNull()) {
        feature.SetFieldNull(ogrIndex);
        return;
    }
    const OGRFieldDefn& field = *feature.GetFieldDefnRef(ogrIndex);
    switch (field.GetType()) {
    case OFTInteger:
        if (field.GetSubType() == OFSTInt16 || field.GetSubType() == OFSTBoolean) {
            feature.SetField(ogrIndex, runtime::ToInteger(value));
        } else {
            feature.SetField(ogrIndex, runtime::ToLong(value));
        }
        return;
    case OFTInteger64:
        feature.SetField(ogrIndex, static_cast<GIntBig>(runtime::ToLongLong(value)));
        return;
    case OFTReal:
        feature.SetField(ogrIndex, runtime::ToDouble(value));
        return;
    case OFTString:
        feature.SetField(ogrIndex, runtime::ToText(value).c_str());
        return;
    default:
        runtime::Raise(runtime::kTypeMismatch);
    }
}

bool HoldsExactly(const OGRFieldDefn& field, int64_t value, bool declaredWidths)
{
    int digits = static_cast<int>(std::to_string(value < 0 ? -(value + 1) : value).size());
    switch (field.GetType()) {
    case OFTInteger:
    case OFTInteger64:
        return !declaredWidths || field.GetSubType() != OFSTNone || field.GetWidth() == 0 ||
               digits <= field.GetWidth();
    case OFTReal: {
        if (declaredWidths && field.GetWidth() > 0 && digits > field.GetWidth() - field.GetPrecision()) {
            return false;
        }
        double real = static_cast<double>(value);
        if (declaredWidths && field.GetSubType() == OFSTFloat32 && static_cast<double>(static_cast<float>(real)) != real) {
            return false;
        }
        // 2^63 itself is no int64: the cast below is only taken within range.
        return real < 9223372036854775808.0 && static_cast<int64_t>(real) == value;
    }
    default:
        return true;
    }
}

int32_t ObjectId(int64_t count)
{
    if (count < std::numeric_limits<int32_t>::min() || count > std::numeric_limits<int32_t>::max()) {
        runtime::Raise(runtime::kOverflow);
    }
    return static_cast<int32_t>(count);
}

int32_t FeatureObjectId(OGRLayer& layer, int64_t fid)
{
    if (fid < std::numeric_limits<int32_t>::min() || fid > std::numeric_limits<int32_t>::max()) {
        const char* column = layer.GetFIDColumn();
        throw runtime::Error(
            runtime::kOverflow,
            "Overflow: feature " + std::to_string(fid) + " of " + layer.GetName() + ": its id" +
                (column[0] != '\0' ? std::string(" (the field ") + column + ")" : "") +
                " is beyond the 32-bit object ids (up to 2147483647) by which the run and its log name features, "
                "with --int64 too; give the rows ids within that range (a new serial column as the primary key, "
                "say)");
    }
    return static_cast<int32_t>(fid);
}

}  // namespace drennow::gdalhost
