#pragma once
// The layer of a network run, its fields found by name, and the columns the
// run reads from every feature.

#include "host/Application.h"
#include "runtime/Variant.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace drennow::networkrun {

// The feature layer of that name, or the map's only one; refused otherwise.
host::Ref<host::IFeatureLayer> ChooseLayer(host::IMap& map, const std::optional<std::string>& name);

// The position of the field of that name: the one spelled exactly so, else
// the one spelled so but for case; nothing when there is none, refused when
// there are more than one.
std::optional<int32_t> FieldNamed(host::IFields& fields, const std::string& name, const char* option,
                                  const std::string& layer);
// The same, refused when there is none, naming the fields there are.
int32_t FindNamedField(host::IFields& fields, const std::string& name, const char* option, const std::string& layer);

std::vector<std::string> FieldNames(host::IFields& fields);

// The values of some fields of every feature, in read order.
struct Columns {
    std::vector<int32_t> objectIds;
    std::vector<std::vector<runtime::Variant>> values;  // one per field asked for
};

// Reads every feature of the layer, selection ignored; each() is called
// after each feature (to show progress and let the user cancel).
Columns ReadColumns(host::IFeatureLayer& layer, const std::vector<int32_t>& fieldIndexes,
                    const std::function<void(size_t)>& each);

// A column of numbers: NaN for null and empty. Refused when a value is text
// that is no number, naming the field and the feature.
std::vector<double> NumberColumn(const std::vector<runtime::Variant>& values, const std::vector<int32_t>& objectIds,
                                 const char* option, const std::string& field);

}  // namespace drennow::networkrun
