#pragma once

#include <cstdint>
#include <string>

namespace drennow::gdalhost {

// The result code of a failed host call (E_FAIL), as the boundary reports it.
inline constexpr int32_t kHostFailure = -2147467259;

// Raises a failed host call with the description given.
[[noreturn]] void RaiseHostError(const std::string& description);

// Raises a failed host call: what was attempted and GDAL's own reason.
[[noreturn]] void RaiseGdalError(const std::string& attempted);

}  // namespace drennow::gdalhost
