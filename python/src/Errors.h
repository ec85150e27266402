#pragma once
// The Python exception of the core's conversion errors, drennow.ConversionError.

#include "runtime/Error.h"

#include <cstddef>
#include <optional>

namespace drennow::python {

// Raises drennow.ConversionError for the runtime's error, naming the element
// it comes from (as "codes[3]: ...") where that is known. With the lock.
[[noreturn]] void RaiseConversionError(const runtime::Error& error, const char* what = nullptr,
                                       std::optional<size_t> position = std::nullopt);

}  // namespace drennow::python
