#pragma once

#include "host/Data.h"
#include "platform/gdal/data/EditedLayer.h"
#include "platform/gdal/data/RowSources.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace drennow::gdalhost {

class GdalRow;

// A cursor over a layer's rows, or over the rows of a list of ids. It starts
// reading at its first row, so fields added to the schema since it was made
// are in what it delivers. While its layer is edited, the fields it reads
// come from the columns held in memory where they can; else a GeoPackage
// is read by a statement of its own, a PostgreSQL table in chunks of its
// integer columns (its other fields row by row as they are asked for), and
// other formats through OGR, every attribute of each row.
class GdalCursor : public host::ICursor {
public:
    GdalCursor(host::Ref<EditedLayer> layer, std::shared_ptr<const FidList> fids);

    host::Ref<host::IRow> NextRow() override;

private:
    // Where the next row comes from: the columns held in memory while they
    // are there, else the table, read as chosen at the first row.
    RowSource& Source();
    std::unique_ptr<RowSource> FromTable();
    bool Wanted(GIntBig fid) const;
    GdalRow& FreshRow(GIntBig fid);

    host::Ref<EditedLayer> layer_;
    std::shared_ptr<const FidList> fids_;
    std::shared_ptr<LearnedFields> fields_ = std::make_shared<LearnedFields>();
    std::optional<EditedLayer::Reading> reading_;  // chosen at the first row
    uint64_t generation_ = 0;                      // of the layer then
    bool finished_ = false;
    std::optional<GIntBig> lastFid_;  // of the last row read
    HeldRows held_{fields_};
    std::unique_ptr<RowSource> fromTable_;

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

    GdalRow(host::Ref<EditedLayer> layer, std::shared_ptr<LearnedFields> fields);

    // Makes this the row of that id, with no values yet.
    void Reset(GIntBig fid);
    void AddValue(int field, runtime::Variant value) { values_.emplace_back(field, std::move(value)); }

    runtime::Variant Value(int32_t index) override;
    void SetValue(int32_t index, const runtime::Variant& value) override;
    int32_t OID() override;
    void Store() override;

private:
    int AttributeIndex(int32_t index) const;

    host::Ref<EditedLayer> layer_;
    std::shared_ptr<LearnedFields> fields_;
    GIntBig fid_ = 0;
    std::vector<FieldValue> values_;
    std::vector<FieldValue> changed_;
};

}  // namespace drennow::gdalhost
