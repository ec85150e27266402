#include "platform/gdal/GdalCursor.h"

#include "platform/gdal/FieldValues.h"
#include "platform/gdal/GdalError.h"
#include "platform/gdal/PostgresSql.h"
#include "platform/gdal/SqlText.h"
#include "runtime/Error.h"

#include <cpl_error.h>

#include <algorithm>

namespace drennow::gdalhost {

GdalCursor::GdalCursor(host::Ref<GdalFeatureClass> table, std::shared_ptr<const FidList> fids)
    : table_(std::move(table)), fids_(std::move(fids))
{
}

GdalCursor::~GdalCursor()
{
    if (started_ && !finished_ && table_->Generation() == generation_) {
        try {
            Finish();
        } catch (const std::exception&) {
            // The layer is gone with its dataset; so is its reading.
        }
    }
}

host::Ref<host::IRow> GdalCursor::NextRow()
{
    if (finished_) {
        return nullptr;
    }
    if (!started_) {
        started_ = true;
        generation_ = table_->Generation();
        db_ = table_->GeoPackageConnection();
        reading_ = table_->HowToRead();
    } else if (table_->Generation() != generation_) {
        RaiseHostError("The rows of " + table_->Name() + " changed on disk while they were being read");
    }
    switch (reading_) {
    case Reading::GeoPackage:
        return NextSqliteRow();
    case Reading::Memory:
        return NextMemoryRow();
    case Reading::Chunks:
        return NextChunkRow();
    default:
        return NextOgrRow();
    }
}

// Fields that cannot be held are read row by row.
host::Ref<host::IRow> GdalCursor::NextMemoryRow()
{
    if (const ColumnCache* cache = table_->EditCacheWith(table_->HoldableOf(fields_->fields))) {
        return RowOrEnd(NextCachedRow(*cache));
    }
    // The session ended: the rows not read yet come from the table.
    reading_ = Reading::Chunks;
    return NextChunkRow();
}

// A chunk is read again, from the row after the last one read, when a
// field it lacks is learned. A cursor that reads a few rows reads a few:
// chunks grow from small ones.
host::Ref<host::IRow> GdalCursor::NextChunkRow()
{
    while (true) {
        if (chunk_ && chunkAsOf_ != fields_->fields.size()) {
            chunkAsOf_ = fields_->fields.size();
            for (int field : table_->HoldableOf(fields_->fields)) {
                if (!chunk_->Has(field)) {
                    chunk_.reset();
                    break;
                }
            }
        }
        if (!chunk_) {
            chunk_ = table_->ChunkAfter(lastFid_, table_->HoldableOf(fields_->fields), chunkRows_);
            chunkAsOf_ = fields_->fields.size();
            cachePosition_ = 0;
        }
        if (host::Ref<host::IRow> row = NextCachedRow(*chunk_)) {
            return row;
        }
        if (chunk_->Fids().size() < chunkRows_) {
            return RowOrEnd(nullptr);
        }
        chunk_.reset();
        chunkRows_ = std::min(2 * chunkRows_, postgres::kRowsAStatement);
    }
}

host::Ref<host::IRow> GdalCursor::RowOrEnd(host::Ref<host::IRow> row)
{
    if (!row) {
        Finish();
    }
    return row;
}

host::Ref<host::IRow> GdalCursor::NextOgrRow()
{
    OGRLayer& layer = table_->ReadFrom(this, featuresRead_, lastFid_);
    while (true) {
        // A read that failed is never the end of the rows, even where the
        // driver clears its error before returning.
        FirstGdalFailure failure;
        OGRFeatureUniquePtr feature(layer.GetNextFeature());
        if (!feature) {
            if (failure.Happened()) {
                failure.Raise("Could not read " + table_->Name());
            }
            RequireAllRowsRead(layer);
            Finish();
            return nullptr;
        }
        ++featuresRead_;
        lastFid_ = feature->GetFID();
        if (Wanted(feature->GetFID())) {
            GdalRow& row = FreshRow(feature->GetFID());
            for (int field = 0; field < feature->GetFieldCount(); ++field) {
                row.AddValue(field, ReadField(*feature, field));
            }
            return rows_[nextRow_];
        }
    }
}

host::Ref<host::IRow> GdalCursor::NextSqliteRow()
{
    if (const ColumnCache* cache = table_->EditCacheWith(fields_->fields)) {
        return RowOrEnd(NextCachedRow(*cache));
    }
    if (select_ == nullptr || selectedAsOf_ != fields_->fields.size()) {
        PrepareSelect();
    }
    while (true) {
        table_->FlushWritesTo(selectedFields_);
        int result = sqlite3_step(select_);
        if (result == SQLITE_DONE) {
            Finish();
            return nullptr;
        }
        if (result != SQLITE_ROW) {
            RaiseHostError("Could not read " + table_->Name() + ": " + sqlite3_errmsg(db_));
        }
        GIntBig fid = sqlite3_column_int64(select_, 0);
        lastFid_ = fid;
        if (Wanted(fid)) {
            GdalRow& row = FreshRow(fid);
            for (size_t i = 0; i < selectedFields_.size(); ++i) {
                int column = static_cast<int>(i) + 1;
                row.AddValue(selectedFields_[i], ReadColumn(select_, column, *selectedDefinitions_[i]));
            }
            return rows_[nextRow_];
        }
    }
}

// The next row after the last one read, from the columns held in memory;
// nothing after the last one held. Rows carry the fields learned that are
// held; before any is learned, every column held, so the fields the caller
// asks for first are there already.
host::Ref<host::IRow> GdalCursor::NextCachedRow(const ColumnCache& cache)
{
    if (select_ != nullptr) {
        sqlite3_finalize(select_);  // the statement is behind once rows come from the cache
        select_ = nullptr;
    }
    const std::vector<GIntBig>& fids = cache.Fids();
    bool aligned = lastFid_ && cachePosition_ > 0 && cachePosition_ <= fids.size() &&
                   fids[cachePosition_ - 1] == *lastFid_;
    if (!aligned) {
        cachePosition_ = cache.PositionAfter(lastFid_);
    }
    while (cachePosition_ < fids.size()) {
        size_t position = cachePosition_++;
        GIntBig fid = fids[position];
        lastFid_ = fid;
        if (Wanted(fid)) {
            GdalRow& row = FreshRow(fid);
            if (fields_->fields.empty()) {
                cache.ForEachValue(position, [&](int field, runtime::Variant value) {
                    row.AddValue(field, std::move(value));
                });
            } else {
                for (int field : fields_->fields) {
                    if (cache.Has(field)) {
                        row.AddValue(field, cache.ValueOf(field, position));
                    }
                }
            }
            return rows_[nextRow_];
        }
    }
    return nullptr;
}

// Selects the learned fields of the rows after the last one read, in id
// order, which is the order GDAL reads the table in. Writes held back
// reach the data before each row is read if they are to a selected field.
void GdalCursor::PrepareSelect()
{
    sqlite3_finalize(select_);
    select_ = nullptr;
    selectedFields_.clear();
    selectedDefinitions_.clear();
    selectedAsOf_ = fields_->fields.size();
    OGRLayer& layer = table_->Layer();
    std::string fid = QuotedFidColumn(layer, nullptr);
    std::string sql = "SELECT " + fid;
    for (int field = 0; field < table_->AttributeCount(); ++field) {
        const OGRFieldDefn& definition = table_->Attribute(field);
        if (fields_->Wants(field) && ReadableAsColumn(definition)) {
            selectedFields_.push_back(field);
            selectedDefinitions_.push_back(&definition);
            sql += ", " + QuoteIdentifier(definition.GetNameRef());
        }
    }
    sql += " FROM " + QuotedTable(layer, false);
    if (lastFid_) {
        sql += " WHERE " + fid + " > ?1";
    }
    sql += " ORDER BY " + fid;
    table_->FlushWrites();
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &select_, nullptr) != SQLITE_OK) {
        RaiseHostError("Could not read " + table_->Name() + ": " + sqlite3_errmsg(db_));
    }
    if (lastFid_) {
        sqlite3_bind_int64(select_, 1, *lastFid_);
    }
}

