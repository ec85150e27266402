#include "platform/qgis/processing/UpstreamAlgorithm.h"

#include "networkrun/NetworkTexts.h"

#include <qgsexception.h>
#include <qgsprocessingfeedback.h>
#include <qgsprocessingoutputs.h>
#include <qgsprocessingparameters.h>
#include <qgsvectorlayer.h>

#include <algorithm>

namespace drennow::qgis {

QString UpstreamAlgorithm::NothingSelected(const QString& layer)
{
    return QObject::tr("No feature of %1 is selected: select the basins to start from").arg(layer);
}

QString UpstreamAlgorithm::name() const
{
    return QString::fromLatin1(kName);
}

QString UpstreamAlgorithm::displayName() const
{
    return QObject::tr(kDisplayName);
}

QStringList UpstreamAlgorithm::tags() const
{
    return QObject::tr("pfafstetter,network,upstream,downstream,select,watershed,basin,hydrobasins").split(',');
}

QString UpstreamAlgorithm::shortHelpString() const
{
    return QObject::tr(
               "Selects in the input layer the basins upstream of its selected features (those whose way down "
               "meets one of them), or on the way down from them to their outlets, the selected ones included; "
               "the new selection replaces the old one. It is \"drennow network --upstream-of\" (or "
               "--downstream-of) with the selected features' ids, and the count found is the output FOUND.\n\n"
               "%1")
        .arg(NetworkHelp());
}

QgsProcessingAlgorithm::Flags UpstreamAlgorithm::flags() const
{
    return QgsProcessingAlgorithm::flags() | QgsProcessingAlgorithm::FlagNoThreading;
}

UpstreamAlgorithm* UpstreamAlgorithm::createInstance() const
{
    return new UpstreamAlgorithm();
}

void UpstreamAlgorithm::initAlgorithm(const QVariantMap&)
{
    addParameter(new QgsProcessingParameterVectorLayer(QString::fromLatin1(kInput), QObject::tr("Basins layer"),
                                                       QList<int>() << QgsProcessing::TypeVector));
    AddNetworkParameters();
    addParameter(new QgsProcessingParameterEnum(
        QString::fromLatin1(kDirection), QObject::tr("Select the basins"),
        QStringList{QObject::tr("Upstream of the selected ones (--upstream-of)"),
                    QObject::tr("On the way down from them (--downstream-of)")},
        false, kUpstream));
    addOutput(new QgsProcessingOutputVectorLayer(QString::fromLatin1(kOutput), QObject::tr("Selected basins")));
    addOutput(new QgsProcessingOutputNumber(QString::fromLatin1(kFound), QObject::tr("Basins selected")));
}

QVariantMap UpstreamAlgorithm::processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                                QgsProcessingFeedback* feedback)
{
    QgsProcessingFeedback none;
    return Guarded([&] { return Select(parameters, context, feedback ? *feedback : none); });
}

QVariantMap UpstreamAlgorithm::Select(const QVariantMap& parameters, QgsProcessingContext& context,
                                      QgsProcessingFeedback& feedback)
{
    QgsVectorLayer* layer = parameterAsVectorLayer(parameters, QString::fromLatin1(kInput), context);
    if (!layer) {
        throw QgsProcessingException(invalidSourceError(parameters, QString::fromLatin1(kInput)));
    }
    const QgsFeatureIds selected = layer->selectedFeatureIds();
    if (selected.isEmpty()) {
        throw QgsProcessingException(NothingSelected(layer->name()));
    }
    request::NetworkCommandLine line = NetworkLine(parameters, context, layer->name());
    const bool upstream = parameterAsEnum(parameters, QString::fromLatin1(kDirection), context) == kUpstream;
    networkrun::Query query{upstream ? networkrun::Direction::Upstream : networkrun::Direction::Downstream,
                            std::vector<int64_t>(selected.begin(), selected.end())};
    std::sort(query.fids.begin(), query.fids.end());
    line.network.query = query;
    request::CheckNetworkRequest(line);

    const std::string name = layer->name().toStdString();
    SourceFields fields(layer->fields());
    SourceNetwork source;
    source.inputs = networkrun::FindInputs(line.network, fields, name, source.read);
    FeedbackSteps steps(feedback, layer->featureCount());
    feedback.pushInfo(QString::fromLatin1(networkrun::texts::kReadingBasins));
    ReadColumns(layer->getFeatures(ColumnsRequest(source)), source, [&steps] { steps.Next(); });
    networkrun::BuiltNetwork built = BuildNetwork(line.network, source, feedback);
    std::vector<std::string> notes;
    std::vector<int32_t> found = networkrun::Answer(query, built.network, source.columns, name, notes);
    for (const std::string& note : notes) {
        feedback.reportError(QString::fromStdString(note));
    }
    layer->selectByIds(QgsFeatureIds(found.begin(), found.end()));
    feedback.pushInfo(QString::fromStdString(networkrun::texts::FeaturesFound(found.size(), built.network.Size())));
    return {{QString::fromLatin1(kOutput), layer->id()},
            {QString::fromLatin1(kFound), static_cast<qlonglong>(found.size())}};
}

}  // namespace drennow::qgis
