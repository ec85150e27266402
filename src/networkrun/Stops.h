#pragma once
// How a network run stops before its end: refused, or cancelled by the user.

#include "networkrun/NetworkRun.h"

#include <stdexcept>
#include <string>

namespace drennow::networkrun {

// Raised before anything changes.
struct Refusal : std::runtime_error {
    Refusal(Ending ending, const std::string& text) : std::runtime_error(text), ending(ending) {}
    Ending ending;
};

struct CancelledByUser {};

}  // namespace drennow::networkrun
