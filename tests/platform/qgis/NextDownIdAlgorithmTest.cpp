// The Processing algorithm run through QGIS's processing registry, as models,
// batches and processing.run run it, on memory layers and GeoPackages; its
// values beside the command line's on the same data.
#include "QgisTestSupport.h"

#include "command/FailureCodes.h"
#include "platform/qgis/processing/DrennowProvider.h"

#include <qgsapplication.h>
#include <qgsprocessingalgorithm.h>
#include <qgsprocessingcontext.h>
#include <qgsprocessingfeedback.h>
#include <qgsprocessingregistry.h>
#include <qgsprocessingutils.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorfilewriter.h>

#include <QFile>
#include <QProcess>

namespace drennow::qgis::testing {
namespace {

const QString kTemporary = QStringLiteral("TEMPORARY_OUTPUT");

// Codes of one level-4 unit and its neighbours, some with trailing zeros
// and inner zeros, so that both readings of zeros and both trailing-zero
// answers give different values somewhere.
std::vector<qlonglong> ZeroedCodes()
{
    return {1239, 1237, 1234, 1233, 1231, 1219, 1212, 1211, 1230, 1250, 1260, 1201, 1290, 1100, 1300, 1205, 1203};
}

struct Case {
    const char* name;
    bool ids;
    bool trailingZeros;
    bool unsubdivided;
    bool int64;
};

class NextDownIdAlgorithmTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QgsApplication::processingRegistry()->providerById(QStringLiteral("drennow"))) {
            ASSERT_TRUE(QgsApplication::processingRegistry()->addProvider(new DrennowProvider));
        }
    }

    NextDownIdAlgorithmTest() { context.setProject(&project); }

    // Basins with these codes (nulls where none), HydroIDs beside them, held
    // as 64-bit integers when asked for.
    static std::unique_ptr<QgsVectorLayer> Basins(const std::vector<std::optional<qlonglong>>& codes, bool int64,
                                                  qlonglong firstId = 101)
    {
        auto layer = std::make_unique<QgsVectorLayer>(QStringLiteral("Polygon?crs=EPSG:4326"),
                                                      QStringLiteral("Watershed"), QStringLiteral("memory"));
        QVariant::Type type = int64 ? QVariant::LongLong : QVariant::Int;
        EXPECT_TRUE(layer->dataProvider()->addAttributes(
            {QgsField(QStringLiteral("PfafstetterID"), type), QgsField(QStringLiteral("HydroID"), type)}));
        layer->updateFields();
        QgsFeatureList features;
        for (size_t i = 0; i < codes.size(); ++i) {
            QgsFeature feature(layer->fields());
            feature.setAttribute(0, codes[i] ? QVariant(*codes[i]) : QVariant());
            feature.setAttribute(1, firstId + static_cast<qlonglong>(i));
            feature.setGeometry(QgsGeometry::fromRect(QgsRectangle(i, 0, i + 1.0, 1)));
            features.append(feature);
        }
        EXPECT_TRUE(layer->dataProvider()->addFeatures(features));
        return layer;
    }

    static QString ToGeoPackage(QgsVectorLayer& layer, const QString& path)
    {
        QgsVectorFileWriter::SaveVectorOptions options;
        options.driverName = QStringLiteral("GPKG");
        options.layerName = QStringLiteral("Watershed");
        QString error;
        EXPECT_EQ(QgsVectorFileWriter::writeAsVectorFormatV3(&layer, path, QgsCoordinateTransformContext(), options,
                                                             &error),
                  QgsVectorFileWriter::NoError)
            << error.toStdString();
        return path;
    }

    QgsVectorLayer* Add(std::unique_ptr<QgsVectorLayer> layer)
    {
        QgsVectorLayer* added = layer.release();
        project.addMapLayer(added);
        return added;
    }

    static QVariantMap Parameters(const QVariant& input, const Case& run)
    {
        return {{QStringLiteral("INPUT"), input},
                {QStringLiteral("PFAF_FIELD"), QStringLiteral("PfafstetterID")},
                {QStringLiteral("ID_FIELD"), run.ids ? QStringLiteral("HydroID") : QString()},
                {QStringLiteral("TRAILING_ZEROS"), run.trailingZeros},
                {QStringLiteral("ZEROS"), run.unsubdivided ? 1 : 0},
                {QStringLiteral("INT64"), run.int64},
                {QStringLiteral("OUTPUT"), kTemporary},
                {QStringLiteral("FAILURES"), kTemporary}};
    }

    // Runs the algorithm as the registry hands it out; the results, or
    // nothing when it failed.
    std::optional<QVariantMap> Run(const QVariantMap& parameters)
    {
        const QgsProcessingAlgorithm* registered =
            QgsApplication::processingRegistry()->algorithmById(QStringLiteral("drennow:nextdownid"));
        EXPECT_NE(registered, nullptr);
        if (!registered) {
            return std::nullopt;
        }
        std::unique_ptr<QgsProcessingAlgorithm> algorithm(registered->create());
        bool ok = false;
        QVariantMap results = algorithm->run(parameters, context, &feedback, &ok);
        if (!ok) {
            return std::nullopt;
        }
        return results;
    }

    QgsVectorLayer* Result(const QVariantMap& results, const QString& name)
    {
        return qobject_cast<QgsVectorLayer*>(
            QgsProcessingUtils::mapLayerFromString(results.value(name).toString(), context));
    }

    // NextDownID (or another field) by PfafstetterID (or another key).
    static std::map<qlonglong, QVariant> ByCode(QgsVectorLayer& layer, const QString& field = QStringLiteral("NextDownID"),
                                                const QString& key = QStringLiteral("PfafstetterID"))
    {
        std::map<qlonglong, QVariant> values;
        QgsFeatureIterator features = layer.getFeatures();
        for (QgsFeature feature; features.nextFeature(feature);) {
            values[feature.attribute(key).toLongLong()] = feature.attribute(field);
        }
        return values;
    }

    QgsProject project;
    QgsProcessingContext context;
    QgsProcessingFeedback feedback;
    QTemporaryDir folder;
};

