#include "platform/qgis/processing/NextDownIdAlgorithm.h"

#include "command/Comparison.h"
#include "command/QuestionNames.h"
#include "command/NextDownAssigner.h"
#include "command/RunOptions.h"
#include "command/RunTexts.h"
#include "platform/qgis/QgisData.h"
#include "runtime/Error.h"

#include <qgsexception.h>
#include <qgsfeaturesink.h>
#include <qgsprocessingfeedback.h>
#include <qgsprocessingoutputs.h>
#include <qgsprocessingparameters.h>
#include <qgsprocessingutils.h>

#include <QUrl>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace drennow::qgis {

namespace {

const QString kNextDownFieldName = QString::fromLatin1(command::names::kNextDownField);

QString Text(const std::string& text)
{
    return QString::fromStdString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// A text broken into lines for a message box, as flowing paragraphs: the
// help pane breaks lines itself.
QString Paragraphs(const std::string& text)
{
    QStringList paragraphs = Text(text).split(QStringLiteral("\n\n"));
    for (QString& paragraph : paragraphs) {
        paragraph = paragraph.simplified();
    }
    return paragraphs.join(QStringLiteral("\n\n"));
}

// The failure table's field names: the columns of the run's failure log.
QgsFeature FailureRow(const QgsFields& fields, QgsFeatureId feature, const command::Assigned::Failure& failure)
{
    QgsFeature row(fields);
    row.setAttribute(0, feature);
    row.setAttribute(1, failure.code);
    row.setAttribute(2, QString::fromStdString(failure.description));
    return row;
}

// The same input, every feature of it: the codes of the whole layer are the
// candidates, as in the run, whatever is selected.
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

bool IsInteger(const QgsField& field)
{
    switch (field.type()) {
    case QVariant::Int:
    case QVariant::UInt:
    case QVariant::LongLong:
    case QVariant::ULongLong:
        return true;
    default:
        return false;
    }
}

QStringList PfafNames()
{
    QStringList names;
    for (const std::string& name : command::names::kPfafFields) {
        names << QString::fromStdString(name);
    }
    return names;
}

// The field bearing the best-ranked of the Pfafstetter question's own
// names, compared without case as its list does; -1 when none does.
int NamedPfafField(const QgsFields& fields)
{
    for (const std::string& name : command::names::kPfafFields) {
        for (int index = 0; index < fields.count(); ++index) {
            if (fields.at(index).name().compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0) {
                return index;
            }
        }
    }
    return -1;
}

// An integer field of the input by name, as the run finds its fields.
int IntegerField(const QgsFields& fields, const QString& name)
{
    int index = fields.lookupField(name);
    if (index < 0) {
        throw QgsProcessingException(Text(command::texts::FieldNotFound(name.toStdString())));
    }
    if (!IsInteger(fields.at(index))) {
        throw QgsProcessingException(QObject::tr("The field %1 does not hold integers").arg(name));
    }
    return index;
}

// The input's fields with NextDownID of the run's width: replaced where the
// input has one (the run writes into it), else added.
QgsFields OutputFields(const QgsFields& input, bool int64, int& nextDownIndex)
{
    QgsField nextDown(kNextDownFieldName, int64 ? QVariant::LongLong : QVariant::Int);
    nextDownIndex = input.lookupField(kNextDownFieldName);
    QgsFields output;
    for (int index = 0; index < input.count(); ++index) {
        output.append(index == nextDownIndex ? nextDown : input.at(index));
    }
    if (nextDownIndex < 0) {
        nextDownIndex = output.count();
        output.append(nextDown);
    }
    return output;
}

}  // namespace

QString NextDownIdAlgorithm::name() const
{
    return QString::fromLatin1(kName);
}

QString NextDownIdAlgorithm::displayName() const
{
    return QObject::tr(kDisplayName);
}

QStringList NextDownIdAlgorithm::tags() const
{
    return QObject::tr("pfafstetter,nextdown,downstream,watershed,basin,hydrobasins,drainage").split(',');
}

QString NextDownIdAlgorithm::group() const
{
    return QObject::tr("Pfafstetter");
}

QString NextDownIdAlgorithm::groupId() const
{
    return QStringLiteral("pfafstetter");
}

QString NextDownIdAlgorithm::shortHelpString() const
{
    return QObject::tr(
               "Writes the watershed polygons of the input with NextDownID: the code of the basin each one drains "
               "into, found from the Pfafstetter codes of every feature of the input, or, with an identifier "
               "field, that basin's identifier. The values and failure codes are those of the Drennow menu "
               "action.\n\n"
               "With \"Selected features only\", only the selected features are written; the codes of every "
               "feature are still the candidates.\n\n"
               "Pfafstetter code field: left empty, the field named %1 (the first of these names that the input "
               "has, in this order) is taken; an input with none of them needs the field named.\n\n"
               "Allow trailing zeros: zeros at the end of Pfafstetter codes usually mark an internal basin; some "
               "datasets, such as EDNA catchments, have trailing zeros that do not. Check it for such data; "
               "leave it unchecked where a 0 digit marks a unit not subdivided, with which it cannot be used.\n\n"
               "A 0 digit marks: a closed basin, or a unit not subdivided at its level (as HydroBASINS codes "
               "it).\n\n"
               "64-bit codes: codes of up to 19 digits and a 64-bit NextDownID.\n\n"
               "Compare with: a field to compare the values written with (such as HydroBASINS' NEXT_DOWN); the "
               "agreement goes to the log, the counts to the outputs Agreeing values and Compared values.\n\n"
               "Failures: a table with a row for each feature whose downstream basin could not be determined, "
               "as the lines of the menu action's log; their number is the output Failure count.")
        .arg(PfafNames().join(QStringLiteral(", ")));
}

QString NextDownIdAlgorithm::helpUrl() const
{
    QUrl readme = QUrl::fromLocalFile(QStringLiteral(DRENNOW_DOC_DIR "/README.md"));
    readme.setFragment(QStringLiteral("processing-toolbox-models-and-batches"));
    return readme.toString();
}

NextDownIdAlgorithm* NextDownIdAlgorithm::createInstance() const
{
    return new NextDownIdAlgorithm();
}

void NextDownIdAlgorithm::initAlgorithm(const QVariantMap&)
{
    const QString input = QString::fromLatin1(kInput);
    addParameter(new QgsProcessingParameterFeatureSource(input, QObject::tr("Watershed layer"),
                                                         QList<int>() << QgsProcessing::TypeVectorPolygon));
    // Optional in the dialog so that no field is preselected merely for
    // being first: the run takes a field of a Pfafstetter name, or refuses.
    addParameter(new QgsProcessingParameterField(
        QString::fromLatin1(kPfafField), QObject::tr("Pfafstetter code field (empty: the field of a Pfafstetter name)"),
        QVariant(), input, QgsProcessingParameterField::Numeric, false, true));
    addParameter(new QgsProcessingParameterField(
        QString::fromLatin1(kIdField), QObject::tr("Identifier field to write (empty: the downstream codes)"),
        QVariant(), input, QgsProcessingParameterField::Numeric, false, true));
    addParameter(new QgsProcessingParameterBoolean(QString::fromLatin1(kTrailingZeros),
                                                   QObject::tr("Allow trailing zeros in the codes"), true));
    addParameter(new QgsProcessingParameterEnum(
        QString::fromLatin1(kZeros), QObject::tr("A 0 digit marks"),
        QStringList{QObject::tr("A closed basin"), QObject::tr("A unit not subdivided at its level")}, false,
        kZerosClosed));
    addParameter(new QgsProcessingParameterBoolean(QString::fromLatin1(kInt64),
                                                   QObject::tr("64-bit codes and identifiers"), false));
    addParameter(new QgsProcessingParameterField(QString::fromLatin1(kCompareWith),
                                                 QObject::tr("Compare the values with the field"), QVariant(), input,
                                                 QgsProcessingParameterField::Numeric, false, true));
    addParameter(new QgsProcessingParameterFeatureSink(QString::fromLatin1(kOutput), QObject::tr("With NextDownID"),
                                                       QgsProcessing::TypeVectorPolygon));
    addParameter(new QgsProcessingParameterFeatureSink(QString::fromLatin1(kFailures), QObject::tr("Failures"),
                                                       QgsProcessing::TypeVector, QVariant(), true, true));
    addOutput(new QgsProcessingOutputNumber(QString::fromLatin1(kFailureCount), QObject::tr("Failure count")));
    addOutput(new QgsProcessingOutputNumber(QString::fromLatin1(kAgreeing), QObject::tr("Agreeing values")));
    addOutput(new QgsProcessingOutputNumber(QString::fromLatin1(kCompared), QObject::tr("Compared values")));
}

// What the parameters ask for, with the fields they name.
struct NextDownIdAlgorithm::Request {
    int pfaf = -1;
    int id = -1;  // pfaf for the downstream codes
    int compare = -1;
    command::RunOptions options;
    bool allowTrailingZeros = false;
};

// The new layer and the failure table (none when skipped).
struct NextDownIdAlgorithm::Sinks {
    QgsFields fields;
    int nextDown = -1;
    std::unique_ptr<QgsFeatureSink> output;
    QString outputId;
    QgsFields failureFields;
    std::unique_ptr<QgsFeatureSink> failures;
    QString failuresId;
};

// Progress through the features read, on the feedback; false once the
// user cancelled.
class NextDownIdAlgorithm::Steps {
public:
    Steps(QgsProcessingFeedback& feedback, long long count)
        : feedback_(feedback), percentPerStep_(count > 0 ? 100.0 / static_cast<double>(count) : 0)
    {
    }
    bool Next()
    {
        if (feedback_.isCanceled()) {
            return false;
        }
        feedback_.setProgress(static_cast<double>(done_++) * percentPerStep_);
        return true;
    }

private:
    QgsProcessingFeedback& feedback_;
    double percentPerStep_;
    long long done_ = 0;
};

// The code (and identifier) of every feature, in the layer's order; false
// when cancelled. Only those fields are read, and no geometry.
bool NextDownIdAlgorithm::ReadCodes(QgsProcessingFeatureSource& every, int pfaf, int id, Steps& steps,
                                    std::vector<runtime::Variant>& codes, std::vector<runtime::Variant>& ids)
{
    codes.reserve(static_cast<size_t>(std::max<long long>(0, every.featureCount())));
    QgsFeatureIterator all = every.getFeatures(
        QgsFeatureRequest().setFlags(QgsFeatureRequest::NoGeometry).setSubsetOfAttributes({pfaf, id}),
        QgsProcessingFeatureSource::FlagSkipGeometryValidityChecks);
    for (QgsFeature feature; all.nextFeature(feature);) {
        if (!steps.Next()) {
            return false;
        }
        codes.push_back(ToVariant(feature.attribute(pfaf)));
        if (id != pfaf) {
            ids.push_back(ToVariant(feature.attribute(id)));
        }
    }
    return true;
}

NextDownIdAlgorithm::Request NextDownIdAlgorithm::ReadRequest(const QVariantMap& parameters,
                                                              QgsProcessingContext& context,
                                                              const QgsFields& fields) const
{
    Request request;
    request.pfaf = PfafField(parameters, context, fields);
    const QString idName = parameterAsString(parameters, QString::fromLatin1(kIdField), context);
    // As the populate question's Yes: the codes themselves.
    request.id = idName.isEmpty() ? request.pfaf : IntegerField(fields, idName);
    request.options.int64 = parameterAsBool(parameters, QString::fromLatin1(kInt64), context);
    request.options.zerosUnsubdivided =
        parameterAsEnum(parameters, QString::fromLatin1(kZeros), context) == kZerosUnsubdivided;
    const QString compareName = parameterAsString(parameters, QString::fromLatin1(kCompareWith), context);
    request.compare = compareName.isEmpty() ? -1 : IntegerField(fields, compareName);
    if (request.compare >= 0) {
        request.options.compareWith = fields.at(request.compare).name().toStdString();
    }
    // Trailing zeros mean nothing where a 0 marks a unit not subdivided:
    // asking for both is refused, as on the command line.
    const bool trailingZeros = parameterAsBool(parameters, QString::fromLatin1(kTrailingZeros), context);
    if (request.options.zerosUnsubdivided && trailingZeros &&
        parameters.contains(QString::fromLatin1(kTrailingZeros))) {
        throw QgsProcessingException(QObject::tr(
            "Allow trailing zeros (TRAILING_ZEROS) cannot be used where a 0 digit marks a unit not subdivided "
            "(ZEROS = 1): zeros there are no closed basins. Clear it, or choose closed basins."));
    }
    request.allowTrailingZeros = !request.options.zerosUnsubdivided && trailingZeros;
    return request;
}

// The field named, or the one of a Pfafstetter name; never a guess.
int NextDownIdAlgorithm::PfafField(const QVariantMap& parameters, QgsProcessingContext& context,
                                   const QgsFields& fields) const
{
    const QString named = parameterAsString(parameters, QString::fromLatin1(kPfafField), context);
    if (!named.isEmpty()) {
        return IntegerField(fields, named);
    }
    const int index = NamedPfafField(fields);
    if (index < 0) {
        throw QgsProcessingException(
            QObject::tr("No field of the input bears a Pfafstetter name (%1); name the field of the codes in "
                        "PFAF_FIELD. The input's fields: %2.")
                .arg(PfafNames().join(QStringLiteral(", ")), fields.names().join(QStringLiteral(", "))));
    }
    return IntegerField(fields, fields.at(index).name());
}

QVariantMap NextDownIdAlgorithm::processAlgorithm(const QVariantMap& parameters, QgsProcessingContext& context,
                                                  QgsProcessingFeedback* feedback)
{
    const QString input = QString::fromLatin1(kInput);
    std::unique_ptr<QgsProcessingFeatureSource> written(parameterAsSource(parameters, input, context));
    std::unique_ptr<QgsProcessingFeatureSource> every(
        parameterAsSource(EveryFeatureOf(parameters, input), input, context));
    if (!written || !every) {
        throw QgsProcessingException(invalidSourceError(parameters, input));
    }
    const Request request = ReadRequest(parameters, context, written->fields());
    Sinks sinks;
    sinks.fields = OutputFields(written->fields(), request.options.int64, sinks.nextDown);
    sinks.output.reset(parameterAsSink(parameters, QString::fromLatin1(kOutput), context, sinks.outputId, sinks.fields,
                                       written->wkbType(), written->sourceCrs()));
    if (!sinks.output) {
        throw QgsProcessingException(invalidSinkError(parameters, QString::fromLatin1(kOutput)));
    }
    const auto& columns = command::texts::kLogColumns;
    sinks.failureFields.append(QgsField(QString::fromLatin1(columns[0]), QVariant::LongLong));
    sinks.failureFields.append(QgsField(QString::fromLatin1(columns[1]), QVariant::Int));
    sinks.failureFields.append(QgsField(QString::fromLatin1(columns[2]), QVariant::String));
    sinks.failures.reset(parameterAsSink(parameters, QString::fromLatin1(kFailures), context, sinks.failuresId,
                                         sinks.failureFields, QgsWkbTypes::NoGeometry));

    // The features are read twice: the codes of every feature, then the
    // features written.
    Steps steps(*feedback, every->featureCount() + written->featureCount());
    QVariantMap results;
    try {
        std::vector<runtime::Variant> codes;
        std::vector<runtime::Variant> ids;
        if (!ReadCodes(*every, request.pfaf, request.id, steps, codes, ids)) {
            return {};
        }
        const command::ValueAt idAt =
            request.id != request.pfaf ? command::ValueAt([&ids](size_t i) { return ids[i]; }) : command::ValueAt();
        const command::NextDownAssigner assigner(codes.size(), [&codes](size_t i) { return codes[i]; }, idAt,
                                                 request.options, request.allowTrailingZeros);
        // In the order the codes were read, when every feature is written.
        const bool inReadOrder = written->featureCount() == static_cast<long long>(codes.size());
        codes = {};
        ids = {};
        if (!WriteFeatures(*written, request, assigner, inReadOrder, parameters, sinks, steps, *feedback, results)) {
            return {};
        }
    } catch (const runtime::Error& error) {
        // The run's own report of the error, without its stage marker.
        throw QgsProcessingException(Text(command::texts::ErrorReport(error.Number(), error.Description())));
    }
    results.insert(QString::fromLatin1(kOutput), sinks.outputId);
    if (sinks.failures) {
        results.insert(QString::fromLatin1(kFailures), sinks.failuresId);
    }
    return results;
}

// Every feature chosen with its NextDownID, and a failure row for each
// failure; the failure count and the comparison's counts go into results,
// the agreement line to the log. False once the user cancelled.
bool NextDownIdAlgorithm::WriteFeatures(QgsProcessingFeatureSource& written, const Request& request,
                                        const command::NextDownAssigner& assigner, bool inReadOrder,
                                        const QVariantMap& parameters, Sinks& sinks, Steps& steps,
                                        QgsProcessingFeedback& feedback, QVariantMap& results) const
{
    std::optional<command::ComparisonTally> tally;
    if (request.options.compareWith) {
        tally.emplace(*request.options.compareWith);
    }
    long long failed = 0;
    size_t position = 0;
    QgsFeatureIterator chosen =
        written.getFeatures(QgsFeatureRequest(), QgsProcessingFeatureSource::FlagSkipGeometryValidityChecks);
    for (QgsFeature feature; chosen.nextFeature(feature); ++position) {
        if (!steps.Next()) {
            return false;
        }
        const runtime::Variant code = ToVariant(feature.attribute(request.pfaf));
        command::Assigned assigned = inReadOrder ? assigner.AssignAt(position, code) : assigner.Assign(code);
        if (tally) {
            tally->Add(static_cast<int32_t>(feature.id()), assigned.value,
                       ToVariant(feature.attribute(request.compare)));
        }
        QgsAttributes attributes = feature.attributes();
        attributes.resize(sinks.fields.count());
        attributes[sinks.nextDown] = ToQVariant(assigned.value);
        feature.setAttributes(attributes);
        if (!sinks.output->addFeature(feature, QgsFeatureSink::FastInsert)) {
            throw QgsProcessingException(
                writeFeatureError(sinks.output.get(), parameters, QString::fromLatin1(kOutput)));
        }
        failed += assigned.failure ? 1 : 0;
        if (assigned.failure && sinks.failures) {
            QgsFeature row = FailureRow(sinks.failureFields, feature.id(), *assigned.failure);
            if (!sinks.failures->addFeature(row, QgsFeatureSink::FastInsert)) {
                throw QgsProcessingException(
                    writeFeatureError(sinks.failures.get(), parameters, QString::fromLatin1(kFailures)));
            }
        }
    }
    results.insert(QString::fromLatin1(kFailureCount), failed);
    if (tally) {
        command::Comparison compared = tally->Result({});
        feedback.pushInfo(Text(command::texts::AgreementLine(compared.field, compared.agreeing, compared.compared)));
        results.insert(QString::fromLatin1(kAgreeing), static_cast<qlonglong>(compared.agreeing));
        results.insert(QString::fromLatin1(kCompared), static_cast<qlonglong>(compared.compared));
    }
    return true;
}

}  // namespace drennow::qgis