// A reading that ends before the last row, without a word from the driver,
// would leave rows unwritten in a run that reports it finished.
void GdalCursor::RequireAllRowsRead(OGRLayer& layer)
{
    GIntBig rows = layer.GetFeatureCount(TRUE);
    if (rows > featuresRead_) {
        RaiseHostError("Could not read " + table_->Name() + ": the reading ended after " +
                       std::to_string(featuresRead_) + " of its " + std::to_string(rows) + " rows");
    }
}

void GdalCursor::Finish()
{
    finished_ = true;
    if (select_ != nullptr) {
        sqlite3_finalize(select_);
        select_ = nullptr;
    }
    table_->StopReading(this);
}

GdalRow& GdalCursor::FreshRow(GIntBig fid)
{
    nextRow_ = (nextRow_ + 1) % rows_.size();
    host::Ref<GdalRow>& row = rows_[nextRow_];
    if (!row || row.use_count() > 1) {
        row = std::make_shared<GdalRow>(table_, fields_);
    }
    row->Reset(fid);
    return *row;
}

bool GdalCursor::Wanted(GIntBig fid) const
{
    return !fids_ || std::binary_search(fids_->begin(), fids_->end(), fid);
}

GdalRow::GdalRow(host::Ref<GdalFeatureClass> table, std::shared_ptr<LearnedFields> fields)
    : table_(std::move(table)), fields_(std::move(fields))
{
}

void GdalRow::Reset(GIntBig fid)
{
    fid_ = fid;
    values_.clear();
    changed_.clear();
}

runtime::Variant GdalRow::Value(int32_t index)
{
    if (index == 0) {
        return OID();
    }
    int field = AttributeIndex(index);
    fields_->Learn(field);  // read with every row the cursor reads from here on
    for (const FieldValue& value : values_) {
        if (value.first == field) {
            return value.second;
        }
    }
    values_.emplace_back(field, table_->ReadValue(fid_, field));
    return values_.back().second;
}

void GdalRow::SetValue(int32_t index, const runtime::Variant& value)
{
    if (index == 0) {
        RaiseHostError("The object id of a row cannot be changed");
    }
    int field = AttributeIndex(index);
    runtime::Variant converted = table_->Converted(field, value);
    auto update = [&](std::vector<FieldValue>& list) {
        auto found = std::find_if(list.begin(), list.end(), [&](const FieldValue& v) { return v.first == field; });
        if (found != list.end()) {
            found->second = converted;
        } else {
            list.emplace_back(field, converted);
        }
    };
    update(values_);
    update(changed_);
}

int32_t GdalRow::OID()
{
    return ObjectId(fid_);
}

void GdalRow::Store()
{
    if (changed_.empty()) {
        return;
    }
    table_->WriteRow(fid_, changed_);
    changed_.clear();
}

int GdalRow::AttributeIndex(int32_t index) const
{
    if (index < 1 || index > table_->AttributeCount()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    return index - 1;
}

}  // namespace drennow::gdalhost
