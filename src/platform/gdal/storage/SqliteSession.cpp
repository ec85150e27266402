#include "platform/gdal/storage/BatchingSession.h"
#include "platform/gdal/storage/EditSession.h"

#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/data/SqlText.h"

#include <cpl_conv.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

namespace drennow::gdalhost {

namespace {

// Updates held back run together: one read statement left open across
// each write to the table it scans costs more than the write itself.
constexpr size_t kBatchRows = 65536;

// A value to bind: null, integer, real or text.
using BoundValue = std::variant<std::monostate, int64_t, double, std::string>;

struct PendingUpdate {
    GIntBig fid;
    int field;
    BoundValue value;
};

// How long one wait for another program's lock lasts: GDAL's own bound on a
// statement's wait, which its SQLITE_BUSY_TIMEOUT setting changes.
std::chrono::milliseconds LockWait()
{
    return std::chrono::milliseconds(std::atoi(CPLGetConfigOption("SQLITE_BUSY_TIMEOUT", "5000")));
}

// While the session lasts, a wait for another program's lock that runs out
// ends the session. SQLite's own wait is bounded per attempt, and a session
// whose changes outgrow SQLite's cache attempts to write them out again and
// again, each time waiting the whole bound while another program reads: the
// run would wait for as long as that program holds on. SQLite goes on after
// such a failed attempt without saying so, so the session asks after every
// statement.
class BoundedLockWaits {
public:
    explicit BoundedLockWaits(sqlite3* db) : db_(db), bound_(LockWait()) { sqlite3_busy_handler(db_, Wait, this); }
    ~BoundedLockWaits() { sqlite3_busy_timeout(db_, static_cast<int>(bound_.count())); }
    BoundedLockWaits(const BoundedLockWaits&) = delete;
    BoundedLockWaits& operator=(const BoundedLockWaits&) = delete;

    bool RanOut() const { return ranOut_; }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPollInterval{10};

    // SQLite asks again and again while the lock is held; attempt is 0 at
    // the first time of a wait.
    static int Wait(void* self, int attempt)
    {
        auto& waits = *static_cast<BoundedLockWaits*>(self);
        Clock::time_point now = Clock::now();
        if (attempt == 0) {
            waits.until_ = now + waits.bound_;
        }
        if (waits.ranOut_ || now >= waits.until_) {
            waits.ranOut_ = true;
            return 0;
        }
        std::this_thread::sleep_for(kPollInterval);
        return 1;
    }

    sqlite3* db_;
    std::chrono::milliseconds bound_;
    Clock::time_point until_{};
    bool ranOut_ = false;
};

// Updates run on GDAL's own connection, inside the transaction GDAL opened,
// so that reads through GDAL see them once sent. An UPDATE of attribute
// columns only leaves geometry and the spatial index untouched.
class SqliteWriter : public BatchWriter {
public:
    SqliteWriter(GDALDataset& dataset, sqlite3* db) : dataset_(dataset), db_(db), lockWaits_(db) {}

    SqliteWriter(const SqliteWriter&) = delete;
    SqliteWriter& operator=(const SqliteWriter&) = delete;

    bool Hold(OGRLayer& layer, const OGRFeature& feature, int field) override
    {
        PendingOf(layer).push_back({feature.GetFID(), field, ValueToBind(feature, field)});
        return true;
    }

    // The values a row's store held, one after the other, run as one UPDATE
    // (each UPDATE rewrites the whole row, however few of its columns it
    // sets), in the order they were held.
    void Send() override
    {
        auto pending = std::move(pending_);
        Drop();
        for (const auto& [layer, updates] : pending) {
            for (size_t first = 0; first < updates.size();) {
                size_t end = EndOfRow(updates, first);
                Update(*layer, updates, first, end);
                first = end;
            }
        }
    }

    void Drop() override
    {
        pending_.clear();
        lastLayer_ = nullptr;
        lastPending_ = nullptr;
    }

    void BeforeTheEnd() override { FinalizeStatements(); }

    [[noreturn]] void RaiseCommitFailure(const std::string& attempted) override { Fail(attempted); }

private:
    // The updates held back for a layer; a run writes one layer, so the last
    // one asked for is kept at hand.
    std::vector<PendingUpdate>& PendingOf(OGRLayer& layer)
    {
        if (lastPending_ == nullptr || lastLayer_ != &layer) {
            lastPending_ = &pending_[&layer];
            lastLayer_ = &layer;
        }
        return *lastPending_;
    }

    // The end of the values held one after the other for the row of the
    // value at first, each of another field.
    static size_t EndOfRow(const std::vector<PendingUpdate>& updates, size_t first)
    {
        size_t end = first + 1;
        while (end < updates.size() && updates[end].fid == updates[first].fid &&
               std::none_of(updates.begin() + static_cast<std::ptrdiff_t>(first),
                            updates.begin() + static_cast<std::ptrdiff_t>(end),
                            [&](const PendingUpdate& held) { return held.field == updates[end].field; })) {
            ++end;
        }
        return end;
    }

