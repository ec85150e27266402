#include "dialogs/modUtilsForms.h"

#include "runtime/Error.h"

#include <algorithm>

namespace drennow::modUtilsForms {

namespace {

constexpr const char* kNoneEntry = "<None>";

std::string UpperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

bool IsExcluded(const std::string& name, const std::optional<Names>& excludeNames)
{
    return excludeNames && std::find(excludeNames->begin(), excludeNames->end(), name) != excludeNames->end();
}

bool BearsAName(const std::string& name, const Names& names)
{
    std::string upper = UpperCase(name);
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return UpperCase(n) == upper; });
}

void AddUnlessExcluded(dialogs::ComboBox& list, const std::string& name, const std::optional<Names>& excludeNames)
{
    if (!IsExcluded(name, excludeNames)) {
        list.AddItem(name);
    }
}

void AddFeatureLayer(dialogs::ComboBox& list, host::IFeatureLayer& layer, const TypeValues& featureTypes,
                     const std::optional<TypeValues>& shapeTypes, const std::optional<Names>& excludeNames)
{
    // A layer whose data source is broken has no types to test: it is left out.
    host::Ref<host::IFeatureClass> featureClass = layer.FeatureClass();
    if (!featureClass) {
        return;
    }
    for (int32_t featureType : featureTypes) {
        if (featureType != featureClass->FeatureType()) {
            continue;
        }
        if (featureType == host::kFeatureTypeSimple && shapeTypes) {
            for (int32_t shapeType : *shapeTypes) {
                if (shapeType == featureClass->ShapeType()) {
                    AddUnlessExcluded(list, layer.Name(), excludeNames);
                }
            }
        } else {
            AddUnlessExcluded(list, layer.Name(), excludeNames);
        }
    }
}

// "<None>" first when asked for, then the entry of the best-ranked preferred
// name; among entries of the same rank the last one wins.
void FinishList(dialogs::ComboBox& list, const std::optional<Names>& preferredNames, bool addNone)
{
    if (addNone) {
        list.AddItem(kNoneEntry, 0);
    }
    int32_t selected = 0;
    bool preferred = false;
    if (preferredNames && list.ListCount() > 0) {
        auto rankLimit = static_cast<int16_t>(preferredNames->size());
        for (int32_t entry = 0; entry < list.ListCount(); ++entry) {
            std::string text = UpperCase(list.Items()[static_cast<size_t>(entry)]);
            for (int16_t rank = 1; rank <= rankLimit; ++rank) {
                if (text == UpperCase((*preferredNames)[static_cast<size_t>(rank - 1)])) {
                    selected = entry;
                    rankLimit = rank;
                    preferred = true;
                    break;
                }
            }
        }
    }
    if (preferred) {
        list.SelectPreferred(selected);
    } else if (list.ListCount() > 0) {
        list.SetListIndex(selected);
    }
}

}  // namespace

void FillLayerList(const host::Ref<host::IMap>& map, dialogs::ComboBox& list, const Names& layerTypes,
                   const TypeValues& featureTypes, const std::optional<TypeValues>& shapeTypes,
                   const std::optional<Names>& excludeNames, const std::optional<Names>& preferredNames,
                   bool addNone)
{
    host::IMap& layers = runtime::Deref(map);
    int32_t count = layers.LayerCount();
    list.Clear();
    for (int32_t index = 0; index < count; ++index) {
        host::Ref<host::ILayer> layer = layers.Layer(index);
        for (const std::string& kind : layerTypes) {
            if (kind == "FeatureLayer") {
                if (auto featureLayer = host::QueryInterface<host::IFeatureLayer>(layer)) {
                    AddFeatureLayer(list, *featureLayer, featureTypes, shapeTypes, excludeNames);
                }
            } else if (kind == "RasterLayer" && host::QueryInterface<host::IRasterLayer>(layer)) {
                AddUnlessExcluded(list, layer->Name(), excludeNames);
            }
        }
    }
    FinishList(list, preferredNames, addNone);
}

void FillFieldList(const host::Ref<host::IFields>& fields, dialogs::ComboBox& list, const TypeValues& fieldTypes,
                   const std::optional<Names>& excludeNames, const std::optional<Names>& preferredNames,
                   bool addNone)
{
    list.Clear();
    host::IFields& fieldList = runtime::Deref(fields);
    int32_t count = fieldList.FieldCount();
    for (int32_t index = 0; index < count; ++index) {
        host::Ref<host::IField> field = fieldList.Field(index);
        host::IField& f = runtime::Deref(field);
        for (int32_t fieldType : fieldTypes) {
            if (fieldType == f.Type()) {
                AddUnlessExcluded(list, f.Name(), excludeNames);
            }
        }
    }
    FinishList(list, preferredNames, addNone);
}

std::vector<host::PassedOverField> FieldsPassedOver(const host::Ref<host::IFields>& fields,
                                                   const TypeValues& fieldTypes,
                                                   const std::optional<Names>& excludeNames,
                                                   const Names& preferredNames)
{
    std::vector<host::PassedOverField> passedOver;
    host::IFields& fieldList = runtime::Deref(fields);
    int32_t count = fieldList.FieldCount();
    for (int32_t index = 0; index < count; ++index) {
        host::Ref<host::IField> field = fieldList.Field(index);
        std::string name = runtime::Deref(field).Name();
        int32_t type = field->Type();
        bool offered = std::find(fieldTypes.begin(), fieldTypes.end(), type) != fieldTypes.end();
        if (!offered && !IsExcluded(name, excludeNames) && BearsAName(name, preferredNames)) {
            passedOver.push_back({name, type});
        }
    }
    return passedOver;
}

}  // namespace drennow::modUtilsForms
