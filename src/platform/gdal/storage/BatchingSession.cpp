#include "platform/gdal/storage/BatchingSession.h"

#include "platform/gdal/data/GdalError.h"

namespace drennow::gdalhost {

namespace {

class BatchingSession : public EditSession {
public:
    BatchingSession(GDALDataset& dataset, std::unique_ptr<BatchWriter> writer, size_t batchRows)
        : dataset_(dataset), writer_(std::move(writer)), batchRows_(batchRows)
    {
    }

    ~BatchingSession() override
    {
        if (open_) {
            try {
                Rollback();
            } catch (const std::exception&) {
                // The connection rolls back what it never committed.
            }
        }
    }

    BatchingSession(const BatchingSession&) = delete;
    BatchingSession& operator=(const BatchingSession&) = delete;

    void Use(OGRLayer& layer) override { writer_->Use(layer); }

    void Write(OGRLayer& layer, const OGRFeature& feature, const std::vector<int>& changedFields) override
    {
        for (int field : changedFields) {
            if (!writer_->Hold(layer, feature, field)) {
                Flush();
                writer_->Hold(layer, feature, field);
            }
            ++heldRows_;
        }
        if (heldRows_ >= batchRows_) {
            Flush();
        }
    }

    void Flush() override
    {
        heldRows_ = 0;
        writer_->Send();
    }

    void Commit() override
    {
        Flush();
        writer_->BeforeTheEnd();
        if (dataset_.CommitTransaction() != OGRERR_NONE) {
            writer_->RaiseCommitFailure("Could not save the edits");
        }
        open_ = false;
    }

    void Rollback() override
    {
        writer_->Drop();
        heldRows_ = 0;
        open_ = false;
        writer_->BeforeTheEnd();
        if (dataset_.RollbackTransaction() != OGRERR_NONE) {
            RaiseGdalError("Could not discard the edits");
        }
    }

private:
    GDALDataset& dataset_;
    std::unique_ptr<BatchWriter> writer_;
    size_t batchRows_;
    size_t heldRows_ = 0;
    bool open_ = true;
};

}  // namespace

std::unique_ptr<EditSession> StartBatchingSession(GDALDataset& dataset, std::unique_ptr<BatchWriter> writer,
                                                  size_t batchRows)
{
    if (dataset.StartTransaction(FALSE) != OGRERR_NONE) {
        RaiseGdalError(std::string("Could not start editing ") + dataset.GetDescription());
    }
    return std::make_unique<BatchingSession>(dataset, std::move(writer), batchRows);
}

}  // namespace drennow::gdalhost
