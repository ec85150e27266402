#pragma once

#include "host/Data.h"

#include <ogr_feature.h>

#include <string>
#include <vector>

namespace drennow::gdalhost {

// The fields of a layer as they are when the list is made.
class GdalFields : public host::IFields {
public:
    GdalFields(const std::string& fidColumn, const OGRFeatureDefn& definition);

    int32_t FieldCount() override { return static_cast<int32_t>(fields_.size()); }
    host::Ref<host::IField> Field(int32_t index) override;
    // Names compare without regard to letter case, as the database's do.
    int32_t FindField(const std::string& name) override;

private:
    struct Entry {
        std::string name;
        int32_t type;
    };
    std::vector<Entry> fields_;
};

}  // namespace drennow::gdalhost
