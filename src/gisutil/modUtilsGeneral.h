#pragma once

#include "runtime/Collection.h"
#include "runtime/VariantArray.h"

#include <cstdint>
#include <string>

// General GIS and editing utilities: sorting and key lookup on the run's
// in-memory data, edit-session control, the row cursor and the document
// folder.
namespace drennow::modUtilsGeneral {

// Sorts elements 1..n in place: ascending when the flag is true, else
// descending. Numbers and numeric text compare by value; other text raises 13
// and an index outside the array raises 9, with exchanges already made kept.
void SortArray(runtime::VariantArray& values, const int32_t& count, const bool& ascending);

void SwapValues(runtime::Variant& first, runtime::Variant& second);

// The collection yields an item for the key. Never raises.
bool CollectionHasKey(const runtime::Collection& collection, const std::string& key);

// The part of a path before its last separator ("\" or "/"), keeping quotes
// around a quoted path. A path longer than 32767 characters raises 6.
std::string GetParentFolder(const std::string& path);

}  // namespace drennow::modUtilsGeneral
