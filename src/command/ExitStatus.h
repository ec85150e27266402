#pragma once

#include <array>

namespace drennow::command {

// How a run on a host without dialogs ended, as the command line's exit
// status; every surface that reports a status reports these.
enum ExitStatus : int {
    kFinished = 0,
    kErrorReported = 1,
    kBadCommandLine = 2,
    kCheckFailed = 3,
    kDeclined = 4,
    kSavedWithoutLog = 5,  // the edits were saved, but a log could not be written
    kCancelled = 130,      // 128 + SIGINT; a cancel by another signal gives 128 + that signal
};

// Each status's name (as Python knows it) and what it means (as --help says).
struct ExitStatusMeaning {
    ExitStatus status;
    const char* name;
    const char* meaning;
};

inline constexpr std::array<ExitStatusMeaning, 7> kExitStatuses{{
    {kFinished, "FINISHED", "finished"},
    {kErrorReported, "ERROR_REPORTED",
     "the run reported an error (or stdout could not be written; stderr says whether the edits were saved)"},
    {kBadCommandLine, "BAD_COMMAND_LINE", "bad command line"},
    {kCheckFailed, "CHECK_FAILED", "a check ended the run"},
    {kDeclined, "DECLINED", "a choice was declined"},
    {kSavedWithoutLog, "SAVED_WITHOUT_LOG",
     "the edits were saved but the failure log could not be written (its lines go to stderr)"},
    {kCancelled, "CANCELLED", "cancelled (by Esc or Ctrl-C; 143 by SIGTERM, 129 by SIGHUP)"},
}};

}  // namespace drennow::command
