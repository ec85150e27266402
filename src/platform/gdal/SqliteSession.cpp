#include "platform/gdal/EditSession.h"

#include "platform/gdal/GdalError.h"
#include "platform/gdal/SqlText.h"

#include <sqlite3.h>

#include <map>
#include <utility>

namespace drennow::gdalhost {

namespace {

// Updates run on GDAL's own connection, inside the transaction GDAL opened,
// so that reads through GDAL see them. An UPDATE of attribute columns only
// leaves geometry and the spatial index untouched.
class SqliteSession : public EditSession {
public:
    SqliteSession(GDALDataset& dataset, sqlite3* db) : dataset_(dataset), db_(db) {}

    ~SqliteSession() override
    {
        if (open_) {
            try {
                Rollback();
            } catch (const std::exception&) {
                // The connection rolls back what it never committed.
            }
        }
    }

    SqliteSession(const SqliteSession&) = delete;
    SqliteSession& operator=(const SqliteSession&) = delete;

    void Write(OGRLayer& layer, const OGRFeature& feature, const std::vector<int>& changedFields) override
    {
        for (int field : changedFields) {
            sqlite3_stmt* statement = UpdateStatement(layer, field);
            BindValue(statement, feature, field);
            sqlite3_bind_int64(statement, 2, feature.GetFID());
            int result = sqlite3_step(statement);
            sqlite3_reset(statement);
            if (result != SQLITE_DONE) {
                Fail("Could not update feature " + std::to_string(feature.GetFID()));
            }
            if (sqlite3_changes(db_) != 1) {
                RaiseHostError("No feature " + std::to_string(feature.GetFID()) + " in " + layer.GetName());
            }
        }
    }

    void Commit() override
    {
        FinalizeStatements();
        if (dataset_.CommitTransaction() != OGRERR_NONE) {
            RaiseGdalError("Could not save the edits");
        }
        open_ = false;
    }

    void Rollback() override
    {
        FinalizeStatements();
        open_ = false;
        if (dataset_.RollbackTransaction() != OGRERR_NONE) {
            RaiseGdalError("Could not discard the edits");
        }
    }

private:
    sqlite3_stmt* UpdateStatement(OGRLayer& layer, int field)
    {
        auto key = std::make_pair(&layer, field);
        auto found = statements_.find(key);
        if (found != statements_.end()) {
            return found->second;
        }
        std::string sql = "UPDATE " + QuotedTable(layer, false) + " SET " +
                          QuoteIdentifier(layer.GetLayerDefn()->GetFieldDefn(field)->GetNameRef()) + " = ?1 WHERE " +
                          QuotedFidColumn(layer, "_rowid_") + " = ?2";
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            Fail("Could not prepare the update of " + std::string(layer.GetName()));
        }
        statements_.emplace(key, statement);
        return statement;
    }

    void BindValue(sqlite3_stmt* statement, const OGRFeature& feature, int field)
    {
        if (!feature.IsFieldSetAndNotNull(field)) {
            sqlite3_bind_null(statement, 1);
            return;
        }
        switch (feature.GetFieldDefnRef(field)->GetType()) {
        case OFTInteger:
        case OFTInteger64:
            sqlite3_bind_int64(statement, 1, feature.GetFieldAsInteger64(field));
            return;
        case OFTReal:
            sqlite3_bind_double(statement, 1, feature.GetFieldAsDouble(field));
            return;
        case OFTString:
            sqlite3_bind_text(statement, 1, feature.GetFieldAsString(field), -1, SQLITE_TRANSIENT);
            return;
        default:
            RaiseHostError(std::string("Fields of the type of ") + feature.GetFieldDefnRef(field)->GetNameRef() +
                           " are not written");
        }
    }

    [[noreturn]] void Fail(const std::string& attempted) const
    {
        RaiseHostError(attempted + ": " + sqlite3_errmsg(db_));
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
    std::map<std::pair<OGRLayer*, int>, sqlite3_stmt*> statements_;
    bool open_ = true;
};

}  // namespace

std::unique_ptr<EditSession> StartSqliteSession(GDALDataset& dataset)
{
    auto* db = static_cast<sqlite3*>(dataset.GetInternalHandle("SQLITE_HANDLE"));
    if (db == nullptr) {
        RaiseHostError(std::string("No SQLite connection to edit ") + dataset.GetDescription() + " with");
    }
    if (dataset.StartTransaction(FALSE) != OGRERR_NONE) {
        RaiseGdalError(std::string("Could not start editing ") + dataset.GetDescription());
    }
    return std::make_unique<SqliteSession>(dataset, db);
}

}  // namespace drennow::gdalhost
