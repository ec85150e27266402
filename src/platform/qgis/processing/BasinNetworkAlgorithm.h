#pragma once
// What the network's Processing algorithms share: the command line's network
// options as parameters, the request they make, the input's columns read and
// the network built by the network run's own steps.

#include "host/Data.h"
#include "networkrun/NetworkSteps.h"
#include "request/NetworkOptionTable.h"

#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsfields.h>
#include <qgsprocessingalgorithm.h>

#include <functional>
#include <string>
#include <vector>

class QgsProcessingFeedback;

namespace drennow::qgis {

// The fields of a Processing input as the network run sees them.
class SourceFields : public host::IFields {
public:
    explicit SourceFields(QgsFields fields) : fields_(std::move(fields)) {}
    int32_t FieldCount() override;
    host::Ref<host::IField> Field(int32_t index) override;
    int32_t FindField(const std::string& name) override;

private:
    QgsFields fields_;
};

// The items of a list parameter: "A=B;C=D" gives "A=B" and "C=D", each
// trimmed; empty items are left out.
std::vector<std::string> ListItems(const QString& text);

// The same parameters with the input's every feature, whatever is selected.
QVariantMap EveryFeatureOf(const QVariantMap& parameters, const QString& input);

class BasinNetworkAlgorithm : public QgsProcessingAlgorithm {
public:
    // Parameter names, as models, batches and processing.run give them; each
    // is the command line's option of that name (PFAF_FIELD is --pfaf-field).
    static constexpr const char* kInput = "INPUT";
    static constexpr const char* kPfafField = "PFAF_FIELD";
    static constexpr const char* kLevel = "LEVEL";
    static constexpr const char* kTrailingZeros = "TRAILING_ZEROS";
    static constexpr const char* kZeros = "ZEROS";
    static constexpr const char* kInt64 = "INT64";
    static constexpr const char* kNextDownField = "NEXT_DOWN_FIELD";
    static constexpr const char* kIdField = "ID_FIELD";

    // The readings of ZEROS, by option index.
    enum ZerosOption { kZerosClosed = 0, kZerosUnsubdivided = 1 };

    QString group() const override;
    QString groupId() const override;
    QString helpUrl() const override;

protected:
    // The network's parameters, for an input added under kInput.
    void AddNetworkParameters();
    // The help's paragraph on them.
    static QString NetworkHelp();

    // The network as the parameters ask for it; the outputs or the query are
    // the caller's to add before request::CheckNetworkRequest.
    request::NetworkCommandLine NetworkLine(const QVariantMap& parameters, QgsProcessingContext& context,
                                            const QString& layer) const;

    // The fields found and the network of every feature of a source.
    struct SourceNetwork {
        networkrun::ReadFields read;
        networkrun::InputColumns inputs;
        networkrun::Columns columns;
        std::vector<QgsFeatureId> featureIds;  // by position
    };
    // What ReadColumns reads: the fields found, no geometry.
    static QgsFeatureRequest ColumnsRequest(const SourceNetwork& source);
    // Reads the features of ColumnsRequest (every feature); step() after
    // each. The columns' object ids are the feature ids (beyond 32 bits,
    // the runtime's overflow is raised).
    static void ReadColumns(QgsFeatureIterator features, SourceNetwork& source, const std::function<void()>& step);
    static networkrun::BuiltNetwork BuildNetwork(const networkrun::NetworkRequest& request, SourceNetwork& source,
                                                 QgsProcessingFeedback& feedback);

    // Runs body; a refusal, a request refused, the runtime's error and any
    // other standard exception become a QgsProcessingException with their
    // texts, and a cancel gives no results at all.
    static QVariantMap Guarded(const std::function<QVariantMap()>& body);
};

// Progress over a known number of steps on the feedback; a cancel raises
// networkrun::CancelledByUser.
class FeedbackSteps {
public:
    FeedbackSteps(QgsProcessingFeedback& feedback, long long count);
    void Next();

private:
    QgsProcessingFeedback& feedback_;
    double percentPerStep_;
    long long done_ = 0;
};

}  // namespace drennow::qgis
