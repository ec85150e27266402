#pragma once

#include "platform/gdal/storage/EditSession.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstddef>
#include <memory>
#include <string>

namespace drennow::gdalhost {

// How one kind of database holds writes back and sends them, for a
// batching session.
class BatchWriter {
public:
    virtual ~BatchWriter() = default;

    // As EditSession::Use.
    virtual void Use(OGRLayer&) {}
    // Holds the value of the feature's field for the next batch; false,
    // holding nothing, when the batch holds a value of that row's field
    // already.
    virtual bool Hold(OGRLayer& layer, const OGRFeature& feature, int field) = 0;
    // Sends what is held; holds nothing after, whether it raised or not.
    virtual void Send() = 0;
    // Holds nothing.
    virtual void Drop() = 0;
    // Ends what must not outlive the transaction, just before it ends.
    virtual void BeforeTheEnd() = 0;
    // Raises the failure of the commit.
    [[noreturn]] virtual void RaiseCommitFailure(const std::string& attempted) = 0;
};

// The transaction of an edit session on the dataset's connection, with the
// writes held back and sent in batches of at most batchRows values, and
// before every read.
std::unique_ptr<EditSession> StartBatchingSession(GDALDataset& dataset, std::unique_ptr<BatchWriter> writer,
                                                  size_t batchRows);

}  // namespace drennow::gdalhost
