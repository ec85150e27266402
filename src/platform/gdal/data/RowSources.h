#pragma once

#include "platform/gdal/data/ColumnCache.h"
#include "platform/gdal/data/EditedLayer.h"

#include <ogrsf_frmts.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace drennow::gdalhost {

// The attribute fields a cursor reads with each row. It starts with none
// and learns a field when one of its rows is first asked for it, so a run
// that uses two fields of a wide layer reads those two only.
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

class GdalRow;

// Where a cursor's rows come from. A source gives the ids of the rows in
// the order it reads them, and the values of the row it gave last.
class RowSource {
public:
    virtual ~RowSource() = default;
    // The id of the next row; nothing after the last.
    virtual std::optional<GIntBig> Next() = 0;
    // Puts the values the source read of the row Next gave last into the row.
    virtual void Fill(GdalRow& row) = 0;
};

// The rows of columns held in memory. The columns may come and go between
// two rows, so before each row it is pointed at those held, and reads on
// from the row after the last one given. Rows carry the fields learned that
// are held; before any is learned, every column held, so the fields asked
// for first are there already.
class HeldRows : public RowSource {
public:
    explicit HeldRows(std::shared_ptr<const LearnedFields> fields) : fields_(std::move(fields)) {}

    HeldRows& Over(const ColumnCache& held, std::optional<GIntBig> after);
    std::optional<GIntBig> Next() override;
    void Fill(GdalRow& row) override;

private:
    std::shared_ptr<const LearnedFields> fields_;
    const ColumnCache* held_ = nullptr;
    size_t position_ = 0;  // in the ids held, of the next row
};

// Every attribute of each row, from OGR's reading of the layer.
std::unique_ptr<RowSource> OgrRows(EditedLayer& layer);

// The learned fields of the rows after that one, in id order, by a statement
// of a GeoPackage's own. Writes held back reach the data before each row is
// read if they are to a field it reads.
std::unique_ptr<RowSource> StatementRows(EditedLayer& layer, std::shared_ptr<const LearnedFields> fields,
                                         std::optional<GIntBig> after);

// The learned integer fields of the rows after that one, in id order, read
// from a PostgreSQL table in chunks: a cursor that reads a few rows reads a
// few, as chunks grow from small ones.
std::unique_ptr<RowSource> ChunkRows(EditedLayer& layer, std::shared_ptr<const LearnedFields> fields,
                                     std::optional<GIntBig> after);

}  // namespace drennow::gdalhost
