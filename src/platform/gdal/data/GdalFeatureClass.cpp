#include "platform/gdal/data/GdalFeatureClass.h"

#include "platform/gdal/data/FieldValues.h"
#include "platform/gdal/data/GdalCursor.h"
#include "platform/gdal/data/GdalFields.h"

namespace drennow::gdalhost {

namespace {

class GdalFeatureDataset : public host::IFeatureDataset {
public:
    explicit GdalFeatureDataset(host::Ref<host::IWorkspace> workspace) : workspace_(std::move(workspace)) {}
    host::Ref<host::IWorkspace> Workspace() override { return workspace_; }

private:
    host::Ref<host::IWorkspace> workspace_;
};

}  // namespace

GdalFeatureClass::GdalFeatureClass(host::Ref<GdalWorkspace> workspace, int layerIndex)
    : workspace_(std::move(workspace)), layer_(workspace_, &workspace_->Edited(layerIndex))
{
}

host::Ref<host::IFields> GdalFeatureClass::Fields()
{
    OGRLayer& layer = layer_->Layer();
    return std::make_shared<GdalFields>(layer.GetFIDColumn(), *layer.GetLayerDefn());
}

void GdalFeatureClass::AddField(const host::NewField& field)
{
    OgrFieldKind kind = OgrFieldFor(field.Type);
    OGRFieldDefn definition(field.Name.c_str(), kind.type);
    definition.SetSubType(kind.subType);
    layer_->AddField(definition);
}

namespace {

int32_t ShapeOf(OGRwkbGeometryType type)
{
    switch (type) {
    case wkbPoint:
        return host::kShapeTypePoint;
    case wkbMultiPoint:
        return host::kShapeTypeMultipoint;
    case wkbLineString:
    case wkbMultiLineString:
    case wkbCircularString:
    case wkbCompoundCurve:
    case wkbMultiCurve:
        return host::kShapeTypePolyline;
    case wkbPolygon:
    case wkbMultiPolygon:
    case wkbCurvePolygon:
    case wkbMultiSurface:
        return host::kShapeTypePolygon;
    default:
        return host::kShapeTypeNull;
    }
}

}  // namespace

// A layer of any geometry type (a GeoPackage's GEOMETRY) has the shape of
// its features when they all have one.
int32_t GdalFeatureClass::ShapeType()
{
    if (!OfAnyGeometryType()) {
        return ShapeOf(wkbFlatten(layer_->Layer().GetGeomType()));
    }
    std::set<int32_t> shapes;
    for (OGRwkbGeometryType type : HeldTypes()) {
        shapes.insert(ShapeOf(type));
    }
    return shapes.size() == 1 ? *shapes.begin() : host::kShapeTypeNull;
}

std::string GdalFeatureClass::GeometryDescription()
{
    if (!HasGeometry()) {
        return "no geometry";
    }
    if (!OfAnyGeometryType()) {
        return OGRGeometryTypeToName(layer_->Layer().GetGeomType());
    }
    std::string held;
    for (OGRwkbGeometryType type : HeldTypes()) {
        held += (held.empty() ? ": " : ", ") + std::string(OGRGeometryTypeToName(type));
    }
    return "Geometry" + (held.empty() ? std::string(", no feature with one") : held);
}

const std::set<OGRwkbGeometryType>& GdalFeatureClass::HeldTypes()
{
    if (!heldTypes_) {
        heldTypes_ = layer_->GeometryTypes();
    }
    return *heldTypes_;
}

host::Ref<host::IFeatureDataset> GdalFeatureClass::FeatureDataset()
{
    return std::make_shared<GdalFeatureDataset>(workspace_);
}

host::Ref<host::ICursor> GdalFeatureClass::Search()
{
    return std::make_shared<GdalCursor>(layer_, nullptr);
}

}  // namespace drennow::gdalhost
