#pragma once

#include "host/Data.h"
#include "platform/gdal/storage/EditSession.h"
#include "platform/gdal/data/EditedLayer.h"
#include "platform/gdal/storage/TableLock.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace drennow::gdalhost {

// A dataset: the workspace that holds its layers, and the unit the editor
// edits. Formats whose edits cannot be made all-or-nothing, or whose writer
// is known to store wrong values, are opened read-only; so is a Shapefile
// another run is editing: the tables of one are locked while it is open.
class GdalWorkspace : public host::IWorkspace {
public:
    // Raises when the dataset cannot be opened at all.
    static host::Ref<GdalWorkspace> Open(const std::string& name);
    // A session still open is discarded: it goes before the dataset does.
    ~GdalWorkspace() override = default;
    GdalWorkspace(const GdalWorkspace&) = delete;
    GdalWorkspace& operator=(const GdalWorkspace&) = delete;

    const std::string& Name() const { return name_; }
    std::string DriverName() const;
    // The connection of a GeoPackage or SQLite dataset; nothing for others.
    sqlite3* SqliteConnection();
    // Why nothing in the dataset can be changed; empty when it can.
    const std::string& ReadOnlyReason() const { return readOnlyReason_; }

    // What a run on a layer of the dataset should know of it beforehand.
    const std::vector<std::string>& Notes() const { return notes_; }

    int LayerCount() const;
    OGRLayer& Layer(int index);
    // The layer, to be read or written through OGR: in an edit session the
    // session learns of its use first, and may lock it.
    OGRLayer& UsedLayer(int index);
    // Changes each time saved edits replace rows that GDAL had open: a
    // reading position from before has no meaning after.
    uint64_t Generation() const { return generation_; }
    // What is done with the layer, as one object for the layer's life.
    EditedLayer& Edited(int index);

    // Schema changes happen outside edit sessions. A Shapefile's table gets
    // the field all or nothing, and GDAL then opens the dataset afresh.
    void AddField(int layerIndex, OGRFieldDefn& field);

    bool IsEditing() const { return session_ != nullptr; }
    bool HasEdits() const { return hasEdits_; }
    void StartEditing();
    void StopEditing(bool save);
    // Whether layers hold integer columns in memory now: in an edit session
    // of a GeoPackage or PostgreSQL dataset, whose transaction keeps other
    // writers from changing the rows.
    bool HoldsColumns() const { return holdsColumns_ && IsEditing(); }
    // Writes those fields of the feature to the row of its id in the layer.
    void Write(OGRLayer& layer, const OGRFeature& feature, const std::vector<int>& fields);
    // Writes held back reach the data, so that reads see them.
    void FlushWrites();
    // The rows a reading of the layer without a filter gives; negative when
    // the driver cannot count them.
    GIntBig RowsAReadingGives(OGRLayer& layer);
    bool IsPostgres() const { return format_ == Format::Postgres; }
    // For statements of the host's own beyond what GDAL's drivers do.
    GDALDataset& Dataset() { return *dataset_; }

private:
    enum class Format { Sqlite, Postgres, Shapefile, ReadOnly };

    GdalWorkspace(std::string name, std::vector<std::unique_ptr<TableLock>> tableLocks, GDALDatasetUniquePtr dataset,
                  Format format, std::string readOnlyReason);
    // Whether the layer has the field in the dataset as it is now: another
    // program may have added it since the dataset was opened here.
    bool HasFieldOnDisk(const char* layerName, const char* fieldName) const;
    // GDAL opens the dataset afresh, to see the files that replaced its own:
    // OGR objects obtained before are gone.
    void Reopen();
    // Calls that function of every layer.
    void TellLayers(void (EditedLayer::*change)());

    std::string name_;
    std::vector<std::unique_ptr<TableLock>> tableLocks_;  // let go of after the dataset
    GDALDatasetUniquePtr dataset_;
    Format format_;
    std::string readOnlyReason_;
    std::vector<std::string> notes_;
    bool holdsColumns_;  // whether edit sessions hold columns in memory
    std::unique_ptr<EditSession> session_;
    bool hasEdits_ = false;
    uint64_t generation_ = 0;
    std::vector<std::unique_ptr<EditedLayer>> layers_;  // by index
};

}  // namespace drennow::gdalhost
