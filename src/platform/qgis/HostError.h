#pragma once

#include <QString>

#include <cstdint>

namespace drennow::qgis {

// The number a failed QGIS call carries: the generic failure result code.
inline constexpr int32_t kHostCallFailed = -2147467259;

// Raises the error of a failed QGIS call with its description.
[[noreturn]] void RaiseHostError(const QString& description);

}  // namespace drennow::qgis
