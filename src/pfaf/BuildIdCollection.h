#pragma once

#include "host/Data.h"
#include "runtime/Collection.h"

#include <cstdint>
#include <optional>

namespace drennow::modPfafTools {

enum BuildIdResult : int16_t {
    kAllRowsRead = 1,
    kBuildCancelled = 2,
};

// Replacements for the item before it is filed, each tested on the value as
// read, a later one overriding an earlier one.
struct ItemSubstitutes {
    std::optional<runtime::Variant> ForNull;
    std::optional<runtime::Variant> ForNegative;
    std::optional<runtime::Variant> ForNonNumeric;
    std::optional<runtime::Variant> ForNumeric;
};

// Files the item under the text of the key value; raises when the key is
// filed already.
void AddUnderKeyText(runtime::Collection& ids, const runtime::Variant& item, const runtime::Variant& key);

// Files the item field's value of every row under the text of its key field's
// value; the first row read for a key wins (a later one's filing fails and is
// skipped). The progress display's failures are skipped too. A failure to
// read the rows is raised: a collection missing rows would silently turn
// their basins' downstream identifiers into failures. With progress, the
// user can cancel (result 2).
int16_t BuildIdCollection(const host::Ref<host::ITable>& table, int32_t keyField, int32_t itemField,
                          runtime::Collection& ids, const ItemSubstitutes& substitutes, bool showProgress);

}  // namespace drennow::modPfafTools
