#include "command/NextDownRun.h"

#include "command/Comparison.h"
#include "command/FailureCodes.h"
#include "command/RunTexts.h"
#include "pfaf/BuildIdCollection.h"
#include "runtime/Error.h"

#include <string>

namespace drennow::command {

using runtime::Deref;
using runtime::Variant;

namespace {

std::string FailureLine(int32_t objectId, int32_t code, const std::string& description)
{
    return std::to_string(objectId) + "\t" + std::to_string(code) + "\t" + description;
}

}  // namespace

void NextDownRun::RunNextDownPass(RunSettings& settings)
{
    StartProgress(settings.FeatureCount);
    StageMarker = "10";
    PfafCodeList codes(CodeWidth());
    if (!BuildCodeArray(settings, codes)) {
        return;
    }
    StageMarker = "11";
    runtime::Collection ids;
    if (!SortAndCollect(settings, codes, ids)) {
        return;
    }
    modPfafTools::NextDownIndex index = codes.BuildIndex(
        options_.zerosUnsubdivided ? modPfafTools::ZeroReading::kUnsubdivided : modPfafTools::ZeroReading::kClosedBasin,
        settings.AllowTrailingZeros);
    std::vector<std::string> failureLines;
    if (!AssignNextDown(settings, index, ids, failureLines)) {
        return;
    }
    Finish(settings);
    ReportCompletion(failureLines);
}

void NextDownRun::StartProgress(int32_t featureCount)
{
    progressBar_ = Deref(Deref(application_).StatusBar()).ProgressBar();
    host::IStepProgressor& bar = Deref(progressBar_);
    bar.Show();
    cancelTracker_ = Deref(application_).NewCancelTracker();
    bar.MaxRange(featureCount);
    bar.MinRange(0);
    bar.Message(texts::kBuildingCodes);
    bar.StepValue(1);
    bar.Position(0);
}

void NextDownRun::ShowStep(host::RowCountText& text, int32_t counter)
{
    host::IStepProgressor& bar = Deref(progressBar_);
    bar.Step();
    bar.Message(text.For(counter));
}

// Every non-null code of the whole layer, whatever is selected.
bool NextDownRun::BuildCodeArray(const RunSettings& settings, PfafCodeList& codes)
{
    host::Ref<host::ICursor> cursor = settings.Layer->Search();
    host::Ref<host::IRow> feature = Deref(cursor).NextFeature();
    int32_t visited = 0;
    host::RowCountText text(texts::kBuildingCodes);
    while (feature) {
        if (!Deref(cancelTracker_).Continue()) {
            progressBar_->Hide();
            outcome_ = RunOutcome::Cancelled;
            return false;
        }
        if (!feature->Value(settings.PfafFieldIndex).IsNull()) {
            codes.Add(feature->Value(settings.PfafFieldIndex));
        }
        feature = cursor->NextFeature();
        ShowStep(text, ++visited);
    }
    progressBar_->Hide();
    return true;
}

bool NextDownRun::SortAndCollect(const RunSettings& settings, PfafCodeList& codes, runtime::Collection& ids)
{
    codes.SortDescending();
    if (!Deref(cancelTracker_).Continue()) {
        outcome_ = RunOutcome::Cancelled;
        return false;
    }
    if (settings.IdFieldIndex == settings.PfafFieldIndex) {
        return true;
    }
    if (modPfafTools::BuildIdCollection(host::QueryInterface<host::ITable>(settings.Layer), settings.PfafFieldIndex,
                                        settings.IdFieldIndex, ids, {}, true) == modPfafTools::kBuildCancelled) {
        progressBar_->Hide();
        outcome_ = RunOutcome::Cancelled;
        return false;
    }
    return true;
}

// Writes NextDownID of every feature of the pass cursor inside one edit
// operation, collecting a failure line for each feature that got a failure
// code.
bool NextDownRun::AssignNextDown(const RunSettings& settings, const modPfafTools::NextDownIndex& nextDownIndex,
                                 const runtime::Collection& ids, std::vector<std::string>& failureLines)
{
    host::IStepProgressor& bar = Deref(progressBar_);
    bar.Position(0);
    bar.Show();
    int32_t handled = 0;
    StageMarker = "12";
    host::IEditor& editor = Deref(settings.Editor);
    editor.StartOperation();
    host::RowCountText text(texts::kFindingNextDown);
    std::optional<ComparisonTally> tally;
    if (settings.CompareFieldIndex != -1) {
        tally.emplace(*options_.compareWith);
    }
    host::Ref<host::IRow> feature = Deref(settings.PassCursor).NextFeature();
    while (feature) {
        if (!Deref(cancelTracker_).Continue()) {
            CancelAssignment(settings);
            return false;
        }
        Variant written = AssignFeature(*feature, settings, nextDownIndex, ids, failureLines);
        if (tally) {
            tally->Add(feature->OID(), written, feature->Value(settings.CompareFieldIndex));
        }
        feature = settings.PassCursor->NextFeature();
        ShowStep(text, ++handled);
    }
    tally_ = std::move(tally);
    return true;
}

// Writes and stores the feature's NextDownID, and its failure line when it
// got a failure code; the value written.
Variant NextDownRun::AssignFeature(host::IRow& feature, const RunSettings& settings,
                                   const modPfafTools::NextDownIndex& nextDownIndex, const runtime::Collection& ids,
                                   std::vector<std::string>& failureLines)
{
    const int32_t nextDown = settings.NextDownFieldIndex;
    auto fail = [&](const Variant& code, const std::string& description) {
        feature.SetValue(nextDown, code);
        feature.Store();
        failureLines.push_back(FailureLine(feature.OID(), runtime::ToLong(code), description));
        return code;
    };
    if (feature.Value(settings.PfafFieldIndex).IsNull()) {
        return fail(Variant(kNullCodeFailure.code), kNullCodeFailure.text);
    }
    int64_t code = WholeNumber(feature.Value(settings.PfafFieldIndex));
    if (code == 0) {
        return fail(Variant(kZeroCodeFailure.code), kZeroCodeFailure.text);
    }
    int64_t next = nextDownIndex.GetNextDownCode(code);
    if (next <= 0) {
        return fail(Variant(static_cast<int32_t>(next)), DescribeFailureCode(static_cast<int32_t>(next)));
    }
    Variant value = AsWritten(next);
    if (settings.IdFieldIndex != settings.PfafFieldIndex) {
        // The item under the decimal text of the code, looked up once.
        std::optional<Variant> id = ids.Find(next);
        if (!id) {
            feature.SetValue(nextDown, Variant(kMissingIdFailure.code));
            failureLines.push_back(FailureLine(feature.OID(), kMissingIdFailure.code, kMissingIdFailure.text));
            feature.Store();
            return Variant(kMissingIdFailure.code);
        }
        value = AsWritten(WholeNumber(*id));
    }
    WriteNextDown(feature, nextDown, value);
    feature.Store();
    return value;
}

modPfafTools::CodeWidth NextDownRun::CodeWidth() const
{
    return options_.int64 ? modPfafTools::CodeWidth::k64Bit : modPfafTools::CodeWidth::k32Bit;
}

// A code or identifier converted at the run's width.
int64_t NextDownRun::WholeNumber(const Variant& value) const
{
    return options_.int64 ? runtime::ToLongLong(value) : runtime::ToLong(value);
}

// The value written, of the run's width.
Variant NextDownRun::AsWritten(int64_t number) const
{
    return options_.int64 ? Variant(number) : Variant(static_cast<int32_t>(number));
}

// A 64-bit value that an existing NextDownID field cannot hold ends the run
// with what could not be written where.
void NextDownRun::WriteNextDown(host::IRow& feature, int32_t field, const Variant& value) const
{
    try {
        feature.SetValue(field, value);
    } catch (const runtime::Error& error) {
        if (!options_.int64 || error.Number() != runtime::kOverflow) {
            throw;
        }
        throw runtime::Error(runtime::kOverflow, texts::NextDownCannotHold(feature.OID(), runtime::ToText(value)));
    }
}

// A cancel keeps what was stored in an operation of its own; a session the
// run opened itself is then closed without saving, so nothing survives.
void NextDownRun::CancelAssignment(const RunSettings& settings)
{
    settings.Editor->StopOperation(texts::kCancelledOperation);
    progressBar_->Hide();
    if (settings.EditStateAtStart == host::kEditStateNotEditing) {
        host::IStatusBar& statusBar = Deref(Deref(application_).StatusBar());
        statusBar.Message(0, texts::kClosingTemporarySession);
        settings.Editor->StopEditing(false);
        statusBar.Message(0, "");
    }
    outcome_ = RunOutcome::Cancelled;
}

void NextDownRun::Finish(const RunSettings& settings)
{
    StageMarker = "13";
    progressBar_->Message(texts::kFinishing);
    settings.Editor->StopOperation(texts::kCompletedOperation);
    if (settings.EditStateAtStart == host::kEditStateNotEditing) {
        settings.Editor->StopEditing(true);
    }
    progressBar_->Hide();
}

}  // namespace drennow::command
