#pragma once

#include "host/Data.h"
#include "platform/gdal/data/GdalFeatureClass.h"

#include <memory>
#include <string>

namespace drennow::gdalhost {

// A layer of the map over one OGR layer, seen as a table, with its
// selection: the ids of the selected rows.
class GdalTableLayer : public virtual host::ILayer, public host::ITable, public host::ITableSelection {
public:
    explicit GdalTableLayer(host::Ref<GdalFeatureClass> data);

    std::string Name() override { return name_; }
    host::Ref<host::ICursor> Search() override { return data_->Search(); }
    int32_t RowCount() override { return data_->RowCount(); }
    host::Ref<host::ISelectionSet> SelectionSet() override;

    // Selects the rows that match the attribute filter; raises for a filter
    // the layer cannot evaluate.
    void SelectWhere(const std::string& filter);
    // Selects the rows of the ids given that the layer holds.
    // Selects the features of those ids; returns how many of the distinct
    // ids are of no feature.
    size_t SelectFids(const FidList& fids);
    int32_t SelectedCount() const;

protected:
    host::Ref<GdalFeatureClass> data_;

private:
    std::string name_;
    std::shared_ptr<const FidList> selection_ = std::make_shared<FidList>();
};

// A layer with geometry.
class GdalFeatureLayer : public GdalTableLayer, public host::IFeatureLayer {
public:
    using GdalTableLayer::GdalTableLayer;

    host::Ref<host::IFeatureClass> FeatureClass() override { return data_; }
    host::Ref<host::ICursor> Search() override { return GdalTableLayer::Search(); }
};

// A layer without geometry.
class GdalStandaloneTable : public GdalTableLayer, public host::IStandaloneTable {
public:
    using GdalTableLayer::GdalTableLayer;
};

}  // namespace drennow::gdalhost
