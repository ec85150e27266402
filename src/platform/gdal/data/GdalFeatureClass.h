#pragma once

#include "host/Data.h"
#include "platform/gdal/data/EditedLayer.h"
#include "platform/gdal/data/GdalWorkspace.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace drennow::gdalhost {

// One OGR layer of a dataset as the host's feature class and table. Its
// fields are the object id first (named after the id column, or "FID"),
// then the attribute fields in order. Reads never fetch geometry.
class GdalFeatureClass : public host::IFeatureClass, public host::ITable {
public:
    GdalFeatureClass(host::Ref<GdalWorkspace> workspace, int layerIndex);

    host::Ref<host::IFields> Fields() override;
    void AddField(const host::NewField& field) override;
    int32_t FeatureType() override { return host::kFeatureTypeSimple; }
    int32_t ShapeType() override;
    host::Ref<host::IFeatureDataset> FeatureDataset() override;
    host::Ref<host::IWorkspace> Workspace() override { return workspace_; }

    // Every row, no filter.
    host::Ref<host::ICursor> Search() override;
    int32_t RowCount() override { return layer_->RowCount(); }

    std::string Name() { return layer_->Name(); }
    bool HasGeometry() { return layer_->Layer().GetLayerDefn()->GetGeomFieldCount() > 0; }
    // The geometry type the layer declares, and for one of any type the
    // types its features hold: "Polygon", "Geometry: Point, Polygon".
    std::string GeometryDescription();
    // The layer's rows, read and written; it keeps the dataset open.
    const host::Ref<EditedLayer>& Rows() const { return layer_; }

private:
    // Whether the layer declares no geometry type in particular, so that
    // only its features tell.
    bool OfAnyGeometryType() { return wkbFlatten(layer_->Layer().GetGeomType()) == wkbUnknown; }
    // The flat types of the features' geometries, read once.
    const std::set<OGRwkbGeometryType>& HeldTypes();

    host::Ref<GdalWorkspace> workspace_;
    host::Ref<EditedLayer> layer_;
    std::optional<std::set<OGRwkbGeometryType>> heldTypes_;
};

}  // namespace drennow::gdalhost
