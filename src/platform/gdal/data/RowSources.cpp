#include "platform/gdal/data/RowSources.h"

#include "platform/gdal/data/FieldValues.h"
#include "platform/gdal/data/GdalCursor.h"
#include "platform/gdal/data/GdalError.h"
#include "platform/gdal/data/PostgresSql.h"
#include "platform/gdal/data/SqlText.h"

namespace drennow::gdalhost {

HeldRows& HeldRows::Over(const ColumnCache& held, std::optional<GIntBig> after)
{
    const std::vector<GIntBig>& fids = held.Fids();
    bool aligned = after && position_ > 0 && position_ <= fids.size() && fids[position_ - 1] == *after;
    if (!aligned) {
        position_ = held.PositionAfter(after);
    }
    held_ = &held;
    return *this;
}

std::optional<GIntBig> HeldRows::Next()
{
    if (position_ >= held_->Fids().size()) {
        return std::nullopt;
    }
    return held_->Fids()[position_++];
}

void HeldRows::Fill(GdalRow& row)
{
    size_t position = position_ - 1;
    if (fields_->fields.empty()) {
        held_->ForEachValue(position,
                            [&](int field, runtime::Variant value) { row.AddValue(field, std::move(value)); });
        return;
    }
    for (int field : fields_->fields) {
        if (held_->Has(field)) {
            row.AddValue(field, held_->ValueOf(field, position));
        }
    }
}

namespace {

class OgrSource : public RowSource {
public:
    explicit OgrSource(EditedLayer& layer) : layer_(layer) {}

    ~OgrSource() override
    {
        try {
            layer_.StopReading(this);
        } catch (const std::exception&) {
            // The layer is gone with its dataset; so is its reading.
        }
    }

    OgrSource(const OgrSource&) = delete;
    OgrSource& operator=(const OgrSource&) = delete;

    std::optional<GIntBig> Next() override
    {
        OGRLayer& layer = layer_.ReadFrom(this, featuresRead_, lastFid_);
        // A read that failed is never the end of the rows, even where the
        // driver clears its error before returning.
        FirstGdalFailure failure;
        feature_.reset(layer.GetNextFeature());
        if (!feature_) {
            if (failure.Happened()) {
                failure.Raise("Could not read " + layer_.Name());
            }
            RequireAllRowsRead();
            return std::nullopt;
        }
        ++featuresRead_;
        lastFid_ = feature_->GetFID();
        return lastFid_;
    }

    void Fill(GdalRow& row) override
    {
        for (int field = 0; field < feature_->GetFieldCount(); ++field) {
            row.AddValue(field, ReadField(*feature_, field));
        }
    }

private:
    // A reading that ends before the last row, without a word from the
    // driver, would leave rows unwritten in a run that reports it finished.
    void RequireAllRowsRead()
    {
        GIntBig rows = layer_.RowsAReadingGives();
        if (rows > featuresRead_) {
            RaiseHostError("Could not read " + layer_.Name() + ": the reading ended after " +
                           std::to_string(featuresRead_) + " of its " + std::to_string(rows) + " rows");
        }
    }

    EditedLayer& layer_;
    OGRFeatureUniquePtr feature_;  // the row given last
    GIntBig featuresRead_ = 0;
    std::optional<GIntBig> lastFid_;
};

class StatementSource : public RowSource {
public:
    StatementSource(EditedLayer& layer, std::shared_ptr<const LearnedFields> fields, std::optional<GIntBig> after)
        : layer_(layer), db_(layer.GeoPackageConnection()), fields_(std::move(fields)), lastFid_(after)
    {
    }

    ~StatementSource() override { sqlite3_finalize(select_); }

    StatementSource(const StatementSource&) = delete;
    StatementSource& operator=(const StatementSource&) = delete;

    std::optional<GIntBig> Next() override
    {
        if (select_ == nullptr || selectedAsOf_ != fields_->fields.size()) {
            Prepare();
        }
        layer_.FlushWritesTo(selectedFields_);
        int result = sqlite3_step(select_);
        if (result == SQLITE_DONE) {
            return std::nullopt;
        }
        if (result != SQLITE_ROW) {
            RaiseHostError("Could not read " + layer_.Name() + ": " + sqlite3_errmsg(db_));
        }
        lastFid_ = sqlite3_column_int64(select_, 0);
        return lastFid_;
    }

