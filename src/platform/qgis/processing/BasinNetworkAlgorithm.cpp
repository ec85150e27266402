#include "platform/qgis/processing/BasinNetworkAlgorithm.h"

#include "command/RunTexts.h"
#include "networkrun/NetworkTexts.h"
#include "networkrun/Stops.h"
#include "platform/qgis/QgisData.h"
#include "platform/qgis/processing/DrennowProvider.h"
#include "request/RunRequest.h"
#include "runtime/Error.h"

#include <qgsexception.h>
#include <qgsprocessingfeedback.h>
#include <qgsprocessingparameters.h>

#include <QUrl>

#include <limits>

namespace drennow::qgis {

namespace {

QString Text(const std::string& text)
{
    return QString::fromStdString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

}  // namespace

int32_t SourceFields::FieldCount()
{
    return fields_.count();
}

host::Ref<host::IField> SourceFields::Field(int32_t index)
{
    if (index < 0 || index >= fields_.count()) {
        runtime::Raise(runtime::kSubscriptOutOfRange);
    }
    const QgsField& field = fields_.at(index);
    return std::make_shared<QgisField>(field.name(), FieldTypeOf(field, false));
}

int32_t SourceFields::FindField(const std::string& name)
{
    return fields_.lookupField(QString::fromStdString(name));
}

std::vector<std::string> ListItems(const QString& text)
{
    std::vector<std::string> items;
    for (const QString& item : text.split(QLatin1Char(';'))) {
        if (!item.trimmed().isEmpty()) {
            items.push_back(item.trimmed().toStdString());
        }
    }
    return items;
}

QVariantMap EveryFeatureOf(const QVariantMap& parameters, const QString& input)
{
    QVariantMap every = parameters;
    QVariant value = parameters.value(input);
    if (value.canConvert<QgsProcessingFeatureSourceDefinition>()) {
        auto definition = value.value<QgsProcessingFeatureSourceDefinition>();
        definition.selectedFeaturesOnly = false;
        every.insert(input, QVariant::fromValue(definition));
    }
    return every;
}

FeedbackSteps::FeedbackSteps(QgsProcessingFeedback& feedback, long long count)
    : feedback_(feedback), percentPerStep_(count > 0 ? 100.0 / static_cast<double>(count) : 0)
{
}

void FeedbackSteps::Next()
{
    if (feedback_.isCanceled()) {
        throw networkrun::CancelledByUser{};
    }
    feedback_.setProgress(static_cast<double>(done_++) * percentPerStep_);
}

QString BasinNetworkAlgorithm::group() const
{
    return QObject::tr(DrennowProvider::kGroup);
}

QString BasinNetworkAlgorithm::groupId() const
{
    return QString::fromLatin1(DrennowProvider::kGroupId);
}

QString BasinNetworkAlgorithm::helpUrl() const
{
    QUrl readme = QUrl::fromLocalFile(QStringLiteral(DRENNOW_DOC_DIR "/README.md"));
    readme.setFragment(QStringLiteral("processing-the-network-of-basins"));
    return readme.toString();
}

void BasinNetworkAlgorithm::AddNetworkParameters()
{
    const QString input = QString::fromLatin1(kInput);
    addParameter(new QgsProcessingParameterField(QString::fromLatin1(kPfafField),
                                                 QObject::tr("Pfafstetter code field (--pfaf-field)"), QVariant(),
                                                 input, QgsProcessingParameterField::Any, false, true));
    addParameter(new QgsProcessingParameterNumber(QString::fromLatin1(kLevel),
                                                  QObject::tr("Pfafstetter level, checked only (--level)"),
                                                  QgsProcessingParameterNumber::Integer, QVariant(), true));
    addParameter(new QgsProcessingParameterBoolean(QString::fromLatin1(kTrailingZeros),
                                                   QObject::tr("Allow trailing zeros in the codes (--trailing-zeros)"),
                                                   false));
    addParameter(new QgsProcessingParameterEnum(
        QString::fromLatin1(kZeros), QObject::tr("A 0 digit marks (--zeros)"),
        QStringList{QObject::tr("A closed basin"), QObject::tr("A unit not subdivided at its level")}, false,
        kZerosClosed));
    addParameter(
        new QgsProcessingParameterBoolean(QString::fromLatin1(kInt64), QObject::tr("64-bit codes (--int64)"), false));
    addParameter(new QgsProcessingParameterField(
        QString::fromLatin1(kNextDownField), QObject::tr("Or the field of the basin each drains into (--next-down-field)"),
        QVariant(), input, QgsProcessingParameterField::Any, false, true));
    addParameter(new QgsProcessingParameterField(QString::fromLatin1(kIdField),
                                                 QObject::tr("Identifier field (--id-field)"), QVariant(), input,
                                                 QgsProcessingParameterField::Any, false, true));
}

QString BasinNetworkAlgorithm::NetworkHelp()
{
    return QObject::tr(
        "The network comes from the Pfafstetter codes of PFAF_FIELD (with LEVEL, TRAILING_ZEROS, ZEROS and "
        "INT64), or from NEXT_DOWN_FIELD, the identifier of the basin each basin drains into, with ID_FIELD: a "
        "basin drains into the first basin, in the layer's order, whose code is its next-down code (or whose "
        "identifier is its next-down value). Null, zero, negative and unconvertible codes end a chain. It is "
        "built from every feature of the input.\n\n"
        "Each parameter is the option of the same name of \"drennow network\" (PFAF_FIELD is --pfaf-field), and "
        "the refusals name the options so.");
}

request::NetworkCommandLine BasinNetworkAlgorithm::NetworkLine(const QVariantMap& parameters,
                                                                QgsProcessingContext& context,
                                                                const QString& layer) const
{
    request::NetworkCommandLine line;
    // The command line's checks want the data named.
    line.datasets = {layer.toStdString()};
    networkrun::NetworkRequest& network = line.network;
    auto field = [&](const char* name) -> std::optional<std::string> {
        QString value = parameterAsString(parameters, QString::fromLatin1(name), context);
        return value.isEmpty() ? std::nullopt : std::optional<std::string>(value.toStdString());
    };
    network.pfafField = field(kPfafField);
    network.nextDownField = field(kNextDownField);
    network.idField = field(kIdField);
    const QVariant level = parameters.value(QString::fromLatin1(kLevel));
    if (level.isValid() && !level.toString().isEmpty()) {
        line.level = std::to_string(parameterAsInt(parameters, QString::fromLatin1(kLevel), context));
    }
    // Unchecked is no answer, as the option left out.
    if (parameterAsBool(parameters, QString::fromLatin1(kTrailingZeros), context)) {
        network.allowTrailingZeros = true;
        line.trailingZerosGiven = true;
    }
    network.options.zerosUnsubdivided =
        parameterAsEnum(parameters, QString::fromLatin1(kZeros), context) == kZerosUnsubdivided;
    network.options.int64 = parameterAsBool(parameters, QString::fromLatin1(kInt64), context);
    return line;
}

QgsFeatureRequest BasinNetworkAlgorithm::ColumnsRequest(const SourceNetwork& source)
{
    return QgsFeatureRequest()
        .setFlags(QgsFeatureRequest::NoGeometry)
        .setSubsetOfAttributes(QgsAttributeList(source.read.indexes.begin(), source.read.indexes.end()));
}

void BasinNetworkAlgorithm::ReadColumns(QgsFeatureIterator features, SourceNetwork& source,
                                        const std::function<void()>& step)
{
    const std::vector<int32_t>& attributes = source.read.indexes;
    networkrun::Columns& columns = source.columns;
    columns.values.resize(attributes.size());
    for (QgsFeature feature; features.nextFeature(feature);) {
        step();
        if (feature.id() > std::numeric_limits<int32_t>::max() || feature.id() < std::numeric_limits<int32_t>::min()) {
            runtime::Raise(runtime::kOverflow);
        }
        source.featureIds.push_back(feature.id());
        columns.objectIds.push_back(static_cast<int32_t>(feature.id()));
        for (size_t column = 0; column < attributes.size(); ++column) {
            columns.values[column].push_back(ToVariant(feature.attribute(attributes[column])));
        }
    }
}

networkrun::BuiltNetwork BasinNetworkAlgorithm::BuildNetwork(const networkrun::NetworkRequest& request,
                                                             SourceNetwork& source, QgsProcessingFeedback& feedback)
{
    feedback.pushInfo(QString::fromLatin1(networkrun::texts::kBuildingNetwork));
    runtime::Checkpoint checkpoint([&feedback] {
        if (feedback.isCanceled()) {
            throw networkrun::CancelledByUser{};
        }
    });
    return networkrun::BuildNetwork(request, source.columns, source.inputs, checkpoint);
}

QVariantMap BasinNetworkAlgorithm::Guarded(const std::function<QVariantMap()>& body)
{
    try {
        return body();
    } catch (const networkrun::CancelledByUser&) {
        return {};
    } catch (const networkrun::Refusal& refusal) {
        throw QgsProcessingException(Text(refusal.what()));
    } catch (const request::RequestError& refused) {
        throw QgsProcessingException(Text(refused.what()));
    } catch (const runtime::Error& error) {
        throw QgsProcessingException(Text(command::texts::ErrorReport(error.Number(), error.Description())));
    } catch (const std::exception& error) {
        throw QgsProcessingException(Text(error.what()));
    }
}

}  // namespace drennow::qgis
