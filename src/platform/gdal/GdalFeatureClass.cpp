#include "platform/gdal/GdalFeatureClass.h"

#include "platform/gdal/FieldValues.h"
#include "platform/gdal/GdalCursor.h"
#include "platform/gdal/GdalError.h"
#include "platform/gdal/GdalFields.h"
#include "runtime/Error.h"

#include <cpl_error.h>
#include <cpl_string.h>

#include <algorithm>

namespace drennow::gdalhost {

namespace {

class GdalFeatureDataset : public host::IFeatureDataset {
public:
    explicit GdalFeatureDataset(host::Ref<host::IWorkspace> workspace) : workspace_(std::move(workspace)) {}
    host::Ref<host::IWorkspace> Workspace() override { return workspace_; }

private:
    host::Ref<host::IWorkspace> workspace_;
};

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

GdalFeatureClass::GdalFeatureClass(host::Ref<GdalWorkspace> workspace, int layerIndex)
    : workspace_(std::move(workspace)), layerIndex_(layerIndex)
{
}

host::Ref<host::IFields> GdalFeatureClass::Fields()
{
    OGRLayer& layer = Layer();
    return std::make_shared<GdalFields>(layer.GetFIDColumn(), *layer.GetLayerDefn());
}

void GdalFeatureClass::AddField(const host::NewField& field)
{
    OgrFieldKind kind = OgrFieldFor(field.Type);
    OGRFieldDefn definition(field.Name.c_str(), kind.type);
    definition.SetSubType(kind.subType);
    // A database refuses to change a table it has a query open on; the
    // cursor that was reading picks up where it was.
    StopReading(reader_);
    // A feature has room for the fields there were when it was made.
    scratch_.reset();
    workspace_->AddField(layerIndex_, definition);
}

int32_t GdalFeatureClass::ShapeType()
{
    switch (wkbFlatten(Layer().GetGeomType())) {
    case wkbPoint:
        return host::kShapeTypePoint;
    case wkbMultiPoint:
        return host::kShapeTypeMultipoint;
    case wkbLineString:
    case wkbMultiLineString:
    case wkbCircularString:
    case wkbCompoundCurve:
    case wkbMultiCurve:
        return host::kShapeTypePolyline;
    case wkbPolygon:
    case wkbMultiPolygon:
    case wkbCurvePolygon:
    case wkbMultiSurface:
        return host::kShapeTypePolygon;
    default:
        return host::kShapeTypeNull;
    }
}

host::Ref<host::IFeatureDataset> GdalFeatureClass::FeatureDataset()
{
    return std::make_shared<GdalFeatureDataset>(workspace_);
}

host::Ref<host::ICursor> GdalFeatureClass::Search()
{
    return Search(nullptr);
}

host::Ref<host::ICursor> GdalFeatureClass::Search(std::shared_ptr<const FidList> fids)
{
    return std::make_shared<GdalCursor>(shared_from_this(), std::move(fids));
}

// Asked for with every value a row gives or takes: counted again only when
// the fields may have changed.
int GdalFeatureClass::AttributeCount()
{
    if (attributeCountAsOf_ != workspace_->SchemaVersion()) {
        attributeCount_ = Layer().GetLayerDefn()->GetFieldCount();
        attributeCountAsOf_ = workspace_->SchemaVersion();
    }
    return attributeCount_;
}

int32_t GdalFeatureClass::RowCount()
{
    // Columns in memory hold every row: while they are, no row comes or goes.
    if (const ColumnCache* cache = EditCacheWith({})) {
        return ObjectId(static_cast<int64_t>(cache->Fids().size()));
    }
    FlushWrites();
    LoseReadingPosition();
    OGRLayer& layer = UsedLayer();
    CPLErrorReset();
    // A database whose count fails (a lock or statement time-out) may give 0.
    GIntBig count = layer.GetFeatureCount(TRUE);
    if (count < 0 || CPLGetLastErrorType() >= CE_Failure) {
        RaiseGdalError(std::string("Could not count the rows of ") + Name());
    }
    return ObjectId(count);
}

std::string GdalFeatureClass::Name()
{
    return Layer().GetName();
}

bool GdalFeatureClass::HasGeometry()
{
    return Layer().GetLayerDefn()->GetGeomFieldCount() > 0;
}

FidList GdalFeatureClass::FidsWhere(const std::string& filter)
{
    OGRLayer& layer = UsedLayer();
    LoseReadingPosition();
    IgnoreGeometry(layer);
    DoubleQuotesNameColumns strict(workspace_->SqliteConnection());
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

FidList GdalFeatureClass::ExistingFids(const FidList& fids)
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

OGRLayer& GdalFeatureClass::ReadFrom(const void* reader, GIntBig featuresRead, std::optional<GIntBig> lastFid)
{
    if (reader_ == reader && readerAsOf_ == workspace_->ReadingsEnded()) {
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
    readerAsOf_ = workspace_->ReadingsEnded();
    return layer;
}

// A database gives its rows in no promised order: a table read afresh may
// give another row at a place, and reading on from there would skip rows
// and read others twice without a word.
void GdalFeatureClass::GoBackTo(OGRLayer& layer, GIntBig featuresRead, std::optional<GIntBig> lastFid)
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

void GdalFeatureClass::StopReading(const void* reader)
{
    // An unfinished read may hold a database cursor open.
    if (reader_ == reader) {
        Layer().ResetReading();
        reader_ = nullptr;
    }
}

void GdalFeatureClass::FlushWrites()
{
    workspace_->FlushWrites();
    heldBack_.clear();
}

void GdalFeatureClass::FlushWritesTo(const std::vector<int>& fields)
{
    for (int field : fields) {
        if (field < static_cast<int>(heldBack_.size()) && heldBack_[static_cast<size_t>(field)]) {
            FlushWrites();
            return;
        }
    }
}

sqlite3* GdalFeatureClass::GeoPackageConnection()
{
    return workspace_->DriverName() == "GPKG" ? workspace_->SqliteConnection() : nullptr;
}

const ColumnCache* GdalFeatureClass::EditCacheWith(const std::vector<int>& fields)
{
    ColumnCache* cache = workspace_->EditCache(layerIndex_);
    if (cache == nullptr) {
        return nullptr;
    }
    for (int field : fields) {
        if (!cache->Has(field) && !ColumnCache::Holds(Attribute(field))) {
            return nullptr;
        }
    }
    std::vector<int> missing = FieldsToLoad(*cache, fields);
    if (!missing.empty()) {
        FlushWrites();
        cache->Load(Layer(), missing, workspace_->ColumnsOf(layerIndex_, missing));
    }
    return cache->Empty() ? nullptr : cache;
}

// Reading a column means reading through the whole table, which costs about
// as much for several: the first load takes the other integer columns
// along, up to a bound on the memory they take.
std::vector<int> GdalFeatureClass::FieldsToLoad(const ColumnCache& held, const std::vector<int>& fields)
{
    std::vector<int> missing;
    for (int field : fields) {
        if (!held.Has(field)) {
            missing.push_back(field);
        }
    }
    for (int field = 0; held.Empty() && field < AttributeCount() && missing.size() < kColumnsLoadedTogether;
         ++field) {
        if (ColumnCache::Holds(Attribute(field)) && std::find(missing.begin(), missing.end(), field) == missing.end()) {
            missing.push_back(field);
        }
    }
    return missing;
}

std::vector<int> GdalFeatureClass::HoldableOf(const std::vector<int>& fields)
{
    std::vector<int> holdable;
    for (int field : fields) {
        if (ColumnCache::Holds(Attribute(field))) {
            holdable.push_back(field);
        }
    }
    return holdable;
}

GdalFeatureClass::Reading GdalFeatureClass::HowToRead()
{
    if (GeoPackageConnection() != nullptr) {
        return Reading::GeoPackage;
    }
    if (!workspace_->IsPostgres() || Layer().GetFIDColumn()[0] == '\0' || FieldsToLoad(ColumnCache{}, {}).empty()) {
        return Reading::Ogr;
    }
    return EditCacheWith({}) != nullptr ? Reading::Memory : Reading::Chunks;
}

ColumnCache GdalFeatureClass::ChunkAfter(std::optional<GIntBig> fid, const std::vector<int>& fields, size_t rows)
{
    ColumnCache chunk;
    std::vector<int> wanted = FieldsToLoad(chunk, fields);
    chunk.Load(Layer(), wanted, workspace_->ColumnsAfter(layerIndex_, wanted, fid, rows));
    return chunk;
}

runtime::Variant GdalFeatureClass::ReadValue(GIntBig fid, int field)
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

OGRFeature& GdalFeatureClass::Scratch()
{
    OGRFeatureDefn* definition = Layer().GetLayerDefn();
    // The dataset opened afresh has definitions of its own.
    if (!scratch_ || scratch_->GetDefnRef() != definition) {
        scratch_ = std::make_unique<OGRFeature>(definition);
    }
    return *scratch_;
}

runtime::Variant GdalFeatureClass::Converted(int field, const runtime::Variant& value)
{
    OGRFeature& scratch = Scratch();
    WriteField(scratch, field, value);
    return ReadField(scratch, field);
}

void GdalFeatureClass::WriteRow(GIntBig fid, const std::vector<std::pair<int, runtime::Variant>>& changes)
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
    // With the columns in memory, what the row holds is known: a value it
    // holds already is not written again.
    const ColumnCache* cache = workspace_->EditCache(layerIndex_);
    if (cache != nullptr && !cache->Empty()) {
        for (int field : writtenFields_) {
            if (!cache->Has(field) && ColumnCache::Holds(Attribute(field))) {
                EditCacheWith(HoldableOf(writtenFields_));
                break;
            }
        }
    }
    scratch.SetFID(fid);
    workspace_->WriteRow(layerIndex_, scratch, writtenFields_);
}

}  // namespace drennow::gdalhost