    void Fill(GdalRow& row) override
    {
        for (size_t i = 0; i < selectedFields_.size(); ++i) {
            int column = static_cast<int>(i) + 1;
            row.AddValue(selectedFields_[i], ReadColumn(select_, column, *selectedDefinitions_[i]));
        }
    }

private:
    // Selects the learned fields of the rows after the last one read.
    void Prepare()
    {
        sqlite3_finalize(select_);
        select_ = nullptr;
        selectedFields_.clear();
        selectedDefinitions_.clear();
        selectedAsOf_ = fields_->fields.size();
        for (int field = 0; field < layer_.AttributeCount(); ++field) {
            const OGRFieldDefn& definition = layer_.Attribute(field);
            if (fields_->Wants(field) && ReadableAsColumn(definition)) {
                selectedFields_.push_back(field);
                selectedDefinitions_.push_back(&definition);
            }
        }
        std::string sql = SelectInIdOrder(layer_.Layer(), selectedFields_, lastFid_.has_value());
        layer_.FlushWrites();
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &select_, nullptr) != SQLITE_OK) {
            RaiseHostError("Could not read " + layer_.Name() + ": " + sqlite3_errmsg(db_));
        }
        if (lastFid_) {
            sqlite3_bind_int64(select_, 1, *lastFid_);
        }
    }

    EditedLayer& layer_;
    sqlite3* db_;
    std::shared_ptr<const LearnedFields> fields_;
    std::optional<GIntBig> lastFid_;
    sqlite3_stmt* select_ = nullptr;
    // The fields the statement selects, as of how many were learned.
    std::vector<int> selectedFields_;
    std::vector<const OGRFieldDefn*> selectedDefinitions_;
    size_t selectedAsOf_ = 0;
};

class ChunkSource : public RowSource {
public:
    ChunkSource(EditedLayer& layer, std::shared_ptr<const LearnedFields> fields, std::optional<GIntBig> after)
        : layer_(layer), fields_(fields), rows_(std::move(fields)), lastFid_(after)
    {
    }

    // A chunk is read again, from the row after the last one read, when a
    // field it lacks is learned.
    std::optional<GIntBig> Next() override
    {
        while (true) {
            if (chunk_ && chunkAsOf_ != fields_->fields.size() && LacksALearnedField()) {
                chunk_.reset();
            }
            if (!chunk_) {
                chunk_ = layer_.ChunkAfter(lastFid_, fields_->fields, chunkRows_);
            }
            chunkAsOf_ = fields_->fields.size();
            if (std::optional<GIntBig> fid = rows_.Over(*chunk_, lastFid_).Next()) {
                lastFid_ = fid;
                return fid;
            }
            if (chunk_->Fids().size() < chunkRows_) {
                return std::nullopt;
            }
            chunk_.reset();
            chunkRows_ = std::min(2 * chunkRows_, postgres::kRowsAStatement);
        }
    }

    void Fill(GdalRow& row) override { rows_.Fill(row); }

private:
    bool LacksALearnedField()
    {
        for (int field : fields_->fields) {
            if (!chunk_->Has(field) && layer_.CanHold(field)) {
                return true;
            }
        }
        return false;
    }

    EditedLayer& layer_;
    std::shared_ptr<const LearnedFields> fields_;
    HeldRows rows_;
    std::optional<GIntBig> lastFid_;
    std::optional<ColumnCache> chunk_;
    size_t chunkAsOf_ = 0;     // how many fields were learned when it was read
    size_t chunkRows_ = 1024;  // asked for
};

}  // namespace

std::unique_ptr<RowSource> OgrRows(EditedLayer& layer)
{
    return std::make_unique<OgrSource>(layer);
}

std::unique_ptr<RowSource> StatementRows(EditedLayer& layer, std::shared_ptr<const LearnedFields> fields,
                                         std::optional<GIntBig> after)
{
    return std::make_unique<StatementSource>(layer, std::move(fields), after);
}

std::unique_ptr<RowSource> ChunkRows(EditedLayer& layer, std::shared_ptr<const LearnedFields> fields,
                                     std::optional<GIntBig> after)
{
    return std::make_unique<ChunkSource>(layer, std::move(fields), after);
}

}  // namespace drennow::gdalhost
