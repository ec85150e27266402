#include "platform/gdal/run/NetworkRun.h"

#include "command/ExitStatus.h"
#include "networkrun/NetworkRun.h"
#include "networkrun/NetworkTexts.h"
#include "platform/gdal/run/DatasetRun.h"
#include "platform/gdal/run/FeatureCopy.h"
#include "runtime/Error.h"

#include <gdal.h>

namespace drennow::gdalhost {

namespace {

using command::kBadCommandLine;
using command::kCheckFailed;
using command::kErrorReported;
using command::kFinished;
using networkrun::Ending;

// The network run asks nothing; a question would be a fault of the run.
class AsksNothing : public host::IUserInterface {
public:
    host::MessageAnswer MessageBox(host::Prompt, const std::string& prompt, host::MessageButtons, host::DefaultButton,
                                   const std::string&) override
    {
        throw Unasked(prompt);
    }
    std::string InputBox(host::Prompt, const std::string& prompt, const std::string&, const std::string&) override
    {
        throw Unasked(prompt);
    }
    void ShowModal(host::ISelectionDialog& dialog) override { throw Unasked(dialog.LabelText()); }

private:
    static runtime::Error Unasked(const std::string& question)
    {
        return runtime::Error(runtime::kHostCallFailed, "the network run asks nothing, yet came to ask: " + question);
    }
};

// Prints or writes a query's basins; the exit status.
int AnswerQuery(const request::NetworkCommandLine& line, const networkrun::NetworkOutcome& outcome,
                const std::vector<std::string>& datasets, size_t basins, NetworkSurface& surface)
{
    if (!line.output) {
        for (int32_t fid : outcome.found) {
            surface.out << fid << "\n";
        }
        surface.err << "drennow: " << outcome.closing.front() << "\n";
        return kFinished;
    }
    try {
        if (datasets.empty()) {
            throw runtime::Error(runtime::kHostCallFailed, "no dataset holds the layer " + outcome.layer);
        }
        CopyFeatures(datasets.front(), outcome.layer, outcome.found, *line.output);
    } catch (const runtime::Error& error) {
        surface.err << "drennow: " << error.Description() << "\n";
        return kErrorReported;
    }
    surface.out << networkrun::texts::FeaturesCopied(outcome.found.size(), basins, *line.output) << "\n";
    return kFinished;
}

int StatusOf(const networkrun::NetworkOutcome& outcome, NetworkSurface& surface)
{
    switch (outcome.ending) {
    case Ending::Finished:
        for (const std::string& line : outcome.closing) {
            surface.out << line << "\n";
        }
        if (int signal = surface.interruptSignal()) {
            surface.err << "drennow: " << SignalName(signal) << " came after the edits were saved\n";
        }
        return kFinished;
    case Ending::Refused:
        surface.err << "drennow: " << outcome.message << "\n";
        return kBadCommandLine;
    case Ending::CheckFailed:
        surface.err << "drennow: " << outcome.message << "\n";
        return kCheckFailed;
    case Ending::Cancelled:
        return CancelStatus(surface.interruptSignal(), surface.err);
    case Ending::ErrorReported:
        break;
    }
    surface.err << "drennow: " << outcome.message << "; no value was saved\n";
    return kErrorReported;
}

int Run(const request::NetworkCommandLine& line, NetworkSurface& surface)
{
    GDALAllRegister();
    if (line.output) {
        if (std::string reason = UnwritableOutput(*line.output); !reason.empty()) {
            surface.err << "drennow: --output: " << reason << "\n";
            return kBadCommandLine;
        }
    }
    QuietGdalErrors quiet;
    host::Ref<GdalMap> map = OpenDatasets(line.datasets, line.selection, surface.err);
    if (!map) {
        return kBadCommandLine;
    }
    // The application alone holds the map: the datasets close when it goes,
    // and an edit session the run left open is discarded then.
    std::weak_ptr<GdalMap> layers = map;
    auto application =
        std::make_shared<GdalApplication>(map, DocumentPath(line.datasets.front(), std::nullopt),
                                          std::make_shared<AsksNothing>(), surface.statusBar, surface.newCancelTracker);
    map.reset();
    networkrun::NetworkOutcome outcome = networkrun::RunNetwork(application, line.network);
    std::vector<std::string> datasets = layers.lock()->DatasetsWithFeatureLayer(outcome.layer);
    application.reset();
    for (const std::string& note : outcome.notes) {
        surface.err << "drennow: " << note << "\n";
    }
    if (outcome.ending == Ending::Finished && line.network.query) {
        return AnswerQuery(line, outcome, datasets, outcome.basins, surface);
    }
    return StatusOf(outcome, surface);
}

}  // namespace

int RunNetworkOnDatasets(const request::NetworkCommandLine& line, NetworkSurface& surface)
{
    try {
        return Run(line, surface);
    } catch (const std::exception& error) {
        surface.err << "drennow: " << error.what() << "\n";
        return kErrorReported;
    }
}

}  // namespace drennow::gdalhost
