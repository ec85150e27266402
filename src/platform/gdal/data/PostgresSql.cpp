#include "platform/gdal/data/PostgresSql.h"

#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/data/SqlText.h"
#include "runtime/Error.h"

#include <cpl_error.h>

#include <algorithm>
#include <chrono>
#include <charconv>
#include <cstddef>
#include <numeric>
#include <system_error>
#include <thread>

namespace drennow::gdalhost::postgres {

namespace {

// How long the run waits for a lock when the user chose no bound.
constexpr const char* kLongestLockWait = "10s";

// How long one attempt of a change of a table's columns waits for its lock.
constexpr std::chrono::milliseconds kBriefLockWait{100};

// The next value of a comma-separated list, from position on: nothing for an
// empty one (a null), 1 and 0 for a boolean's t and f. A value that is no
// 64-bit integer (a numeric of more digits) raises, naming it and where it
// is from (`source` gives that).
template <typename Source>
std::optional<int64_t> NextValue(const std::string& list, size_t& position, const Source& source)
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
    auto [stop, error] = std::from_chars(first, last, value);
    if (error == std::errc::result_out_of_range) {
        throw runtime::Error(runtime::kOverflow,
                             "Overflow: " + source() + " holds " + std::string(first, last) +
                                 ", beyond the 64-bit integers the run reads (at most 19 digits); such codes or "
                                 "identifiers cannot be used");
    }
    if (error != std::errc{} || stop != last) {
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

// The rows of the lists of a chunk of the layer's fields: its count, its
// ids, then the values of each column. An aggregate is not bound to keep the
// order of the rows it takes, so they are put in id order here.
ParsedChunk Parse(const std::vector<std::string>& chunk, size_t rows, OGRLayer& layer, const std::vector<int>& fields)
{
    size_t columns = fields.size();
    ParsedChunk parsed;
    parsed.fids.reserve(rows);
    parsed.values.reserve(rows * columns);
    std::vector<size_t> positions(chunk.size(), 0);
    for (size_t row = 0; row < rows; ++row) {
        parsed.fids.push_back(NextValue(chunk.at(1), positions[1], [&] {
                                  return std::string("a feature id of ") + layer.GetName();
                              }).value());
        for (size_t i = 0; i < columns; ++i) {
            parsed.values.push_back(NextValue(chunk.at(i + 2), positions[i + 2], [&] {
                return std::string("the field ") + layer.GetLayerDefn()->GetFieldDefn(fields[i])->GetNameRef() +
                       " of feature " + std::to_string(parsed.fids.back()) + " of " + layer.GetName();
            }));
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
// the role may update any of its columns, the role, whether a primary key or
// a unique index is on the feature id column alone, and whether the role may
// update the table itself; empty when it can.
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
    if (facts.at(4) != "true") {
        return "the role " + facts.at(2) +
               " may update some of its columns only, and the EXCLUSIVE lock that keeps other writers off while "
               "it is edited needs the UPDATE privilege on the table itself (GRANT UPDATE ON the table TO " +
               facts.at(2) + ")";
    }
    return "";
}

// The row-level security policies of the table that apply to the running
// role, for reading or updating rows, with whether each is permissive,
// whether it is for reading, for updating or both, and whether its condition
// is plainly true (USING (true)).
constexpr const char* kPoliciesOfTheRole =
    "SELECT polname, polpermissive, polcmd IN ('*', 'r') AS reads, polcmd IN ('*', 'w') AS updates, "
    "coalesce(pg_get_expr(polqual, polrelid) = 'true', false) AS every_row FROM pg_policy WHERE polrelid = %s "
    "AND polcmd IN ('*', 'r', 'w') AND EXISTS (SELECT 1 FROM unnest(polroles) AS r WHERE CASE WHEN r = 0 THEN "
    "true ELSE pg_has_role(r, 'MEMBER') END)";

// A policy of the table that keeps rows from the running role, or an empty
// text naming none when no policy lets the role read or update every row;
// nothing when the role reads and updates every row. Every row is seen
// when a permissive policy of condition true applies to the role for
// reading and one for updating, and no restrictive policy of another
// condition applies: rows the role cannot see cannot be told from rows
// that are not there.
std::optional<std::string> LimitingPolicy(GDALDataset& dataset, const std::string& table, const std::string& attempted)
{
    std::string policies = kPoliciesOfTheRole;
    policies.replace(policies.find("%s"), 2, QuoteLiteral(table) + "::regclass");
    std::vector<std::string> facts = FirstRow(
        dataset,
        "WITH p AS (" + policies +
            ") SELECT (SELECT polname FROM p WHERE NOT polpermissive AND NOT every_row ORDER BY polname LIMIT 1) "
            "AS restrictive, (SELECT polname FROM p WHERE polpermissive AND NOT every_row ORDER BY polname LIMIT 1) "
            "AS permissive, EXISTS (SELECT 1 FROM p WHERE polpermissive AND every_row AND reads)::text AS reads, "
            "EXISTS (SELECT 1 FROM p WHERE polpermissive AND every_row AND updates)::text AS updates",
        attempted);
    const std::string& restrictive = facts.at(0);
    if (!restrictive.empty()) {
        return restrictive;
    }
    if (facts.at(2) == "true" && facts.at(3) == "true") {
        return std::nullopt;
    }
    return facts.at(1);
}

// Why the row-level security policies of the table, which apply to the
// role, keep rows from it; empty when they keep none.
std::string RowsKeptFrom(GDALDataset& dataset, const std::string& table, const std::string& role,
                         const std::string& attempted)
{
    std::optional<std::string> policy = LimitingPolicy(dataset, table, attempted);
    if (!policy) {
        return "";
    }
    return (policy->empty() ? "no row-level security policy lets the role " + role + " read and update every row of it"
                            : "the row-level security policy " + QuoteIdentifier(*policy) + " applies to the role " +
                                  role + ", which may then see or update only some of its rows") +
           ", and codes computed on some rows are wrong; run as a role the policies do not apply to (the table's "
           "owner, or one with BYPASSRLS), or give the role a policy USING (true)";
}

// Why rows of the table and of its child tables (a table that inherits
// from it) cannot be told apart by their ids: an id two of them share;
// empty when none do.
std::string SharedIds(GDALDataset& dataset, OGRLayer& layer, const std::string& attempted)
{
    std::string table = QuotedTable(layer, true);
    std::string fid = QuotedFidColumn(layer, nullptr);
    std::vector<std::string> shared = FirstRow(
        dataset,
        "SELECT d.fid::text AS fid, (SELECT string_agg(t.tableoid::regclass::text, ' and ' ORDER BY t.tableoid) "
        "FROM " + table + " AS t WHERE t." + fid + " = d.fid) AS tables FROM (SELECT " + fid + " AS fid FROM " + table +
            " GROUP BY 1 HAVING count(*) > 1 ORDER BY 1 LIMIT 1) AS d",
        attempted);
    if (shared.empty()) {
        return "";
    }
    return "rows of its child tables share ids with its own rows or each other's (the id " + shared.at(0) +
           " is held by rows of " + shared.at(1) +
           "), and an update by id would write them all; give every row of the tables an id of its own";
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

void ListTables(GDALDataset& dataset, const std::string& name)
{
    FirstGdalFailure failure;
    dataset.GetLayerCount();
    if (failure.Happened()) {
        failure.Raise("Could not list the tables of " + name);
    }
}

std::vector<std::string> PartitionNotes(GDALDataset& dataset)
{
    std::string tables;
    for (int i = 0; i < dataset.GetLayerCount(); ++i) {
        tables += (tables.empty() ? "" : ",") + QuoteLiteral(QuotedTable(*dataset.GetLayer(i), true));
    }
    std::vector<std::string> notes;
    if (tables.empty()) {
        return notes;
    }
    // The layers that are partitions, by their place in the list from 1, and
    // their partitioned tables: "place<TAB>table" lines.
    std::string partitions =
        FirstRow(dataset,
                 "SELECT string_agg(l.n || E'\\t' || i.inhparent::regclass::text, E'\\n' ORDER BY l.n) FROM "
                 "unnest(ARRAY[" + tables + "]::text[]) WITH ORDINALITY AS l(name, n) JOIN pg_class c ON c.oid = "
                 "to_regclass(l.name) JOIN pg_inherits i ON i.inhrelid = c.oid WHERE c.relispartition",
                 "Could not look up the partitions of the tables")
            .at(0);
    for (size_t line = 0; line < partitions.size();) {
        size_t end = std::min(partitions.find('\n', line), partitions.size());
        size_t tab = partitions.find('\t', line);
        int place = std::stoi(partitions.substr(line, tab - line));
        notes.push_back(std::string(dataset.GetLayer(place - 1)->GetName()) + " is a partition of the partitioned table " +
                        partitions.substr(tab + 1, end - tab - 1) +
                        ", which is not offered: a run on it sees the codes of this partition only, not those of "
                        "the others, and basins that drain into them get failure codes");
        line = end + 1;
    }
    return notes;
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

OGRErr ChangeColumns(GDALDataset& dataset, const std::function<OGRErr()>& change)
{
    const std::string attempted = "Could not bound the waits for locks";
    // In milliseconds; 0 for none.
    int64_t bound = std::stoll(
        FirstRow(dataset, "SELECT setting FROM pg_settings WHERE name = 'lock_timeout'", attempted).at(0));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound);
    FirstRow(dataset, "SET lock_timeout = " + std::to_string(kBriefLockWait.count()), attempted);
    OGRErr result = OGRERR_NONE;
    while (true) {
        CPLErrorReset();
        result = change();
        bool waitedInVain = result != OGRERR_NONE && std::string(CPLGetLastErrorMsg()).find("lock timeout") !=
                                                         std::string::npos;
        if (!waitedInVain || (bound > 0 && std::chrono::steady_clock::now() >= deadline)) {
            break;
        }
        // The reads held up behind the attempt go first.
        std::this_thread::sleep_for(kBriefLockWait);
    }
    CPLErrorStateBackuper outcome;
    FirstRow(dataset, "SET lock_timeout = " + std::to_string(bound), attempted);
    return result;
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
    std::string attempted = std::string("Could not look up the table of ") + layer.GetName();
    std::vector<std::string> facts = FirstRow(
        dataset,
        "SELECT c.relkind::text, has_any_column_privilege(c.oid, 'UPDATE')::text, current_user::text, "
        "EXISTS (SELECT 1 FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = i.indkey[0] "
        "WHERE i.indrelid = c.oid AND i.indisunique AND i.indnatts = 1 AND i.indpred IS NULL AND a.attname = " +
            QuoteLiteral(layer.GetFIDColumn()) +
            ")::text, has_table_privilege(c.oid, 'UPDATE')::text, row_security_active(c.oid)::text, "
            "(c.relkind = 'r' AND EXISTS (SELECT 1 FROM pg_inherits WHERE inhparent = c.oid))::text FROM pg_class c "
            "WHERE c.oid = " +
            QuoteLiteral(table) + "::regclass",
        attempted);
    std::string refusal = Refusal(facts);
    if (refusal.empty() && facts.at(5) == "true") {
        refusal = RowsKeptFrom(dataset, table, facts.at(2), attempted);
    }
    if (refusal.empty() && facts.at(6) == "true") {
        refusal = SharedIds(dataset, layer, attempted);
    }
    if (!refusal.empty()) {
        RaiseHostError(std::string(layer.GetName()) + " cannot be edited: " + refusal);
    }
}

void RequireEveryRowSeen(GDALDataset& dataset, OGRLayer& layer)
{
    std::string table = QuotedTable(layer, true);
    std::string attempted = std::string("Could not look up the table of ") + layer.GetName();
    std::vector<std::string> facts = FirstRow(
        dataset, "SELECT row_security_active(" + QuoteLiteral(table) + "::regclass)::text, current_user::text",
        attempted);
    std::string refusal = facts.at(0) == "true" ? RowsKeptFrom(dataset, table, facts.at(1), attempted) : "";
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
            ParsedChunk parsed = Parse(chunk, rows, layer, fields);
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
