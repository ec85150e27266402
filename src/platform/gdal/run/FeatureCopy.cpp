#include "platform/gdal/run/FeatureCopy.h"

#include "runtime/Error.h"

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <sstream>

namespace drennow::gdalhost {

namespace {

namespace fs = std::filesystem;

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool Lists(const char* extensions, const std::string& extension)
{
    std::istringstream words(extensions ? extensions : "");
    std::string word;
    while (words >> word) {
        if (Lowered(word) == extension) {
            return true;
        }
    }
    return false;
}

// The first vector format that creates datasets and names this extension,
// its main one first.
GDALDriver* DriverFor(const std::string& file)
{
    std::string extension = Lowered(fs::path(file).extension().string());
    if (extension.size() < 2) {
        return nullptr;
    }
    extension.erase(0, 1);
    GDALDriverManager& drivers = *GetGDALDriverManager();
    for (bool mainOnly : {true, false}) {
        for (int index = 0; index < drivers.GetDriverCount(); ++index) {
            GDALDriver* driver = drivers.GetDriver(index);
            if (driver->GetMetadataItem(GDAL_DCAP_VECTOR) == nullptr ||
                driver->GetMetadataItem(GDAL_DCAP_CREATE) == nullptr) {
                continue;
            }
            const char* extensions = driver->GetMetadataItem(mainOnly ? GDAL_DMD_EXTENSION : GDAL_DMD_EXTENSIONS);
            if (Lists(extensions, extension)) {
                return driver;
            }
        }
    }
    return nullptr;
}

[[noreturn]] void Fail(const std::string& what)
{
    std::string reason = CPLGetLastErrorMsg();
    throw runtime::Error(runtime::kHostCallFailed, what + (reason.empty() ? "" : ": " + reason));
}

void CopyLayer(OGRLayer& from, GDALDataset& target, const std::vector<int32_t>& fids, const std::string& file)
{
    OGRLayer* to = target.CreateLayer(from.GetName(), from.GetSpatialRef(), from.GetGeomType(), nullptr);
    if (to == nullptr) {
        Fail(file + ": the layer could not be created");
    }
    OGRFeatureDefn& fields = *from.GetLayerDefn();
    for (int index = 0; index < fields.GetFieldCount(); ++index) {
        if (to->CreateField(fields.GetFieldDefn(index)) != OGRERR_NONE) {
            Fail(file + ": the field " + fields.GetFieldDefn(index)->GetNameRef() + " could not be created");
        }
    }
    // By position: a format may spell a name its own way (a Shapefile keeps
    // ten characters).
    std::vector<int> sameField(static_cast<size_t>(fields.GetFieldCount()));
    for (size_t index = 0; index < sameField.size(); ++index) {
        sameField[index] = static_cast<int>(index);
    }
    bool inTransaction = target.StartTransaction() == OGRERR_NONE;
    for (int32_t fid : fids) {
        std::unique_ptr<OGRFeature> feature(from.GetFeature(fid));
        if (!feature) {
            Fail("feature " + std::to_string(fid) + " could not be read");
        }
        OGRFeature copy(to->GetLayerDefn());
        if (copy.SetFrom(feature.get(), sameField.data(), TRUE) != OGRERR_NONE || to->CreateFeature(&copy) != OGRERR_NONE) {
            Fail(file + ": feature " + std::to_string(fid) + " could not be written");
        }
    }
    if (inTransaction && target.CommitTransaction() != OGRERR_NONE) {
        Fail(file + ": the features could not be saved");
    }
}

}  // namespace

std::string UnwritableOutput(const std::string& file)
{
    std::error_code error;
    if (fs::exists(fs::symlink_status(file, error))) {
        return file + " exists; it is never overwritten";
    }
    if (DriverFor(file) == nullptr) {
        return "no format writes files ending like " + file;
    }
    return "";
}

void CopyFeatures(const std::string& dataset, const std::string& layer, const std::vector<int32_t>& fids,
                  const std::string& file)
{
    GDALDatasetUniquePtr source(GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    OGRLayer* from = source ? source->GetLayerByName(layer.c_str()) : nullptr;
    if (from == nullptr) {
        Fail(dataset + ": the layer " + layer + " could not be read again");
    }
    if (std::string reason = UnwritableOutput(file); !reason.empty()) {
        throw runtime::Error(runtime::kHostCallFailed, reason);
    }
    GDALDriver* driver = DriverFor(file);
    GDALDatasetUniquePtr target(driver->Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!target) {
        Fail(file + " could not be created");
    }
    try {
        CopyLayer(*from, *target, fids, file);
        CPLErrorReset();
        target.reset();  // written out as it closes
        if (CPLGetLastErrorType() >= CE_Failure) {
            Fail(file + " could not be written out");
        }
    } catch (...) {
        target.reset();
        driver->Delete(file.c_str());
        throw;
    }
}

}  // namespace drennow::gdalhost
