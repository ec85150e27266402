#include "platform/gdal/DbfFile.h"
#include "platform/gdal/EditSession.h"
#include "platform/gdal/GdalError.h"

#include <cpl_string.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace drennow::gdalhost {

namespace {

namespace fs = std::filesystem;

constexpr const char* kStagedSuffix = ".drennow-staged";

// The attribute table of a layer among the dataset's files: the .dbf whose
// name without extension is the layer's name.
std::string AttributeTablePath(GDALDataset& dataset, OGRLayer& layer)
{
    CPLStringList files(dataset.GetFileList());
    std::string onlyTable;
    int tables = 0;
    for (int i = 0; i < files.size(); ++i) {
        fs::path file(files[i]);
        if (EQUAL(file.extension().c_str(), ".dbf")) {
            ++tables;
            onlyTable = file.string();
            if (file.stem() == layer.GetName()) {
                return file.string();
            }
        }
    }
    if (tables == 1) {
        return onlyTable;
    }
    RaiseHostError(std::string("No attribute table found for ") + layer.GetName());
}

void SyncFolder(const fs::path& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// One layer's staged copy of its attribute table.
struct StagedTable {
    std::string original;
    std::string staged;
    std::unique_ptr<DbfFile> file;
};

class StagedDbfSession : public EditSession {
public:
    explicit StagedDbfSession(GDALDataset& dataset) : dataset_(dataset) {}

    ~StagedDbfSession() override { Rollback(); }

    StagedDbfSession(const StagedDbfSession&) = delete;
    StagedDbfSession& operator=(const StagedDbfSession&) = delete;

    void Write(OGRLayer& layer, const OGRFeature& feature, const std::vector<int>& changedFields) override
    {
        DbfFile& table = Staged(layer);
        if (feature.GetFID() < 0 || feature.GetFID() >= table.RecordCount()) {
            RaiseHostError("No feature " + std::to_string(feature.GetFID()) + " in " + layer.GetName());
        }
        auto record = static_cast<uint32_t>(feature.GetFID());
        for (int field : changedFields) {
            WriteValue(table, record, feature, field);
        }
    }

    void Commit() override
    {
        for (auto& [layer, table] : tables_) {
            table.file->Sync();
            table.file.reset();
            if (std::rename(table.staged.c_str(), table.original.c_str()) != 0) {
                RaiseHostError("Could not save " + table.original + ": " + std::strerror(errno));
            }
            SyncFolder(fs::path(table.original).parent_path());
        }
        tables_.clear();
    }

    void Rollback() override
    {
        for (auto& [layer, table] : tables_) {
            Discard(table);
        }
        tables_.clear();
    }

private:
    DbfFile& Staged(OGRLayer& layer)
    {
        auto found = tables_.find(&layer);
        if (found != tables_.end()) {
            return *found->second.file;
        }
        // What GDAL still holds of the table (a field just added) goes to disk
        // before it is copied.
        layer.SyncToDisk();
        StagedTable table;
        table.original = AttributeTablePath(dataset_, layer);
        table.staged = table.original + kStagedSuffix;
        // A copy cut short (a full disk) is not left beside the data.
        try {
            std::error_code error;
            fs::copy_file(table.original, table.staged, fs::copy_options::overwrite_existing, error);
            if (error) {
                RaiseHostError("Could not copy " + table.original + " for editing: " + error.message());
            }
            table.file = std::make_unique<DbfFile>(table.staged);
            if (table.file->FieldCount() != layer.GetLayerDefn()->GetFieldCount()) {
                RaiseHostError("The fields of " + table.original + " do not match its layer");
            }
        } catch (...) {
            Discard(table);
            throw;
        }
        return *tables_.emplace(&layer, std::move(table)).first->second.file;
    }

    static void Discard(StagedTable& table)
    {
        table.file.reset();
        std::error_code ignored;
        fs::remove(table.staged, ignored);
    }

    static void WriteValue(DbfFile& table, uint32_t record, const OGRFeature& feature, int field)
    {
        if (!feature.IsFieldSetAndNotNull(field)) {
            table.WriteNull(record, field);
            return;
        }
        switch (feature.GetFieldDefnRef(field)->GetType()) {
        case OFTInteger:
        case OFTInteger64:
            table.WriteInteger(record, field, feature.GetFieldAsInteger64(field));
            return;
        case OFTReal:
            table.WriteReal(record, field, feature.GetFieldAsDouble(field));
            return;
        default:
            RaiseHostError(std::string("Only numeric fields are written in Shapefiles, not ") +
                           feature.GetFieldDefnRef(field)->GetNameRef());
        }
    }

    GDALDataset& dataset_;
    std::map<OGRLayer*, StagedTable> tables_;
};

}  // namespace

std::unique_ptr<EditSession> StartStagedDbfSession(GDALDataset& dataset)
{
    return std::make_unique<StagedDbfSession>(dataset);
}

}  // namespace drennow::gdalhost
