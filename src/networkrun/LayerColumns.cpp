#include "networkrun/LayerColumns.h"

#include "networkrun/NetworkTexts.h"
#include "networkrun/Stops.h"
#include "runtime/Error.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

namespace drennow::networkrun {

using runtime::Deref;
using runtime::Variant;

namespace {

bool SameButForCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::vector<host::Ref<host::IFeatureLayer>> FeatureLayers(host::IMap& map)
{
    std::vector<host::Ref<host::IFeatureLayer>> layers;
    for (int32_t index = 0; index < map.LayerCount(); ++index) {
        if (auto layer = host::QueryInterface<host::IFeatureLayer>(map.Layer(index))) {
            layers.push_back(layer);
        }
    }
    return layers;
}

std::vector<std::string> NamesOf(const std::vector<host::Ref<host::IFeatureLayer>>& layers)
{
    std::vector<std::string> names;
    for (const auto& layer : layers) {
        names.push_back(layer->Name());
    }
    return names;
}

}  // namespace

host::Ref<host::IFeatureLayer> ChooseLayer(host::IMap& map, const std::optional<std::string>& name)
{
    std::vector<host::Ref<host::IFeatureLayer>> layers = FeatureLayers(map);
    if (layers.empty()) {
        throw Refusal(Ending::Refused, texts::kNoFeatureLayer);
    }
    if (!name) {
        if (layers.size() > 1) {
            throw Refusal(Ending::Refused, texts::SeveralLayers(NamesOf(layers)));
        }
        return layers.front();
    }
    auto found = std::find_if(layers.begin(), layers.end(), [&](const auto& layer) { return layer->Name() == *name; });
    if (found == layers.end()) {
        throw Refusal(Ending::Refused, texts::LayerNotFound(*name, NamesOf(layers)));
    }
    return *found;
}

std::vector<std::string> FieldNames(host::IFields& fields)
{
    std::vector<std::string> names;
    for (int32_t index = 0; index < fields.FieldCount(); ++index) {
        names.push_back(Deref(fields.Field(index)).Name());
    }
    return names;
}

std::optional<int32_t> FieldNamed(host::IFields& fields, const std::string& name, const char* option,
                                  const std::string& layer)
{
    std::vector<std::string> names = FieldNames(fields);
    for (bool exact : {true, false}) {
        std::vector<int32_t> matching;
        for (size_t index = 0; index < names.size(); ++index) {
            if (exact ? names[index] == name : SameButForCase(names[index], name)) {
                matching.push_back(static_cast<int32_t>(index));
            }
        }
        if (matching.size() == 1) {
            return matching.front();
        }
        if (matching.size() > 1) {
            std::vector<std::string> spelled;
            for (int32_t index : matching) {
                spelled.push_back(names[static_cast<size_t>(index)]);
            }
            throw Refusal(Ending::Refused, texts::FieldAmbiguous(option, name, layer, spelled));
        }
    }
    return std::nullopt;
}

int32_t FindNamedField(host::IFields& fields, const std::string& name, const char* option, const std::string& layer)
{
    if (std::optional<int32_t> found = FieldNamed(fields, name, option, layer)) {
        return *found;
    }
    throw Refusal(Ending::Refused, texts::FieldNotFound(option, name, layer, FieldNames(fields)));
}

Columns ReadColumns(host::IFeatureLayer& layer, const std::vector<int32_t>& fieldIndexes,
                    const std::function<void(size_t)>& each)
{
    Columns columns;
    columns.values.resize(fieldIndexes.size());
    host::Ref<host::ICursor> cursor = layer.Search();
    while (host::Ref<host::IRow> feature = Deref(cursor).NextFeature()) {
        columns.objectIds.push_back(feature->OID());
        for (size_t column = 0; column < fieldIndexes.size(); ++column) {
            columns.values[column].push_back(feature->Value(fieldIndexes[column]));
        }
        each(columns.objectIds.size());
    }
    return columns;
}

std::vector<double> NumberColumn(const std::vector<Variant>& values, const std::vector<int32_t>& objectIds,
                                 const char* option, const std::string& field)
{
    std::vector<double> numbers(values.size(), std::numeric_limits<double>::quiet_NaN());
    for (size_t i = 0; i < values.size(); ++i) {
        const Variant& value = values[i];
        if (value.IsNull() || value.IsEmpty()) {
            continue;
        }
        if (value.IsText() && !runtime::ParseNumber(value.Text())) {
            throw Refusal(Ending::CheckFailed, texts::NotANumber(option, field, objectIds[i], value.Text()));
        }
        numbers[i] = runtime::ToDouble(value);
    }
    return numbers;
}

}  // namespace drennow::networkrun
