#include "platform/gdal/storage/DbfFile.h"
#include "platform/gdal/storage/EditSession.h"
#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/storage/ShapefileTables.h"
#include "platform/gdal/storage/StagedFile.h"

#include <map>

namespace drennow::gdalhost {

namespace {

// One layer's staged copy of its attribute table.
struct StagedTable {
    std::string original;
    std::unique_ptr<StagedFile> file;
    std::unique_ptr<DbfFile> table;  // written through file's descriptor
};

constexpr const char* kNotSaved = "The edits were not saved";
constexpr const char* kSinceStart = "the edit session began";

class StagedDbfSession : public EditSession {
public:
    // The tables as they are when the session begins: a save replaces a
    // table only while it is still so.
    explicit StagedDbfSession(GDALDataset& dataset) : dataset_(dataset)
    {
        for (const std::string& table : AttributeTables(dataset)) {
            if (std::optional<FileIdentity> identity = IdentityOf(table)) {
                atStart_.emplace(table, *identity);
            }
        }
    }

    // The staged copies go with their tables.
    ~StagedDbfSession() override = default;

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
            table.table.reset();
            table.file->ReplaceOriginal(atStart_.at(table.original), kNotSaved, kSinceStart);
        }
        tables_.clear();
    }

    void Rollback() override { tables_.clear(); }

private:
    DbfFile& Staged(OGRLayer& layer)
    {
        auto found = tables_.find(&layer);
        if (found != tables_.end()) {
            return *found->second.table;
        }
        StagedTable staged;
        staged.original = AttributeTablePath(dataset_, layer);
        const FileIdentity& atStart = AtStart(staged.original);
        OpenFile original(staged.original);
        if (IdentityOf(original.Fd(), staged.original) != atStart) {
            RaiseChanged(kNotSaved, staged.original, kSinceStart);
        }
        // A copy cut short (a full disk) goes with its staged file.
        staged.file = std::make_unique<StagedFile>(staged.original, kEditedCopy, atStart);
        staged.file->CopyFrom(original.Fd(), atStart.size);
        staged.table = std::make_unique<DbfFile>(staged.file->Fd(), staged.file->Path());
        if (staged.table->FieldCount() != layer.GetLayerDefn()->GetFieldCount()) {
            RaiseHostError("The fields of " + staged.original + " do not match its layer");
        }
        return *tables_.emplace(&layer, std::move(staged)).first->second.table;
    }

    const FileIdentity& AtStart(const std::string& table) const
    {
        auto found = atStart_.find(table);
        if (found == atStart_.end()) {
            RaiseHostError(std::string(kNotSaved) + ": " + table + " was not there when " + kSinceStart);
        }
        return found->second;
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
    std::map<std::string, FileIdentity> atStart_;  // by table
    std::map<OGRLayer*, StagedTable> tables_;
};

}  // namespace

std::unique_ptr<EditSession> StartStagedDbfSession(GDALDataset& dataset)
{
    return std::make_unique<StagedDbfSession>(dataset);
}

}  // namespace drennow::gdalhost
