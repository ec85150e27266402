#include "platform/qgis/HostError.h"

#include "runtime/Error.h"

#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>

namespace drennow::qgis {

void RaiseHostError(const QString& description)
{
    throw runtime::Error(runtime::kHostCallFailed, description.toStdString());
}

void RaiseLayerError(const QgsVectorLayer& layer, const QString& whatFailed, const QStringList& reasons)
{
    QStringList said = reasons;
    const QgsVectorDataProvider* provider = layer.dataProvider();
    if (said.isEmpty() && provider) {
        said = provider->errors();
    }
    said.removeAll(QString());
    QString description = QStringLiteral("%1 (layer %2").arg(whatFailed, layer.name());
    if (provider) {
        description += QStringLiteral(", provider %1").arg(provider->name());
    }
    description += QStringLiteral("): ");
    if (said.isEmpty()) {
        // Some providers fail without a word; what they can do says why.
        description += provider ? QStringLiteral("the provider gave no reason; it can: %1")
                                      .arg(provider->capabilitiesString().isEmpty()
                                               ? QStringLiteral("nothing but read")
                                               : provider->capabilitiesString())
                                : QStringLiteral("the layer has no data provider");
    } else {
        description += said.join(QLatin1Char('\n'));
    }
    RaiseHostError(description);
}

}  // namespace drennow::qgis
