#pragma once

#include "host/Data.h"
#include "platform/gdal/GdalFeatureClass.h"

#include <ogrsf_frmts.h>

#include <memory>
#include <vector>

namespace drennow::gdalhost {

// A cursor over a layer's rows, or over the rows of a list of ids. It starts
// reading at its first row, so rows added to the schema since it was made
// (a new field) are in what it delivers.
class GdalCursor : public host::ICursor {
public:
    GdalCursor(host::Ref<GdalFeatureClass> table, std::shared_ptr<const FidList> fids);
    ~GdalCursor() override;
    GdalCursor(const GdalCursor&) = delete;
    GdalCursor& operator=(const GdalCursor&) = delete;

    host::Ref<host::IRow> NextRow() override;

private:
    bool Wanted(GIntBig fid) const;

    host::Ref<GdalFeatureClass> table_;
    std::shared_ptr<const FidList> fids_;
    GIntBig featuresRead_ = 0;
    uint64_t generation_ = 0;
    bool started_ = false;
    bool finished_ = false;
};

// A row read by a cursor: its attribute values, changed ones marked until
// they are stored.
class GdalRow : public host::IRow {
public:
    GdalRow(host::Ref<GdalFeatureClass> table, OGRFeatureUniquePtr feature);

    runtime::Variant Value(int32_t index) override;
    void SetValue(int32_t index, const runtime::Variant& value) override;
    int32_t OID() override;
    void Store() override;

private:
    int AttributeIndex(int32_t index) const;

    host::Ref<GdalFeatureClass> table_;
    OGRFeatureUniquePtr feature_;
    std::vector<int> changed_;
};

}  // namespace drennow::gdalhost
