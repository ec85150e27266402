#pragma once

#include "command/NextDownAssigner.h"
#include "runtime/Variant.h"

#include <qgsprocessingalgorithm.h>

#include <vector>

namespace drennow::qgis {

// The run's pass without its questions: the answers are parameters, the
// features with NextDownID go to a new layer and the failure lines to a
// table. Values and failure lines come from the command's own assigner.
class NextDownIdAlgorithm : public QgsProcessingAlgorithm {
public:
    static constexpr const char* kName = "nextdownid";
    static constexpr const char* kDisplayName = "Fill NextDownID from Pfafstetter codes";

    // Parameter names, as models, batches and processing.run give them.
    static constexpr const char* kInput = "INPUT";
    static constexpr const char* kPfafField = "PFAF_FIELD";
    static constexpr const char* kIdField = "ID_FIELD";
    static constexpr const char* kTrailingZeros = "TRAILING_ZEROS";
    static constexpr const char* kZeros = "ZEROS";
    static constexpr const char* kInt64 = "INT64";
    static constexpr const char* kCompareWith = "COMPARE_WITH";
    static constexpr const char* kOutput = "OUTPUT";
    static constexpr const char* kFailures = "FAILURES";
    // Outputs beside the sinks.
    static constexpr const char* kFailureCount = "FAILURE_COUNT";
    static constexpr const char* kAgreeing = "AGREEING";
    static constexpr const char* kCompared = "COMPARED";

    // The readings of ZEROS, by option index.
    enum ZerosOption { kZerosClosed = 0, kZerosUnsubdivided = 1 };

    QString name() const override;
    QString displayName() const override;
    QStringList tags() const override;
    QString group() const override;
    QString groupId() const override;
    QString shortHelpString() const override;
    QString helpUrl() const override;
    NextDownIdAlgorithm* createInstance() const override;

protected:
    void initAlgorithm(const QVariantMap& configuration = QVariantMap()) override;
    QVariantMap processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                 QgsProcessingFeedback* feedback) override;

private:
    struct Request;
    struct Sinks;
    class Steps;

    Request ReadRequest(const QVariantMap& parameters, QgsProcessingContext& context, const QgsFields& fields) const;
    int PfafField(const QVariantMap& parameters, QgsProcessingContext& context, const QgsFields& fields) const;
    static bool ReadCodes(QgsProcessingFeatureSource& every, int pfaf, int id, Steps& steps,
                          std::vector<runtime::Variant>& codes, std::vector<runtime::Variant>& ids);
    bool WriteFeatures(QgsProcessingFeatureSource& written, const Request& request,
                       const command::NextDownAssigner& assigner, bool inReadOrder, const QVariantMap& parameters,
                       Sinks& sinks, Steps& steps, QgsProcessingFeedback& feedback, QVariantMap& results) const;
};

}  // namespace drennow::qgis
