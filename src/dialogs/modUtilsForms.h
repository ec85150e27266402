#pragma once

#include "dialogs/frmField.h"
#include "host/Data.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Filling the selection dialog's list with candidate layers or fields and
// pre-selecting the most likely one.
namespace drennow::modUtilsForms {

using Names = std::vector<std::string>;
using TypeValues = std::vector<int32_t>;

// Lists the map's top-level layers that pass the kind, feature-type and
// shape-type filters. Host errors pass to the caller.
void FillLayerList(const host::Ref<host::IMap>& map, dialogs::ComboBox& list, const Names& layerTypes,
                   const TypeValues& featureTypes, const std::optional<TypeValues>& shapeTypes,
                   const std::optional<Names>& excludeNames, const std::optional<Names>& preferredNames,
                   bool addNone);

// Lists the fields whose type is one of fieldTypes. Host errors pass to the
// caller.
void FillFieldList(const host::Ref<host::IFields>& fields, dialogs::ComboBox& list, const TypeValues& fieldTypes,
                   const std::optional<Names>& excludeNames, const std::optional<Names>& preferredNames,
                   bool addNone);

// The fields that bear one of the preferred names (in any case) but are left
// out of FillFieldList's list for their type.
std::vector<host::PassedOverField> FieldsPassedOver(const host::Ref<host::IFields>& fields,
                                                   const TypeValues& fieldTypes,
                                                   const std::optional<Names>& excludeNames,
                                                   const Names& preferredNames);

}  // namespace drennow::modUtilsForms
