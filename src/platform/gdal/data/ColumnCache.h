#pragma once

#include "runtime/Variant.h"

#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace drennow::gdalhost {

// The values of some integer columns in one row: nothing for a null.
using ColumnRow = std::vector<std::optional<int64_t>>;
// Hands every row of a table, in id order, to the visitor: its id and the
// values of the columns asked for.
using RowVisitor = std::function<void(GIntBig fid, const ColumnRow& values)>;
using ColumnReader = std::function<void(const RowVisitor&)>;

// Reads integer columns of a GeoPackage table in one statement.
ColumnReader SqliteColumnReader(sqlite3* db, OGRLayer& layer, const std::vector<int>& fields);

// Integer columns of one database table, held in memory while the table's
// dataset is being edited, so that a cursor that reads only such columns
// reads nothing from the database: a run reads the same layer several
// times. Inside the session's transaction no other writer changes the
// rows, and the session's own writes update the values held, so every read
// sees what a read of the database would give.
class ColumnCache {
public:
    // Whether values of the field can be held: 16-, 32- and 64-bit integers.
    static bool Holds(const OGRFieldDefn& field);

    bool Has(int field) const;
    bool Empty() const { return columns_.empty(); }
    // Takes these columns of every row from the reader; raises when the rows
    // are not those of the columns already held.
    void Load(OGRLayer& layer, const std::vector<int>& fields, const ColumnReader& read);

    // The ids of every row, ascending.
    const std::vector<GIntBig>& Fids() const { return fids_; }
    // The position in Fids() of the first row after that id.
    size_t PositionAfter(std::optional<GIntBig> fid) const;
    // Every field held, and its value in the row at that position, as
    // ReadColumn gives it.
    template <typename Visit>
    void ForEachValue(size_t position, Visit&& visit) const
    {
        for (const Column& column : columns_) {
            visit(column.field, column.ValueAt(position));
        }
    }
    // The value of a field held in the row at that position.
    runtime::Variant ValueOf(int field, size_t position) const;
    // Takes a value written to a row; false when the field is held and the
    // row held that value already (a null differs from every number).
    bool Update(GIntBig fid, int field, const runtime::Variant& value);

private:
    enum class Width { Bits16, Bits32, Bits64 };
    struct Column {
        int field;
        Width width;
        std::vector<int64_t> values;
        std::vector<bool> nulls;

        runtime::Variant ValueAt(size_t position) const;
        // False when the value was there already.
        bool Set(size_t position, const runtime::Variant& value);
    };

    std::vector<GIntBig> fids_;
    Column* Find(int field);
    const Column* Find(int field) const;
    std::vector<Column> columns_;  // few: a linear search is the quickest
    size_t lastUpdated_ = SIZE_MAX;  // position of the row last written
};

}  // namespace drennow::gdalhost
