#include "platform/gdal/EditSession.h"

#include "platform/gdal/GdalError.h"
#include "platform/gdal/SqlText.h"

#include <cpl_error.h>

#include <cstdio>
#include <map>
#include <utility>

namespace drennow::gdalhost {

namespace {

// Rows held back before one UPDATE sends them all.
constexpr size_t kBatchRows = 5000;

std::string SqlLiteral(const OGRFeature& feature, int field)
{
    if (!feature.IsFieldSetAndNotNull(field)) {
        return "NULL";
    }
    switch (feature.GetFieldDefnRef(field)->GetType()) {
    case OFTInteger:
    case OFTInteger64:
        return std::to_string(feature.GetFieldAsInteger64(field));
    case OFTReal: {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", feature.GetFieldAsDouble(field));
        return text;
    }
    case OFTString: {
        std::string quoted = "'";
        for (const char* c = feature.GetFieldAsString(field); *c != '\0'; ++c) {
            quoted += *c;
            if (*c == '\'') {
                quoted += '\'';
            }
        }
        return quoted + "'";
    }
    default:
        RaiseHostError(std::string("Fields of the type of ") + feature.GetFieldDefnRef(field)->GetNameRef() +
                       " are not written");
    }
}

// The type the values of a batch are cast to; a batch of nulls alone would
// otherwise be text.
const char* SqlType(OGRFieldType type)
{
    switch (type) {
    case OFTInteger:
        return "integer";
    case OFTInteger64:
        return "bigint";
    case OFTReal:
        return "double precision";
    default:
        return "text";
    }
}

// GDAL's driver reads a layer through a cursor inside a transaction of its
// own, nested in the session's while that is open. A read open when the
// session's transaction starts makes that a savepoint inside the read's,
// and one open when it ends commits it, even when it was to be rolled
// back: every read of the dataset is ended first. Readers find their place
// again.
void EndReadings(GDALDataset& dataset)
{
    for (int i = 0; i < dataset.GetLayerCount(); ++i) {
        dataset.GetLayer(i)->ResetReading();
    }
}

// Updates of one column of one table, waiting to be sent.
struct PendingColumn {
    std::string rows;  // "(fid,value),(fid,value)..."
    size_t count = 0;
};

class PostgresSession : public EditSession {
public:
    explicit PostgresSession(GDALDataset& dataset) : dataset_(dataset) {}

    ~PostgresSession() override
    {
        if (open_) {
            try {
                Rollback();
            } catch (const std::exception&) {
                // The connection rolls back what it never committed.
            }
        }
    }

    PostgresSession(const PostgresSession&) = delete;
    PostgresSession& operator=(const PostgresSession&) = delete;

    void Write(OGRLayer& layer, const OGRFeature& feature, const std::vector<int>& changedFields) override
    {
        for (int field : changedFields) {
            PendingColumn& column = pending_[std::make_pair(&layer, field)];
            if (column.count != 0) {
                column.rows += ',';
            }
            column.rows += "(" + std::to_string(feature.GetFID()) + "," + SqlLiteral(feature, field) + ")";
            ++column.count;
            ++pendingRows_;
        }
        if (pendingRows_ >= kBatchRows) {
            Flush();
        }
    }

    void Flush() override
    {
        for (auto& [key, column] : pending_) {
            if (column.count != 0) {
                Send(*key.first, key.second, column);
            }
        }
        pending_.clear();
        pendingRows_ = 0;
    }

    void Commit() override
    {
        Flush();
        EndReadings(dataset_);
        if (dataset_.CommitTransaction() != OGRERR_NONE) {
            RaiseGdalError("Could not save the edits");
        }
        open_ = false;
    }

    void Rollback() override
    {
        pending_.clear();
        pendingRows_ = 0;
        open_ = false;
        EndReadings(dataset_);
        if (dataset_.RollbackTransaction() != OGRERR_NONE) {
            RaiseGdalError("Could not discard the edits");
        }
    }

private:
    void Send(OGRLayer& layer, int field, const PendingColumn& column)
    {
        const OGRFieldDefn& definition = *layer.GetLayerDefn()->GetFieldDefn(field);
        std::string sql = "UPDATE " + QuotedTable(layer, true) + " AS t SET " +
                          QuoteIdentifier(definition.GetNameRef()) + " = v.value::" + SqlType(definition.GetType()) +
                          " FROM (VALUES " + column.rows + ") AS v(fid, value) WHERE t." +
                          QuotedFidColumn(layer, nullptr) + " = v.fid";
        CPLErrorReset();
        OGRLayer* result = dataset_.ExecuteSQL(sql.c_str(), nullptr, nullptr);
        if (result != nullptr) {
            dataset_.ReleaseResultSet(result);
        }
        if (CPLGetLastErrorType() >= CE_Failure) {
            RaiseGdalError(std::string("Could not update ") + layer.GetName());
        }
    }

    GDALDataset& dataset_;
    std::map<std::pair<OGRLayer*, int>, PendingColumn> pending_;
    size_t pendingRows_ = 0;
    bool open_ = true;
};

}  // namespace

std::unique_ptr<EditSession> StartPostgresSession(GDALDataset& dataset)
{
    EndReadings(dataset);
    if (dataset.StartTransaction(FALSE) != OGRERR_NONE) {
        RaiseGdalError(std::string("Could not start editing ") + dataset.GetDescription());
    }
    return std::make_unique<PostgresSession>(dataset);
}

}  // namespace drennow::gdalhost
