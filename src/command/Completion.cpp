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

std::string FailureLog(const std::vector<std::string>& failureLines)
{
    std::string log = texts::kLogHeading;
    for (const std::string& line : failureLines) {
        log += line + "\r\n";
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

void NextDownRun::ReportCompletion(const std::vector<std::string>& failureLines)
{
    std::string message = texts::kFinished;
    StageMarker = "14";
    if (!failureLines.empty()) {
        std::string path = PathBesideDocument(texts::kLogName);
        runtime::ReplaceFile(path, FailureLog(failureLines));
        logPath_ = path;
        message = texts::FinishedWithFailures(path);
    }
    if (tally_) {
        std::string path = PathBesideDocument(texts::kComparisonLogName);
        runtime::ReplaceFile(path, tally_->LogText());
        comparison_ = tally_->Result(path);
    }
    ShowMessage(host::Prompt::Completion, message);
    outcome_ = RunOutcome::Completed;
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
    ShowMessage(host::Prompt::ErrorReport, texts::ErrorReport(error.Number(), error.Description(), StageMarker));
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
