#pragma once

#include "host/Unknown.h"
#include "runtime/Error.h"
#include "runtime/Variant.h"

#include <cstdint>
#include <string>
#include <utility>

// The host's data: workspaces, feature classes, fields, tables, cursors and
// rows, layers and maps. Every operation may fail by raising runtime::Error
// with a negative number (the host's result code) and its description.
namespace drennow::host {

enum FieldType : int32_t {
    kFieldTypeSmallInteger = 0,
    kFieldTypeLongInteger = 1,
    kFieldTypeSingle = 2,
    kFieldTypeDouble = 3,
    kFieldTypeString = 4,
    kFieldTypeDate = 5,
    kFieldTypeObjectId = 6,
    kFieldTypeGeometry = 7,
    kFieldTypeBlob = 8,
    // Ours, for 64-bit codes and identifiers: hosts report existing 64-bit
    // integer fields as long integers, and add this type as 64-bit.
    kFieldTypeBigInteger = 100,
};

// The kind of values a field of that type holds, as a user names it.
inline const char* FieldTypeName(int32_t type)
{
    switch (type) {
    case kFieldTypeSmallInteger:
        return "small integer";
    case kFieldTypeLongInteger:
        return "integer";
    case kFieldTypeSingle:
    case kFieldTypeDouble:
        return "real";
    case kFieldTypeString:
        return "text";
    case kFieldTypeDate:
        return "date";
    case kFieldTypeObjectId:
        return "object id";
    case kFieldTypeGeometry:
        return "geometry";
    case kFieldTypeBlob:
        return "binary";
    case kFieldTypeBigInteger:
        return "64-bit integer";
    default:
        return "unknown";
    }
}

enum FeatureType : int32_t {
    kFeatureTypeSimple = 1,
    kFeatureTypeAnnotation = 11,
};

enum ShapeType : int32_t {
    kShapeTypeNull = 0,
    kShapeTypePoint = 1,
    kShapeTypeMultipoint = 2,
    kShapeTypePolyline = 3,
    kShapeTypePolygon = 4,
};

// A place that holds data and is edited as a whole. Workspaces are compared
// by object identity.
struct IWorkspace : virtual IUnknown {};

// A failed host call that is no fault of the workspace or of its data: the
// connection to the server that holds them was lost. Operations that turn
// errors into result codes pass it on, for the run's error report to say.
class ConnectionLost : public runtime::Error {
public:
    explicit ConnectionLost(std::string description)
        : runtime::Error(runtime::kHostCallFailed, std::move(description))
    {
    }
};

struct IField : virtual IUnknown {
    virtual std::string Name() = 0;
    virtual int32_t Type() = 0;
};

// A field to be added: its name and type.
struct NewField {
    std::string Name;
    int32_t Type = kFieldTypeLongInteger;
};

struct IFields : virtual IUnknown {
    virtual int32_t FieldCount() = 0;
    virtual Ref<IField> Field(int32_t index) = 0;  // index from 0
    // Position of the field of that name, -1 when absent; the host's own
    // comparison of names.
    virtual int32_t FindField(const std::string& name) = 0;
};

struct IRow : virtual IUnknown {
    virtual runtime::Variant Value(int32_t index) = 0;
    // The host converts the value to the field's type.
    virtual void SetValue(int32_t index, const runtime::Variant& value) = 0;
    virtual int32_t OID() = 0;
    // Writes the row; inside an edit session, as part of it.
    virtual void Store() = 0;
};

// A cursor that never recycles: every row it delivers is an object of its own.
struct ICursor : virtual IUnknown {
    // The next row, or nothing at the end.
    virtual Ref<IRow> NextRow() = 0;
    Ref<IRow> NextFeature() { return NextRow(); }
};

// A layer or stand-alone table seen as a table.
struct ITable : virtual IUnknown {
    // Every row, no filter, not recycling.
    virtual Ref<ICursor> Search() = 0;
    virtual int32_t RowCount() = 0;
};

struct ISelectionSet : virtual IUnknown {
    virtual int32_t Count() = 0;
    // The selected rows only, no filter, not recycling.
    virtual Ref<ICursor> Search() = 0;
};

struct ITableSelection : virtual IUnknown {
    virtual Ref<ISelectionSet> SelectionSet() = 0;
};

struct IFeatureDataset : virtual IUnknown {
    virtual Ref<IWorkspace> Workspace() = 0;
};

struct IFeatureClass : virtual IUnknown {
    virtual Ref<IFields> Fields() = 0;
    virtual void AddField(const NewField& field) = 0;
    virtual int32_t FeatureType() = 0;
    virtual int32_t ShapeType() = 0;
    // The feature dataset that holds the class; nothing for a stand-alone class.
    virtual Ref<IFeatureDataset> FeatureDataset() = 0;
    // The workspace that holds the class itself.
    virtual Ref<IWorkspace> Workspace() = 0;
};

struct ILayer : virtual IUnknown {
    virtual std::string Name() = 0;
};

// A feature layer; the same object also offers ITable and ITableSelection.
struct IFeatureLayer : virtual ILayer {
    // Nothing when the layer's data source is broken.
    virtual Ref<IFeatureClass> FeatureClass() = 0;
    // Every feature, selection ignored, no filter, not recycling.
    virtual Ref<ICursor> Search() = 0;
};

struct IRasterLayer : virtual ILayer {};

// A table without geometry; the same object also offers ITable and
// ITableSelection.
struct IStandaloneTable : virtual ILayer {};

struct IMap : virtual IUnknown {
    virtual int32_t LayerCount() = 0;
    // Top-level layers in map order, index from 0.
    virtual Ref<ILayer> Layer(int32_t index) = 0;
};

struct IMxDocument : virtual IUnknown {
    virtual Ref<IMap> FocusMap() = 0;
};

}  // namespace drennow::host
