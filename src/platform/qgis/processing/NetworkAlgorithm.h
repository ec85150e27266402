#pragma once
// drennow:network: the fields of `drennow network` (sums, means, extremes,
// counts, outlets, moves, ranks) written to a new layer with every attribute
// and geometry of the input.

#include "networkrun/Outputs.h"
#include "platform/qgis/processing/BasinNetworkAlgorithm.h"

#include <vector>

namespace drennow::qgis {

class NetworkAlgorithm : public BasinNetworkAlgorithm {
public:
    static constexpr const char* kName = "network";
    static constexpr const char* kDisplayName = "Upstream sums, outlets and ranks of the network";

    // The output parameters, each a list of the command line's option values
    // joined by ';' ("AREA=UP_AREA;POP=UP_POP" for SUM).
    static constexpr const char* kSum = "SUM";
    static constexpr const char* kMean = "MEAN";
    static constexpr const char* kMin = "MIN";
    static constexpr const char* kMax = "MAX";
    static constexpr const char* kWeightedMean = "WEIGHTED_MEAN";
    static constexpr const char* kCount = "COUNT";
    static constexpr const char* kOutlet = "OUTLET";
    static constexpr const char* kMoves = "MOVES";
    static constexpr const char* kRank = "RANK";
    static constexpr const char* kOutput = "OUTPUT";
    // Outputs beside the layer.
    static constexpr const char* kBasins = "BASINS";
    static constexpr const char* kOutlets = "OUTLETS";
    static constexpr const char* kOnCycles = "ON_CYCLES";

    QString name() const override;
    QString displayName() const override;
    QStringList tags() const override;
    QString shortHelpString() const override;
    NetworkAlgorithm* createInstance() const override;

protected:
    void initAlgorithm(const QVariantMap& configuration = QVariantMap()) override;
    QVariantMap processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                 QgsProcessingFeedback* feedback) override;

private:
    QVariantMap Compute(const QVariantMap& parameters, QgsProcessingContext& context,
                        QgsProcessingFeedback& feedback);
    void AddOutputs(const QVariantMap& parameters, QgsProcessingContext& context,
                    request::NetworkCommandLine& line) const;
    size_t WriteFeatures(QgsProcessingFeatureSource& written, const SourceNetwork& source,
                         const std::vector<networkrun::Destination>& destinations, const QVariantMap& parameters,
                         QgsProcessingContext& context, FeedbackSteps& steps, QString& outputId);
};

}  // namespace drennow::qgis
