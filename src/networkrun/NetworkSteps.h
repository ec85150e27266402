#pragma once
// The steps of a network run between finding its fields and writing them,
// over the columns read: for hosts that read and write features their own way.

#include "host/Data.h"
#include "network/Network.h"
#include "networkrun/LayerColumns.h"
#include "networkrun/NetworkRequest.h"
#include "networkrun/Outputs.h"
#include "runtime/Checkpoint.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace drennow::networkrun {

// The fields the run reads, found on the layer, in the order of its columns.
struct ReadFields {
    std::vector<int32_t> indexes;
    std::vector<std::string> names;
    std::vector<const char*> options;

    size_t Add(host::IFields& fields, const std::string& name, const char* option, const std::string& layer);
};

// Where each of the network's inputs is among the columns read.
struct InputColumns {
    size_t code = SIZE_MAX;      // the Pfafstetter codes
    size_t nextDown = SIZE_MAX;  // the topology field
    size_t id = SIZE_MAX;        // the identifiers
    std::vector<size_t> sources, weights;  // of each output (SIZE_MAX for none)
};

// The request's fields found (refused when missing or ambiguous), and a value
// field of text refused.
InputColumns FindInputs(const NetworkRequest& request, host::IFields& fields, const std::string& layer,
                        ReadFields& read);

// The network of the basins, and what in their codes or identifiers it could
// not use.
struct BuiltNetwork {
    network::Network network;
    Screened screened;
    size_t repeatedIds = 0;
};

// The codes or identifiers that do not convert are made null in columns
// first; the checkpoint lets the caller stop the work.
BuiltNetwork BuildNetwork(const NetworkRequest& request, Columns& columns, const InputColumns& inputs,
                          const runtime::Checkpoint& checkpoint);

// The query's basins, by feature id in read order; notes for ids of no
// feature, refused when none is of a feature.
std::vector<int32_t> Answer(const Query& query, const network::Network& network, const Columns& columns,
                            const std::string& layer, std::vector<std::string>& notes);

// The value columns as numbers, by column read (empty for the network's own);
// text that is no number is refused.
std::vector<std::vector<double>> NumberColumns(const Columns& columns, const InputColumns& inputs,
                                               const ReadFields& read);

ValueColumns ValuesFrom(const Columns& columns, const InputColumns& inputs,
                        const std::vector<std::vector<double>>& numbers, const ReadFields& read,
                        host::IFields& fields);

// The basins that are their own outlets.
size_t OutletCount(const network::Network& network);

// The lines that close a run that wrote its fields into `written` features;
// identifiers: the network came from a topology field.
std::vector<std::string> ClosingLines(const std::vector<Destination>& destinations, size_t written,
                                      const BuiltNetwork& built, const Columns& columns, bool identifiers);

}  // namespace drennow::networkrun
