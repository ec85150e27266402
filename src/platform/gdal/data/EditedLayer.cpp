#include "platform/gdal/data/EditedLayer.h"

#include "platform/gdal/data/FieldValues.h"
#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/data/GdalWorkspace.h"
#include "platform/gdal/data/PostgresSql.h"
#include "runtime/Error.h"

#include <cpl_error.h>
#include <cpl_string.h>

#include <algorithm>

namespace drennow::gdalhost {

namespace {

// Geometry and style are never read; attribute fields always are.
void IgnoreGeometry(OGRLayer& layer)
{
    CPLStringList ignored;
    ignored.AddString("OGR_GEOMETRY");
    ignored.AddString("OGR_STYLE");
    OGRFeatureDefn& definition = *layer.GetLayerDefn();
    for (int i = 0; i < definition.GetGeomFieldCount(); ++i) {
        const char* name = definition.GetGeomFieldDefn(i)->GetNameRef();
        if (name[0] != '\0') {
            ignored.AddString(name);
        }
    }
    layer.SetIgnoredFields(const_cast<const char**>(ignored.List()));
}

// SQLite reads a double-quoted name that is no column as a text: a filter
// with a misspelt field name would compare every row with a text, and
// select them all. While one lives, such a name is an error.
class DoubleQuotesNameColumns {
public:
    explicit DoubleQuotesNameColumns(sqlite3* db) : db_(db)
    {
        if (db_ != nullptr) {
            sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, -1, &before_);
            sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
        }
    }
    ~DoubleQuotesNameColumns()
    {
        if (db_ != nullptr) {
            sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, before_, nullptr);
        }
    }
    DoubleQuotesNameColumns(const DoubleQuotesNameColumns&) = delete;
    DoubleQuotesNameColumns& operator=(const DoubleQuotesNameColumns&) = delete;

private:
    sqlite3* db_;
    int before_ = 1;
};

}  // namespace

EditedLayer::EditedLayer(GdalWorkspace& workspace, int index) : workspace_(workspace), index_(index) {}

OGRLayer& EditedLayer::Layer()
{
    if (layer_ == nullptr) {
        layer_ = &workspace_.Layer(index_);
    }
    return *layer_;
}

OGRLayer& EditedLayer::UsedLayer()
{
    return workspace_.UsedLayer(index_);
}

uint64_t EditedLayer::Generation() const
{
    return workspace_.Generation();
}

// Asked for with every value a row gives or takes.
int EditedLayer::AttributeCount()
{
    if (attributeCount_ < 0) {
        attributeCount_ = Layer().GetLayerDefn()->GetFieldCount();
    }
    return attributeCount_;
}

void EditedLayer::AddField(OGRFieldDefn& field)
{
    // A database refuses to change a table it has a query open on; the
    // reader that was reading picks up where it was.
    StopReading(reader_);
    workspace_.AddField(index_, field);
}

void EditedLayer::SessionChanged()
{
    LoseReadingPosition();
    held_ = ColumnCache{};
    heldBack_.clear();
}

void EditedLayer::SchemaChanged()
{
    SessionChanged();
    layer_ = nullptr;
    attributeCount_ = -1;
    // A feature has room for the fields there were when it was made.
    scratch_.reset();
}

int32_t EditedLayer::RowCount()
{
    // Columns in memory hold every row: while they are, no row comes or goes.
    if (const ColumnCache* held = HeldColumns({}, Unholdable::Refuse)) {
        return ObjectId(static_cast<int64_t>(held->Fids().size()));
    }
    FlushWrites();
    LoseReadingPosition();
    OGRLayer& layer = UsedLayer();
    if (workspace_.IsPostgres()) {
        postgres::RequireEveryRowSeen(workspace_.Dataset(), layer);
    }
    CPLErrorReset();
    // A database whose count fails (a lock or statement time-out) may give 0.
    GIntBig count = workspace_.RowsAReadingGives(layer);
    if (count < 0 || CPLGetLastErrorType() >= CE_Failure) {
        RaiseGdalError("Could not count the rows of " + Name());
    }
    return ObjectId(count);
}

GIntBig EditedLayer::RowsAReadingGives()
{
    return workspace_.RowsAReadingGives(Layer());
}

FidList EditedLayer::FidsWhere(const std::string& filter)
{
    OGRLayer& layer = UsedLayer();
    LoseReadingPosition();
    IgnoreGeometry(layer);
    DoubleQuotesNameColumns strict(workspace_.SqliteConnection());
    FirstGdalFailure failure;
    FidList fids;
    bool filtered = layer.SetAttributeFilter(filter.c_str()) == OGRERR_NONE;
    if (filtered && !failure.Happened()) {
        layer.ResetReading();
        while (OGRFeatureUniquePtr feature{layer.GetNextFeature()}) {
            fids.push_back(feature->GetFID());
        }
    }
    bool failed = !filtered || failure.Happened();
    layer.SetAttributeFilter(nullptr);
    layer.ResetReading();
    if (failed) {
        failure.Raise("Cannot select in " + Name() + " with " + filter);
    }
    std::sort(fids.begin(), fids.end());
    return fids;
}

