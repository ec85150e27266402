#pragma once
// A network run on a host: the network of every feature of a layer, the
// fields it writes into the selected features in one edit operation of one
// session, or the basins a query finds.

#include "host/Application.h"
#include "networkrun/NetworkRequest.h"

#include <cstdint>
#include <string>
#include <vector>

namespace drennow::networkrun {

enum class Ending {
    Finished,
    Refused,        // a request the layer cannot answer: nothing read was changed
    CheckFailed,    // values that cannot be used: nothing was changed
    Cancelled,      // nothing was saved
    ErrorReported,  // nothing was saved
};

struct NetworkOutcome {
    Ending ending = Ending::ErrorReported;
    std::string message;               // why it refused, failed or could not finish
    std::vector<std::string> notes;    // on ids of no feature
    std::vector<std::string> closing;  // what a run that finished did
    std::string layer;                 // the layer's name, once found
    size_t basins = 0;                 // its features, once read
    std::vector<int32_t> found;        // a query's features, in read order
};

// Never raises: what goes wrong is in the outcome. The application's user
// interface is never asked anything.
NetworkOutcome RunNetwork(const host::Ref<host::IApplication>& application, const NetworkRequest& request);

}  // namespace drennow::networkrun