TEST_F(NextDownIdAlgorithmTest, IsRegisteredInItsGroupWithItsParameters)
{
    const QgsProcessingAlgorithm* algorithm =
        QgsApplication::processingRegistry()->algorithmById(QStringLiteral("drennow:nextdownid"));
    ASSERT_NE(algorithm, nullptr);
    EXPECT_EQ(algorithm->displayName(), QStringLiteral("Fill NextDownID from Pfafstetter codes"));
    EXPECT_EQ(algorithm->group(), QStringLiteral("Pfafstetter"));
    EXPECT_FALSE(algorithm->shortHelpString().isEmpty());
    QStringList names;
    for (const QgsProcessingParameterDefinition* parameter : algorithm->parameterDefinitions()) {
        names << parameter->name();
    }
    EXPECT_EQ(names, (QStringList{"INPUT", "PFAF_FIELD", "ID_FIELD", "TRAILING_ZEROS", "ZEROS", "INT64",
                                  "COMPARE_WITH", "OUTPUT", "FAILURES"}));
    EXPECT_TRUE(algorithm->helpUrl().endsWith(QStringLiteral("README.md#processing-toolbox-models-and-batches")));
    EXPECT_FALSE(algorithm->shortHelpString().contains(QStringLiteral("Click Yes")));
    QStringList outputNames;
    for (const QgsProcessingOutputDefinition* output : algorithm->outputDefinitions()) {
        EXPECT_FALSE(outputNames.contains(output->description())) << output->name().toStdString();
        outputNames << output->description();
    }
    EXPECT_TRUE(algorithm->parameterDefinition(QStringLiteral("PFAF_FIELD"))->defaultValue().isNull())
        << "no field preselected for being first";
    for (const char* optional : {"ID_FIELD", "COMPARE_WITH", "FAILURES"}) {
        EXPECT_TRUE(algorithm->parameterDefinition(QString::fromLatin1(optional))->flags() &
                    QgsProcessingParameterDefinition::FlagOptional)
            << optional;
    }
}

