#pragma once

#include "command/ExitStatus.h"
#include "command/RunOptions.h"
#include "command/clsDrennow.h"
#include "host/Answers.h"
#include "host/Progress.h"
#include "platform/gdal/terminal/Console.h"
#include "platform/gdal/run/GdalApplication.h"
#include "request/RunRequest.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace drennow::gdalhost {

// How a run on GDAL datasets ended.
using command::ExitStatus;
using command::kBadCommandLine;
using command::kCancelled;
using command::kCheckFailed;
using command::kDeclined;
using command::kErrorReported;
using command::kFinished;
using command::kSavedWithoutLog;

// One run of the command on a map of GDAL datasets, with the answers given
// in advance.
using request::RunRequest;

// Where the run talks to its user: questions and answers, messages, the
// status bar, and what asks it to cancel.
struct RunSurface {
    bool batch = true;        // never wait for input: unanswered questions take their default
    std::ostream& questions;  // the questions and the answers taken
    std::ostream& out;        // the closing message and the comparison's agreement
    std::ostream& err;        // every other message: checks, error reports, notes
    LineSource& input;
    host::Ref<host::IStatusBar> statusBar;
    GdalApplication::CancelTrackerFactory newCancelTracker;
    // The signal that asked to cancel; 0 when none did (an Esc key included).
    std::function<int()> interruptSignal;
};

struct RunResult {
    int status = kErrorReported;  // an ExitStatus, or 128 + the signal that cancelled
    command::RunOutcome outcome = command::RunOutcome::NotRun;
    std::optional<command::Comparison> comparison;
    std::optional<std::string> logPath;  // the failure log this run wrote
    std::vector<command::FailureRecord> failures;  // of a run that saved its edits
};

// Checks the log folder, opens the datasets, selects what is asked for, runs
// the command once and closes the datasets again (an edit session the run
// left open is discarded then). Never raises: what goes wrong is told on err
// and in the status.
RunResult RunOnDatasets(const RunRequest& request, RunSurface& surface);

}  // namespace drennow::gdalhost
