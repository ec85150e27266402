// drennow: fills NextDownID of watershed polygons from their Pfafstetter
// codes, on data GDAL can open; `drennow network` computes fields of their
// network.
#include "platform/gdal/run/CommandRun.h"
#include "platform/gdal/run/NetworkRun.h"
#include "platform/gdal/terminal/Console.h"
#include "platform/gdal/terminal/TerminalProgress.h"
#include "request/NetworkOptionTable.h"
#include "request/RunOptionTable.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace {

using namespace drennow;
using gdalhost::kBadCommandLine;
using gdalhost::kErrorReported;
using gdalhost::kFinished;

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

int Run(const request::CommandLine& line)
{
    gdalhost::Console console;
    bool batch = line.batch || !console.InputIsTerminal();
    QuestionsOutput questions(!batch);
    gdalhost::RunSurface surface{
        batch,
        questions.Stream(),
        std::cout,
        std::cerr,
        console,
        std::make_shared<gdalhost::TerminalStatusBar>(ProgressTerminal(console, !batch)),
        [&console] { return std::make_shared<gdalhost::ConsoleCancelTracker>(console); },
        [&console] { return console.InterruptSignal(); },
    };
    return gdalhost::RunOnDatasets(line, surface).status;
}

// A script that reads stdout learns nothing from output that went missing:
// a failed write there ends the program with an error, and stderr says so,
// and what became of a run that finished.
int OutputChecked(int status, bool ranTheCommand)
{
    errno = 0;
    std::cout.flush();
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0 && std::cout.good()) {
        return status;
    }
    std::cerr << "drennow: standard output could not be written"
              << (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : std::string());
    if (status == kFinished && ranTheCommand) {
        std::cerr << "; the run finished and its edits are saved, but what it printed there is lost";
    }
    std::cerr << "\n";
    return status == kFinished ? kErrorReported : status;
}

int RunNetwork(const request::NetworkCommandLine& line)
{
    gdalhost::Console console;
    gdalhost::NetworkSurface surface{
        std::cout,
        std::cerr,
        std::make_shared<gdalhost::TerminalStatusBar>(ProgressTerminal(console, false)),
        [&console] { return std::make_shared<gdalhost::ConsoleCancelTracker>(console); },
        [&console] { return console.InterruptSignal(); },
    };
    return gdalhost::RunNetworkOnDatasets(line, surface);
}

int NetworkMain(const std::vector<std::string>& words)
{
    request::NetworkCommandLine line;
    try {
        line = request::ParseNetworkCommandLine(words);
    } catch (const request::RequestError& error) {
        std::cerr << "drennow network: " << error.what() << "\nTry 'drennow network --help'.\n";
        return kBadCommandLine;
    }
    if (line.help) {
        std::cout << request::NetworkUsage();
        return OutputChecked(kFinished, false);
    }
    return OutputChecked(RunNetwork(line), true);
}

}  // namespace

int main(int argc, char** argv)
{
    // A file-size limit then fails the write like a full disk, with the error
    // report, instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc > 1 && std::strcmp(argv[1], "network") == 0) {
        return NetworkMain(std::vector<std::string>(argv + 2, argv + argc));
    }
    request::CommandLine line;
    try {
        line = request::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const request::RequestError& error) {
        std::cerr << "drennow: " << error.what() << "\nTry 'drennow --help'.\n";
        return kBadCommandLine;
    }
    if (line.help) {
        std::cout << request::Usage();
        return OutputChecked(kFinished, false);
    }
    if (line.version) {
        std::cout << "drennow " << DRENNOW_VERSION << "\n";
        return OutputChecked(kFinished, false);
    }
    return OutputChecked(Run(line), true);
}
