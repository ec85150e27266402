#include "platform/qgis/processing/DrennowProvider.h"

#include "command/RunTexts.h"
#include "platform/qgis/processing/NetworkAlgorithm.h"
#include "platform/qgis/processing/NextDownIdAlgorithm.h"
#include "platform/qgis/processing/UpstreamAlgorithm.h"

#include <qgsapplication.h>

namespace drennow::qgis {

QString DrennowProvider::id() const
{
    return QString::fromLatin1(kId);
}

QString DrennowProvider::name() const
{
    return QString::fromLatin1(command::texts::kTitle);
}

QString DrennowProvider::longName() const
{
    return name();
}

QIcon DrennowProvider::icon() const
{
    return QgsApplication::getThemeIcon(QStringLiteral("/processingAlgorithm.svg"));
}

void DrennowProvider::loadAlgorithms()
{
    addAlgorithm(new NextDownIdAlgorithm());
    addAlgorithm(new NetworkAlgorithm());
    addAlgorithm(new UpstreamAlgorithm());
}

}  // namespace drennow::qgis
