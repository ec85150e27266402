// drennow: fills NextDownID of watershed polygons from their Pfafstetter
// codes, on data GDAL can open.
#include "CommandLine.h"
#include "command/RunTexts.h"
#include "command/clsDrennow.h"
#include "platform/gdal/Console.h"
#include "platform/gdal/GdalApplication.h"
#include "platform/gdal/TerminalProgress.h"
#include "platform/gdal/TerminalUserInterface.h"
#include "runtime/Error.h"

#include <cpl_error.h>
#include <gdal.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace {

using namespace drennow;
namespace fs = std::filesystem;

enum ExitStatus : int {
    kFinished = 0,
    kErrorReported = 1,
    kBadCommandLine = 2,
    kCheckFailed = 3,
    kDeclined = 4,
    kCancelled = 130,  // 128 + SIGINT; a cancel by another signal gives 128 + that signal
};

// Why the folder cannot take the log; empty when it can.
std::string UnusableLogFolder(const std::string& folder)
{
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return "--log-dir: " + folder + " is not a folder";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return "--log-dir: " + folder + " cannot be written";
    }
    return "";
}

// Where questions go when a person answers them: the terminal, even when
// the output goes into a pipe or a file.
struct QuestionsOutput {
    explicit QuestionsOutput(bool interactive)
    {
        if (interactive && ::isatty(STDOUT_FILENO) == 0) {
            terminal.open("/dev/tty");
        }
    }
    std::ostream& Stream() { return terminal.is_open() ? terminal : std::cout; }
    std::ofstream terminal;
};

// The progress bar is drawn on a terminal only; for a person at one, even
// when stderr goes elsewhere. What is opened stays open for the process.
std::FILE* ProgressTerminal(const gdalhost::Console& console, bool interactive)
{
    if (console.ErrorIsTerminal()) {
        return stderr;
    }
    return interactive ? std::fopen("/dev/tty", "w") : nullptr;
}

std::string SignalName(int signal)
{
    const char* abbreviation = ::sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
}

int CancelStatus(int signal)
{
    std::cerr << "drennow: cancelled" << (signal ? " by " + SignalName(signal) : std::string())
              << "; no value was saved\n";
    return signal ? 128 + signal : kCancelled;
}

int StatusOf(command::RunOutcome outcome, bool answerRefused, int interruptSignal)
{
    if (answerRefused) {
        return kBadCommandLine;
    }
    switch (outcome) {
    case command::RunOutcome::Completed:
        if (interruptSignal) {
            std::cerr << "drennow: " << SignalName(interruptSignal) << " came after the edits were saved\n";
        }
        return kFinished;
    case command::RunOutcome::CheckFailed:
        return kCheckFailed;
    case command::RunOutcome::Declined:
        return interruptSignal ? CancelStatus(interruptSignal) : kDeclined;
    case command::RunOutcome::Cancelled:
        return CancelStatus(interruptSignal);
    default:
        return kErrorReported;
    }
}

int Run(const app::CommandLine& line)
{
    if (line.logFolder) {
        if (std::string reason = UnusableLogFolder(*line.logFolder); !reason.empty()) {
            std::cerr << "drennow: " << reason << "\n";
            return kBadCommandLine;
        }
    }
    GDALAllRegister();
    CPLSetErrorHandler(CPLQuietErrorHandler);
    gdalhost::Console console;

    host::Ref<gdalhost::GdalMap> map;
    try {
        map = gdalhost::GdalMap::Open(line.datasets);
        const app::Selection& selection = line.selection;
        for (const std::string& note : gdalhost::ApplySelection(*map, {selection.layer, selection.where, selection.fids})) {
            std::cerr << "drennow: " << note << "\n";
        }
    } catch (const runtime::Error& error) {
        std::cerr << "drennow: " << error.Description() << "\n";
        return kBadCommandLine;
    }
    for (const auto& workspace : map->Workspaces()) {
        if (!workspace->ReadOnlyReason().empty()) {
            std::cerr << "drennow: " << workspace->Name() << ": " << workspace->ReadOnlyReason() << "\n";
        }
    }

    bool batch = line.batch || !console.InputIsTerminal();
    QuestionsOutput questions(!batch);
    auto ui = std::make_shared<gdalhost::TerminalUserInterface>(line.answers, batch, questions.Stream(), std::cout,
                                                                std::cerr, console);
    auto statusBar = std::make_shared<gdalhost::TerminalStatusBar>(ProgressTerminal(console, !batch));
    auto application = std::make_shared<gdalhost::GdalApplication>(
        map, gdalhost::DocumentPath(line.datasets.front(), line.logFolder), ui, statusBar,
        [&console] { return std::make_shared<gdalhost::ConsoleCancelTracker>(console); });
    map.reset();

    auto command = std::dynamic_pointer_cast<command::clsDrennow>(command::CreateCommand(command::clsDrennow::kProgId));
    command->OnCreate(application);
    command->SetRunOptions(line.options);
    application.reset();
    command->OnClick();
    command::RunOutcome outcome = command->LastOutcome();
    if (const std::optional<command::Comparison>& compared = command->LastComparison()) {
        std::cout << command::texts::AgreementLine(compared->field, compared->agreeing, compared->compared) << "\n";
    }
    // The last reference to the datasets: an edit session the run left open
    // is discarded here.
    command.reset();
    questions.Stream().flush();
    return StatusOf(outcome, ui->AnswerRefused(), console.InterruptSignal());
}

}  // namespace

int main(int argc, char** argv)
{
    // A file-size limit then fails the write like a full disk, with the error
    // report, instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    app::CommandLine line;
    try {
        line = app::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const app::UsageError& error) {
        std::cerr << "drennow: " << error.what() << "\nTry 'drennow --help'.\n";
        return kBadCommandLine;
    }
    if (line.help) {
        std::cout << app::kUsage;
        return kFinished;
    }
    if (line.version) {
        std::cout << "drennow " << DRENNOW_VERSION << "\n";
        return kFinished;
    }
    try {
        return Run(line);
    } catch (const std::exception& error) {
        std::cerr << "drennow: " << error.what() << "\n";
        return kErrorReported;
    }
}
