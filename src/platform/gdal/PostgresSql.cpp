#include "platform/gdal/PostgresSql.h"

#include "platform/gdal/GdalError.h"
#include "platform/gdal/SqlText.h"

namespace drennow::gdalhost::postgres {

namespace {

// How long the run waits for a lock when the user chose no bound.
constexpr const char* kLongestLockWait = "10s";

// Why the table cannot be edited, from its kind (pg_class.relkind), whether
// the role may update any of its columns, the role, and whether a primary key
// or a unique index is on the feature id column alone; empty when it can.
std::string Refusal(const std::vector<std::string>& facts)
{
    const std::string& kind = facts.at(0);
    if (kind == "v" || kind == "m") {
        return std::string("it is a ") + (kind == "m" ? "materialized " : "") +
               "view; only the rows of tables are written (copy it into a table)";
    }
    if (kind == "f") {
        return "it is a foreign table; only the rows of tables are written";
    }
    if (kind != "r" && kind != "p") {
        return "it is not a table";
    }
    if (facts.at(1) != "true") {
        return "the role " + facts.at(2) + " has no UPDATE privilege on it";
    }
    if (facts.at(3) != "true") {
        return "it has no primary key of one integer column to find its rows by";
    }
    return "";
}

}  // namespace

std::vector<std::string> FirstRow(GDALDataset& dataset, const std::string& sql, const std::string& attempted)
{
    FirstGdalFailure failure;
    std::vector<std::string> values;
    if (OGRLayer* result = dataset.ExecuteSQL(sql.c_str(), nullptr, nullptr)) {
        if (OGRFeatureUniquePtr row{result->GetNextFeature()}) {
            for (int field = 0; field < row->GetFieldCount(); ++field) {
                values.emplace_back(row->IsFieldSetAndNotNull(field) ? row->GetFieldAsString(field) : "");
            }
        }
        dataset.ReleaseResultSet(result);
    }
    if (failure.Happened()) {
        failure.Raise(attempted);
    }
    return values;
}

void BoundLockWaits(GDALDataset& dataset)
{
    const std::string attempted = "Could not bound the waits for locks";
    std::vector<std::string> source =
        FirstRow(dataset, "SELECT source FROM pg_settings WHERE name = 'lock_timeout'", attempted);
    if (!source.empty() && source.front() == "default") {
        FirstRow(dataset, std::string("SET lock_timeout = '") + kLongestLockWait + "'", attempted);
    }
}

void ReadTablesFromTheStart(GDALDataset& dataset)
{
    FirstRow(dataset, "SET synchronize_seqscans = off", "Could not make reads of tables start at their first row");
}

void RequireEditable(GDALDataset& dataset, OGRLayer& layer)
{
    std::string table = QuotedTable(layer, true);
    std::vector<std::string> facts = FirstRow(
        dataset,
        "SELECT c.relkind::text, has_any_column_privilege(c.oid, 'UPDATE')::text, current_user::text, "
        "EXISTS (SELECT 1 FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = i.indkey[0] "
        "WHERE i.indrelid = c.oid AND i.indisunique AND i.indnatts = 1 AND i.indpred IS NULL AND a.attname = " +
            QuoteLiteral(layer.GetFIDColumn()) + ")::text FROM pg_class c WHERE c.oid = " + QuoteLiteral(table) +
            "::regclass",
        std::string("Could not look up the table of ") + layer.GetName());
    std::string refusal = Refusal(facts);
    if (!refusal.empty()) {
        RaiseHostError(std::string(layer.GetName()) + " cannot be edited: " + refusal);
    }
}

void LockAgainstWriters(GDALDataset& dataset, OGRLayer& layer)
{
    std::string table = QuotedTable(layer, true);
    FirstRow(dataset, "LOCK TABLE " + table + " IN EXCLUSIVE MODE",
             "Could not take the EXCLUSIVE lock on the table " + table +
                 " that keeps other writers off while it is edited");
}

}  // namespace drennow::gdalhost::postgres
