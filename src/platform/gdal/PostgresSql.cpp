#include "platform/gdal/PostgresSql.h"

#include "platform/gdal/GdalError.h"

namespace drennow::gdalhost::postgres {

std::vector<std::string> FirstRow(GDALDataset& dataset, const std::string& sql, const std::string& attempted)
{
    FirstGdalFailure failure;
    std::vector<std::string> values;
    if (OGRLayer* result = dataset.ExecuteSQL(sql.c_str(), nullptr, nullptr)) {
        if (OGRFeatureUniquePtr row{result->GetNextFeature()}) {
            for (int field = 0; field < row->GetFieldCount(); ++field) {
                values.emplace_back(row->IsFieldSetAndNotNull(field) ? row->GetFieldAsString(field) : "");
            }
        }
        dataset.ReleaseResultSet(result);
    }
    if (failure.Happened()) {
        failure.Raise(attempted);
    }
    return values;
}

}  // namespace drennow::gdalhost::postgres
