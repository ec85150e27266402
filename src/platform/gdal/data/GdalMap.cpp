#include "platform/gdal/data/GdalMap.h"

#include "runtime/Error.h"

namespace drennow::gdalhost {

host::Ref<GdalMap> GdalMap::Open(const std::vector<std::string>& datasets)
{
    auto map = std::make_shared<GdalMap>();
    for (const std::string& name : datasets) {
        host::Ref<GdalWorkspace> workspace = GdalWorkspace::Open(name);
        map->workspaces_.push_back(workspace);
        for (int i = 0; i < workspace->LayerCount(); ++i) {
            auto data = std::make_shared<GdalFeatureClass>(workspace, i);
            if (data->HasGeometry()) {
                map->layers_.push_back(std::make_shared<GdalFeatureLayer>(data));
            } else {
                map->layers_.push_back(std::make_shared<GdalStandaloneTable>(data));
            }
            map->data_.push_back(data);
            map->datasets_.push_back(name);
        }
    }
    return map;
}

std::vector<std::string> GdalMap::LayersAndTheirGeometry()
{
    std::vector<std::string> layers;
    for (const host::Ref<GdalFeatureClass>& data : data_) {
        layers.push_back(data->Name() + " (" + data->GeometryDescription() + ")");
    }
    return layers;
}

std::vector<std::string> GdalMap::DatasetsWithFeatureLayer(const std::string& name)
{
    std::vector<std::string> datasets;
    for (size_t i = 0; i < data_.size(); ++i) {
        if (data_[i]->HasGeometry() && data_[i]->Name() == name) {
            datasets.push_back(datasets_[i]);
        }
    }
    return datasets;
}

host::Ref<host::ILayer> GdalMap::Layer(int32_t index)
{
    if (index < 0 || index >= LayerCount()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    return layers_[static_cast<size_t>(index)];
}

}  // namespace drennow::gdalhost
