#pragma once

#include "command/FailureCodes.h"
#include "command/RunOptions.h"
#include "command/Stage.h"
#include "host/Command.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace drennow::command {

// How the last click's run ended, for hosts that report it (an exit status).
enum class RunOutcome {
    NotRun,         // no click yet
    Completed,      // the closing message was shown (failures in the log included)
    ErrorReported,  // the error report was shown
    CheckFailed,    // a check ended the run with its message
    Declined,       // the user declined a choice: a silent end
    Cancelled,      // the user cancelled the pass
    // The edits were saved, but a log could not be put in place; the error
    // report said so.
    SavedWithoutLog,
};

// A log the run could not put in place after the edits were saved: what it
// would have held, for the host to show elsewhere.
struct UnwrittenLog {
    std::string path;
    std::string text;
};

// The command that fills NextDownID of a watershed layer from its
// Pfafstetter codes.
class clsDrennow : public host::ICommand {
public:
    static constexpr const char* kProgId = "Drennow.clsDrennow";

    clsDrennow();
    ~clsDrennow() override;
    clsDrennow(const clsDrennow&) = delete;
    clsDrennow& operator=(const clsDrennow&) = delete;

    bool Enabled() override { return true; }
    bool Checked() override { return false; }
    std::string Name() override { return "Pfafstetter_Drennow"; }
    std::string Caption() override { return "Drennow"; }
    std::string Tooltip() override { return "Assign NextDownID by analyzing Pfafstetter codes"; }
    std::string Message() override { return "Assign NextDownID by analyzing Pfafstetter codes.  Max Level = 9"; }
    std::string HelpFile() override { return ""; }
    int32_t HelpContextID() override { return 0; }
    int32_t Bitmap() override { return 0; }
    std::string Category() override { return "Pfafstetter"; }
    void OnCreate(const host::Ref<host::IUnknown>& hook) override;
    void OnClick() override;

    // Read by every later click.
    void SetRunOptions(const RunOptions& options) { options_ = options; }

    RunOutcome LastOutcome() const { return lastOutcome_; }
    // The last click's comparison, when one was asked for and the run finished.
    const std::optional<Comparison>& LastComparison() const { return lastComparison_; }
    // The failure log the last click's run wrote: only a run that finished
    // with failures writes one.
    const std::optional<std::string>& LastLogPath() const { return lastLogPath_; }
    // The logs the last click's run could not write after it saved.
    const std::vector<UnwrittenLog>& LastUnwrittenLogs() const { return lastUnwrittenLogs_; }
    // The failures of the last click's run, once it has written them all.
    const std::vector<FailureRecord>& LastFailures() const { return lastFailures_; }
    // The stage the last click's run had reached when it ended.
    Stage LastStage() const { return lastStage_; }

private:
    void RunNextDown(bool& allowTrailingZeros);

    RunOptions options_;
    RunOutcome lastOutcome_ = RunOutcome::NotRun;
    std::optional<Comparison> lastComparison_;
    std::optional<std::string> lastLogPath_;
    std::vector<UnwrittenLog> lastUnwrittenLogs_;
    std::vector<FailureRecord> lastFailures_;
    Stage lastStage_ = Stage::GetDocument;
};

// Creates a command by its ProgID; nothing for an unknown ProgID.
host::Ref<host::ICommand> CreateCommand(const std::string& progId);

// No command object is alive any more.
bool CanUnloadNow();

}  // namespace drennow::command
