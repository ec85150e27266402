#pragma once
// The fields a network run writes: found or to be created, checked against
// the fields read and against each other, their values for every basin, and
// the writing of one feature.

#include "host/Data.h"
#include "network/Network.h"
#include "networkrun/LayerColumns.h"
#include "networkrun/NetworkRequest.h"

#include <cstdint>
#include <string>
#include <vector>

namespace drennow::networkrun {

// The codes or identifiers that do not convert to whole numbers, made null
// so that they end their chains.
struct Screened {
    size_t count = 0;
    std::vector<int32_t> firstIds;  // at most network::kCycleExamples
    void Add(const Screened& other);
};
Screened ScreenWholeNumbers(std::vector<runtime::Variant>& values, const std::vector<int32_t>& objectIds, bool int64);

struct Destination {
    const OutputField* output = nullptr;
    std::string name;       // as the layer spells it, or as asked for when it is to be added
    int32_t index = -1;     // the field's position; -1 until it is added
    int32_t type = host::kFieldTypeDouble;  // the existing field's, or the one to add
    std::vector<runtime::Variant> values;   // by basin, in read order
};

// The request's destinations: refused when one is a field the run reads
// (readIndexes), when two are the same field, or when an existing field's
// type cannot hold what the measure gives.
std::vector<Destination> FindDestinations(const NetworkRequest& request, host::IFields& fields,
                                          const std::vector<int32_t>& readIndexes, const std::string& layer);

// The columns that the network's own values come from.
struct ValueColumns {
    const std::vector<runtime::Variant>* identifiers;  // the outlets' (the codes without --id-field)
    int32_t identifierType;                            // that field's
    std::vector<const std::vector<double>*> sources, weights;  // of each output; nullptr for none
};

// Every destination's values, and the type of each to be added; refused when
// an existing field cannot hold a value.
void FillValues(std::vector<Destination>& destinations, const network::Network& network, const ValueColumns& columns,
                const std::vector<int32_t>& objectIds);

// Adds the destinations that are missing; raises when a field added cannot
// be found again under its name.
void AddMissingFields(host::IFeatureClass& featureClass, std::vector<Destination>& destinations);

// Sets the feature's values at that basin position; a value a field cannot
// hold raises, naming it.
void WriteFeature(host::IRow& feature, size_t position, const std::vector<Destination>& destinations);

}  // namespace drennow::networkrun
