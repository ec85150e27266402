#include "networkrun/NetworkRun.h"

#include "command/RunTexts.h"
#include "gisutil/modUtilsGeneral.h"
#include "network/Network.h"
#include "networkrun/LayerColumns.h"
#include "networkrun/NetworkSteps.h"
#include "networkrun/NetworkTexts.h"
#include "networkrun/Outputs.h"
#include "networkrun/Stops.h"
#include "runtime/Error.h"

#include <algorithm>
#include <unordered_map>

namespace drennow::networkrun {

using runtime::Deref;
using runtime::Variant;

const char* OptionOf(Measure measure)
{
    switch (measure) {
    case Measure::Sum:
        return options::kSum;
    case Measure::Mean:
        return options::kMean;
    case Measure::Min:
        return options::kMin;
    case Measure::Max:
        return options::kMax;
    case Measure::WeightedMean:
        return options::kWeightedMean;
    case Measure::Count:
        return options::kCount;
    case Measure::Outlet:
        return options::kOutlet;
    case Measure::Moves:
        return options::kMoves;
    case Measure::Rank:
        return options::kRank;
    }
    return "";
}

namespace {

// The progress bar of the run, and the user's cancel: every step asks the
// tracker, and a cancel stops the run by raising CancelledByUser.
class Progress {
public:
    explicit Progress(host::IApplication& application)
        : bar_(Deref(Deref(application.StatusBar()).ProgressBar())), tracker_(application.NewCancelTracker())
    {
    }