// Every attribute and the geometry go through; NextDownID is added; the
// outlet is the one failure, with the input feature's id.
TEST_F(NextDownIdAlgorithmTest, WritesTheDownstreamCodesAndOneFailureRowPerFailure)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    std::optional<QVariantMap> results = Run(Parameters(layer->id(), {"codes", false, false, false, false}));
    ASSERT_TRUE(results);

    QgsVectorLayer* output = Result(*results, QStringLiteral("OUTPUT"));
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->fields().names(), (QStringList{"PfafstetterID", "HydroID", "NextDownID"}));
    EXPECT_EQ(output->fields().field(QStringLiteral("NextDownID")).type(), QVariant::Int);
    EXPECT_EQ(output->wkbType(), layer->wkbType());
    std::map<qlonglong, QVariant> written = ByCode(*output);
    for (const auto& [code, next] : RegionTwelveNextDown()) {
        EXPECT_EQ(written.at(code), QVariant(next)) << code;
    }
    EXPECT_EQ(ByCode(*output, QStringLiteral("HydroID")).at(1239), QVariant(101));
    QgsFeature first;
    output->getFeatures().nextFeature(first);
    EXPECT_FALSE(first.geometry().isEmpty());

    QgsVectorLayer* failures = Result(*results, QStringLiteral("FAILURES"));
    ASSERT_NE(failures, nullptr);
    EXPECT_EQ(failures->fields().names(), (QStringList{"ObjectID", "Code", "Description"}));
    EXPECT_EQ(failures->wkbType(), QgsWkbTypes::NoGeometry);
    ASSERT_EQ(failures->featureCount(), 1);
    QgsFeature row;
    failures->getFeatures().nextFeature(row);
    QgsFeature outlet;
    layer->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1211")))
        .nextFeature(outlet);
    EXPECT_EQ(row.attribute(0).toLongLong(), outlet.id());
    EXPECT_EQ(row.attribute(1).toInt(), -9);
    EXPECT_EQ(row.attribute(2).toString().toStdString(), command::DescribeFailureCode(-9));
    EXPECT_EQ(results->value(QStringLiteral("FAILURE_COUNT")).toInt(), 1);
}

// A null code and an identifier missing downstream are failures of the
// run's own, each a row.
TEST_F(NextDownIdAlgorithmTest, TheRunsOwnFailuresAreRowsToo)
{
    QgsVectorLayer* layer = Add(Basins({1239, std::nullopt, 1237, 1233}, false));
    QgsFeature of1233;
    layer->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1233")))
        .nextFeature(of1233);
    ASSERT_TRUE(layer->dataProvider()->changeAttributeValues({{of1233.id(), {{0, QVariant(1233)}}}}));
    std::optional<QVariantMap> results = Run(Parameters(layer->id(), {"ids", true, false, false, false}));
    ASSERT_TRUE(results);

    QStringList descriptions;
    QgsFeatureIterator rows = Result(*results, QStringLiteral("FAILURES"))->getFeatures();
    for (QgsFeature row; rows.nextFeature(row);) {
        descriptions << row.attribute(2).toString();
    }
    EXPECT_TRUE(descriptions.contains(QString::fromLatin1(command::kNullCodeFailure.text)));
    EXPECT_EQ(descriptions.size(), 2) << "the null code and 1233, whose downstream basin is not in the layer";
    EXPECT_EQ(ByCode(*Result(*results, QStringLiteral("OUTPUT"))).at(1239), QVariant(103)) << "the HydroID of 1237";
}

// Only the selection is written; the codes of the rest are still the
// candidates, so 1234 finds 1233 though it is not selected.
TEST_F(NextDownIdAlgorithmTest, WritesTheSelectedFeaturesWithTheCodesOfEveryFeature)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    QgsFeature chosen;
    layer->getFeatures(QgsFeatureRequest().setFilterExpression(QStringLiteral("PfafstetterID = 1234")))
        .nextFeature(chosen);
    layer->selectByIds({chosen.id()});
    QVariant selected = QVariant::fromValue(QgsProcessingFeatureSourceDefinition(layer->id(), true));
    std::optional<QVariantMap> results = Run(Parameters(selected, {"ids", true, false, false, false}));
    ASSERT_TRUE(results);

    std::map<qlonglong, QVariant> written = ByCode(*Result(*results, QStringLiteral("OUTPUT")));
    ASSERT_EQ(written.size(), 1U);
    EXPECT_EQ(written.at(1234), QVariant(104)) << "the HydroID of 1233";
    EXPECT_EQ(Result(*results, QStringLiteral("FAILURES"))->featureCount(), 0);
}

