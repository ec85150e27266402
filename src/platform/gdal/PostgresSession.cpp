#include "platform/gdal/EditSession.h"

#include "platform/gdal/GdalError.h"
#include "platform/gdal/PostgresSql.h"
#include "platform/gdal/SqlText.h"

#include <cstdio>
#include <map>
#include <set>
#include <utility>

namespace drennow::gdalhost {

namespace {

// Rows held back before one UPDATE sends them all. Each batch reaches the
// table while the run goes on, so that a cancel in the run's last moments
// finds most of its writes sent and undoes them; one batch costs little more
// than its rows (JoinRowsByIndex).
constexpr size_t kBatchRows = 16384;

// The value of the field as an element of an array literal.
std::string ArrayElement(const OGRFeature& feature, int field)
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
        std::string element = "\"";
        for (const char* c = feature.GetFieldAsString(field); *c != '\0'; ++c) {
            if (*c == '"' || *c == '\\') {
                element += '\\';
            }
            element += *c;
        }
        return element + '"';
    }
    default:
        RaiseHostError(std::string("Fields of the type of ") + feature.GetFieldDefnRef(field)->GetNameRef() +
                       " are not written");
    }
}

// The type of the values of a batch.
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

// Updates of one column of one table, waiting to be sent: the elements of
// an array of ids, ascending, and of an array of values.
struct PendingColumn {
    std::string fids;    // "fid,fid,..."
    std::string values;  // "value,value,..."
    size_t rows = 0;
    GIntBig lastFid = 0;
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

    void Use(OGRLayer& layer) override
    {
        if (used_.count(&layer) == 0) {
            postgres::RequireEditable(dataset_, layer);
            postgres::LockAgainstWriters(dataset_, layer);
            used_.insert(&layer);
        }
    }

    void Write(OGRLayer& layer, const OGRFeature& feature, const std::vector<int>& changedFields) override
    {
        GIntBig fid = feature.GetFID();
        for (int field : changedFields) {
            PendingColumn* column = &pending_[std::make_pair(&layer, field)];
            if (column->rows > 0 && fid <= column->lastFid) {
                // A row written twice would get either of its two values
                // from one UPDATE; rows come in id order, mostly.
                Flush();
                column = &pending_[std::make_pair(&layer, field)];
            }
            if (column->rows > 0) {
                column->fids += ',';
                column->values += ',';
            }
            column->fids += std::to_string(fid);
            column->values += ArrayElement(feature, field);
            column->lastFid = fid;
            ++column->rows;
            ++pendingRows_;
        }
        if (pendingRows_ >= kBatchRows) {
            Flush();
        }
    }

    void Flush() override
    {
        auto pending = std::move(pending_);
        pending_.clear();
        pendingRows_ = 0;
        for (const auto& [key, column] : pending) {
            Send(*key.first, key.second, column);
        }
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
    // One statement updates every row of the batch from two arrays, of ids
    // and of values. Every row sent must be updated: a trigger that skips
    // rows or a row-level security policy makes the server leave rows as
    // they were without an error.
    void Send(OGRLayer& layer, int field, const PendingColumn& column)
    {
        const OGRFieldDefn& definition = *layer.GetLayerDefn()->GetFieldDefn(field);
        std::string table = QuotedTable(layer, true);
        std::string sql = "WITH updated AS (UPDATE " + table + " AS t SET " +
                          QuoteIdentifier(definition.GetNameRef()) + " = v.value FROM unnest(" +
                          QuoteLiteral("{" + column.fids + "}") + "::bigint[], " +
                          QuoteLiteral("{" + column.values + "}") + "::" + SqlType(definition.GetType()) +
                          "[]) AS v(fid, value) WHERE t." + QuotedFidColumn(layer, nullptr) +
                          " = v.fid RETURNING 1) SELECT count(*) FROM updated";
        std::string attempted = std::string("Could not update ") + layer.GetName();
        size_t updated = std::stoull(postgres::FirstRow(dataset_, sql, attempted).at(0));
        if (updated != column.rows) {
            RaiseHostError(attempted + ": " + std::to_string(updated) + " of the " +
                           std::to_string(column.rows) + " rows sent to the table " + table +
                           " were updated; a trigger that skips rows, a row-level security policy or rows that "
                           "are gone kept the others as they were");
        }
    }

    GDALDataset& dataset_;
    std::set<OGRLayer*> used_;
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
    auto session = std::make_unique<PostgresSession>(dataset);
    postgres::JoinRowsByIndex(dataset);
    return session;
}

}  // namespace drennow::gdalhost
