#include "command/NextDownRun.h"

#include "command/RunTexts.h"
#include "gisutil/modUtilsGeneral.h"
#include "runtime/Error.h"
#include "runtime/TextFile.h"

namespace drennow::command {

using runtime::Deref;

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

std::string FailureLog(const std::vector<FailureRecord>& failures)
{
    std::string log = texts::kLogHeading;
    for (const FailureRecord& failure : failures) {
        log += FailureLine(failure) + "\r\n";
    }
    return log;
}

}  // namespace

// Into the document's folder; into the current folder when the document has
// no path, rather than into the root of the file system.
std::string NextDownRun::PathBesideDocument(const std::string& name)
{
    std::string folder = modUtilsGeneral::GetDocumentPath(application_, true);
    return folder.empty() ? name : folder + kPathSeparator + name;
}

NextDownRun::PreparedLogs NextDownRun::PrepareLogs()
{
    PreparedLogs logs;
    if (!failures_.empty()) {
        logs.failures.emplace(PathBesideDocument(texts::kLogName), FailureLog(failures_));
    }
    if (tally_) {
        logs.comparison.emplace(PathBesideDocument(texts::kComparisonLogName), tally_->LogText());
    }
    return logs;
}

void NextDownRun::ReportCompletion(PreparedLogs& logs)
{
    std::string message = texts::kFinished;
    StageMarker = Stage::Complete;
    if (logs.failures) {
        try {
            logs.failures->Commit();
        } catch (const runtime::Error& error) {
            std::vector<UnwrittenLog> unwritten{{logs.failures->Path(), FailureLog(failures_)}};
            if (logs.comparison) {
                unwritten.push_back({logs.comparison->Path(), tally_->LogText()});
            }
            ReportSavedWithoutLog(error, std::move(unwritten));
            return;
        }
        logPath_ = logs.failures->Path();
        message = texts::FinishedWithFailures(*logPath_);
    }
    if (logs.comparison) {
        try {
            logs.comparison->Commit();
        } catch (const runtime::Error& error) {
            ReportSavedWithoutLog(error, {{logs.comparison->Path(), tally_->LogText()}});
            return;
        }
        comparison_ = tally_->Result(logs.comparison->Path());
    }
    ShowMessage(host::Prompt::Completion, message);
    outcome_ = RunOutcome::Completed;
}

// The error report, and that the edits were saved all the same: the host
// shows what the logs would have held.
void NextDownRun::ReportSavedWithoutLog(const runtime::Error& error, std::vector<UnwrittenLog> unwritten)
{
    std::vector<std::string> paths;
    for (const UnwrittenLog& log : unwritten) {
        paths.push_back(log.path);
    }
    unwrittenLogs_ = std::move(unwritten);
    document_ = nullptr;
    map_ = nullptr;
    outcome_ = RunOutcome::SavedWithoutLog;
    ShowMessage(host::Prompt::ErrorReport,
                texts::ErrorReport(error.Number(), error.Description(), MarkerOf(StageMarker)) + texts::SavedWithoutLog(paths));
}

// Neither stops nor aborts an open edit operation or session: what was
// stored stays in the editor's hands.
void NextDownRun::ReportRunError(const runtime::Error& error)
{
    if (progressBar_) {
        progressBar_->Hide();
    }
    document_ = nullptr;
    map_ = nullptr;
    outcome_ = RunOutcome::ErrorReported;
    ShowMessage(host::Prompt::ErrorReport, texts::ErrorReport(error.Number(), error.Description(), MarkerOf(StageMarker)));
}

void NextDownRun::ShowMessage(host::Prompt id, const std::string& text)
{
    Deref(Deref(application_).UserInterface())
        .MessageBox(id, text, host::MessageButtons::OK, host::DefaultButton::First, texts::kTitle);
}

void NextDownRun::EndWithMessage(const std::string& text)
{
    ShowMessage(host::Prompt::CheckFailed, text);
    outcome_ = RunOutcome::CheckFailed;
}

void NextDownRun::EndSilently()
{
    outcome_ = RunOutcome::Declined;
}

}  // namespace drennow::command
