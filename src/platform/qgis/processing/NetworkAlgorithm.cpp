#include "platform/qgis/processing/NetworkAlgorithm.h"

#include "networkrun/NetworkTexts.h"
#include "networkrun/Stops.h"
#include "platform/qgis/QgisData.h"

#include <qgsexception.h>
#include <qgsfeaturesink.h>
#include <qgsprocessingfeedback.h>
#include <qgsprocessingoutputs.h>
#include <qgsprocessingparameters.h>
#include <qgsprocessingutils.h>

#include <memory>
#include <unordered_map>

namespace drennow::qgis {

namespace {

namespace options = networkrun::options;
using networkrun::Destination;

// Each output parameter and the command line's option whose values it lists.
struct OutputParameter {
    const char* parameter;
    const char* option;
    const char* description;
};

const OutputParameter kOutputParameters[] = {
    {NetworkAlgorithm::kSum, options::kSum, "Sums over the basins upstream"},
    {NetworkAlgorithm::kMean, options::kMean, "Means over the basins upstream"},
    {NetworkAlgorithm::kMin, options::kMin, "Least values upstream"},
    {NetworkAlgorithm::kMax, options::kMax, "Greatest values upstream"},
    {NetworkAlgorithm::kWeightedMean, options::kWeightedMean, "Weighted means over the basins upstream"},
    {NetworkAlgorithm::kCount, options::kCount, "Counts of the basins upstream"},
    {NetworkAlgorithm::kOutlet, options::kOutlet, "Outlet"},
    {NetworkAlgorithm::kMoves, options::kMoves, "Moves to the outlet"},
    {NetworkAlgorithm::kRank, options::kRank, "Rank from downstream to upstream"},
};

const request::NetworkOption& TableOption(const OutputParameter& output)
{
    return *request::OptionNamed(request::NetworkOptionTable(), output.option);
}

QVariant::Type QVariantTypeOf(int32_t hostType)
{
    switch (hostType) {
    case host::kFieldTypeLongInteger:
        return QVariant::Int;
    case host::kFieldTypeBigInteger:
        return QVariant::LongLong;
    case host::kFieldTypeString:
        return QVariant::String;
    default:
        return QVariant::Double;
    }
}

// The input's fields, then the destinations to add; where each destination
// is among them.
QgsFields OutputFields(const QgsFields& input, const std::vector<Destination>& destinations,
                       std::vector<int>& indexes)
{
    QgsFields output = input;
    for (const Destination& destination : destinations) {
        if (destination.index >= 0) {
            indexes.push_back(destination.index);
        } else {
            indexes.push_back(output.count());
            output.append(QgsField(QString::fromStdString(destination.name), QVariantTypeOf(destination.type)));
        }
    }
    return output;
}

// An existing field of the input keeps its type in the output: refused,
// before anything is written, when it cannot hold a value (a 64-bit outlet
// in a 32-bit field).
void CheckExistingHold(const std::vector<Destination>& destinations, const QgsFields& input,
                       const std::vector<int32_t>& objectIds)
{
    for (const Destination& destination : destinations) {
        if (destination.index < 0) {
            continue;
        }
        const QgsField& field = input.at(destination.index);
        for (size_t i = 0; i < destination.values.size(); ++i) {
            QVariant value = ToQVariant(destination.values[i]);
            if (!value.isNull() && !field.convertCompatible(value)) {
                throw networkrun::Refusal(
                    networkrun::Ending::CheckFailed,
                    networkrun::texts::DestinationRange(networkrun::OptionOf(destination.output->measure),
                                                        destination.name, host::FieldTypeName(destination.type),
                                                        runtime::ToText(destination.values[i]), objectIds[i]));
            }
        }
    }
}

}  // namespace

QString NetworkAlgorithm::name() const
{
    return QString::fromLatin1(kName);
}

QString NetworkAlgorithm::displayName() const
{
    return QObject::tr(kDisplayName);
}

QStringList NetworkAlgorithm::tags() const
{
    return QObject::tr("pfafstetter,network,upstream,accumulation,sum,outlet,rank,watershed,basin,hydrobasins")
        .split(',');
}

QString NetworkAlgorithm::shortHelpString() const
{
    return QObject::tr(
               "Writes the basins of the input with fields computed over the network: for each basin, over its "
               "upstream set (the basin and every basin that drains into it), the sum, mean, least or greatest "
               "value of a field, a weighted mean and the count of basins; its outlet, the moves down to it and a "
               "rank from downstream to upstream. Every attribute and the geometry are kept; each field named is "
               "added, or, when the input has it, written with its type.\n\n"
               "SUM, MEAN, MIN and MAX take SRC=DEST, WEIGHTED_MEAN SRC*WEIGHT=DEST, COUNT, OUTLET, MOVES and RANK "
               "the field DEST; several are joined by ';', as in AREA=UP_AREA;POP=UP_POP. Sums and means are real, "
               "counts, moves and ranks whole numbers, outlets of the identifier's type (the code's without "
               "ID_FIELD). Nulls are left out; a basin with no value upstream gets null.\n\n"
               "With \"Selected features only\", only the selected features are written; the network is still "
               "that of every feature.\n\n"
               "%1")
        .arg(NetworkHelp());
}

NetworkAlgorithm* NetworkAlgorithm::createInstance() const
{
    return new NetworkAlgorithm();
}

void NetworkAlgorithm::initAlgorithm(const QVariantMap&)
{
    addParameter(new QgsProcessingParameterFeatureSource(QString::fromLatin1(kInput), QObject::tr("Basins layer"),
                                                         QList<int>() << QgsProcessing::TypeVector));
    AddNetworkParameters();
    for (const OutputParameter& output : kOutputParameters) {
        const request::NetworkOption& option = TableOption(output);
        addParameter(new QgsProcessingParameterString(
            QString::fromLatin1(output.parameter),
            QObject::tr("%1 (%2 %3; several joined by ';')")
                .arg(QObject::tr(output.description), QString::fromLatin1(option.name),
                     QString::fromLatin1(option.value)),
            QVariant(), false, true));
    }
    addParameter(new QgsProcessingParameterFeatureSink(
        QString::fromLatin1(kOutput), QObject::tr("With the network's fields"), QgsProcessing::TypeVectorAnyGeometry));
    addOutput(new QgsProcessingOutputNumber(QString::fromLatin1(kBasins), QObject::tr("Basins")));
    addOutput(new QgsProcessingOutputNumber(QString::fromLatin1(kOutlets), QObject::tr("Outlets")));
    addOutput(new QgsProcessingOutputNumber(QString::fromLatin1(kOnCycles),
                                            QObject::tr("Basins on or upstream of a cycle")));
}

// Every item of every output parameter, through the command line's own
// parsing of its option.
void NetworkAlgorithm::AddOutputs(const QVariantMap& parameters, QgsProcessingContext& context,
                                  request::NetworkCommandLine& line) const
{
    for (const OutputParameter& output : kOutputParameters) {
        const QString list = parameterAsString(parameters, QString::fromLatin1(output.parameter), context);
        for (const std::string& item : ListItems(list)) {
            TableOption(output).set(line, item);
        }
    }
}

QVariantMap NetworkAlgorithm::processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                               QgsProcessingFeedback* feedback)
{
    QgsProcessingFeedback none;
    return Guarded([&] { return Compute(parameters, context, feedback ? *feedback : none); });
}

