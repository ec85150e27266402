#include "command/clsDrennow.h"

#include "command/NextDownRun.h"
#include "command/RunTexts.h"
#include "host/modGlobals.h"
#include "runtime/Error.h"

#include <atomic>
#include <new>

namespace drennow::command {

namespace {

std::atomic<int> liveCommands{0};

}  // namespace

runtime::Error AsRunError(const std::exception& error)
{
    if (const auto* runError = dynamic_cast<const runtime::Error*>(&error)) {
        return *runError;
    }
    if (dynamic_cast<const std::bad_alloc*>(&error)) {
        return runtime::Error(runtime::kOutOfMemory, runtime::StandardDescription(runtime::kOutOfMemory));
    }
    return runtime::Error(runtime::kInternalError, error.what());
}

NextDownRun::NextDownRun(host::Ref<host::IApplication> application, RunOptions options)
    : application_(std::move(application)), options_(std::move(options))
{
}

RunOutcome NextDownRun::RunNextDown(bool& allowTrailingZeros)
{
    try {
        if (std::optional<RunSettings> settings = PrepareNextDownRun(allowTrailingZeros)) {
            RunNextDownPass(*settings);
        }
    } catch (const std::exception& error) {
        ReportRunError(AsRunError(error));
    }
    return outcome_;
}

clsDrennow::clsDrennow()
{
    ++liveCommands;
}

clsDrennow::~clsDrennow()
{
    modGlobals::g_pApp = nullptr;
    --liveCommands;
}

void clsDrennow::OnCreate(const host::Ref<host::IUnknown>& hook)
{
    auto application = host::QueryInterface<host::IApplication>(hook);
    if (!application) {
        runtime::Raise(runtime::kTypeMismatch);
    }
    modGlobals::g_pApp = application;
}

void clsDrennow::OnClick()
{
    lastOutcome_ = RunOutcome::ErrorReported;
    lastComparison_.reset();
    lastLogPath_.reset();
    lastUnwrittenLogs_.clear();
    lastFailures_.clear();
    lastStage_ = Stage::GetDocument;
    try {
        auto& ui = runtime::Deref(runtime::Deref(modGlobals::g_pApp).UserInterface());
        // Trailing zeros mean nothing where a 0 marks a unit not subdivided.
        bool allowTrailingZeros = !options_.zerosUnsubdivided &&
                                  ui.MessageBox(host::Prompt::TrailingZeros, texts::kTrailingZerosQuestion,
                                                host::MessageButtons::YesNo, host::DefaultButton::First,
                                                texts::kTitle) != host::kAnswerNo;
        RunNextDown(allowTrailingZeros);
    } catch (const std::exception& error) {
        runtime::Error shown = AsRunError(error);
        try {
            runtime::Deref(runtime::Deref(modGlobals::g_pApp).UserInterface())
                .MessageBox(host::Prompt::ErrorReport, texts::ErrorReport(shown.Number(), shown.Description()),
                            host::MessageButtons::OK, host::DefaultButton::First, texts::kTitle);
        } catch (const std::exception&) {
            // Nothing is left to show the error with; the host must not see it.
        }
    }
}

void clsDrennow::RunNextDown(bool& allowTrailingZeros)
{
    NextDownRun run(modGlobals::g_pApp, options_);
    lastOutcome_ = run.RunNextDown(allowTrailingZeros);
    lastComparison_ = run.Compared();
    lastLogPath_ = run.LogPath();
    lastUnwrittenLogs_ = run.UnwrittenLogs();
    if (lastOutcome_ == RunOutcome::Completed || lastOutcome_ == RunOutcome::SavedWithoutLog) {
        lastFailures_ = run.Failures();
    }
    lastStage_ = run.Reached();
}

host::Ref<host::ICommand> CreateCommand(const std::string& progId)
{
    if (progId != clsDrennow::kProgId) {
        return nullptr;
    }
    return std::make_shared<clsDrennow>();
}

bool CanUnloadNow()
{
    return liveCommands == 0;
}

}  // namespace drennow::command
