#include "platform/qgis/HostError.h"

#include "runtime/Error.h"

namespace drennow::qgis {

void RaiseHostError(const QString& description)
{
    throw runtime::Error(runtime::kHostCallFailed, description.toStdString());
}

}  // namespace drennow::qgis
