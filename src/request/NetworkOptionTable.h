#pragma once
// The options of `drennow network`, in one table that its parser and its
// help text read, and the checks of the request they make.

#include "networkrun/NetworkRequest.h"
#include "request/OptionTable.h"
#include "request/RunRequest.h"

#include <optional>
#include <string>
#include <vector>

namespace drennow::request {

// What `drennow network` is asked for.
struct NetworkCommandLine {
    std::vector<std::string> datasets;
    networkrun::NetworkRequest network;
    SelectionRequest selection;
    std::optional<std::string> level;
    bool trailingZerosGiven = false;
    std::optional<std::string> output;  // the file a query's basins are written to
    bool help = false;
};

using NetworkOption = Option<NetworkCommandLine>;

const std::vector<NetworkOption>& NetworkOptionTable();

// Refuses options that cannot go together, a level out of range, and a
// request without data or without anything to do.
void CheckNetworkRequest(const NetworkCommandLine& line);

// The words after `network`; raises RequestError for words it refuses.
NetworkCommandLine ParseNetworkCommandLine(const std::vector<std::string>& words);

// What `drennow network --help` prints.
std::string NetworkUsage();

}  // namespace drennow::request
