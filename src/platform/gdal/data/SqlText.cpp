#include "platform/gdal/data/SqlText.h"

#include "platform/gdal/data/GdalError.h"

namespace drennow::gdalhost {

namespace {

std::string Quoted(const std::string& text, char quote)
{
    std::string quoted(1, quote);
    for (char c : text) {
        quoted += c;
        if (c == quote) {
            quoted += quote;
        }
    }
    return quoted + quote;
}

}  // namespace

std::string QuoteIdentifier(const std::string& name)
{
    return Quoted(name, '"');
}

std::string QuoteLiteral(const std::string& text)
{
    return Quoted(text, '\'');
}

std::string QuotedTable(OGRLayer& layer, bool schemaQualified)
{
    std::string name = layer.GetName();
    size_t dot = name.find('.');
    if (!schemaQualified || dot == std::string::npos) {
        return QuoteIdentifier(name);
    }
    return QuoteIdentifier(name.substr(0, dot)) + "." + QuoteIdentifier(name.substr(dot + 1));
}

std::string QuotedFidColumn(OGRLayer& layer, const char* implicitRowId)
{
    std::string column = layer.GetFIDColumn();
    if (!column.empty()) {
        return QuoteIdentifier(column);
    }
    if (implicitRowId == nullptr) {
        RaiseHostError(std::string("The table ") + layer.GetName() + " has no feature id column to update rows by");
    }
    return implicitRowId;
}

std::string SelectInIdOrder(OGRLayer& layer, const std::vector<int>& fields, bool afterAnId)
{
    std::string fid = QuotedFidColumn(layer, nullptr);
    std::string sql = "SELECT " + fid;
    for (int field : fields) {
        sql += ", " + QuoteIdentifier(layer.GetLayerDefn()->GetFieldDefn(field)->GetNameRef());
    }
    sql += " FROM " + QuotedTable(layer, false);
    if (afterAnId) {
        sql += " WHERE " + fid + " > ?1";
    }
    return sql + " ORDER BY " + fid;
}

}  // namespace drennow::gdalhost