QVariantMap NetworkAlgorithm::Compute(const QVariantMap& parameters, QgsProcessingContext& context,
                                      QgsProcessingFeedback& feedback)
{
    const QString input = QString::fromLatin1(kInput);
    std::unique_ptr<QgsProcessingFeatureSource> written(parameterAsSource(parameters, input, context));
    std::unique_ptr<QgsProcessingFeatureSource> every(
        parameterAsSource(EveryFeatureOf(parameters, input), input, context));
    if (!written || !every) {
        throw QgsProcessingException(invalidSourceError(parameters, input));
    }
    const std::string layer = written->sourceName().toStdString();
    request::NetworkCommandLine line = NetworkLine(parameters, context, written->sourceName());
    AddOutputs(parameters, context, line);
    request::CheckNetworkRequest(line);
    const networkrun::NetworkRequest& request = line.network;

    // The refusals of fields come before anything is read.
    SourceFields fields(written->fields());
    SourceNetwork source;
    source.inputs = networkrun::FindInputs(request, fields, layer, source.read);
    std::vector<Destination> destinations =
        networkrun::FindDestinations(request, fields, source.read.indexes, layer);

    // The features are read twice: the columns of every feature, then the
    // features written.
    FeedbackSteps steps(feedback, every->featureCount() + written->featureCount());
    feedback.pushInfo(QString::fromLatin1(networkrun::texts::kReadingBasins));
    // Its geometry is not read, so not checked either.
    ReadColumns(every->getFeatures(ColumnsRequest(source), QgsProcessingFeatureSource::FlagSkipGeometryValidityChecks),
                source, [&steps] { steps.Next(); });
    if (source.columns.objectIds.empty()) {
        throw networkrun::Refusal(networkrun::Ending::CheckFailed, networkrun::texts::kNoFeatures);
    }
    // The values are checked before the output is created.
    std::vector<std::vector<double>> numbers =
        networkrun::NumberColumns(source.columns, source.inputs, source.read);
    networkrun::BuiltNetwork built = BuildNetwork(request, source, feedback);
    networkrun::FillValues(destinations, built.network,
                           networkrun::ValuesFrom(source.columns, source.inputs, numbers, source.read, fields),
                           source.columns.objectIds);
    CheckExistingHold(destinations, written->fields(), source.columns.objectIds);

    feedback.pushInfo(QString::fromLatin1(networkrun::texts::kWritingFields));
    QString outputId;
    const size_t count = WriteFeatures(*written, source, destinations, parameters, context, steps, outputId);
    for (const std::string& closing :
         networkrun::ClosingLines(destinations, count, built, source.columns, request.nextDownField.has_value())) {
        feedback.pushInfo(QString::fromStdString(closing));
    }
    return {{QString::fromLatin1(kOutput), outputId},
            {QString::fromLatin1(kBasins), static_cast<qlonglong>(built.network.Size())},
            {QString::fromLatin1(kOutlets), static_cast<qlonglong>(networkrun::OutletCount(built.network))},
            {QString::fromLatin1(kOnCycles), static_cast<qlonglong>(built.network.OnCycles().basins)}};
}

