#pragma once
// drennow:upstream: selects in a layer the basins upstream (or on the way
// down) of its selected features, the selected ones included.

#include "platform/qgis/processing/BasinNetworkAlgorithm.h"

namespace drennow::qgis {

class UpstreamAlgorithm : public BasinNetworkAlgorithm {
public:
    static constexpr const char* kName = "upstream";
    static constexpr const char* kDisplayName = "Select the basins upstream or downstream";

    static constexpr const char* kDirection = "DIRECTION";
    static constexpr const char* kOutput = "OUTPUT";
    static constexpr const char* kFound = "FOUND";
    // The choices of DIRECTION, by option index.
    enum DirectionOption { kUpstream = 0, kDownstream = 1 };

    // The refusal of a layer with nothing selected.
    static QString NothingSelected(const QString& layer);

    QString name() const override;
    QString displayName() const override;
    QStringList tags() const override;
    QString shortHelpString() const override;
    // It changes a layer's selection, which is done on the main thread.
    Flags flags() const override;
    UpstreamAlgorithm* createInstance() const override;

protected:
    void initAlgorithm(const QVariantMap& configuration = QVariantMap()) override;
    QVariantMap processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                 QgsProcessingFeedback* feedback) override;

private:
    QVariantMap Select(const QVariantMap& parameters, QgsProcessingContext& context, QgsProcessingFeedback& feedback);
};

}  // namespace drennow::qgis
