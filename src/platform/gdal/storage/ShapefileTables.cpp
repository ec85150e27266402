#include "platform/gdal/storage/ShapefileTables.h"

#include "platform/gdal/storage/DbfFile.h"
#include "platform/gdal/storage/DbfWidening.h"
#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/storage/StagedFile.h"

#include <cpl_string.h>

#include <algorithm>
#include <filesystem>

namespace drennow::gdalhost {

namespace {

namespace fs = std::filesystem;

// GDAL's widths when none is given, and the widest it makes.
constexpr int kIntegerWidth = 9;
constexpr int kInteger64Width = 18;
constexpr int kRealWidth = 24;
constexpr int kRealDecimals = 15;
constexpr int kTextWidth = 80;
constexpr int kWidestNumber = 255;
constexpr int kWidestText = 254;

uint32_t Width(int given, int otherwise, int widest)
{
    return static_cast<uint32_t>(given > 0 ? std::min(given, widest) : otherwise);
}

DbfField DbfFieldFor(const OGRFieldDefn& field)
{
    int width = field.GetWidth();
    switch (field.GetType()) {
    case OFTInteger:
        return {field.GetNameRef(), 'N', Width(width, kIntegerWidth, kWidestNumber), 0};
    case OFTInteger64:
        return {field.GetNameRef(), 'N', Width(width, kInteger64Width, kWidestNumber), 0};
    case OFTReal:
        return {field.GetNameRef(), 'N', Width(width, kRealWidth, kWidestNumber),
                width > 0 ? field.GetPrecision() : kRealDecimals};
    case OFTString:
        return {field.GetNameRef(), 'C', Width(width, kTextWidth, kWidestText), 0};
    default:
        RaiseHostError(std::string("Only numeric and text fields are added to Shapefiles, not ") + field.GetNameRef());
    }
}

// The .dbf files among the dataset's files, by the names GDAL opened.
std::vector<std::string> TableNames(GDALDataset& dataset)
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

}  // namespace

std::vector<std::string> AttributeTables(GDALDataset& dataset)
{
    std::vector<std::string> tables = TableNames(dataset);
    for (std::string& table : tables) {
        table = EditedFile(table);
    }
    return tables;
}

std::string AttributeTablePath(GDALDataset& dataset, OGRLayer& layer)
{
    // A link and its target may have different names: the layer has the link's.
    std::vector<std::string> tables = TableNames(dataset);
    for (const std::string& table : tables) {
        if (fs::path(table).stem() == layer.GetName()) {
            return EditedFile(table);
        }
    }
    if (tables.size() == 1) {
        return EditedFile(tables.front());
    }
    RaiseHostError(std::string("No attribute table found for ") + layer.GetName());
}

GIntBig ShapefileRowCount(GDALDataset& dataset, OGRLayer& layer)
{
    GIntBig records = layer.GetFeatureCount(TRUE);
    if (records <= 0) {
        return records;
    }
    std::string table = AttributeTablePath(dataset, layer);
    OpenFile file(table);
    return records - CountDeletedRecords(file.Fd(), table, static_cast<uint32_t>(records));
}

void AddShapefileField(GDALDataset& dataset, OGRLayer& layer, const OGRFieldDefn& field)
{
    AddDbfField(AttributeTablePath(dataset, layer), DbfFieldFor(field));
}

}  // namespace drennow::gdalhost