    void Start(const char* label, size_t count)
    {
        text_.emplace(label);
        bar_.Show();
        bar_.MinRange(0);
        bar_.MaxRange(static_cast<int32_t>(std::min<size_t>(count, INT32_MAX)));
        bar_.StepValue(1);
        bar_.Position(0);
        bar_.Message(label);
    }
    void Step(size_t done)
    {
        Check();
        bar_.Step();
        bar_.Message(text_->For(static_cast<int32_t>(std::min<size_t>(done, INT32_MAX))));
    }
    void Message(const char* text) { bar_.Message(text); }
    void Check()
    {
        if (!Deref(tracker_).Continue()) {
            throw CancelledByUser{};
        }
    }
    void Hide() { bar_.Hide(); }

private:
    host::IStepProgressor& bar_;
    host::Ref<host::ITrackCancel> tracker_;
    std::optional<host::RowCountText> text_;
};

}  // namespace

size_t ReadFields::Add(host::IFields& fields, const std::string& name, const char* option, const std::string& layer)
{
    indexes.push_back(FindNamedField(fields, name, option, layer));
    names.push_back(Deref(fields.Field(indexes.back())).Name());
    options.push_back(option);
    return indexes.size() - 1;
}

InputColumns FindInputs(const NetworkRequest& request, host::IFields& fields, const std::string& layer,
                        ReadFields& read)
{
    InputColumns inputs;
    if (request.pfafField) {
        inputs.code = read.Add(fields, *request.pfafField, options::kPfafField, layer);
    }
    if (request.nextDownField) {
        inputs.nextDown = read.Add(fields, *request.nextDownField, options::kNextDownField, layer);
    }
    if (request.idField) {
        inputs.id = read.Add(fields, *request.idField, options::kIdField, layer);
    }
    for (const OutputField& output : request.outputs) {
        bool accumulated = !output.source.empty();
        inputs.sources.push_back(accumulated ? read.Add(fields, output.source, OptionOf(output.measure), layer)
                                             : SIZE_MAX);
        inputs.weights.push_back(!output.weight.empty()
                                     ? read.Add(fields, output.weight, OptionOf(output.measure), layer)
                                     : SIZE_MAX);
    }
    for (size_t column = 0; column < read.indexes.size(); ++column) {
        bool valueField = column != inputs.code && column != inputs.nextDown && column != inputs.id;
        if (valueField && Deref(fields.Field(read.indexes[column])).Type() == host::kFieldTypeString) {
            throw Refusal(Ending::Refused, texts::TextValueField(read.options[column], read.names[column]));
        }
    }
    return inputs;
}

BuiltNetwork BuildNetwork(const NetworkRequest& request, Columns& columns, const InputColumns& inputs,
                          const runtime::Checkpoint& checkpoint)
{
    size_t count = columns.objectIds.size();
    auto at = [](const std::vector<Variant>& column) {
        return [&column](size_t i) { return column[i]; };
    };
    if (request.pfafField) {
        Screened screened = ScreenWholeNumbers(columns.values[inputs.code], columns.objectIds, request.options.int64);
        // Screened already: the network meets no code that does not convert.
        network::Coded coded = network::FromCodes(count, at(columns.values[inputs.code]), request.options,
                                                  request.allowTrailingZeros, checkpoint);
        return {std::move(coded.network), std::move(screened), 0};
    }
    Screened screened = ScreenWholeNumbers(columns.values[inputs.id], columns.objectIds, true);
    screened.Add(ScreenWholeNumbers(columns.values[inputs.nextDown], columns.objectIds, true));
    network::Topology topology =
        network::FromNextDown(count, at(columns.values[inputs.id]), at(columns.values[inputs.nextDown]), checkpoint);
    return {std::move(topology.network), std::move(screened), topology.repeatedIds};
}

namespace {

std::vector<int32_t> ObjectIdsAt(const std::vector<network::Position>& positions, const Columns& columns)
{
    std::vector<int32_t> ids;
    for (network::Position position : positions) {
        ids.push_back(columns.objectIds[static_cast<size_t>(position)]);
    }
    return ids;
}

}  // namespace

size_t OutletCount(const network::Network& network)
{
    size_t outlets = 0;
    for (size_t i = 0; i < network.Size(); ++i) {
        outlets += network.Outlet(static_cast<network::Position>(i)) == static_cast<network::Position>(i);
    }
    return outlets;
}

std::vector<int32_t> Answer(const Query& query, const network::Network& network, const Columns& columns,
                            const std::string& layer, std::vector<std::string>& notes)
{
    std::unordered_map<int64_t, network::Position> positions;
    for (size_t i = 0; i < columns.objectIds.size(); ++i) {
        positions.emplace(columns.objectIds[i], static_cast<network::Position>(i));
    }
    std::vector<network::Position> of;
    for (int64_t fid : query.fids) {
        if (auto found = positions.find(fid); found != positions.end()) {
            of.push_back(found->second);
        }
    }
    if (of.empty()) {
        throw Refusal(Ending::Refused, texts::NoQueriedFeature(query.Option(), layer));
    }
    if (of.size() < query.fids.size()) {
        notes.push_back(texts::IdsOfNoFeature(query.Option(), query.fids.size() - of.size(), layer, of.size()));
    }
    std::vector<bool> in = query.direction == Direction::Upstream ? network.Upstream(of) : network.DownstreamOf(of);
    std::vector<int32_t> found;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i]) {
            found.push_back(columns.objectIds[i]);
        }
    }
    return found;
}

std::vector<std::vector<double>> NumberColumns(const Columns& columns, const InputColumns& inputs,
                                               const ReadFields& read)
{
    std::vector<std::vector<double>> numbers(read.indexes.size());
    for (size_t column = 0; column < read.indexes.size(); ++column) {
        if (column != inputs.code && column != inputs.nextDown && column != inputs.id) {
            numbers[column] = NumberColumn(columns.values[column], columns.objectIds, read.options[column],
                                           read.names[column]);
        }
    }
    return numbers;
}

ValueColumns ValuesFrom(const Columns& columns, const InputColumns& inputs,
                        const std::vector<std::vector<double>>& numbers, const ReadFields& read, host::IFields& fields)
{
    size_t identifiers = inputs.id != SIZE_MAX ? inputs.id : inputs.code;
    ValueColumns values{&columns.values[identifiers], Deref(fields.Field(read.indexes[identifiers])).Type(), {}, {}};
    for (size_t output = 0; output < inputs.sources.size(); ++output) {
        values.sources.push_back(inputs.sources[output] != SIZE_MAX ? &numbers[inputs.sources[output]] : nullptr);
        values.weights.push_back(inputs.weights[output] != SIZE_MAX ? &numbers[inputs.weights[output]] : nullptr);
    }
    return values;
}

