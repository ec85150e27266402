#pragma once

#include "host/Data.h"
#include "platform/gdal/GdalFeatureClass.h"

#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace drennow::gdalhost {

// The attribute fields a GeoPackage cursor reads with each row. It starts
// with none and learns a field when one of its rows is first asked for it,
// so a run that uses two fields of a wide layer reads those two only.
struct LearnedFields {
    std::vector<int> fields;  // OGR indices, in the order they were learned; a few at most

    bool Wants(int field) const { return std::find(fields.begin(), fields.end(), field) != fields.end(); }
    void Learn(int field)
    {
        if (!Wants(field)) {
            fields.push_back(field);
        }
    }
};

// A cursor over a layer's rows, or over the rows of a list of ids. It starts
// reading at its first row, so fields added to the schema since it was made
// are in what it delivers. A GeoPackage is read by a statement of its own on
// the dataset's connection, or, while it is edited and every field learned
// is an integer, from the columns held in memory. A PostgreSQL layer is read
// from the columns held in memory while it is edited, else in chunks of its
// integer columns in id order; its other fields are read row by row as they
// are asked for. Other formats are read through OGR, every attribute of each
// row.
class GdalRow;

class GdalCursor : public host::ICursor {
public:
    GdalCursor(host::Ref<GdalFeatureClass> table, std::shared_ptr<const FidList> fids);
    ~GdalCursor() override;
    GdalCursor(const GdalCursor&) = delete;
    GdalCursor& operator=(const GdalCursor&) = delete;

    host::Ref<host::IRow> NextRow() override;

private:
    bool Wanted(GIntBig fid) const;
    host::Ref<host::IRow> NextOgrRow();
    host::Ref<host::IRow> NextSqliteRow();
    host::Ref<host::IRow> NextCachedRow(const ColumnCache& cache);
    host::Ref<host::IRow> NextMemoryRow();
    host::Ref<host::IRow> NextChunkRow();
    // The row, or the end of the reading when there is none.
    host::Ref<host::IRow> RowOrEnd(host::Ref<host::IRow> row);
    void PrepareSelect();
    void RequireAllRowsRead(OGRLayer& layer);
    void Finish();
    GdalRow& FreshRow(GIntBig fid);

    host::Ref<GdalFeatureClass> table_;
    std::shared_ptr<const FidList> fids_;
    std::shared_ptr<LearnedFields> fields_ = std::make_shared<LearnedFields>();
    GIntBig featuresRead_ = 0;
    uint64_t generation_ = 0;
    bool started_ = false;
    bool finished_ = false;
    using Reading = GdalFeatureClass::Reading;
    Reading reading_ = Reading::Ogr;

    std::optional<GIntBig> lastFid_;  // of the last row read

    // The GeoPackage statement and the fields it selects (as of how many
    // were learned).
    sqlite3* db_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
    std::vector<int> selectedFields_;
    std::vector<const OGRFieldDefn*> selectedDefinitions_;
    size_t selectedAsOf_ = 0;
    size_t cachePosition_ = 0;  // in the ids of the columns held, after lastFid_

    // The rows of a PostgreSQL layer being read in chunks, and how many
    // fields were learned when they were read.
    std::optional<ColumnCache> chunk_;
    size_t chunkAsOf_ = 0;
    size_t chunkRows_ = 1024;  // asked for

    // The last two rows delivered. A row that nobody but the cursor holds
    // any more is filled again instead of a new one being made: to its
    // users every row is still an object of its own.
    std::array<host::Ref<GdalRow>, 2> rows_;
    size_t nextRow_ = 0;
};

// A row read by a cursor: its id and the values of the fields its cursor
// read, read when it was; other fields are read when asked for. Changed
// values are held, converted to their field's type, until they are stored.
class GdalRow : public host::IRow {
public:
    using FieldValue = std::pair<int, runtime::Variant>;  // OGR field index, value

    GdalRow(host::Ref<GdalFeatureClass> table, std::shared_ptr<LearnedFields> fields);

    // Makes this the row of that id, with no values yet.
    void Reset(GIntBig fid);
    void AddValue(int field, runtime::Variant value) { values_.emplace_back(field, std::move(value)); }

    runtime::Variant Value(int32_t index) override;
    void SetValue(int32_t index, const runtime::Variant& value) override;
    int32_t OID() override;
    void Store() override;

private:
    int AttributeIndex(int32_t index) const;

    host::Ref<GdalFeatureClass> table_;
    std::shared_ptr<LearnedFields> fields_;
    GIntBig fid_ = 0;
    std::vector<FieldValue> values_;
    std::vector<FieldValue> changed_;
};

}  // namespace drennow::gdalhost
