#include "platform/gdal/run/CommandRun.h"

#include "command/RunTexts.h"
#include "platform/gdal/run/DatasetRun.h"
#include "platform/gdal/terminal/TerminalUserInterface.h"
#include "runtime/Error.h"

#include <cpl_error.h>
#include <gdal.h>

#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace drennow::gdalhost {

namespace {

namespace fs = std::filesystem;

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

// escapePressed: Esc at a question, which ends the run as a declined choice.
int StatusOf(command::RunOutcome outcome, bool answerRefused, bool escapePressed, int interruptSignal,
             std::ostream& err)
{
    if (answerRefused) {
        return kBadCommandLine;
    }
    switch (outcome) {
    case command::RunOutcome::Completed:
        if (interruptSignal) {
            err << "drennow: " << SignalName(interruptSignal) << " came after the edits were saved\n";
        }
        return kFinished;
    case command::RunOutcome::CheckFailed:
        return kCheckFailed;
    case command::RunOutcome::SavedWithoutLog:
        return kSavedWithoutLog;
    case command::RunOutcome::Declined:
        return interruptSignal || escapePressed ? CancelStatus(interruptSignal, err) : kDeclined;
    case command::RunOutcome::Cancelled:
        return CancelStatus(interruptSignal, err);
    default:
        return kErrorReported;
    }
}

// After an error report, where the run stopped and whether anything was
// saved; the lines of a log that could not be written.
void ExplainTheEnd(const command::clsDrennow& command, std::ostream& err)
{
    if (command.LastOutcome() == command::RunOutcome::ErrorReported) {
        command::Stage stage = command.LastStage();
        err << "drennow: the run stopped at stage " << command::MarkerOf(stage) << " of " << command::kLastStage
            << " (" << command::DescriptionOf(stage) << "); "
            << (stage == command::Stage::Complete ? "the edits were saved" : "no value was saved") << "\n";
    }
    for (const command::UnwrittenLog& log : command.LastUnwrittenLogs()) {
        err << "drennow: the edits were saved; " << log.path << " could not be written, and would have held:\n"
            << AsTerminalLines(log.text);
    }
    err.flush();
}

// Clicks the command on the application, which holds the only reference to
// the datasets: an edit session the run left open is discarded when the
// command goes.
void RunCommand(host::Ref<GdalApplication> application, const RunRequest& request, RunResult& result,
                std::ostream& out, std::ostream& err)
{
    auto command = std::dynamic_pointer_cast<command::clsDrennow>(command::CreateCommand(command::clsDrennow::kProgId));
    command->OnCreate(application);
    command::RunOptions options = request.options;
    // A code field the user named is taken whatever its type, its values
    // converted; one the run would choose is always an integer field.
    options.convertCodeField = request.answers.pfafField.has_value();
    command->SetRunOptions(options);
    application.reset();
    command->OnClick();
    result.outcome = command->LastOutcome();
    result.comparison = command->LastComparison();
    result.logPath = command->LastLogPath();
    result.failures = command->LastFailures();
    ExplainTheEnd(*command, err);
    if (result.comparison) {
        out << command::texts::AgreementLine(result.comparison->field, result.comparison->agreeing,
                                             result.comparison->compared)
            << "\n";
    }
}

RunResult Run(const RunRequest& request, RunSurface& surface)
{
    RunResult result;
    if (request.logFolder) {
        if (std::string reason = UnusableLogFolder(*request.logFolder); !reason.empty()) {
            surface.err << "drennow: " << reason << "\n";
            result.status = kBadCommandLine;
            return result;
        }
    }
    GDALAllRegister();
    QuietGdalErrors quiet;
    host::Ref<GdalMap> map = OpenDatasets(request.datasets, request.selection, surface.err);
    if (!map) {
        result.status = kBadCommandLine;
        return result;
    }
    auto ui = std::make_shared<TerminalUserInterface>(request.answers, surface.batch, surface.questions, surface.out,
                                                      surface.err, surface.input);
    // The application alone holds the map: the datasets close when it goes.
    std::weak_ptr<GdalMap> layers = map;
    ui->TellOfLayers({[layers] {
                          auto held = layers.lock();
                          return held ? held->LayersAndTheirGeometry() : std::vector<std::string>{};
                      },
                      [layers](const std::string& name) {
                          auto held = layers.lock();
                          return held ? held->DatasetsWithFeatureLayer(name) : std::vector<std::string>{};
                      }});
    auto application =
        std::make_shared<GdalApplication>(map, DocumentPath(request.datasets.front(), request.logFolder), ui,
                                          surface.statusBar, surface.newCancelTracker);
    map.reset();
    RunCommand(std::move(application), request, result, surface.out, surface.err);
    surface.questions.flush();
    result.status =
        StatusOf(result.outcome, ui->AnswerRefused(), ui->CancelledByEscape(), surface.interruptSignal(), surface.err);
    return result;
}

}  // namespace

RunResult RunOnDatasets(const RunRequest& request, RunSurface& surface)
{
    try {
        return Run(request, surface);
    } catch (const std::exception& error) {
        surface.err << "drennow: " << error.what() << "\n";
        return RunResult{};
    }
}

}  // namespace drennow::gdalhost
