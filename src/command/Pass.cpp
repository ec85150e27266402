#include "command/NextDownRun.h"

#include "command/Comparison.h"
#include "command/FailureCodes.h"
#include "command/NextDownAssigner.h"
#include "command/RunTexts.h"
#include "pfaf/BuildIdCollection.h"
#include "runtime/Error.h"

#include <string>

namespace drennow::command {

using runtime::Deref;
using runtime::Variant;

void NextDownRun::RunNextDownPass(RunSettings& settings)
{
    StartProgress(settings.FeatureCount);
    StageMarker = Stage::BuildCodes;
    CodeColumn codes(options_);
    if (!BuildCodeArray(settings, codes)) {
        return;
    }
    StageMarker = Stage::SortAndCollect;
    std::optional<runtime::Collection> ids;
    if (!SortAndCollect(settings, codes, ids)) {
        return;
    }
    // A pass over every feature meets them in the order the codes were read.
    const bool inReadOrder = codes.Size() == static_cast<size_t>(settings.FeatureCount);
    const NextDownAssigner assigner(std::move(codes), std::move(ids), options_, settings.AllowTrailingZeros);
    if (!AssignNextDown(settings, assigner, inReadOrder)) {
        return;
    }
    StageMarker = Stage::Save;
    // A log that cannot be written ends the run before anything is saved.
    PreparedLogs logs = PrepareLogs();
    Finish(settings);
    ReportCompletion(logs);
}

// A value that does not convert, as the error of the feature whose code or
// downstream identifier it is: its field, the value and what to do.
runtime::Error NextDownRun::Explained(const runtime::Error& error, int32_t objectId, const RunSettings& settings,
                                      const Variant& code, const NextDownAssigner& assigner) const
{
    if (error.Number() != runtime::kOverflow && error.Number() != runtime::kTypeMismatch) {
        return error;
    }
    auto fieldName = [&](int32_t index) { return FieldName(settings, index); };
    if (!assigner.Converts(code)) {
        return runtime::Error(error.Number(), texts::CodeDoesNotConvert(error.Description(), objectId,
                                                                        fieldName(settings.PfafFieldIndex),
                                                                        runtime::ToText(code), options_.int64));
    }
    std::optional<Variant> id = assigner.DownstreamId(code);
    if (!id) {
        return error;
    }
    return runtime::Error(error.Number(), texts::DownstreamIdDoesNotConvert(error.Description(), objectId,
                                                                            fieldName(settings.IdFieldIndex),
                                                                            runtime::ToText(*id), options_.int64));
}

std::string NextDownRun::FieldName(const RunSettings& settings, int32_t index)
{
    host::Ref<host::IFields> fields = Deref(settings.Layer->FeatureClass()).Fields();
    host::Ref<host::IField> field = Deref(fields).Field(index);
    return Deref(field).Name();
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

// The code of every feature of the whole layer, whatever is selected, in the
// order read.
bool NextDownRun::BuildCodeArray(const RunSettings& settings, CodeColumn& codes)
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
        const Variant& code = feature->Value(settings.PfafFieldIndex);
        codes.Add(code);
        if (!code.IsNull() && !code.IsInteger() && !firstNonNumericCode_ && !runtime::IsNumeric(code)) {
            firstNonNumericCode_ = {feature->OID(), code};
        }
        feature = cursor->NextFeature();
        ShowStep(text, ++visited);
    }
    progressBar_->Hide();
    return true;
}

bool NextDownRun::SortAndCollect(const RunSettings& settings, CodeColumn& codes,
                                 std::optional<runtime::Collection>& ids)
{
    try {
        codes.SortDescending();
    } catch (const runtime::Error& error) {
        if (error.Number() != runtime::kTypeMismatch || !firstNonNumericCode_) {
            throw;
        }
        const auto& [objectId, code] = *firstNonNumericCode_;
        throw runtime::Error(error.Number(), texts::CodeDoesNotConvert(error.Description(), objectId,
                                                                       FieldName(settings, settings.PfafFieldIndex),
                                                                       runtime::ToText(code), options_.int64));
    }
    if (!Deref(cancelTracker_).Continue()) {
        outcome_ = RunOutcome::Cancelled;
        return false;
    }
    if (settings.IdFieldIndex == settings.PfafFieldIndex) {
        return true;
    }
    ids.emplace();
    if (modPfafTools::BuildIdCollection(host::QueryInterface<host::ITable>(settings.Layer), settings.PfafFieldIndex,
                                        settings.IdFieldIndex, *ids, {}, true) == modPfafTools::kBuildCancelled) {
        progressBar_->Hide();
        outcome_ = RunOutcome::Cancelled;
        return false;
    }
    return true;
}

// Writes NextDownID of every feature of the pass cursor inside one edit
// operation, collecting a failure line for each feature that got a failure
// code.
bool NextDownRun::AssignNextDown(const RunSettings& settings, const NextDownAssigner& assigner, bool inReadOrder)
{
    host::IStepProgressor& bar = Deref(progressBar_);
    bar.Position(0);
    bar.Show();
    int32_t handled = 0;
    StageMarker = Stage::AssignNextDown;
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
        Variant written = AssignFeature(*feature, settings, assigner, inReadOrder, static_cast<size_t>(handled));
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
Variant NextDownRun::AssignFeature(host::IRow& feature, const RunSettings& settings, const NextDownAssigner& assigner,
                                   bool inReadOrder, size_t position)
{
    Variant code = feature.Value(settings.PfafFieldIndex);
    Assigned assigned;
    try {
        assigned = inReadOrder ? assigner.AssignAt(position, code) : assigner.Assign(code);
    } catch (const runtime::Error& error) {
        throw Explained(error, feature.OID(), settings, code, assigner);
    }
    if (assigned.failure) {
        feature.SetValue(settings.NextDownFieldIndex, assigned.value);
        failures_.push_back({feature.OID(), assigned.failure->code, assigned.failure->description});
    } else {
        WriteNextDown(feature, settings.NextDownFieldIndex, assigned.value);
    }
    feature.Store();
    return assigned.value;
}

// A value that an existing NextDownID field cannot hold ends the run with
// what could not be written where.
void NextDownRun::WriteNextDown(host::IRow& feature, int32_t field, const Variant& value) const
{
    try {
        feature.SetValue(field, value);
    } catch (const runtime::Error& error) {
        if (error.Number() != runtime::kOverflow) {
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
    StageMarker = Stage::Save;
    progressBar_->Message(texts::kFinishing);
    settings.Editor->StopOperation(texts::kCompletedOperation);
    if (settings.EditStateAtStart == host::kEditStateNotEditing) {
        settings.Editor->StopEditing(true);
    }
    progressBar_->Hide();
}

}  // namespace drennow::command
