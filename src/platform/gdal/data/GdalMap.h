#pragma once

#include "host/Data.h"
#include "platform/gdal/data/GdalLayer.h"
#include "platform/gdal/data/GdalWorkspace.h"

#include <string>
#include <vector>

namespace drennow::gdalhost {

// The map: every vector layer of the datasets, in the order given; layers
// with geometry are feature layers, the others stand-alone tables.
class GdalMap : public host::IMap {
public:
    // Raises for a dataset that cannot be opened.
    static host::Ref<GdalMap> Open(const std::vector<std::string>& datasets);

    int32_t LayerCount() override { return static_cast<int32_t>(layers_.size()); }
    host::Ref<host::ILayer> Layer(int32_t index) override;

    const std::vector<host::Ref<GdalWorkspace>>& Workspaces() const { return workspaces_; }
    const std::vector<host::Ref<GdalTableLayer>>& TableLayers() const { return layers_; }

    // Every layer with its geometry type, as in "Rivers (Line String)".
    std::vector<std::string> LayersAndTheirGeometry();
    // The datasets, in map order, of the layers with geometry of that name.
    std::vector<std::string> DatasetsWithFeatureLayer(const std::string& name);

private:
    std::vector<host::Ref<GdalWorkspace>> workspaces_;
    std::vector<host::Ref<GdalTableLayer>> layers_;
    std::vector<host::Ref<GdalFeatureClass>> data_;  // of each layer
    std::vector<std::string> datasets_;              // the name of each layer's
};

}  // namespace drennow::gdalhost
