// drennow: fills NextDownID of watershed polygons from their Pfafstetter
// codes, on data GDAL can open.
#include "CommandLine.h"
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
#include <iostream>

namespace {

using namespace drennow;

enum ExitStatus : int {
    kFinished = 0,
    kErrorReported = 1,
    kBadCommandLine = 2,
    kCheckFailed = 3,
    kDeclined = 4,
    kCancelled = 130,
};

int StatusOf(command::RunOutcome outcome, bool answerRefused, bool interrupted)
{
    if (answerRefused) {
        return kBadCommandLine;
    }
    switch (outcome) {
    case command::RunOutcome::Completed:
        return kFinished;
    case command::RunOutcome::CheckFailed:
        return kCheckFailed;
    case command::RunOutcome::Declined:
        return interrupted ? kCancelled : kDeclined;
    case command::RunOutcome::Cancelled:
        return kCancelled;
    default:
        return kErrorReported;
    }
}

int Run(const app::CommandLine& line)
{
    GDALAllRegister();
    CPLSetErrorHandler(CPLQuietErrorHandler);
    gdalhost::Console console;

    host::Ref<gdalhost::GdalMap> map;
    try {
        map = gdalhost::GdalMap::Open(line.datasets);
        const app::Selection& selection = line.selection;
        gdalhost::ApplySelection(*map, {selection.layer, selection.where, selection.fids});
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
    auto ui = std::make_shared<gdalhost::TerminalUserInterface>(line.answers, batch, std::cout, std::cerr, console);
    auto statusBar = std::make_shared<gdalhost::TerminalStatusBar>(console.ErrorIsTerminal() ? stderr : nullptr);
    auto application = std::make_shared<gdalhost::GdalApplication>(
        map, gdalhost::DocumentPath(line.datasets.front(), line.logFolder), ui, statusBar,
        [&console] { return std::make_shared<gdalhost::ConsoleCancelTracker>(console); });
    map.reset();

    auto command = command::CreateCommand(command::clsDrennow::kProgId);
    command->OnCreate(application);
    application.reset();
    command->OnClick();
    command::RunOutcome outcome = std::dynamic_pointer_cast<command::clsDrennow>(command)->LastOutcome();
    // The last reference to the datasets: an edit session the run left open
    // is discarded here.
    command.reset();
    std::cout.flush();
    return StatusOf(outcome, ui->AnswerRefused(), console.Interrupted());
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
