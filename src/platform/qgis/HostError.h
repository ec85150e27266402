#pragma once

#include "runtime/Error.h"

#include <QString>

#include <cstdint>

namespace drennow::qgis {

// Raises the error of a failed QGIS call with its description.
[[noreturn]] void RaiseHostError(const QString& description);

}  // namespace drennow::qgis
