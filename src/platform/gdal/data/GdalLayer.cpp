#include "platform/gdal/data/GdalLayer.h"

#include "platform/gdal/data/FieldValues.h"
#include "platform/gdal/data/GdalCursor.h"

#include <algorithm>

namespace drennow::gdalhost {

namespace {

class GdalSelectionSet : public host::ISelectionSet {
public:
    GdalSelectionSet(host::Ref<GdalFeatureClass> data, std::shared_ptr<const FidList> fids)
        : data_(std::move(data)), fids_(std::move(fids))
    {
    }

    int32_t Count() override { return ObjectId(static_cast<int64_t>(fids_->size())); }
    host::Ref<host::ICursor> Search() override { return std::make_shared<GdalCursor>(data_->Rows(), fids_); }

private:
    host::Ref<GdalFeatureClass> data_;
    std::shared_ptr<const FidList> fids_;
};

}  // namespace

GdalTableLayer::GdalTableLayer(host::Ref<GdalFeatureClass> data) : data_(std::move(data)), name_(data_->Name()) {}

host::Ref<host::ISelectionSet> GdalTableLayer::SelectionSet()
{
    return std::make_shared<GdalSelectionSet>(data_, selection_);
}

void GdalTableLayer::SelectWhere(const std::string& filter)
{
    selection_ = std::make_shared<FidList>(data_->Rows()->FidsWhere(filter));
}

size_t GdalTableLayer::SelectFids(const FidList& fids)
{
    FidList sorted = fids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    selection_ = std::make_shared<FidList>(data_->Rows()->ExistingFids(sorted));
    return sorted.size() - selection_->size();
}

int32_t GdalTableLayer::SelectedCount() const
{
    return static_cast<int32_t>(selection_->size());
}

}  // namespace drennow::gdalhost
