#pragma once

#include "runtime/Error.h"

#include <QString>
#include <QStringList>

#include <cstdint>

class QgsVectorLayer;

namespace drennow::qgis {

// Raises the error of a failed QGIS call with its description.
[[noreturn]] void RaiseHostError(const QString& description);

// Raises the error of a failed call on a layer: what failed, then QGIS's or
// the provider's own words (the layer's data provider's errors when none are
// given), so the user never sees an error without a reason.
[[noreturn]] void RaiseLayerError(const QgsVectorLayer& layer, const QString& whatFailed,
                                  const QStringList& reasons = {});

}  // namespace drennow::qgis