// The geometry is carried over as it is: an invalid one stops nothing, even
// where the context asks invalid geometries to stop an algorithm.
TEST_F(NextDownIdAlgorithmTest, CarriesInvalidGeometriesOverWithoutStopping)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    const QgsGeometry bowTie = QgsGeometry::fromWkt(QStringLiteral("POLYGON((0 0, 1 1, 1 0, 0 1, 0 0))"));
    ASSERT_FALSE(bowTie.isGeosValid());
    QgsFeature first;
    layer->getFeatures().nextFeature(first);
    ASSERT_TRUE(layer->dataProvider()->changeGeometryValues({{first.id(), bowTie}}));
    context.setInvalidGeometryCheck(QgsFeatureRequest::GeometryAbortOnInvalid);

    std::optional<QVariantMap> results = Run(Parameters(layer->id(), {"codes", false, false, false, false}));
    ASSERT_TRUE(results);

    QgsVectorLayer* output = Result(*results, QStringLiteral("OUTPUT"));
    EXPECT_EQ(output->featureCount(), layer->featureCount());
    QgsFeature written;
    output->getFeatures(QgsFeatureRequest().setFilterExpression(
                            QStringLiteral("PfafstetterID = %1").arg(first.attribute(0).toInt())))
        .nextFeature(written);
    EXPECT_TRUE(written.geometry().equals(bowTie));
}

TEST_F(NextDownIdAlgorithmTest, ComparesWithAFieldAndCountsTheAgreement)
{
    QgsVectorLayer* layer = Add(MemoryBasins(QStringLiteral("Watershed"), RegionTwelve()));
    QVariantMap parameters = Parameters(layer->id(), {"codes", false, false, false, false});
    // HydroID agrees nowhere but at the outlet, which got a failure code, and
    // whose HydroID is no 0 either: no agreement at all.
    parameters.insert(QStringLiteral("COMPARE_WITH"), QStringLiteral("HydroID"));
    std::optional<QVariantMap> results = Run(parameters);
    ASSERT_TRUE(results);
    EXPECT_EQ(results->value(QStringLiteral("COMPARED")).toInt(), 8);
    EXPECT_EQ(results->value(QStringLiteral("AGREEING")).toInt(), 0);

    parameters.insert(QStringLiteral("COMPARE_WITH"), QStringLiteral("PfafstetterID"));
    parameters.insert(QStringLiteral("ZEROS"), 0);
    results = Run(parameters);
    ASSERT_TRUE(results);
    EXPECT_EQ(results->value(QStringLiteral("AGREEING")).toInt(), 0) << "no basin drains into itself";
}

TEST_F(NextDownIdAlgorithmTest, StopsWhenTheFeedbackIsCancelled)
{
    std::vector<std::optional<qlonglong>> codes;
    for (qlonglong code = 1000; code < 3000; ++code) {
        codes.push_back(code);
    }
    QgsVectorLayer* layer = Add(Basins(codes, false));
    QString path = folder.filePath(QStringLiteral("cancelled.gpkg"));
    QVariantMap parameters = Parameters(layer->id(), {"codes", false, false, false, false});
    parameters.insert(QStringLiteral("OUTPUT"), path);
    double lastProgress = 0;
    QObject::connect(&feedback, &QgsFeedback::progressChanged, [&](double progress) {
        lastProgress = progress;
        if (progress > 70) {
            feedback.cancel();
        }
    });

    std::optional<QVariantMap> results = Run(parameters);

    EXPECT_LT(lastProgress, 71);
    if (results) {
        EXPECT_FALSE(results->contains(QStringLiteral("OUTPUT"))) << "no output is reported after a cancel";
    }
    QgsVectorLayer written(path, QStringLiteral("written"), QStringLiteral("ogr"));
    EXPECT_LT(written.isValid() ? written.featureCount() : 0, 2000) << "the pass stopped";
}

