#include "platform/gdal/data/ColumnCache.h"

#include "platform/gdal/data/FieldValues.h"
#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/data/SqlText.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>

namespace drennow::gdalhost {

namespace {

struct StatementCloser {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

int64_t IntegerOf(const runtime::Variant& value)
{
    return std::visit(
        [](const auto& v) -> int64_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_integral_v<T>) {
                return v;
            } else {
                RaiseHostError("Only integers are held for integer fields");
            }
        },
        value.Get());
}

}  // namespace

bool ColumnCache::Holds(const OGRFieldDefn& field)
{
    return field.GetType() == OFTInteger || field.GetType() == OFTInteger64;
}

bool ColumnCache::Has(int field) const
{
    return Find(field) != nullptr;
}

const ColumnCache::Column* ColumnCache::Find(int field) const
{
    auto found =
        std::find_if(columns_.begin(), columns_.end(), [&](const Column& column) { return column.field == field; });
    return found == columns_.end() ? nullptr : &*found;
}

ColumnCache::Column* ColumnCache::Find(int field)
{
    return const_cast<Column*>(std::as_const(*this).Find(field));
}

runtime::Variant ColumnCache::ValueOf(int field, size_t position) const
{
    const Column* column = Find(field);
    if (column == nullptr) {
        RaiseHostError("The field " + std::to_string(field) + " is not held in memory");
    }
    return column->ValueAt(position);
}

ColumnReader SqliteColumnReader(sqlite3* db, OGRLayer& layer, const std::vector<int>& fields)
{
    return [db, &layer, fields](const RowVisitor& visit) {
        OGRFeatureDefn& definitions = *layer.GetLayerDefn();
        std::string sql = SelectInIdOrder(layer, fields, false);
        sqlite3_stmt* prepared = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &prepared, nullptr) != SQLITE_OK) {
            RaiseHostError("Could not read " + std::string(layer.GetName()) + ": " + sqlite3_errmsg(db));
        }
        std::unique_ptr<sqlite3_stmt, StatementCloser> statement(prepared);
        ColumnRow values(fields.size());
        int result;
        while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
            for (size_t i = 0; i < fields.size(); ++i) {
                runtime::Variant value =
                    ReadColumn(statement.get(), static_cast<int>(i) + 1, *definitions.GetFieldDefn(fields[i]));
                values[i] = value.IsNull() ? std::nullopt : std::optional<int64_t>(IntegerOf(value));
            }
            visit(sqlite3_column_int64(statement.get(), 0), values);
        }
        if (result != SQLITE_DONE) {
            RaiseHostError("Could not read " + std::string(layer.GetName()) + ": " + sqlite3_errmsg(db));
        }
    };
}

void ColumnCache::Load(OGRLayer& layer, const std::vector<int>& fields, const ColumnReader& read)
{
    OGRFeatureDefn& definitions = *layer.GetLayerDefn();
    std::vector<Column> loaded;
    for (int field : fields) {
        const OGRFieldDefn& definition = *definitions.GetFieldDefn(field);
        if (!Holds(definition) || Has(field)) {
            RaiseHostError(std::string("Values of ") + definition.GetNameRef() + " are not loaded into memory");
        }
        Width width = definition.GetType() == OFTInteger64 ? Width::Bits64
                      : definition.GetSubType() == OFSTInt16 || definition.GetSubType() == OFSTBoolean
                          ? Width::Bits16
                          : Width::Bits32;
        loaded.push_back(Column{field, width, {}, {}});
        loaded.back().values.reserve(fids_.size());
        loaded.back().nulls.reserve(fids_.size());
    }
    std::vector<GIntBig> fids;
    fids.reserve(fids_.size());
    read([&](GIntBig fid, const ColumnRow& values) {
        fids.push_back(fid);
        for (size_t i = 0; i < loaded.size(); ++i) {
            loaded[i].nulls.push_back(!values[i]);
            loaded[i].values.push_back(values[i].value_or(0));
        }
    });
    if (columns_.empty()) {
        fids_ = std::move(fids);
    } else if (fids != fids_) {
        RaiseHostError("The rows of " + std::string(layer.GetName()) + " changed while they were being read");
    }
    std::move(loaded.begin(), loaded.end(), std::back_inserter(columns_));
}

size_t ColumnCache::PositionAfter(std::optional<GIntBig> fid) const
{
    if (!fid) {
        return 0;
    }
    return static_cast<size_t>(std::upper_bound(fids_.begin(), fids_.end(), *fid) - fids_.begin());
}

bool ColumnCache::Update(GIntBig fid, int field, const runtime::Variant& value)
{
    Column* column = Find(field);
    if (column == nullptr) {
        return true;
    }
    // Rows are mostly written in id order: the row after the last one
    // written is looked at first.
    size_t next = lastUpdated_ + 1;
    if (next >= fids_.size() || fids_[next] != fid) {
        auto row = std::lower_bound(fids_.begin(), fids_.end(), fid);
        if (row == fids_.end() || *row != fid) {
            RaiseHostError("No feature " + std::to_string(fid) + " to write");
        }
        next = static_cast<size_t>(row - fids_.begin());
    }
    lastUpdated_ = next;
    return column->Set(next, value);
}

runtime::Variant ColumnCache::Column::ValueAt(size_t position) const
{
    if (nulls[position]) {
        return runtime::Variant::Null();
    }
    int64_t value = values[position];
    switch (width) {
    case Width::Bits16:
        return static_cast<int16_t>(value);
    case Width::Bits32:
        return static_cast<int32_t>(value);
    default:
        return value;
    }
}

bool ColumnCache::Column::Set(size_t position, const runtime::Variant& value)
{
    bool null = value.IsNull();
    int64_t integer = null ? 0 : IntegerOf(value);
    if (nulls[position] == null && values[position] == integer) {
        return false;
    }
    nulls[position] = null;
    values[position] = integer;
    return true;
}

}  // namespace drennow::gdalhost
