#pragma once

#include "platform/gdal/data/ColumnCache.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Statements the host runs on a PostgreSQL database beyond what GDAL's
// driver does, on the dataset's own connection: inside the transaction of
// an edit session while one is open.
namespace drennow::gdalhost::postgres {

// The first row a statement gives, each value as text ("" for a null);
// nothing when it gives none. Raises what was attempted with the server's
// message when the statement fails.
std::vector<std::string> FirstRow(GDALDataset& dataset, const std::string& sql, const std::string& attempted);

// Has GDAL's driver list the tables of the database now; raises with the
// server's reason when that fails (a statement time-out, a search path
// without PostGIS), which would otherwise leave the dataset without layers.
void ListTables(GDALDataset& dataset, const std::string& name);

// What a run on a layer of the dataset does not see: for each layer that is
// a partition of a partitioned table, which GDAL's driver lists in place of
// that table, a note saying that the other partitions' codes are not seen.
std::vector<std::string> PartitionNotes(GDALDataset& dataset);

// Waits for locks that other sessions hold end after a bound, unless the
// user chose one (lock_timeout set by anything but the default).
void BoundLockWaits(GDALDataset& dataset);

// Runs a change of a table's columns (an ALTER TABLE), which waits for
// every other session's lock on the table and holds up every read of it
// that comes while it waits, as attempts that wait briefly each, until
// the run's bound on lock waits has passed: readers wait behind an attempt
// only. The last attempt's outcome, with GDAL's error of it.
OGRErr ChangeColumns(GDALDataset& dataset, const std::function<OGRErr()>& change);

// Every read of a table starts at its first row, not where another read of
// it has got to: a cursor that reads the table again to find its place must
// meet the rows in the order it met them.
void ReadTablesFromTheStart(GDALDataset& dataset);

// For the rest of the transaction, the rows a statement joins to a table are
// found by the table's indexes: an UPDATE of a batch of rows by their ids
// then costs in proportion to the batch, not to the table, which a hash or
// merge join reads through for every batch.
void JoinRowsByIndex(GDALDataset& dataset);

// Raises when the rows of the layer's table cannot be updated: it is not a
// table, the role may not update it, or it has no primary key to find its
// rows by; row-level security policies apply to the role and may keep rows
// from it; or rows of its child tables share ids.
void RequireEditable(GDALDataset& dataset, OGRLayer& layer);

// Raises when row-level security policies of the layer's table apply to
// the role and may keep rows from it (as RequireEditable does): a count
// of the rows would otherwise count those the role sees.
void RequireEveryRowSeen(GDALDataset& dataset, OGRLayer& layer);

// Keeps other writers off the layer's table until the transaction ends;
// readers pass. Raises, naming the lock, when it cannot be had in time.
void LockAgainstWriters(GDALDataset& dataset, OGRLayer& layer);

// The most rows one statement of IntegerColumnReader reads.
inline constexpr size_t kRowsAStatement = 262144;

// Reads integer columns of the rows of the layer's table with ids after
// `after` (of every row without one), at most `most` of them, in id order:
// the values of each column of up to kRowsAStatement rows come as one text
// of one row of one statement. The geometry and other columns stay on the
// server.
ColumnReader IntegerColumnReader(GDALDataset& dataset, OGRLayer& layer, const std::vector<int>& fields,
                                 std::optional<GIntBig> after, size_t most);

}  // namespace drennow::gdalhost::postgres
