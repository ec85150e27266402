#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <memory>
#include <vector>

namespace drennow::gdalhost {

// The all-or-nothing edits of one dataset between the start of an edit
// session and its end. Only attribute values are written, never geometry.
// A session destroyed without Commit leaves the data as it was.
class EditSession {
public:
    virtual ~EditSession() = default;

    // Comes before every read and write of a layer in the session; the
    // first may check that the layer can be edited and lock it.
    virtual void Use(OGRLayer&) {}
    // Writes the changed attribute fields of the feature to the row of its id.
    virtual void Write(OGRLayer& layer, const OGRFeature& feature, const std::vector<int>& changedFields) = 0;
    // Writes held back for batching reach the data; reads call this first.
    virtual void Flush() {}
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
};

// A transaction on the dataset's SQLite connection (GeoPackage, SQLite), with
// one prepared UPDATE per column.
std::unique_ptr<EditSession> StartSqliteSession(GDALDataset& dataset);

// A transaction on the dataset's PostgreSQL connection, with the updates
// sent in batches. The table of each layer the session uses is checked and
// locked against other writers on its first use, before anything of it is
// read or written in the session.
std::unique_ptr<EditSession> StartPostgresSession(GDALDataset& dataset);

// For Shapefiles: each layer's attribute table is copied beside it, under a
// name of its own, on its first write; the copy is edited in place, and
// Commit flushes it to disk and renames it over the original if the original
// is still as it was when the session began. The original is never written.
std::unique_ptr<EditSession> StartStagedDbfSession(GDALDataset& dataset);

}  // namespace drennow::gdalhost