FidList EditedLayer::ExistingFids(const FidList& fids)
{
    OGRLayer& layer = UsedLayer();
    LoseReadingPosition();
    IgnoreGeometry(layer);
    FidList existing;
    for (GIntBig fid : fids) {
        CPLErrorReset();
        if (OGRFeatureUniquePtr{layer.GetFeature(fid)}) {
            existing.push_back(fid);
        }
    }
    CPLErrorReset();
    return existing;
}

std::set<OGRwkbGeometryType> EditedLayer::GeometryTypes()
{
    OGRLayer& layer = UsedLayer();
    LoseReadingPosition();
    CPLStringList attributes;
    attributes.AddString("OGR_STYLE");
    for (int i = 0; i < AttributeCount(); ++i) {
        attributes.AddString(Attribute(i).GetNameRef());
    }
    layer.SetIgnoredFields(const_cast<const char**>(attributes.List()));
    layer.SetAttributeFilter(nullptr);
    layer.ResetReading();
    FirstGdalFailure failure;
    std::set<OGRwkbGeometryType> types;
    while (OGRFeatureUniquePtr feature{layer.GetNextFeature()}) {
        if (const OGRGeometry* geometry = feature->GetGeometryRef()) {
            types.insert(wkbFlatten(geometry->getGeometryType()));
        }
    }
    IgnoreGeometry(layer);
    layer.ResetReading();
    if (failure.Happened()) {
        failure.Raise("Could not read the geometries of " + Name());
    }
    return types;
}

EditedLayer::Reading EditedLayer::HowToRead()
{
    if (GeoPackageConnection() != nullptr) {
        return Reading::GeoPackage;
    }
    if (!workspace_.IsPostgres() || Layer().GetFIDColumn()[0] == '\0' || FieldsToLoad(ColumnCache{}, {}).empty()) {
        return Reading::Ogr;
    }
    return Reading::Postgres;
}

sqlite3* EditedLayer::GeoPackageConnection()
{
    return workspace_.DriverName() == "GPKG" ? workspace_.SqliteConnection() : nullptr;
}

OGRLayer& EditedLayer::ReadFrom(const void* reader, GIntBig featuresRead, std::optional<GIntBig> lastFid)
{
    if (reader_ == reader) {
        return Layer();
    }
    OGRLayer& layer = UsedLayer();
    FlushWrites();
    IgnoreGeometry(layer);
    layer.SetAttributeFilter(nullptr);
    layer.ResetReading();
    if (featuresRead > 0) {
        GoBackTo(layer, featuresRead, lastFid);
    }
    reader_ = reader;
    return layer;
}

// A database gives its rows in no promised order: a table read afresh may
// give another row at a place, and reading on from there would skip rows
// and read others twice without a word.
void EditedLayer::GoBackTo(OGRLayer& layer, GIntBig featuresRead, std::optional<GIntBig> lastFid)
{
    const std::string attempted = "Could not go back to row " + std::to_string(featuresRead) + " of " + Name();
    if (layer.SetNextByIndex(featuresRead - 1) != OGRERR_NONE) {
        RaiseGdalError(attempted);
    }
    OGRFeatureUniquePtr last(layer.GetNextFeature());
    if (!last || !lastFid || last->GetFID() != *lastFid) {
        RaiseHostError(attempted + ": the table gave its rows in another order when read again");
    }
}

void EditedLayer::StopReading(const void* reader)
{
    // An unfinished read may hold a database cursor open.
    if (reader_ == reader) {
        reader_ = nullptr;
        Layer().ResetReading();
    }
}

const ColumnCache* EditedLayer::HeldColumns(const std::vector<int>& fields, Unholdable unholdable)
{
    if (!workspace_.HoldsColumns()) {
        return nullptr;
    }
    bool complete = !held_.Empty();
    for (int field : fields) {
        if (held_.Has(field)) {
            continue;
        }
        if (!CanHold(field)) {
            if (unholdable == Unholdable::Refuse) {
                return nullptr;
            }
            continue;
        }
        complete = false;
    }
    if (!complete) {
        std::vector<int> missing = FieldsToLoad(held_, fields);
        if (!missing.empty()) {
            held_.Load(Layer(), missing, ColumnsAfter(missing, std::nullopt, SIZE_MAX));
        }
    }
    return held_.Empty() ? nullptr : &held_;
}

