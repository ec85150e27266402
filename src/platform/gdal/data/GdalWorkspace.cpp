#include "platform/gdal/data/GdalWorkspace.h"

#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/data/PostgresSql.h"
#include "platform/gdal/storage/ShapefileTables.h"
#include "platform/gdal/storage/StagedFile.h"

#include <cpl_error.h>
#include <cpl_string.h>

#include <filesystem>
#include <unistd.h>

namespace drennow::gdalhost {

namespace {

constexpr const char* kUnsafeWriterReason =
    "GDAL's OpenFileGDB writer stores wrong values in updated rows, so this data is opened read-only; "
    "convert it to a GeoPackage (ogr2ogr -f GPKG out.gpkg in.gdb) to fill NextDownID";

// A file of the dataset, or the folder that holds it, that this process may
// not write; empty when every one is writable. Databases have no files.
std::string UnwritableFile(GDALDataset& dataset)
{
    CPLStringList files(dataset.GetFileList());
    for (int i = 0; i < files.size(); ++i) {
        std::filesystem::path file(files[i]);
        if (::access(file.c_str(), W_OK) != 0) {
            return file.string();
        }
        std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
        if (::access(folder.c_str(), W_OK) != 0) {
            return folder.string();
        }
    }
    return "";
}

GDALDatasetUniquePtr OpenDataset(const std::string& name, unsigned int flags, const char* driver)
{
    const char* const drivers[] = {driver, nullptr};
    CPLErrorReset();
    return GDALDatasetUniquePtr(
        GDALDataset::Open(name.c_str(), GDAL_OF_VECTOR | flags, driver ? drivers : nullptr, nullptr, nullptr));
}

// Locks every attribute table of the Shapefile dataset, and removes what
// killed runs left beside them; why not when one of them cannot be locked,
// or could not be saved as the same file.
std::string LockTables(GDALDataset& dataset, std::vector<std::unique_ptr<TableLock>>& locks)
{
    for (const std::string& table : AttributeTables(dataset)) {
        std::string refusal = WhyNotReplaceable(table);
        std::unique_ptr<TableLock> lock = refusal.empty() ? TableLock::Take(table, refusal) : nullptr;
        if (!lock) {
            locks.clear();
            return refusal;
        }
        locks.push_back(std::move(lock));
        RemoveLeftovers(table);
    }
    return "";
}

// Why data of a format that is edited cannot be edited here: a file that
// cannot be written, or a Shapefile another run is editing (else its tables
// are locked, into locks); empty when it can be.
std::string WhyNotEditable(GDALDataset& dataset, bool shapefile, std::vector<std::unique_ptr<TableLock>>& locks)
{
    // Edits and their journal or staged copy are written beside the data.
    std::string unwritable = UnwritableFile(dataset);
    if (!unwritable.empty()) {
        return "Opened read-only: " + unwritable + " cannot be written";
    }
    // One run edits a Shapefile at a time, from now until it is closed.
    std::string refusal = shapefile ? LockTables(dataset, locks) : "";
    return refusal.empty() ? "" : "Opened read-only: " + refusal;
}

}  // namespace

host::Ref<GdalWorkspace> GdalWorkspace::Open(const std::string& name)
{
    GDALDatasetUniquePtr dataset = OpenDataset(name, GDAL_OF_READONLY, nullptr);
    if (!dataset) {
        RaiseGdalError("Could not open " + name);
    }
    std::string driver = dataset->GetDriverName();
    Format format = Format::ReadOnly;
    std::string reason;
    if (driver == "GPKG" || driver == "SQLite") {
        format = Format::Sqlite;
    } else if (driver == "PostgreSQL") {
        format = Format::Postgres;
    } else if (driver == "ESRI Shapefile") {
        format = Format::Shapefile;
    } else if (driver == "OpenFileGDB") {
        reason = kUnsafeWriterReason;
    } else {
        reason = "Drennow edits GeoPackage, SQLite, Shapefile and PostgreSQL data; " + driver +
                 " data is opened read-only";
    }
    std::vector<std::unique_ptr<TableLock>> locks;
    if (format != Format::ReadOnly) {
        reason = WhyNotEditable(*dataset, format == Format::Shapefile, locks);
        format = reason.empty() ? format : Format::ReadOnly;
    }
    if (format != Format::ReadOnly) {
        if (GDALDatasetUniquePtr updatable = OpenDataset(name, GDAL_OF_UPDATE, driver.c_str())) {
            dataset = std::move(updatable);
            if (format == Format::Postgres) {
                // Rows or a table locked by another session would otherwise
                // keep the run waiting for as long as that session lasts.
                postgres::BoundLockWaits(*dataset);
                postgres::ReadTablesFromTheStart(*dataset);
            }
        } else {
            reason = "Opened read-only: " + std::string(CPLGetLastErrorMsg());
            format = Format::ReadOnly;
            locks.clear();
        }
    }
    std::vector<std::string> notes;
    if (driver == "PostgreSQL") {
        postgres::ListTables(*dataset, name);
        notes = postgres::PartitionNotes(*dataset);
    }
    auto workspace = host::Ref<GdalWorkspace>(
        new GdalWorkspace(name, std::move(locks), std::move(dataset), format, std::move(reason)));
    workspace->notes_ = std::move(notes);
    return workspace;
}

GdalWorkspace::GdalWorkspace(std::string name, std::vector<std::unique_ptr<TableLock>> tableLocks,
                             GDALDatasetUniquePtr dataset, Format format, std::string readOnlyReason)
    : name_(std::move(name)),
      tableLocks_(std::move(tableLocks)),
      dataset_(std::move(dataset)),
      format_(format),
      readOnlyReason_(std::move(readOnlyReason)),
      holdsColumns_(format == Format::Postgres || (format == Format::Sqlite && DriverName() == "GPKG"))
{
    for (int i = 0; i < LayerCount(); ++i) {
        layers_.push_back(std::make_unique<EditedLayer>(*this, i));
    }
}

std::string GdalWorkspace::DriverName() const
{
    return dataset_->GetDriverName();
}

sqlite3* GdalWorkspace::SqliteConnection()
{
    std::string driver = DriverName();
    if (driver != "GPKG" && driver != "SQLite") {
        return nullptr;
    }
    return static_cast<sqlite3*>(dataset_->GetInternalHandle("SQLITE_HANDLE"));
}

int GdalWorkspace::LayerCount() const
{
    return dataset_->GetLayerCount();
}

OGRLayer& GdalWorkspace::Layer(int index)
{
    OGRLayer* layer = dataset_ ? dataset_->GetLayer(index) : nullptr;
    if (layer == nullptr) {
        RaiseGdalError("No layer " + std::to_string(index) + " in " + name_);
    }
    return *layer;
}

EditedLayer& GdalWorkspace::Edited(int index)
{
    if (index < 0 || index >= static_cast<int>(layers_.size())) {
        RaiseGdalError("No layer " + std::to_string(index) + " in " + name_);
    }
    return *layers_[static_cast<size_t>(index)];
}

void GdalWorkspace::TellLayers(void (EditedLayer::*change)())
{
    for (const std::unique_ptr<EditedLayer>& layer : layers_) {
        ((*layer).*change)();
    }
}

void GdalWorkspace::AddField(int layerIndex, OGRFieldDefn& field)
{
    if (!readOnlyReason_.empty()) {
        RaiseHostError(readOnlyReason_);
    }
    if (IsEditing()) {
        RaiseHostError("Fields cannot be added while " + name_ + " is being edited");
    }
    // Shapefile integers are stored as text: room for every 32-bit value, the
    // sign included; for 64-bit ones the widest number GDAL reads back as an
    // integer (18 digits). A larger value ends the run when it is written.
    if (format_ == Format::Shapefile && field.GetSubType() == OFSTNone) {
        if (field.GetType() == OFTInteger) {
            field.SetWidth(11);
        } else if (field.GetType() == OFTInteger64) {
            field.SetWidth(18);
        }
    }
    OGRLayer& layer = Layer(layerIndex);
    // A table whose rows cannot be updated does not get the field either.
    if (format_ == Format::Postgres) {
        postgres::RequireEditable(*dataset_, layer);
    }
    // GDAL would rewrite the table in place, which a kill leaves half done.
    if (format_ == Format::Shapefile) {
        AddShapefileField(*dataset_, layer, field);
        Reopen();
        return;
    }
    CPLErrorReset();
    auto create = [&] { return layer.CreateField(&field, FALSE); };
    OGRErr result = format_ == Format::Postgres ? postgres::ChangeColumns(*dataset_, create) : create();
    TellLayers(&EditedLayer::SchemaChanged);  // whatever GDAL made of the fields
    if (result != OGRERR_NONE) {
        std::string failed = std::string("Could not add the field ") + field.GetNameRef() + " to " + layer.GetName();
        if (format_ == Format::Sqlite && HasFieldOnDisk(layer.GetName(), field.GetNameRef())) {
            RaiseHostError(failed + ": another program added a field of that name to " + name_ +
                           " since it was opened here");
        }
        RaiseGdalError(failed);
    }
}

bool GdalWorkspace::HasFieldOnDisk(const char* layerName, const char* fieldName) const
{
    CPLErrorStateBackuper failure;  // what GDAL said is still to be told
    GDALDatasetUniquePtr now = OpenDataset(name_, GDAL_OF_READONLY, dataset_->GetDriverName());
    OGRLayer* layer = now ? now->GetLayerByName(layerName) : nullptr;
    return layer != nullptr && layer->GetLayerDefn()->GetFieldIndex(fieldName) >= 0;
}

void GdalWorkspace::StartEditing()
{
    if (!readOnlyReason_.empty()) {
        RaiseHostError(readOnlyReason_);
    }
    if (IsEditing()) {
        RaiseHostError(name_ + " is already being edited");
    }
    TellLayers(&EditedLayer::SessionChanged);
    if (format_ == Format::Sqlite) {
        session_ = StartSqliteSession(*dataset_);
    } else if (format_ == Format::Postgres) {
        session_ = StartPostgresSession(*dataset_);
    } else {
        session_ = StartStagedDbfSession(*dataset_);
    }
    hasEdits_ = false;
}

void GdalWorkspace::StopEditing(bool save)
{
    if (!IsEditing()) {
        RaiseHostError(name_ + " is not being edited");
    }
    std::unique_ptr<EditSession> session = std::move(session_);
    hasEdits_ = false;
    // Once the transaction ends, other writers may change the rows.
    TellLayers(&EditedLayer::SessionChanged);
    if (!save) {
        session->Rollback();
        return;
    }
    session->Commit();
    // The saved table replaced the one GDAL has open.
    if (format_ == Format::Shapefile) {
        ++generation_;
        Reopen();
    }
}

void GdalWorkspace::Write(OGRLayer& layer, const OGRFeature& feature, const std::vector<int>& fields)
{
    if (!IsEditing()) {
        RaiseHostError("Rows of " + name_ + " are written only while it is being edited");
    }
    hasEdits_ = true;
    if (!fields.empty()) {
        session_->Write(layer, feature, fields);
    }
}

OGRLayer& GdalWorkspace::UsedLayer(int index)
{
    OGRLayer& layer = Layer(index);
    if (session_) {
        session_->Use(layer);
    }
    return layer;
}

void GdalWorkspace::FlushWrites()
{
    if (session_) {
        session_->Flush();
    }
}

GIntBig GdalWorkspace::RowsAReadingGives(OGRLayer& layer)
{
    if (DriverName() == "ESRI Shapefile") {
        return ShapefileRowCount(*dataset_, layer);
    }
    return layer.GetFeatureCount(TRUE);
}

void GdalWorkspace::Reopen()
{
    std::string driver = DriverName();
    dataset_.reset();
    TellLayers(&EditedLayer::SchemaChanged);  // with the dataset, every reading of it ended
    dataset_ = OpenDataset(name_, GDAL_OF_UPDATE, driver.c_str());
    if (!dataset_) {
        RaiseGdalError("Could not open " + name_ + " again after changing it");
    }
}

}  // namespace drennow::gdalhost