    // The values updates[first] to updates[end - 1], of one row.
    void Update(OGRLayer& layer, const std::vector<PendingUpdate>& updates, size_t first, size_t end)
    {
        fields_.clear();
        for (size_t i = first; i < end; ++i) {
            fields_.push_back(updates[i].field);
        }
        sqlite3_stmt* statement = UpdateStatement(layer, fields_);
        for (size_t i = first; i < end; ++i) {
            Bind(statement, static_cast<int>(i - first) + 1, updates[i].value);
        }
        const GIntBig fid = updates[first].fid;
        sqlite3_bind_int64(statement, static_cast<int>(end - first) + 1, fid);
        int result = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (result != SQLITE_DONE || lockWaits_.RanOut()) {
            Fail("Could not update feature " + std::to_string(fid));
        }
        if (sqlite3_changes(db_) != 1) {
            RaiseHostError(Exists(layer, fid)
                               ? "Feature " + std::to_string(fid) + " of " + layer.GetName() +
                                     ", which is there, was left as it was: a trigger skipped its update; the "
                                     "edits were not saved"
                               : "No feature " + std::to_string(fid) + " in " + layer.GetName());
        }
    }

    // Whether the table has the row of that id.
    bool Exists(OGRLayer& layer, GIntBig fid)
    {
        std::string sql = "SELECT 1 FROM " + QuotedTable(layer, false) + " WHERE " +
                          QuotedFidColumn(layer, "_rowid_") + " = " + std::to_string(fid);
        sqlite3_stmt* statement = nullptr;
        bool found = sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
                     sqlite3_step(statement) == SQLITE_ROW;
        sqlite3_finalize(statement);
        return found;
    }

    sqlite3_stmt* UpdateStatement(OGRLayer& layer, const std::vector<int>& fields)
    {
        auto key = std::make_pair(&layer, fields);
        auto found = statements_.find(key);
        if (found != statements_.end()) {
            return found->second;
        }
        std::string sql = "UPDATE " + QuotedTable(layer, false) + " SET ";
        for (size_t column = 0; column < fields.size(); ++column) {
            sql += (column == 0 ? "" : ", ") +
                   QuoteIdentifier(layer.GetLayerDefn()->GetFieldDefn(fields[column])->GetNameRef()) + " = ?" +
                   std::to_string(column + 1);
        }
        sql += " WHERE " + QuotedFidColumn(layer, "_rowid_") + " = ?" + std::to_string(fields.size() + 1);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            Fail("Could not prepare the update of " + std::string(layer.GetName()));
        }
        statements_.emplace(key, statement);
        return statement;
    }

    static BoundValue ValueToBind(const OGRFeature& feature, int field)
    {
        if (!feature.IsFieldSetAndNotNull(field)) {
            return std::monostate{};
        }
        switch (feature.GetFieldDefnRef(field)->GetType()) {
        case OFTInteger:
        case OFTInteger64:
            return static_cast<int64_t>(feature.GetFieldAsInteger64(field));
        case OFTReal:
            return feature.GetFieldAsDouble(field);
        case OFTString:
            return std::string(feature.GetFieldAsString(field));
        default:
            RaiseHostError(std::string("Fields of the type of ") + feature.GetFieldDefnRef(field)->GetNameRef() +
                           " are not written");
        }
    }

    static void Bind(sqlite3_stmt* statement, int parameter, const BoundValue& value)
    {
        if (const auto* integer = std::get_if<int64_t>(&value)) {
            sqlite3_bind_int64(statement, parameter, *integer);
        } else if (const auto* real = std::get_if<double>(&value)) {
            sqlite3_bind_double(statement, parameter, *real);
        } else if (const auto* text = std::get_if<std::string>(&value)) {
            sqlite3_bind_text(statement, parameter, text->c_str(), -1, SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(statement, parameter);
        }
    }

    // Another writer's lock is named as such: nothing this session wrote is
    // kept once it fails.
    [[noreturn]] void Fail(const std::string& attempted) const
    {
        int code = lockWaits_.RanOut() ? SQLITE_BUSY : sqlite3_errcode(db_) & 0xFF;
        std::string reason = lockWaits_.RanOut() ? sqlite3_errstr(SQLITE_BUSY) : sqlite3_errmsg(db_);
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
            reason = std::string(dataset_.GetDescription()) + " is being changed by another program (" + reason +
                     "); the edits were not saved";
        }
        RaiseHostError(attempted + ": " + reason);
    }

    void FinalizeStatements()
    {
        for (auto& entry : statements_) {
            sqlite3_finalize(entry.second);
        }
        statements_.clear();
    }

    GDALDataset& dataset_;
    sqlite3* db_;
    BoundedLockWaits lockWaits_;
    std::map<std::pair<OGRLayer*, std::vector<int>>, sqlite3_stmt*> statements_;
    // In the order held, by layer.
    std::map<OGRLayer*, std::vector<PendingUpdate>> pending_;
    OGRLayer* lastLayer_ = nullptr;
    std::vector<PendingUpdate>* lastPending_ = nullptr;
    std::vector<int> fields_;  // of the row being updated
};

}  // namespace

std::unique_ptr<EditSession> StartSqliteSession(GDALDataset& dataset)
{
    auto* db = static_cast<sqlite3*>(dataset.GetInternalHandle("SQLITE_HANDLE"));
    if (db == nullptr) {
        RaiseHostError(std::string("No SQLite connection to edit ") + dataset.GetDescription() + " with");
    }
    return StartBatchingSession(dataset, std::make_unique<SqliteWriter>(dataset, db), kBatchRows);
}

}  // namespace drennow::gdalhost
