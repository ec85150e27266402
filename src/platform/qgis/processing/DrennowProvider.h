#pragma once

#include <qgsprocessingprovider.h>

namespace drennow::qgis {

// The plugin's Processing provider: its algorithms in the toolbox, the Model
// Designer, batch mode and processing.run under the prefix "drennow".
class DrennowProvider : public QgsProcessingProvider {
public:
    static constexpr const char* kId = "drennow";
    // The toolbox group of every algorithm of the provider.
    static constexpr const char* kGroup = "Pfafstetter";
    static constexpr const char* kGroupId = "pfafstetter";

    QString id() const override;
    QString name() const override;
    QString longName() const override;
    QIcon icon() const override;

protected:
    void loadAlgorithms() override;
};

}  // namespace drennow::qgis
