#include "platform/gdal/storage/BatchingSession.h"
#include "platform/gdal/storage/EditSession.h"

#include "host/Data.h"
#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/data/PostgresSql.h"
#include "platform/gdal/data/SqlText.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

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

// Whether the server finds an element of an array of the type by its
// position at once: an array of elements of varying width, or one that
// holds a null, is walked from its start to the element asked for.
bool FoundByPosition(OGRFieldType type)
{
    return type == OFTInteger || type == OFTInteger64 || type == OFTReal;
}

// Updates of one column of one table, waiting to be sent: the ids, ascending,
// and the elements of an array of their values.
struct PendingColumn {
    std::vector<GIntBig> fids;
    std::string values;  // "value,value,..."
    bool nullHeld = false;
};

class PostgresWriter : public BatchWriter {
public:
    explicit PostgresWriter(GDALDataset& dataset) : dataset_(dataset) {}

    void Use(OGRLayer& layer) override
    {
        if (used_.count(&layer) == 0) {
            postgres::RequireEditable(dataset_, layer);
            postgres::LockAgainstWriters(dataset_, layer);
            used_.insert(&layer);
        }
    }

    // Rows come in id order, mostly: one that does not might be in the
    // batch already, and one UPDATE would give it either of its two values.
    bool Hold(OGRLayer& layer, const OGRFeature& feature, int field) override
    {
        GIntBig fid = feature.GetFID();
        PendingColumn& column = pending_[std::make_pair(&layer, field)];
        if (!column.fids.empty() && fid <= column.fids.back()) {
            return false;
        }
        if (!column.fids.empty()) {
            column.values += ',';
        }
        column.fids.push_back(fid);
        column.values += ArrayElement(feature, field);
        column.nullHeld = column.nullHeld || !feature.IsFieldSetAndNotNull(field);
        return true;
    }

    void Send() override
    {
        auto pending = std::move(pending_);
        pending_.clear();
        for (const auto& [key, column] : pending) {
            SendColumn(*key.first, key.second, column);
        }
    }

    void Drop() override { pending_.clear(); }

    void BeforeTheEnd() override { EndReadings(dataset_); }

    // A connection lost as the server commits leaves no word of whether it did.
    [[noreturn]] void RaiseCommitFailure(const std::string& attempted) override
    {
        try {
            RaiseGdalError(attempted);
        } catch (const host::ConnectionLost& lost) {
            throw host::ConnectionLost(lost.Description() +
                                       "; whether the server saved the edits before it was lost cannot be told: "
                                       "look at the table");
        }
    }

private:
    // One statement updates every row of the batch. Every row sent must be
    // updated once, and hold the value sent afterwards: a trigger that skips
    // rows makes the server leave rows as they were without an error, one
    // that rewrites values, or a column of a type that rounds them, stores
    // values other than those sent, and rows of child tables that share an
    // id are all updated.
    void SendColumn(OGRLayer& layer, int field, const PendingColumn& column)
    {
        std::string sql = "WITH updated AS (" + UpdateStatement(layer, field, column) +
                          ") SELECT count(*)::text AS rows, (array_agg(fid::text ORDER BY fid) FILTER (WHERE NOT "
                          "kept))[1] AS fid, (array_agg(coalesce(stored::text, 'NULL') ORDER BY fid) FILTER (WHERE "
                          "NOT kept))[1] AS stored, (array_agg(coalesce(sent::text, 'NULL') ORDER BY fid) FILTER "
                          "(WHERE NOT kept))[1] AS sent FROM updated";
        std::string attempted = std::string("Could not update ") + layer.GetName();
        std::vector<std::string> outcome = postgres::FirstRow(dataset_, sql, attempted);
        size_t updated = std::stoull(outcome.at(0));
        size_t rows = column.fids.size();
        std::string counted = std::to_string(updated) + " of the " + std::to_string(rows) + " rows sent to the table " +
                              QuotedTable(layer, true) + " were updated";
        const char* unsaved = "; the edits are not saved";
        if (updated > rows) {
            RaiseHostError(attempted + ": " + counted +
                           ": rows of its child tables share ids with its rows or each other's, and an update by id "
                           "writes them all" + unsaved);
        }
        if (updated < rows) {
            RaiseHostError(attempted + ": " + counted + "; " + SkippedRow(layer, field, column) + unsaved);
        }
        if (!outcome.at(1).empty()) {
            RaiseHostError(attempted + ": feature " + outcome.at(1) + " holds " + outcome.at(2) + " in " +
                           layer.GetLayerDefn()->GetFieldDefn(field)->GetNameRef() + " after its update, not the " +
                           outcome.at(3) +
                           " sent: a trigger rewrote the value, or the column's type cannot hold it" + unsaved);
        }
    }