#ifdef DRENNOW_BINARY
// The command line on a copy of the same GeoPackage, with the same answers.
class AgainstTheCommandLine : public NextDownIdAlgorithmTest, public ::testing::WithParamInterface<Case> {
protected:
    std::map<qlonglong, QVariant> CommandLine(const QString& path, const Case& run, int level)
    {
        QStringList arguments{QStringLiteral("--batch"),       QStringLiteral("--layer"),
                              QStringLiteral("Watershed"),     QStringLiteral("--pfaf-field"),
                              QStringLiteral("PfafstetterID"), QStringLiteral("--level"),
                              QString::number(level),          QStringLiteral("--log-dir"),
                              folder.path()};
        // The question is not asked where zeros are units not subdivided.
        if (run.unsubdivided) {
            arguments << QStringLiteral("--zeros") << QStringLiteral("unsubdivided");
        } else {
            arguments << QStringLiteral("--trailing-zeros") << (run.trailingZeros ? "yes" : "no");
        }
        arguments << QStringLiteral("--populate") << (run.ids ? QStringLiteral("id") : QStringLiteral("pfaf"));
        if (run.ids) {
            arguments << QStringLiteral("--id-field") << QStringLiteral("HydroID");
        }
        if (run.int64) {
            arguments << QStringLiteral("--int64");
        }
        arguments << path;
        QProcess process;
        process.start(QStringLiteral(DRENNOW_BINARY), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        QgsVectorLayer written(path + QStringLiteral("|layername=Watershed"), QStringLiteral("written"),
                               QStringLiteral("ogr"));
        return ByCode(written);
    }
};

TEST_P(AgainstTheCommandLine, WritesTheCommandLinesValues)
{
    const Case run = GetParam();
    std::vector<std::optional<qlonglong>> codes;
    // 64-bit codes: twelve digits, the same tree under a longer prefix.
    for (qlonglong code : ZeroedCodes()) {
        codes.push_back(run.int64 ? 12345678LL * 10000 + code % 10000 : code);
    }
    auto basins = Basins(codes, run.int64, run.int64 ? 6000000000LL : 101);
    QString input = ToGeoPackage(*basins, folder.filePath(QStringLiteral("input.gpkg")));
    QString copy = folder.filePath(QStringLiteral("command-line.gpkg"));
    ASSERT_TRUE(QFile::copy(input, copy));

    std::optional<QVariantMap> results =
        Run(Parameters(QVariant(input + QStringLiteral("|layername=Watershed")), run));
    ASSERT_TRUE(results);
    QgsVectorLayer* output = Result(*results, QStringLiteral("OUTPUT"));
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->fields().field(QStringLiteral("NextDownID")).type(),
              run.int64 ? QVariant::LongLong : QVariant::Int);
    std::map<qlonglong, QVariant> algorithm = ByCode(*output);
    std::map<qlonglong, QVariant> commandLine = CommandLine(copy, run, run.int64 ? 12 : 4);
    ASSERT_EQ(algorithm.size(), codes.size());
    ASSERT_EQ(commandLine.size(), codes.size());
    for (const auto& [code, value] : commandLine) {
        EXPECT_EQ(algorithm.at(code).toLongLong(), value.toLongLong()) << code;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryAnswer, AgainstTheCommandLine,
    ::testing::Values(Case{"Codes", false, false, false, false}, Case{"Identifiers", true, false, false, false},
                      Case{"TrailingZeros", false, true, false, false},
                      Case{"Unsubdivided", false, false, true, false},
                      Case{"IdentifiersUnsubdivided", true, false, true, false},
                      Case{"Codes64", false, false, true, true}, Case{"Identifiers64", true, true, false, true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// HydroBASINS at its finest level: twelve-digit codes with zeros for units
// not subdivided, ten-digit identifiers, and NEXT_DOWN to compare with.
TEST_F(NextDownIdAlgorithmTest, RhineUnitsGetTheCommandLinesValuesAndAgreement)
{
    QFile csv(QStringLiteral(DRENNOW_RHINE_CSV));
    if (!csv.open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "no Rhine data beside the project";
    }
    auto units = std::make_unique<QgsVectorLayer>(QStringLiteral("MultiPolygon?crs=EPSG:4326"),
                                                  QStringLiteral("Watershed"), QStringLiteral("memory"));
    ASSERT_TRUE(units->dataProvider()->addAttributes({QgsField(QStringLiteral("HYBAS_ID"), QVariant::LongLong),
                                                      QgsField(QStringLiteral("NEXT_DOWN"), QVariant::LongLong),
                                                      QgsField(QStringLiteral("PFAF_12"), QVariant::LongLong)}));
    units->updateFields();
    const QStringList heading = CsvFields(QString::fromUtf8(csv.readLine()).trimmed());
    const int wkt = heading.indexOf(QStringLiteral("WKT"));
    const QList<int> columns{heading.indexOf(QStringLiteral("HYBAS_ID")), heading.indexOf(QStringLiteral("NEXT_DOWN")),
                             heading.indexOf(QStringLiteral("PFAF_12"))};
    QgsFeatureList features;
    while (!csv.atEnd()) {
        const QStringList values = CsvFields(QString::fromUtf8(csv.readLine()).trimmed());
        QgsFeature feature(units->fields());
        for (int i = 0; i < columns.size(); ++i) {
            feature.setAttribute(i, values.value(columns[i]).toLongLong());
        }
        feature.setGeometry(QgsGeometry::fromWkt(values.value(wkt)));
        features.append(feature);
    }
    ASSERT_GT(features.size(), 1000);
    ASSERT_TRUE(units->dataProvider()->addFeatures(features));
    QString input = ToGeoPackage(*units, folder.filePath(QStringLiteral("rhine.gpkg")));
    QString copy = folder.filePath(QStringLiteral("rhine-command-line.gpkg"));
    ASSERT_TRUE(QFile::copy(input, copy));

    QVariantMap parameters{{QStringLiteral("INPUT"), input + QStringLiteral("|layername=Watershed")},
                           {QStringLiteral("PFAF_FIELD"), QStringLiteral("PFAF_12")},
                           {QStringLiteral("ID_FIELD"), QStringLiteral("HYBAS_ID")},
                           {QStringLiteral("ZEROS"), 1},
                           {QStringLiteral("INT64"), true},
                           {QStringLiteral("COMPARE_WITH"), QStringLiteral("NEXT_DOWN")},
                           {QStringLiteral("OUTPUT"), kTemporary}};
    std::optional<QVariantMap> results = Run(parameters);
    ASSERT_TRUE(results);

    QProcess process;
    process.start(QStringLiteral(DRENNOW_BINARY),
                  {QStringLiteral("--batch"), QStringLiteral("--layer"), QStringLiteral("Watershed"),
                   QStringLiteral("--pfaf-field"), QStringLiteral("PFAF_12"), QStringLiteral("--level"),
                   QStringLiteral("12"), QStringLiteral("--populate"), QStringLiteral("id"),
                   QStringLiteral("--id-field"), QStringLiteral("HYBAS_ID"), QStringLiteral("--int64"),
                   QStringLiteral("--zeros"), QStringLiteral("unsubdivided"), QStringLiteral("--compare-with"),
                   QStringLiteral("NEXT_DOWN"), QStringLiteral("--log-dir"), folder.path(), copy});
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString said = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    ASSERT_EQ(process.exitCode(), 0) << said.toStdString();
    const QString agreement = QStringLiteral("Agreement with NEXT_DOWN: %1 of %2 basins")
                                  .arg(results->value(QStringLiteral("AGREEING")).toLongLong())
                                  .arg(results->value(QStringLiteral("COMPARED")).toLongLong());
    EXPECT_TRUE(said.contains(agreement)) << agreement.toStdString() << " in " << said.toStdString();
    EXPECT_EQ(results->value(QStringLiteral("COMPARED")).toInt(), features.size());

    QgsVectorLayer written(copy + QStringLiteral("|layername=Watershed"), QStringLiteral("written"),
                           QStringLiteral("ogr"));
    const QString id = QStringLiteral("HYBAS_ID");
    std::map<qlonglong, QVariant> commandLine = ByCode(written, QStringLiteral("NextDownID"), id);
    std::map<qlonglong, QVariant> algorithm =
        ByCode(*Result(*results, QStringLiteral("OUTPUT")), QStringLiteral("NextDownID"), id);
    ASSERT_EQ(algorithm.size(), commandLine.size());
    int differing = 0;
    for (const auto& [unit, value] : commandLine) {
        differing += algorithm.at(unit).toLongLong() == value.toLongLong() ? 0 : 1;
    }
    EXPECT_EQ(differing, 0);
}
#endif

// The answers change the values on this data, so the cases above tell them
// apart.
TEST_F(NextDownIdAlgorithmTest, TheAnswersMatterOnTheZeroedCodes)
{
    const std::vector<qlonglong> zeroed = ZeroedCodes();
    std::vector<std::optional<qlonglong>> codes(zeroed.begin(), zeroed.end());
    QgsVectorLayer* layer = Add(Basins(codes, false));
    auto values = [&](const Case& run) {
        std::optional<QVariantMap> results = Run(Parameters(layer->id(), run));
        EXPECT_TRUE(results);
        return results ? ByCode(*Result(*results, QStringLiteral("OUTPUT"))) : std::map<qlonglong, QVariant>();
    };
    std::map<qlonglong, QVariant> closed = values({"", false, false, false, false});
    EXPECT_NE(closed, values({"", false, true, false, false})) << "trailing zeros";
    EXPECT_NE(closed, values({"", false, false, true, false})) << "unsubdivided";
}

// Without PFAF_FIELD the field of a Pfafstetter name is taken (PfafstetterID
// here, though fid comes first), and an input with no such name is refused
// rather than computed from its ids.
TEST_F(NextDownIdAlgorithmTest, WithoutAFieldNamedTheCodesComeFromAPfafstetterNameOnly)
{
    QgsVectorLayer* layer = Add(Basins({1239, 1237, 1233}, false));
    QVariantMap parameters = Parameters(layer->id(), {"", false, false, false, false});
    parameters.remove(QStringLiteral("PFAF_FIELD"));
    std::optional<QVariantMap> results = Run(parameters);
    ASSERT_TRUE(results);
    std::map<qlonglong, QVariant> written = ByCode(*Result(*results, QStringLiteral("OUTPUT")));
    EXPECT_EQ(written.at(1239), QVariant(1237));
    EXPECT_EQ(written.at(1237), QVariant(1233));

    ASSERT_TRUE(layer->startEditing());
    ASSERT_TRUE(layer->renameAttribute(0, QStringLiteral("Code")));
    ASSERT_TRUE(layer->commitChanges());
    EXPECT_FALSE(Run(parameters)) << "no field of a Pfafstetter name: refused";
    parameters.insert(QStringLiteral("PFAF_FIELD"), QStringLiteral("Code"));
    EXPECT_TRUE(Run(parameters)) << "named, it is taken";
}

TEST_F(NextDownIdAlgorithmTest, TrailingZerosWithUnsubdividedZerosIsRefused)
{
    QgsVectorLayer* layer = Add(Basins({1239, 1237, 1233}, false));
    EXPECT_FALSE(Run(Parameters(layer->id(), {"", false, true, true, false})));
    QVariantMap withoutTheAnswer = Parameters(layer->id(), {"", false, false, true, false});
    withoutTheAnswer.remove(QStringLiteral("TRAILING_ZEROS"));
    EXPECT_TRUE(Run(withoutTheAnswer)) << "its default is no answer";
    EXPECT_TRUE(Run(Parameters(layer->id(), {"", false, false, true, false})));
}

}  // namespace
}  // namespace drennow::qgis::testing
