#include "platform/gdal/ShapefileTables.h"

#include "platform/gdal/GdalError.h"

#include <cpl_string.h>

#include <filesystem>

namespace drennow::gdalhost {

namespace {

namespace fs = std::filesystem;

}  // namespace

std::vector<std::string> AttributeTables(GDALDataset& dataset)
{
    CPLStringList files(dataset.GetFileList());
    std::vector<std::string> tables;
    for (int i = 0; i < files.size(); ++i) {
        if (EQUAL(fs::path(files[i]).extension().c_str(), ".dbf")) {
            tables.emplace_back(files[i]);
        }
    }
    return tables;
}

std::string AttributeTablePath(GDALDataset& dataset, OGRLayer& layer)
{
    std::vector<std::string> tables = AttributeTables(dataset);
    for (const std::string& table : tables) {
        if (fs::path(table).stem() == layer.GetName()) {
            return table;
        }
    }
    if (tables.size() == 1) {
        return tables.front();
    }
    RaiseHostError(std::string("No attribute table found for ") + layer.GetName());
}

}  // namespace drennow::gdalhost
