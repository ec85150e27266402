#include "command/NextDownRun.h"

#include "gisutil/modUtilsGeneral.h"
#include "runtime/Error.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace drennow::command {

using runtime::Deref;

namespace {

constexpr const char* kFinished = "Finished with NextDownID Determination";
constexpr const char* kLogName = "Drennow.log";
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

runtime::Error FileError(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
        return runtime::Error(76, "Path not found");
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return runtime::Error(70, "Permission denied");
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return runtime::Error(61, "Disk full");
    default:
        return runtime::Error(75, "Path/File access error");
    }
}

// Creates the file afresh and writes the text as it stands, in one piece.
void WriteTextFile(const std::string& path, const std::string& text)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) {
        throw FileError(errno);
    }
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() || std::fflush(file.get()) != 0) {
        throw FileError(errno);
    }
    if (std::fclose(file.release()) != 0) {
        throw FileError(errno);
    }
}

std::string FailureLog(const std::vector<std::string>& failureLines)
{
    std::string log =
        "Following is a list of ObjectIDs for areas for which downstream ID could not be determined.\r\n"
        "ObjectID\tCode\tDescription\r\n";
    for (const std::string& line : failureLines) {
        log += line + "\r\n";
    }
    return log;
}

}  // namespace

// Into the document's folder; into the current folder when the document has
// no path, rather than into the root of the file system.
std::string NextDownRun::FailureLogPath()
{
    std::string folder = modUtilsGeneral::GetDocumentPath(application_, true);
    return folder.empty() ? kLogName : folder + kPathSeparator + kLogName;
}

void NextDownRun::ReportCompletion(const std::vector<std::string>& failureLines)
{
    std::string message = kFinished;
    StageMarker = "14";
    if (!failureLines.empty()) {
        std::string path = FailureLogPath();
        WriteTextFile(path, FailureLog(failureLines));
        message = std::string(kFinished) + "\r\n\r\nSome IDs could not be determined.  See " + path + " for details.";
    }
    ShowMessage(message);
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
    ShowMessage("Error " + std::to_string(error.Number()) + ": " + error.Description() + "\r\n" + StageMarker);
}

void NextDownRun::ShowMessage(const std::string& text)
{
    Deref(Deref(application_).UserInterface())
        .MessageBox(text, host::MessageButtons::OK, host::DefaultButton::First, kTitle);
}

void NextDownRun::EndWithMessage(const std::string& text)
{
    ShowMessage(text);
    outcome_ = RunOutcome::CheckFailed;
}

void NextDownRun::EndSilently()
{
    outcome_ = RunOutcome::Declined;
}

}  // namespace drennow::command