// Reading a column means reading through the whole table, which costs about
// as much for several: the first load takes the other integer columns
// along, up to a bound on the memory they take.
std::vector<int> EditedLayer::FieldsToLoad(const ColumnCache& held, const std::vector<int>& fields)
{
    std::vector<int> missing;
    for (int field : fields) {
        if (!held.Has(field) && CanHold(field)) {
            missing.push_back(field);
        }
    }
    for (int field = 0; held.Empty() && field < AttributeCount() && missing.size() < kColumnsLoadedTogether;
         ++field) {
        // A numeric of 19 digits or more may hold values beyond 64 bits,
        // which end a read: only a run that asks for its values reads them.
        bool mayOverflow = Attribute(field).GetType() == OFTInteger64 && Attribute(field).GetWidth() >= 19;
        if (CanHold(field) && !mayOverflow && std::find(missing.begin(), missing.end(), field) == missing.end()) {
            missing.push_back(field);
        }
    }
    return missing;
}

ColumnCache EditedLayer::ChunkAfter(std::optional<GIntBig> fid, const std::vector<int>& fields, size_t rows)
{
    ColumnCache chunk;
    std::vector<int> wanted = FieldsToLoad(chunk, fields);
    chunk.Load(Layer(), wanted, ColumnsAfter(wanted, fid, rows));
    return chunk;
}

ColumnReader EditedLayer::ColumnsAfter(const std::vector<int>& fields, std::optional<GIntBig> fid, size_t rows)
{
    OGRLayer& layer = UsedLayer();
    FlushWrites();
    if (workspace_.IsPostgres()) {
        return postgres::IntegerColumnReader(workspace_.Dataset(), layer, fields, fid, rows);
    }
    if (fid || rows != SIZE_MAX) {
        RaiseHostError("Rows of " + Name() + " are not read in chunks");
    }
    return SqliteColumnReader(workspace_.SqliteConnection(), layer, fields);
}

runtime::Variant EditedLayer::ReadValue(GIntBig fid, int field)
{
    FlushWrites();
    OGRLayer& layer = UsedLayer();
    LoseReadingPosition();
    IgnoreGeometry(layer);
    CPLErrorReset();
    OGRFeatureUniquePtr feature(layer.GetFeature(fid));
    if (!feature) {
        RaiseGdalError("Could not read feature " + std::to_string(fid) + " of " + Name());
    }
    return ReadField(*feature, field);
}

void EditedLayer::FlushWrites()
{
    workspace_.FlushWrites();
    heldBack_.clear();
}

void EditedLayer::FlushWritesTo(const std::vector<int>& fields)
{
    for (int field : fields) {
        if (field < static_cast<int>(heldBack_.size()) && heldBack_[static_cast<size_t>(field)]) {
            FlushWrites();
            return;
        }
    }
}

OGRFeature& EditedLayer::Scratch()
{
    OGRFeatureDefn* definition = Layer().GetLayerDefn();
    // The dataset opened afresh has definitions of its own.
    if (!scratch_ || scratch_->GetDefnRef() != definition) {
        scratch_ = std::make_unique<OGRFeature>(definition);
    }
    return *scratch_;
}

runtime::Variant EditedLayer::Converted(int field, const runtime::Variant& value)
{
    OGRFeature& scratch = Scratch();
    WriteField(scratch, field, value);
    if (value.IsInteger() && !HoldsExactly(Attribute(field), runtime::ToLongLong(value), workspace_.IsPostgres())) {
        runtime::Raise(runtime::kOverflow);
    }
    return ReadField(scratch, field);
}

void EditedLayer::WriteRow(GIntBig fid, const std::vector<std::pair<int, runtime::Variant>>& changes)
{
    OGRFeature& scratch = Scratch();
    writtenFields_.clear();
    for (const auto& [field, value] : changes) {
        WriteField(scratch, field, value);
        writtenFields_.push_back(field);
        if (field >= static_cast<int>(heldBack_.size())) {
            heldBack_.resize(static_cast<size_t>(field) + 1, false);
        }
        heldBack_[static_cast<size_t>(field)] = true;
    }
    scratch.SetFID(fid);
    const std::vector<int>& changed = ChangedFields(scratch);
    workspace_.Write(UsedLayer(), scratch, changed);
}

// A row that holds its values already is not rewritten: its triggers do not
// fire, and a run repeated on the same data writes nothing.
const std::vector<int>& EditedLayer::ChangedFields(const OGRFeature& row)
{
    if (!workspace_.HoldsColumns() || held_.Empty()) {
        return writtenFields_;
    }
    HeldColumns(writtenFields_, Unholdable::Skip);
    changedFields_.clear();
    for (int field : writtenFields_) {
        if (held_.Update(row.GetFID(), field, ReadField(row, field))) {
            changedFields_.push_back(field);
        }
    }
    return changedFields_;
}

}  // namespace drennow::gdalhost
