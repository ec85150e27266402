#include "platform/gdal/data/GdalCursor.h"

#include "platform/gdal/data/FieldValues.h"
#include "platform/gdal/data/GdalError.h"
#include "runtime/Error.h"

#include <algorithm>

namespace drennow::gdalhost {

GdalCursor::GdalCursor(host::Ref<EditedLayer> layer, std::shared_ptr<const FidList> fids)
    : layer_(std::move(layer)), fids_(std::move(fids))
{
}

host::Ref<host::IRow> GdalCursor::NextRow()
{
    if (finished_) {
        return nullptr;
    }
    if (!reading_) {
        generation_ = layer_->Generation();
        reading_ = layer_->HowToRead();
    } else if (layer_->Generation() != generation_) {
        RaiseHostError("The rows of " + layer_->Name() + " changed on disk while they were being read");
    }
    while (true) {
        RowSource& source = Source();
        std::optional<GIntBig> fid = source.Next();
        if (!fid) {
            finished_ = true;
            fromTable_.reset();  // an unfinished read may hold a database cursor open
            return nullptr;
        }
        lastFid_ = fid;
        if (Wanted(*fid)) {
            GdalRow& row = FreshRow(*fid);
            source.Fill(row);
            return rows_[nextRow_];
        }
    }
}

// A GeoPackage cursor reads from memory only when every field it reads is
// held there; a PostgreSQL one reads the others row by row anyway.
RowSource& GdalCursor::Source()
{
    using Reading = EditedLayer::Reading;
    if (*reading_ != Reading::Ogr) {
        auto unholdable = *reading_ == Reading::GeoPackage ? EditedLayer::Unholdable::Refuse
                                                            : EditedLayer::Unholdable::Skip;
        if (const ColumnCache* held = layer_->HeldColumns(fields_->fields, unholdable)) {
            // What was read from the table is behind once rows come from memory.
            fromTable_.reset();
            return held_.Over(*held, lastFid_);
        }
    }
    if (!fromTable_) {
        fromTable_ = FromTable();
    }
    return *fromTable_;
}

std::unique_ptr<RowSource> GdalCursor::FromTable()
{
    switch (*reading_) {
    case EditedLayer::Reading::GeoPackage:
        return StatementRows(*layer_, fields_, lastFid_);
    case EditedLayer::Reading::Postgres:
        return ChunkRows(*layer_, fields_, lastFid_);
    default:
        return OgrRows(*layer_);
    }
}

GdalRow& GdalCursor::FreshRow(GIntBig fid)
{
    nextRow_ = (nextRow_ + 1) % rows_.size();
    host::Ref<GdalRow>& row = rows_[nextRow_];
    if (!row || row.use_count() > 1) {
        row = std::make_shared<GdalRow>(layer_, fields_);
    }
    row->Reset(fid);
    return *row;
}

bool GdalCursor::Wanted(GIntBig fid) const
{
    return !fids_ || std::binary_search(fids_->begin(), fids_->end(), fid);
}

GdalRow::GdalRow(host::Ref<EditedLayer> layer, std::shared_ptr<LearnedFields> fields)
    : layer_(std::move(layer)), fields_(std::move(fields))
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
    values_.emplace_back(field, layer_->ReadValue(fid_, field));
    return values_.back().second;
}

void GdalRow::SetValue(int32_t index, const runtime::Variant& value)
{
    if (index == 0) {
        RaiseHostError("The object id of a row cannot be changed");
    }
    int field = AttributeIndex(index);
    runtime::Variant converted = layer_->Converted(field, value);
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
    return FeatureObjectId(layer_->Layer(), fid_);
}

void GdalRow::Store()
{
    if (changed_.empty()) {
        return;
    }
    layer_->WriteRow(fid_, changed_);
    changed_.clear();
}

int GdalRow::AttributeIndex(int32_t index) const
{
    if (index < 1 || index > layer_->AttributeCount()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    return index - 1;
}

}  // namespace drennow::gdalhost
