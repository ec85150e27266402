#include "platform/gdal/GdalMap.h"

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
        }
    }
    return map;
}

host::Ref<host::ILayer> GdalMap::Layer(int32_t index)
{
    if (index < 0 || index >= LayerCount()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    return layers_[static_cast<size_t>(index)];
}

}  // namespace drennow::gdalhost
