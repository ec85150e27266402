#pragma once

#include "host/Data.h"
#include "platform/gdal/GdalWorkspace.h"

#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drennow::gdalhost {

// Feature ids, sorted ascending, without repeats.
using FidList = std::vector<GIntBig>;

// One OGR layer of a dataset as the host's feature class and table. Its
// fields are the object id first (named after the id column, or "FID"),
// then the attribute fields in order. Reads never fetch geometry.
class GdalFeatureClass : public host::IFeatureClass,
                         public host::ITable,
                         public std::enable_shared_from_this<GdalFeatureClass> {
public:
    GdalFeatureClass(host::Ref<GdalWorkspace> workspace, int layerIndex);

    host::Ref<host::IFields> Fields() override;
    void AddField(const host::NewField& field) override;
    int32_t FeatureType() override { return host::kFeatureTypeSimple; }
    int32_t ShapeType() override;
    host::Ref<host::IFeatureDataset> FeatureDataset() override;
    host::Ref<host::IWorkspace> Workspace() override { return workspace_; }

    // Every row, no filter.
    host::Ref<host::ICursor> Search() override;
    int32_t RowCount() override;

    std::string Name();
    bool HasGeometry();
    // The rows whose ids are in the list.
    host::Ref<host::ICursor> Search(std::shared_ptr<const FidList> fids);
    // The ids of the rows that match an attribute filter (OGR SQL); raises
    // for a filter the layer cannot evaluate.
    FidList FidsWhere(const std::string& filter);
    // The ids of the list that the layer holds.
    FidList ExistingFids(const FidList& fids);

    // Reading for cursors: one OGR reading position is shared by every
    // cursor, so a cursor that finds another one has read since puts the
    // position back where it left it: after the row of lastFid, the
    // featuresRead-th. A table that no longer gives that row there raises.
    OGRLayer& ReadFrom(const void* reader, GIntBig featuresRead, std::optional<GIntBig> lastFid);
    void StopReading(const void* reader);
    uint64_t Generation() const { return workspace_->Generation(); }
    // The connection of a GeoPackage; nothing for other formats.
    sqlite3* GeoPackageConnection();
    // Writes held back reach the data.
    void FlushWrites();
    // Writes held back reach the data if one of them is to a field of the
    // list: reads of other fields need not wait for them.
    void FlushWritesTo(const std::vector<int>& fields);

    // The first load of a layer's columns into memory takes other integer
    // columns along, up to this many columns in all (8 bytes a value each).
    static constexpr size_t kColumnsLoadedTogether = 4;
    // The columns of the layer held in memory while it is edited, every
    // field of the list among them: those not held yet are loaded (with a
    // first load, others along). Nothing when one of them cannot be held,
    // when none is, or for a format or at a time without such columns.
    const ColumnCache* EditCacheWith(const std::vector<int>& fields);
    // The fields of the list whose values can be held in memory.
    std::vector<int> HoldableOf(const std::vector<int>& fields);

    // How a cursor reads the rows: a GeoPackage by statements of its own
    // (from the columns in memory where it can); a PostgreSQL layer from the
    // columns in memory while it is edited, else in chunks of integer
    // columns in id order, never its geometry; other layers through OGR.
    enum class Reading { Ogr, GeoPackage, Memory, Chunks };
    Reading HowToRead();
    // The integer fields of the list (the first integer fields of the layer
    // for none) of at most `rows` rows after that id (fewer only at the
    // end), from a PostgreSQL table.
    ColumnCache ChunkAfter(std::optional<GIntBig> fid, const std::vector<int>& fields, size_t rows);

    OGRLayer& Layer() { return workspace_->Layer(layerIndex_); }
    const OGRFieldDefn& Attribute(int field) { return *Layer().GetLayerDefn()->GetFieldDefn(field); }
    int AttributeCount();
    // The value of one attribute of one row as it is now; the row must
    // exist. Moves the OGR reading position.
    runtime::Variant ReadValue(GIntBig fid, int field);
    // The value as the field would store it; raises the conversion errors.
    runtime::Variant Converted(int field, const runtime::Variant& value);
    // Writes converted values of attributes to the row of that id.
    void WriteRow(GIntBig fid, const std::vector<std::pair<int, runtime::Variant>>& changes);

private:
    // Another user of the layer moved its reading position.
    void LoseReadingPosition() { reader_ = nullptr; }
    void GoBackTo(OGRLayer& layer, GIntBig featuresRead, std::optional<GIntBig> lastFid);
    OGRLayer& UsedLayer() { return workspace_->UsedLayer(layerIndex_); }
    OGRFeature& Scratch();
    // Those of the fields not held yet, and for a first load others along.
    std::vector<int> FieldsToLoad(const ColumnCache& held, const std::vector<int>& fields);

    host::Ref<GdalWorkspace> workspace_;
    int layerIndex_;
    const void* reader_ = nullptr;
    uint64_t readerAsOf_ = 0;  // the workspace's count of ended readings
    // Where values are converted and writes are put together.
    std::unique_ptr<OGRFeature> scratch_;
    // The fields written since writes were last flushed, by field index.
    std::vector<bool> heldBack_;
    std::vector<int> writtenFields_;  // of the row being written
    int attributeCount_ = 0;
    uint64_t attributeCountAsOf_ = UINT64_MAX;  // the workspace's schema version
};

}  // namespace drennow::gdalhost
