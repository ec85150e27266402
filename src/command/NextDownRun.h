#pragma once

#include "command/Comparison.h"
#include "command/FailureCodes.h"
#include "command/NextDownAssigner.h"
#include "command/Stage.h"
#include "command/clsDrennow.h"
#include "dialogs/frmField.h"
#include "host/Application.h"
#include "runtime/Collection.h"
#include "runtime/Error.h"
#include "runtime/TextFile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace drennow::command {

// What the set-up hands to the pass.
struct RunSettings {
    host::Ref<host::IFeatureLayer> Layer;
    host::Ref<host::ICursor> PassCursor;
    int32_t FeatureCount = 0;
    int32_t PfafFieldIndex = -1;
    int32_t IdFieldIndex = -1;
    int32_t NextDownFieldIndex = -1;
    host::Ref<host::IEditor> Editor;
    int32_t EditStateAtStart = 0;
    bool AllowTrailingZeros = false;
    int32_t CompareFieldIndex = -1;  // no comparison when -1
};

// One click's run: the questions and checks, the pass over the features, the
// failure log and the closing message, and the one error report for all of it.
class NextDownRun {
public:
    NextDownRun(host::Ref<host::IApplication> application, RunOptions options);

    RunOutcome RunNextDown(bool& allowTrailingZeros);
    // What the comparison asked for by the options found, once the run
    // has finished.
    const std::optional<Comparison>& Compared() const { return comparison_; }
    // The failure log the run wrote, once it has finished with failures.
    const std::optional<std::string>& LogPath() const { return logPath_; }
    const std::vector<UnwrittenLog>& UnwrittenLogs() const { return unwrittenLogs_; }
    // The features that got a failure code, in the order the pass wrote them.
    const std::vector<FailureRecord>& Failures() const { return failures_; }
    Stage Reached() const { return StageMarker; }

private:
    std::optional<RunSettings> PrepareNextDownRun(bool allowTrailingZeros);
    void RunNextDownPass(RunSettings& settings);
    // The logs a finished run leaves, written out in full before the edits
    // are saved.
    struct PreparedLogs {
        std::optional<runtime::PreparedFile> failures;
        std::optional<runtime::PreparedFile> comparison;
    };
    PreparedLogs PrepareLogs();
    void ReportCompletion(PreparedLogs& logs);
    void ReportRunError(const runtime::Error& error);
    void ReportSavedWithoutLog(const runtime::Error& error, std::vector<UnwrittenLog> unwritten);

    // Set-up steps; each yields nothing when the run has ended.
    std::optional<std::string> AskName(host::Prompt question, const std::string& label,
                                       const std::function<void()>& fill);
    host::Ref<host::IFeatureClass> ChooseLayer(RunSettings& settings);
    host::Ref<host::IFields> ChoosePfafField(RunSettings& settings, host::IFeatureClass& featureClass);
    bool ChooseIdField(RunSettings& settings, const host::Ref<host::IFields>& fields);
    host::Ref<host::IFeatureLayer> FindChosenLayer(const std::string& layerName);
    bool AskLevel(const host::Ref<host::IFeatureLayer>& layer, int32_t pfafFieldIndex);
    int16_t HighestLevel() const;
    bool EnsureNextDownField(RunSettings& settings, host::IFeatureClass& featureClass);
    bool LocateEditor(RunSettings& settings);
    bool StartEditing(const RunSettings& settings, host::IFeatureClass& featureClass);

    // Pass steps; each answers false when the user cancelled.
    void StartProgress(int32_t featureCount);
    bool BuildCodeArray(const RunSettings& settings, CodeColumn& codes);
    bool SortAndCollect(const RunSettings& settings, CodeColumn& codes, std::optional<runtime::Collection>& ids);
    bool AssignNextDown(const RunSettings& settings, const NextDownAssigner& assigner, bool inReadOrder);
    runtime::Error Explained(const runtime::Error& error, int32_t objectId, const RunSettings& settings,
                             const runtime::Variant& code, const NextDownAssigner& assigner) const;
    static std::string FieldName(const RunSettings& settings, int32_t index);
    void WriteNextDown(host::IRow& feature, int32_t field, const runtime::Variant& value) const;
    runtime::Variant AssignFeature(host::IRow& feature, const RunSettings& settings, const NextDownAssigner& assigner,
                                   bool inReadOrder, size_t position);
    void CancelAssignment(const RunSettings& settings);
    void Finish(const RunSettings& settings);
    void ShowStep(host::RowCountText& text, int32_t counter);

    // Ends the run with a message, or silently.
    void EndWithMessage(const std::string& text);
    void EndSilently();
    void ShowMessage(host::Prompt id, const std::string& text);
    std::string PathBesideDocument(const std::string& name);

    host::Ref<host::IApplication> application_;
    RunOptions options_;
    std::optional<ComparisonTally> tally_;  // of the pass, when comparing
    std::optional<Comparison> comparison_;
    std::optional<std::string> logPath_;
    std::vector<UnwrittenLog> unwrittenLogs_;
    std::vector<FailureRecord> failures_;
    // The first code read that is no number, for the sort's error.
    std::optional<std::pair<int32_t, runtime::Variant>> firstNonNumericCode_;
    host::Ref<host::IMxDocument> document_;
    host::Ref<host::IMap> map_;
    host::Ref<host::IStepProgressor> progressBar_;
    host::Ref<host::ITrackCancel> cancelTracker_;
    dialogs::frmField form_;
    Stage StageMarker = Stage::GetDocument;
    RunOutcome outcome_ = RunOutcome::NotRun;
};

// Any exception as the error the run reports.
runtime::Error AsRunError(const std::exception& error);

}  // namespace drennow::command