std::vector<std::string> ClosingLines(const std::vector<Destination>& destinations, size_t written,
                                      const BuiltNetwork& built, const Columns& columns, bool identifiers)
{
    std::vector<std::string> names;
    for (const Destination& destination : destinations) {
        names.push_back(destination.name);
    }
    std::vector<std::string> lines{
        texts::FieldsWritten(names, written, built.network.Size(), OutletCount(built.network))};
    if (const network::Cycles& cycles = built.network.OnCycles(); cycles.basins > 0) {
        lines.push_back(texts::OnCycles(cycles.basins, ObjectIdsAt(cycles.firstFew, columns)));
    }
    if (built.screened.count > 0) {
        lines.push_back(texts::CodesNotConverting(built.screened.count, built.screened.firstIds, identifiers));
    }
    if (built.repeatedIds > 0) {
        lines.push_back(texts::RepeatedIdentifiers(built.repeatedIds));
    }
    return lines;
}

namespace {

host::Ref<host::IEditor> FindEditor(host::IApplication& application)
{
    auto editor =
        host::QueryInterface<host::IEditor>(application.FindExtensionByCLSID(host::UID{host::kEditorProgId}));
    if (!editor) {
        throw Refusal(Ending::CheckFailed, command::texts::kNoEditor);
    }
    if (editor->EditState() != host::kEditStateNotEditing) {
        throw Refusal(Ending::CheckFailed, texts::kSessionOpen);
    }
    return editor;
}

// Writes every destination of the features to write (the selected ones, or
// all when none is), in one operation of a session of the run's own, and
// saves it; a cancel or an error closes the session unsaved. The count
// written.
size_t WriteFields(const host::Ref<host::IFeatureLayer>& layer, host::IEditor& editor,
                   std::vector<Destination>& destinations, const Columns& columns, Progress& progress)
{
    host::IFeatureClass& featureClass = Deref(layer->FeatureClass());
    AddMissingFields(featureClass, destinations);
    host::Ref<host::IFeatureDataset> dataset = featureClass.FeatureDataset();
    editor.StartEditing(dataset ? dataset->Workspace() : featureClass.Workspace());
    if (editor.EditState() != host::kEditStateEditing) {
        throw runtime::Error(runtime::kHostCallFailed, command::texts::CannotEdit(layer->Name()));
    }
    std::unordered_map<int32_t, size_t> positions;
    for (size_t i = 0; i < columns.objectIds.size(); ++i) {
        positions.emplace(columns.objectIds[i], i);
    }
    host::Ref<host::ICursor> cursor;
    int32_t count = 0;
    bool usesSelection = false;
    modUtilsGeneral::GetRowCursor(host::QueryInterface<host::ITable>(layer), cursor, count, usesSelection);
    progress.Start(texts::kWritingFields, static_cast<size_t>(count));
    editor.StartOperation();
    size_t written = 0;
    while (host::Ref<host::IRow> feature = Deref(cursor).NextFeature()) {
        WriteFeature(*feature, positions.at(feature->OID()), destinations);
        feature->Store();
        progress.Step(++written);
    }
    progress.Message(texts::kSaving);
    editor.StopOperation(texts::kOperationName);
    editor.StopEditing(true);
    progress.Hide();
    return written;
}

class Run {
public:
    Run(const host::Ref<host::IApplication>& application, const NetworkRequest& request, NetworkOutcome& outcome)
        : application_(Deref(application)), request_(request), outcome_(outcome), progress_(application_)
    {
    }

