#include "platform/gdal/GdalCursor.h"

#include "platform/gdal/FieldValues.h"
#include "platform/gdal/GdalError.h"
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
            table_->StopReading(this);
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
    } else if (table_->Generation() != generation_) {
        RaiseHostError("The rows of " + table_->Name() + " changed on disk while they were being read");
    }
    OGRLayer& layer = table_->ReadFrom(this, featuresRead_);
    while (true) {
        CPLErrorReset();
        OGRFeatureUniquePtr feature(layer.GetNextFeature());
        if (!feature) {
            if (CPLGetLastErrorType() >= CE_Failure) {
                RaiseGdalError("Could not read " + table_->Name());
            }
            finished_ = true;
            table_->StopReading(this);
            return nullptr;
        }
        ++featuresRead_;
        if (Wanted(feature->GetFID())) {
            return std::make_shared<GdalRow>(table_, std::move(feature));
        }
    }
}

bool GdalCursor::Wanted(GIntBig fid) const
{
    return !fids_ || std::binary_search(fids_->begin(), fids_->end(), fid);
}

GdalRow::GdalRow(host::Ref<GdalFeatureClass> table, OGRFeatureUniquePtr feature)
    : table_(std::move(table)), feature_(std::move(feature))
{
}

runtime::Variant GdalRow::Value(int32_t index)
{
    if (index == 0) {
        return OID();
    }
    return ReadField(*feature_, AttributeIndex(index));
}

void GdalRow::SetValue(int32_t index, const runtime::Variant& value)
{
    if (index == 0) {
        RaiseHostError("The object id of a row cannot be changed");
    }
    int field = AttributeIndex(index);
    WriteField(*feature_, field, value);
    if (std::find(changed_.begin(), changed_.end(), field) == changed_.end()) {
        changed_.push_back(field);
    }
}

int32_t GdalRow::OID()
{
    return ObjectId(feature_->GetFID());
}

void GdalRow::Store()
{
    if (changed_.empty()) {
        return;
    }
    table_->WriteRow(*feature_, changed_);
    changed_.clear();
}

int GdalRow::AttributeIndex(int32_t index) const
{
    if (index < 1 || index > feature_->GetFieldCount()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    return index - 1;
}

}  // namespace drennow::gdalhost
