#include "platform/gdal/data/GdalFields.h"

#include "platform/gdal/data/FieldValues.h"
#include "runtime/Error.h"

#include <cpl_string.h>

namespace drennow::gdalhost {

namespace {

class GdalField : public host::IField {
public:
    GdalField(std::string name, int32_t type) : name_(std::move(name)), type_(type) {}
    std::string Name() override { return name_; }
    int32_t Type() override { return type_; }

private:
    std::string name_;
    int32_t type_;
};

}  // namespace

GdalFields::GdalFields(const std::string& fidColumn, const OGRFeatureDefn& definition)
{
    fields_.push_back({fidColumn.empty() ? "FID" : fidColumn, host::kFieldTypeObjectId});
    for (int i = 0; i < definition.GetFieldCount(); ++i) {
        const OGRFieldDefn& field = *definition.GetFieldDefn(i);
        fields_.push_back({field.GetNameRef(), HostFieldType(field)});
    }
}

host::Ref<host::IField> GdalFields::Field(int32_t index)
{
    if (index < 0 || index >= FieldCount()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    const Entry& entry = fields_[static_cast<size_t>(index)];
    return std::make_shared<GdalField>(entry.name, entry.type);
}

int32_t GdalFields::FindField(const std::string& name)
{
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (EQUAL(fields_[i].name.c_str(), name.c_str())) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

}  // namespace drennow::gdalhost