    void Go()
    {
        host::Ref<host::IMxDocument> document = application_.Document();
        host::Ref<host::IFeatureLayer> layer = ChooseLayer(Deref(Deref(document).FocusMap()), request_.layer);
        outcome_.layer = layer->Name();
        host::Ref<host::IFeatureClass> featureClass = layer->FeatureClass();
        if (!featureClass) {
            throw Refusal(Ending::Refused, command::texts::FeatureClassMissing(layer->Name()));
        }
        // Counted before the fields are looked at, as the command counts them:
        // a table another session keeps from the run ends it with that reason,
        // not with fields it could not see.
        int32_t rows = Deref(host::QueryInterface<host::ITable>(layer)).RowCount();
        host::Ref<host::IFields> fields = featureClass->Fields();
        ReadFields read;
        InputColumns inputs = FindInputs(request_, Deref(fields), outcome_.layer, read);
        std::vector<Destination> destinations = FindDestinations(request_, Deref(fields), read.indexes, outcome_.layer);
        host::Ref<host::IEditor> editor = request_.query ? nullptr : FindEditor(application_);
        Columns columns = Read(layer, read, rows);
        outcome_.basins = columns.objectIds.size();
        // Text that is no number is refused before anything changes.
        std::vector<std::vector<double>> numbers =
            request_.query ? std::vector<std::vector<double>>{} : NumberColumns(columns, inputs, read);
        progress_.Message(texts::kBuildingNetwork);
        BuiltNetwork built =
            BuildNetwork(request_, columns, inputs, runtime::Checkpoint([this] { progress_.Check(); }));
        if (request_.query) {
            progress_.Hide();
            outcome_.found = Answer(*request_.query, built.network, columns, outcome_.layer, outcome_.notes);
            outcome_.closing = {texts::FeaturesFound(outcome_.found.size(), columns.objectIds.size())};
            outcome_.ending = Ending::Finished;
            return;
        }
        FillValues(destinations, built.network, ValuesFrom(columns, inputs, numbers, read, Deref(fields)),
                   columns.objectIds);
        editor_ = editor;
        size_t written = WriteFields(layer, *editor, destinations, columns, progress_);
        editor_ = nullptr;
        outcome_.closing = ClosingLines(destinations, written, built, columns, request_.nextDownField.has_value());
        outcome_.ending = Ending::Finished;
    }

    // After a cancel or an error: the session the run opened closed unsaved.
    // What goes wrong then is not told: the first fault is.
    void Abandon() noexcept
    {
        try {
            progress_.Hide();
            if (editor_ && editor_->EditState() != host::kEditStateNotEditing) {
                editor_->StopEditing(false);
            }
        } catch (...) {
        }
        editor_ = nullptr;
    }

private:
    Columns Read(const host::Ref<host::IFeatureLayer>& layer, const ReadFields& read, int32_t rows)
    {
        progress_.Start(texts::kReadingBasins, static_cast<size_t>(std::max(0, rows)));
        Columns columns = ReadColumns(*layer, read.indexes, [this](size_t done) { progress_.Step(done); });
        if (columns.objectIds.empty()) {
            throw Refusal(Ending::CheckFailed, texts::kNoFeatures);
        }
        return columns;
    }

    host::IApplication& application_;
    const NetworkRequest& request_;
    NetworkOutcome& outcome_;
    Progress progress_;
    host::Ref<host::IEditor> editor_;  // while the run's session is open
};

}  // namespace

NetworkOutcome RunNetwork(const host::Ref<host::IApplication>& application, const NetworkRequest& request)
{
    NetworkOutcome outcome;
    try {
        Run run(application, request, outcome);
        try {
            run.Go();
        } catch (...) {
            run.Abandon();
            throw;
        }
    } catch (const Refusal& refusal) {
        outcome.ending = refusal.ending;
        outcome.message = refusal.what();
    } catch (const CancelledByUser&) {
        outcome.ending = Ending::Cancelled;
    } catch (const runtime::Error& error) {
        outcome.ending = Ending::ErrorReported;
        outcome.message = error.Description();
    } catch (const std::exception& error) {
        outcome.ending = Ending::ErrorReported;
        outcome.message = error.what();
    }
    return outcome;
}

}  // namespace drennow::networkrun
