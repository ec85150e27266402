#include "command/NextDownRun.h"
#include "command/QuestionNames.h"
#include "command/RunTexts.h"

#include "dialogs/modUtilsForms.h"
#include "gisutil/modUtilsGeneral.h"
#include "runtime/Error.h"

#include <algorithm>

namespace drennow::command {

using runtime::Deref;

namespace {

constexpr const char* kNextDownFieldName = names::kNextDownField;

// The types of the fields offered for the codes: long integers, and when the
// user names the field, any field whose values the run can convert.
modUtilsForms::TypeValues CodeFieldTypes(const RunOptions& options)
{
    if (!options.convertCodeField) {
        return {host::kFieldTypeLongInteger};
    }
    return {host::kFieldTypeSmallInteger, host::kFieldTypeLongInteger, host::kFieldTypeBigInteger,
            host::kFieldTypeSingle,       host::kFieldTypeDouble,      host::kFieldTypeString};
}

// The position of the first field whose name is exactly that name, or -1.
int32_t FieldPosition(const host::Ref<host::IFields>& fields, const std::string& name)
{
    host::IFields& list = Deref(fields);
    int32_t count = list.FieldCount();
    for (int32_t index = 0; index < count; ++index) {
        if (Deref(list.Field(index)).Name() == name) {
            return index;
        }
    }
    return -1;
}

}  // namespace

std::optional<RunSettings> NextDownRun::PrepareNextDownRun(bool allowTrailingZeros)
{
    RunSettings settings;
    StageMarker = Stage::GetDocument;
    document_ = Deref(application_).Document();
    map_ = Deref(document_).FocusMap();

    host::Ref<host::IFeatureClass> featureClass = ChooseLayer(settings);
    if (!featureClass) {
        return std::nullopt;
    }
    host::Ref<host::IFields> fields = ChoosePfafField(settings, *featureClass);
    if (!fields) {
        return std::nullopt;
    }
    StageMarker = Stage::AskPopulate;
    if (!ChooseIdField(settings, fields)) {
        return std::nullopt;
    }
    if (options_.compareWith) {
        settings.CompareFieldIndex = FieldPosition(fields, *options_.compareWith);
        if (settings.CompareFieldIndex == -1) {
            EndWithMessage(texts::FieldNotFound(*options_.compareWith));
            return std::nullopt;
        }
    }
    settings.NextDownFieldIndex = Deref(featureClass->Fields()).FindField(kNextDownFieldName);
    if (!LocateEditor(settings) || !EnsureNextDownField(settings, *featureClass)) {
        return std::nullopt;
    }
    StageMarker = Stage::StartEditing;
    if (!StartEditing(settings, *featureClass)) {
        return std::nullopt;
    }
    settings.AllowTrailingZeros = allowTrailingZeros;
    return settings;
}

// The layer asked for, with its features to write; its feature class.
host::Ref<host::IFeatureClass> NextDownRun::ChooseLayer(RunSettings& settings)
{
    StageMarker = Stage::PrepareLayerList;
    auto layerName = AskName(host::Prompt::Layer, texts::kLayerLabel, [&] {
        StageMarker = Stage::AskLayer;
        modUtilsForms::FillLayerList(map_, form_.cboFld, {"FeatureLayer"}, {host::kFeatureTypeSimple},
                                     modUtilsForms::TypeValues{host::kShapeTypePolygon}, std::nullopt,
                                     names::kWatershedLayers, false);
    });
    if (!layerName) {
        return nullptr;
    }

    StageMarker = Stage::FindLayer;
    settings.Layer = FindChosenLayer(*layerName);
    if (!settings.Layer) {
        return nullptr;
    }
    host::Ref<host::IFeatureClass> featureClass = settings.Layer->FeatureClass();
    if (!featureClass) {
        EndWithMessage(texts::FeatureClassMissing(settings.Layer->Name()));
        return nullptr;
    }
    bool usesSelection = false;
    modUtilsGeneral::GetRowCursor(host::QueryInterface<host::ITable>(settings.Layer), settings.PassCursor,
                                  settings.FeatureCount, usesSelection);
    if (settings.FeatureCount == 0) {
        EndWithMessage(texts::kNoFeatures);
        return nullptr;
    }
    return featureClass;
}

// The code field asked for, and the level checked against its codes; the
// fields it was found among.
host::Ref<host::IFields> NextDownRun::ChoosePfafField(RunSettings& settings, host::IFeatureClass& featureClass)
{
    StageMarker = Stage::AskPfafField;
    auto pfafName = AskName(host::Prompt::PfafField, texts::kPfafFieldLabel, [&] {
        // The codes are never guessed: only a field of the run's names is
        // taken unasked, and one left out for its type is named.
        modUtilsForms::TypeValues types = CodeFieldTypes(options_);
        modUtilsForms::Names excluded{kNextDownFieldName};
        modUtilsForms::FillFieldList(featureClass.Fields(), form_.cboFld, types, excluded, names::kPfafFields, false);
        form_.needsPreferredName = true;
        // Asked while the dialog shows, which is before the class can go.
        form_.passedOver = [&featureClass, types, excluded] {
            return modUtilsForms::FieldsPassedOver(featureClass.Fields(), types, excluded, names::kPfafFields);
        };
    });
    if (!pfafName) {
        return nullptr;
    }
    host::Ref<host::IFields> fields = featureClass.Fields();
    settings.PfafFieldIndex = FieldPosition(fields, *pfafName);
    StageMarker = Stage::AskLevel;
    if (settings.PfafFieldIndex == -1) {
        EndWithMessage(texts::FieldNotFound(*pfafName));
        return nullptr;
    }
    return AskLevel(settings.Layer, settings.PfafFieldIndex) ? fields : nullptr;
}

// The populate question's answer: the codes themselves, or the identifier
// field asked for.
bool NextDownRun::ChooseIdField(RunSettings& settings, const host::Ref<host::IFields>& fields)
{
    auto& ui = Deref(Deref(application_).UserInterface());
    if (ui.MessageBox(host::Prompt::Populate, texts::kPopulateQuestion, host::MessageButtons::YesNo,
                      host::DefaultButton::First, texts::kTitle) == host::kAnswerYes) {
        settings.IdFieldIndex = settings.PfafFieldIndex;
        return true;
    }
    auto idName = AskName(host::Prompt::IdField, texts::kIdFieldLabel, [&] {
        modUtilsForms::FillFieldList(fields, form_.cboFld, {host::kFieldTypeLongInteger, host::kFieldTypeObjectId},
                                     modUtilsForms::Names{kNextDownFieldName}, names::kIdFields,
                                     false);
    });
    if (!idName) {
        return false;
    }
    settings.IdFieldIndex = FieldPosition(fields, *idName);
    StageMarker = Stage::FindNextDownField;
    if (settings.IdFieldIndex == -1) {
        EndWithMessage(texts::FieldNotFound(*idName));
        return false;
    }
    return true;
}

// Loads the dialog afresh, labels it, lets fill() fill its list and shows it.
// Nothing when the user confirmed no entry.
std::optional<std::string> NextDownRun::AskName(host::Prompt question, const std::string& label,
                                                const std::function<void()>& fill)
{
    form_.Unload();
    form_.Load();
    form_.question = question;
    form_.caption = texts::kTitle;
    form_.lblLayer = label;
    fill();
    form_.Show(Deref(Deref(application_).UserInterface()));
    std::string name = form_.FieldName();
    if (name.empty()) {
        EndSilently();
        return std::nullopt;
    }
    return name;
}

// The first top-level feature layer of that name, or nothing after the message.
host::Ref<host::IFeatureLayer> NextDownRun::FindChosenLayer(const std::string& layerName)
{
    host::IMap& map = Deref(map_);
    int32_t count = map.LayerCount();
    for (int32_t index = 0; index < count; ++index) {
        auto featureLayer = host::QueryInterface<host::IFeatureLayer>(map.Layer(index));
        if (featureLayer && featureLayer->Name() == layerName) {
            return featureLayer;
        }
    }
    EndWithMessage(texts::LayerNotFound(layerName));
    return nullptr;
}

// Suggests the length of the first non-null codes of the layer as the level
// and checks the reply. The level itself changes nothing in the pass.
bool NextDownRun::AskLevel(const host::Ref<host::IFeatureLayer>& layer, int32_t pfafFieldIndex)
{
    constexpr int kValuesLookedAt = 3;
    size_t longest = 0;
    host::Ref<host::ICursor> cursor = layer->Search();
    int valuesSeen = 0;
    while (valuesSeen < kValuesLookedAt) {
        host::Ref<host::IRow> feature = Deref(cursor).NextFeature();
        if (!feature) {
            break;
        }
        runtime::Variant value = feature->Value(pfafFieldIndex);
        if (!value.IsNull()) {
            longest = std::max(longest, runtime::ToText(value).size());
            ++valuesSeen;
        }
    }
    int16_t suggestedLevel = longest == 0 ? 1 : runtime::ToInteger(runtime::Variant(static_cast<int64_t>(longest)));

    std::string reply = Deref(Deref(application_).UserInterface())
                            .InputBox(host::Prompt::Level, texts::LevelPrompt(HighestLevel()), texts::kTitle,
                                      std::to_string(suggestedLevel));
    if (!runtime::IsNumeric(runtime::Variant(reply))) {
        EndSilently();
        return false;
    }
    int16_t level = runtime::ToInteger(runtime::Variant(reply));
    if (level < 1 || level > HighestLevel()) {
        EndWithMessage(texts::InvalidLevel(HighestLevel()));
        return false;
    }
    return true;
}

// The most digits a code can have.
int16_t NextDownRun::HighestLevel() const
{
    return options_.int64 ? texts::kHighestLevel64 : texts::kHighestLevel;
}

bool NextDownRun::LocateEditor(RunSettings& settings)
{
    host::UID editorId{host::kEditorProgId};
    settings.Editor = host::QueryInterface<host::IEditor>(Deref(application_).FindExtensionByCLSID(editorId));
    if (!settings.Editor) {
        EndWithMessage(texts::kNoEditor);
        return false;
    }
    settings.EditStateAtStart = settings.Editor->EditState();
    return true;
}

// The field can only be added while no edit session is open.
bool NextDownRun::EnsureNextDownField(RunSettings& settings, host::IFeatureClass& featureClass)
{
    if (settings.NextDownFieldIndex != -1) {
        return true;
    }
    switch (modUtilsGeneral::StopEditSession(application_)) {
    case modUtilsGeneral::kStopFailed:
        EndWithMessage(texts::kCannotStopEditing);
        return false;
    case modUtilsGeneral::kStopCancelled:
        EndSilently();
        return false;
    default:
        break;
    }
    featureClass.AddField(host::NewField{
        kNextDownFieldName, options_.int64 ? host::kFieldTypeBigInteger : host::kFieldTypeLongInteger});
    settings.NextDownFieldIndex = Deref(featureClass.Fields()).FindField(kNextDownFieldName);
    return true;
}

// A class outside any feature dataset is edited in its own workspace.
bool NextDownRun::StartEditing(const RunSettings& settings, host::IFeatureClass& featureClass)
{
    host::Ref<host::IFeatureDataset> dataset = featureClass.FeatureDataset();
    host::Ref<host::IWorkspace> workspace = dataset ? dataset->Workspace() : featureClass.Workspace();
    switch (modUtilsGeneral::StartEditSession(workspace)) {
    case modUtilsGeneral::kStartFailed:
        EndWithMessage(texts::CannotEdit(settings.Layer->Name()));
        return false;
    case modUtilsGeneral::kStartCancelled:
        EndSilently();
        return false;
    default:
        return true;
    }
}

}  // namespace drennow::command
