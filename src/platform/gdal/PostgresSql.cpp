#include "platform/gdal/PostgresSql.h"

#include "platform/gdal/GdalError.h"
#include "platform/gdal/SqlText.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <numeric>

namespace drennow::gdalhost::postgres {

namespace {

// How long the run waits for a lock when the user chose no bound.
constexpr const char* kLongestLockWait = "10s";

// The next value of a comma-separated list, from position on: nothing for an
// empty one (a null), 1 and 0 for a boolean's t and f.
std::optional<int64_t> NextValue(const std::string& list, size_t& position)
{
    size_t end = std::min(list.find(',', position), list.size());
    const char* first = list.data() + position;
    const char* last = list.data() + end;
    position = end + 1;
    if (first == last) {
        return std::nullopt;
    }
    if (*first == 't' || *first == 'f') {
        return *first == 't' ? 1 : 0;
    }
    int64_t value = 0;
    if (std::from_chars(first, last, value).ptr != last) {
        RaiseHostError("Not an integer read from the database: " + std::string(first, last));
    }
    return value;
}

// The rows of one statement of IntegerColumnReader, and their order by id:
// the values of a row follow each other, those of the next row after them.
struct ParsedChunk {
    std::vector<GIntBig> fids;
    std::vector<std::optional<int64_t>> values;
    std::vector<size_t> order;
};

// The rows of the lists of a chunk: its count, its ids, then the values of
// each column. An aggregate is not bound to keep the order of the rows it
// takes, so they are put in id order here.
ParsedChunk Parse(const std::vector<std::string>& chunk, size_t rows, size_t columns)
{
    ParsedChunk parsed;
    parsed.fids.reserve(rows);
    parsed.values.reserve(rows * columns);
    std::vector<size_t> positions(chunk.size(), 0);
    for (size_t row = 0; row < rows; ++row) {
        parsed.fids.push_back(NextValue(chunk.at(1), positions[1]).value());
        for (size_t i = 0; i < columns; ++i) {
            parsed.values.push_back(NextValue(chunk.at(i + 2), positions[i + 2]));
        }
    }
    parsed.order.resize(rows);
    std::iota(parsed.order.begin(), parsed.order.end(), 0);
    if (!std::is_sorted(parsed.fids.begin(), parsed.fids.end())) {
        std::sort(parsed.order.begin(), parsed.order.end(),
                  [&](size_t a, size_t b) { return parsed.fids[a] < parsed.fids[b]; });
    }
    return parsed;
}

// Reads at most `limit` rows with ids after `last` (from the first row
// without one), in id order, as one row of lists: their count, their ids,
// then the values of each field. One aggregate takes the rows of the others
// in the same order, the order they are selected in. GDAL gives result
// columns of the same name one value.
std::string ChunkStatement(OGRLayer& layer, const std::vector<int>& fields, std::optional<GIntBig> last,
                           size_t limit)
{
    std::string fid = QuotedFidColumn(layer, nullptr);
    std::string columns = fid + " AS f";
    std::string lists = "string_agg(c.f::text, ',') AS fids";
    for (size_t i = 0; i < fields.size(); ++i) {
        std::string name = "v" + std::to_string(i);
        columns += ", " + QuoteIdentifier(layer.GetLayerDefn()->GetFieldDefn(fields[i])->GetNameRef()) + " AS " + name;
        lists += ", string_agg(coalesce(c." + name + "::text, ''), ',') AS " + name;
    }
    return "SELECT count(*), " + lists + " FROM (SELECT " + columns + " FROM " + QuotedTable(layer, true) +
           (last ? " WHERE " + fid + " > " + std::to_string(*last) : "") + " ORDER BY " + fid + " LIMIT " +
           std::to_string(limit) + ") AS c";
}

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

void JoinRowsByIndex(GDALDataset& dataset)
{
    FirstRow(dataset, "SET LOCAL enable_hashjoin = off; SET LOCAL enable_mergejoin = off",
             "Could not choose how updates find their rows");
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

ColumnReader IntegerColumnReader(GDALDataset& dataset, OGRLayer& layer, const std::vector<int>& fields,
                                 std::optional<GIntBig> after, size_t most)
{
    return [&dataset, &layer, fields, after, most](const RowVisitor& visit) {
        const std::string attempted = std::string("Could not read ") + layer.GetName();
        std::optional<GIntBig> last = after;
        for (size_t left = most; left > 0;) {
            size_t limit = std::min(left, kRowsAStatement);
            std::vector<std::string> chunk = FirstRow(dataset, ChunkStatement(layer, fields, last, limit), attempted);
            size_t rows = std::stoull(chunk.at(0));
            ParsedChunk parsed = Parse(chunk, rows, fields.size());
            ColumnRow values(fields.size());
            for (size_t row : parsed.order) {
                std::copy_n(parsed.values.begin() + static_cast<std::ptrdiff_t>(row * fields.size()), fields.size(),
                            values.begin());
                visit(parsed.fids[row], values);
            }
            if (rows < limit) {
                return;
            }
            last = parsed.fids[parsed.order.back()];
            left -= rows;
        }
    };
}

}  // namespace drennow::gdalhost::postgres