    // What became of the rows of the batch that the server left out: one that
    // is there without the value sent was skipped.
    std::string SkippedRow(OGRLayer& layer, int field, const PendingColumn& column)
    {
        std::string skipped =
            postgres::FirstRow(dataset_,
                               "SELECT min(v.fid)::text FROM " + SentRows(layer, field, column) + " JOIN " +
                                   QuotedTable(layer, true) + " AS t ON t." + QuotedFidColumn(layer, nullptr) +
                                   " = v.fid WHERE t." + QuotedField(layer, field) + " IS DISTINCT FROM v.value",
                               std::string("Could not look for the rows of ") + layer.GetName() + " left out")
                .at(0);
        if (skipped.empty()) {
            return "the others are gone";
        }
        return "feature " + skipped +
               ", which is there, was left as it was: a trigger skipped its update, or a row-level security policy "
               "kept it from the update";
    }

    static std::string QuotedField(OGRLayer& layer, int field)
    {
        return QuoteIdentifier(layer.GetLayerDefn()->GetFieldDefn(field)->GetNameRef());
    }

    // The array of the values of the batch, of the field's type.
    static std::string ValueArray(OGRLayer& layer, int field, const PendingColumn& column)
    {
        return QuoteLiteral("{" + column.values + "}") + "::" +
               SqlType(layer.GetLayerDefn()->GetFieldDefn(field)->GetType()) + "[]";
    }

    // The rows of the batch as a relation v(fid, value).
    static std::string SentRows(OGRLayer& layer, int field, const PendingColumn& column)
    {
        std::string fids;
        for (GIntBig id : column.fids) {
            fids += (fids.empty() ? "" : ",") + std::to_string(id);
        }
        return "unnest(" + QuoteLiteral("{" + fids + "}") + "::bigint[], " + ValueArray(layer, field, column) +
               ") AS v(fid, value)";
    }

    // The UPDATE of the rows of the batch, which gives each row's id, the
    // value stored, the value sent and whether they are the same.
    static std::string UpdateStatement(OGRLayer& layer, int field, const PendingColumn& column)
    {
        const OGRFieldDefn& definition = *layer.GetLayerDefn()->GetFieldDefn(field);
        std::string fid = "t." + QuotedFidColumn(layer, nullptr);
        std::string name = QuotedField(layer, field);
        std::string update = "UPDATE " + QuotedTable(layer, true) + " AS t SET " + name + " = ";
        auto returning = [&](const std::string& sent) {
            return " RETURNING " + fid + " AS fid, t." + name + " AS stored, " + sent + " AS sent, t." + name +
                   " IS NOT DISTINCT FROM " + sent + " AS kept";
        };
        GIntBig first = column.fids.front();
        GIntBig last = column.fids.back();
        bool consecutive = static_cast<uint64_t>(last) - static_cast<uint64_t>(first) == column.fids.size() - 1;
        if (consecutive && !column.nullHeld && FoundByPosition(definition.GetType())) {
            // Rows of consecutive ids, the first run's usual batch: the rows
            // of the range of ids, found by one scan of the index, each take
            // the value at their place in the array.
            std::string sent = "v.a[(" + fid + " - (" + std::to_string(first) + ") + 1)::integer]";
            return update + sent + " FROM (SELECT " + ValueArray(layer, field, column) + " AS a) AS v WHERE " + fid +
                   " BETWEEN " + std::to_string(first) + " AND " + std::to_string(last) + returning(sent);
        }
        // Each row is looked up in the index by its id (JoinRowsByIndex).
        return update + "v.value FROM " + SentRows(layer, field, column) + " WHERE " + fid + " = v.fid" +
               returning("v.value");
    }

    GDALDataset& dataset_;
    std::set<OGRLayer*> used_;
    std::map<std::pair<OGRLayer*, int>, PendingColumn> pending_;
};

}  // namespace

std::unique_ptr<EditSession> StartPostgresSession(GDALDataset& dataset)
{
    EndReadings(dataset);
    auto session = StartBatchingSession(dataset, std::make_unique<PostgresWriter>(dataset), kBatchRows);
    postgres::JoinRowsByIndex(dataset);
    return session;
}

}  // namespace drennow::gdalhost
