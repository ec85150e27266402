#pragma once

#include "platform/gdal/data/ColumnCache.h"
#include "runtime/Variant.h"

#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace drennow::gdalhost {

class GdalWorkspace;

// Feature ids, sorted ascending, without repeats.
using FidList = std::vector<GIntBig>;

// Everything done with one layer of a dataset, in one place: who has the
// layer's one OGR reading position, the fields written since writes were
// last sent, and the layer's integer columns held in memory while its
// dataset is edited. Its workspace makes one per layer and tells it when
// an edit session starts or ends and when the fields change.
class EditedLayer {
public:
    EditedLayer(GdalWorkspace& workspace, int index);
    EditedLayer(const EditedLayer&) = delete;
    EditedLayer& operator=(const EditedLayer&) = delete;

    OGRLayer& Layer();
    std::string Name() { return Layer().GetName(); }
    int AttributeCount();
    const OGRFieldDefn& Attribute(int field) { return *Layer().GetLayerDefn()->GetFieldDefn(field); }
    // Adds the field to the layer outside edit sessions.
    void AddField(OGRFieldDefn& field);
    // Changes each time saved edits replace rows that GDAL had open: a
    // reading position from before has no meaning after.
    uint64_t Generation() const;

    int32_t RowCount();
    // The rows a reading of the whole layer through OGR gives, as the
    // dataset counts them.
    GIntBig RowsAReadingGives();
    // The ids of the rows that match an attribute filter (OGR SQL); raises
    // for a filter the layer cannot evaluate.
    FidList FidsWhere(const std::string& filter);
    // The ids of the list that the layer holds.
    FidList ExistingFids(const FidList& fids);
    // The flat types of the geometries its features hold; reads every one.
    std::set<OGRwkbGeometryType> GeometryTypes();

    // How a cursor reads the rows while the columns it reads are not held
    // in memory: a GeoPackage by statements of its own, a PostgreSQL table
    // in chunks of its integer columns in id order, never its geometry,
    // other layers through OGR.
    enum class Reading { Ogr, GeoPackage, Postgres };
    Reading HowToRead();
    // The connection of a GeoPackage; nothing for other formats.
    sqlite3* GeoPackageConnection();

    // Reading through OGR: one reading position is shared by every reader,
    // so a reader that finds another one has read since puts the position
    // back where it left it: after the row of lastFid, the featuresRead-th.
    // A table that no longer gives that row there raises.
    OGRLayer& ReadFrom(const void* reader, GIntBig featuresRead, std::optional<GIntBig> lastFid);
    void StopReading(const void* reader);

    // Fields whose values cannot be held in memory make HeldColumns give
    // nothing, or are left to be read from the table.
    enum class Unholdable { Refuse, Skip };
    // Whether values of the field can be held in memory.
    bool CanHold(int field) { return ColumnCache::Holds(Attribute(field)); }
    // The first load of a layer's columns into memory takes other integer
    // columns along, up to this many columns in all (8 bytes a value each).
    static constexpr size_t kColumnsLoadedTogether = 4;
    // The columns held in memory while the layer is edited, every field of
    // the list among them (its holdable ones with Skip): those not held yet
    // are loaded (with a first load, others along). Nothing when none is,
    // with Refuse when a field of the list cannot be held, and for a format
    // or at a time without such columns.
    const ColumnCache* HeldColumns(const std::vector<int>& fields, Unholdable unholdable);
    // The integer fields of the list (the first integer fields of the layer
    // for none) of at most `rows` rows after that id (fewer only at the
    // end), from a PostgreSQL table.
    ColumnCache ChunkAfter(std::optional<GIntBig> fid, const std::vector<int>& fields, size_t rows);
    // The value of one attribute of one row as it is now; the row must
    // exist.
    runtime::Variant ReadValue(GIntBig fid, int field);
    // Writes held back reach the data if one of them is to a field of the
    // list: reads of other fields need not wait for them.
    void FlushWritesTo(const std::vector<int>& fields);
    void FlushWrites();

    // The value as the field would store it; raises the conversion errors,
    // the overflow error also for an integer it would not store exactly.
    runtime::Variant Converted(int field, const runtime::Variant& value);
    // Writes converted values of attributes to the row of that id: those
    // that differ from the row's, as far as the columns held tell.
    void WriteRow(GIntBig fid, const std::vector<std::pair<int, runtime::Variant>>& changes);

    // From the workspace: an edit session started or ended, which ends
    // every reading and lets go of the columns held.
    void SessionChanged();
    // From the workspace: the layer's fields changed, or GDAL opened the
    // dataset afresh.
    void SchemaChanged();

private:
    // Another user of the layer moved its reading position.
    void LoseReadingPosition() { reader_ = nullptr; }
    void GoBackTo(OGRLayer& layer, GIntBig featuresRead, std::optional<GIntBig> lastFid);
    // The layer, to be read or written through OGR: in an edit session the
    // session learns of its use first, and may lock it.
    OGRLayer& UsedLayer();
    OGRFeature& Scratch();
    // Those of the fields not held yet, and for a first load others along.
    std::vector<int> FieldsToLoad(const ColumnCache& held, const std::vector<int>& fields);
    // Reads integer columns of at most that many rows with ids after that
    // one (of every row without one), in id order, past writes held back.
    ColumnReader ColumnsAfter(const std::vector<int>& fields, std::optional<GIntBig> fid, size_t rows);
    // The fields of the row just put together whose values differ from the
    // row's as the columns held tell: all of them where none is held.
    const std::vector<int>& ChangedFields(const OGRFeature& row);

    GdalWorkspace& workspace_;
    int index_;
    // GDAL's layer and its count of fields, as they are until the fields
    // change or the dataset is opened afresh.
    OGRLayer* layer_ = nullptr;
    int attributeCount_ = -1;
    const void* reader_ = nullptr;
    ColumnCache held_;
    // Where values are converted and writes are put together.
    std::unique_ptr<OGRFeature> scratch_;
    // The fields written since writes were last flushed, by field index.
    std::vector<bool> heldBack_;
    std::vector<int> writtenFields_;  // of the row being written
    std::vector<int> changedFields_;  // of those, the ones whose values change
};

}  // namespace drennow::gdalhost
