#include "pfaf/BuildIdCollection.h"

#include "host/Progress.h"
#include "host/modGlobals.h"
#include "runtime/Error.h"

#include <algorithm>
#include <array>
#include <string>

namespace drennow::modPfafTools {

namespace {

// Runs one step, ignoring its failure.
template <typename Step>
void Try(Step&& step)
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

runtime::Variant Substitute(const runtime::Variant& value, const ItemSubstitutes& substitutes)
{
    runtime::Variant item = value;
    bool numeric = runtime::IsNumeric(value);
    if (value.IsNull() && substitutes.ForNull) {
        item = *substitutes.ForNull;
    }
    if (numeric && runtime::ToDouble(value) < 0 && substitutes.ForNegative) {
        item = *substitutes.ForNegative;
    }
    if (!numeric && substitutes.ForNonNumeric) {
        item = *substitutes.ForNonNumeric;
    }
    if (numeric && substitutes.ForNumeric) {
        item = *substitutes.ForNumeric;
    }
    return item;
}

// Files each row's item some rows after it was read, asking for its key's
// place in the collection as it is read: the waits for memory of
// neighbouring rows overlap, and the rows are filed in the order read.
class LaggedFiling {
public:
    explicit LaggedFiling(runtime::Collection& ids) : ids_(ids) {}

    void Add(runtime::Variant item, runtime::Variant key)
    {
        if (key.IsInteger()) {
            ids_.Prefetch(runtime::ToLongLong(key));
        }
        if (count_ == kRowsAhead) {
            FileOldest();
        }
        rows_[(first_ + count_) % kRowsAhead] = {std::move(item), std::move(key)};
        ++count_;
    }

    void FileAll()
    {
        while (count_ > 0) {
            FileOldest();
        }
    }

private:
    static constexpr size_t kRowsAhead = 16;

    // A key filed already keeps its first item.
    void FileOldest()
    {
        Row& row = rows_[first_];
        Try([&] { AddUnderKeyText(ids_, row.item, row.key); });
        first_ = (first_ + 1) % kRowsAhead;
        --count_;
    }

    struct Row {
        runtime::Variant item;
        runtime::Variant key;
    };
    runtime::Collection& ids_;
    std::array<Row, kRowsAhead> rows_;
    size_t first_ = 0;
    size_t count_ = 0;
};

// The progress bar and cancel tracker of a collection shown with progress.
struct Progress {
    host::Ref<host::IStepProgressor> bar;
    host::Ref<host::ITrackCancel> tracker;
    int32_t rowsRead = 0;
    host::RowCountText text{"Building ID collection"};

    void Start(host::ITable& table, runtime::Collection& ids)
    {
        const auto& application = modGlobals::g_pApp;
        Try([&] { bar = runtime::Deref(runtime::Deref(application).StatusBar()).ProgressBar(); });
        Try([&] { runtime::Deref(bar).Show(); });
        Try([&] { tracker = runtime::Deref(application).NewCancelTracker(); });
        Try([&] {
            int32_t rows = table.RowCount();
            ids.Reserve(static_cast<size_t>(std::max(rows, 0)));  // no regrowth while filing
            runtime::Deref(bar).MaxRange(rows);
        });
        Try([&] { runtime::Deref(bar).MinRange(0); });
        Try([&] { runtime::Deref(bar).Position(0); });
    }

    // A tracker that cannot be asked counts as a cancel: nothing is lost by
    // stopping here, and going on unasked would leave the user no way out.
    bool UserCancelled()
    {
        try {
            return !runtime::Deref(tracker).Continue();
        } catch (const std::exception&) {
            return true;
        }
    }

    void RowDone()
    {
        ++rowsRead;
        Try([&] { runtime::Deref(bar).Step(); });
        Try([&] { runtime::Deref(bar).Message(text.For(rowsRead)); });
    }

    void Hide()
    {
        Try([&] { runtime::Deref(bar).Hide(); });
    }
};

}  // namespace

// An integer's text is its decimal digits, so it needs no text made.
void AddUnderKeyText(runtime::Collection& ids, const runtime::Variant& item, const runtime::Variant& key)
{
    if (key.IsInteger()) {
        ids.Add(item, runtime::ToLongLong(key));
    } else {
        ids.Add(item, runtime::ToText(key));
    }
}

int16_t BuildIdCollection(const host::Ref<host::ITable>& table, int32_t keyField, int32_t itemField,
                          runtime::Collection& ids, const ItemSubstitutes& substitutes, bool showProgress)
{
    host::Ref<host::ICursor> cursor = runtime::Deref(table).Search();
    host::Ref<host::IRow> row = runtime::Deref(cursor).NextRow();

    Progress progress;
    if (showProgress) {
        progress.Start(runtime::Deref(table), ids);
    }
    LaggedFiling filing(ids);
    while (row) {
        if (showProgress && progress.UserCancelled()) {
            filing.FileAll();
            return kBuildCancelled;
        }
        filing.Add(Substitute(row->Value(itemField), substitutes), row->Value(keyField));
        row = cursor->NextRow();
        if (showProgress) {
            progress.RowDone();
        }
    }
    filing.FileAll();
    if (showProgress) {
        progress.Hide();
    }
    return kAllRowsRead;
}

}  // namespace drennow::modPfafTools