// The features chosen, each with its destinations' values; the count
// written.
size_t NetworkAlgorithm::WriteFeatures(QgsProcessingFeatureSource& written, const SourceNetwork& source,
                                       const std::vector<Destination>& destinations, const QVariantMap& parameters,
                                       QgsProcessingContext& context, FeedbackSteps& steps, QString& outputId)
{
    std::vector<int> indexes;
    const QgsFields fields = OutputFields(written.fields(), destinations, indexes);
    std::unique_ptr<QgsFeatureSink> sink(parameterAsSink(parameters, QString::fromLatin1(kOutput), context, outputId,
                                                         fields, written.wkbType(), written.sourceCrs()));
    if (!sink) {
        throw QgsProcessingException(invalidSinkError(parameters, QString::fromLatin1(kOutput)));
    }
    std::unordered_map<QgsFeatureId, size_t> positions;
    for (size_t i = 0; i < source.featureIds.size(); ++i) {
        positions.emplace(source.featureIds[i], i);
    }
    size_t count = 0;
    QgsFeatureIterator chosen =
        written.getFeatures(QgsFeatureRequest(), QgsProcessingFeatureSource::FlagSkipGeometryValidityChecks);
    for (QgsFeature feature; chosen.nextFeature(feature); ++count) {
        steps.Next();
        auto position = positions.find(feature.id());
        if (position == positions.end()) {
            throw QgsProcessingException(
                QObject::tr("The feature %1 was not among the features read; the input changed meanwhile")
                    .arg(feature.id()));
        }
        QgsAttributes attributes = feature.attributes();
        attributes.resize(fields.count());
        for (size_t d = 0; d < destinations.size(); ++d) {
            attributes[indexes[d]] = ToQVariant(destinations[d].values[position->second]);
        }
        feature.setAttributes(attributes);
        if (!sink->addFeature(feature, QgsFeatureSink::FastInsert)) {
            throw QgsProcessingException(writeFeatureError(sink.get(), parameters, QString::fromLatin1(kOutput)));
        }
    }
    return count;
}

}  // namespace drennow::qgis
