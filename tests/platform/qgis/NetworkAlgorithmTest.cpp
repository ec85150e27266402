// The network's Processing algorithms run through QGIS's processing
// registry, as models, batches and processing.run run them, on memory layers
// and GeoPackages: their values against the network walked by definition,
// their refusals with the network run's own texts, cancels and selections.
#include "NetworkReference.h"
#include "QgisTestSupport.h"

#include "networkrun/NetworkRequest.h"
#include "networkrun/NetworkTexts.h"
#include "platform/qgis/processing/BasinNetworkAlgorithm.h"
#include "platform/qgis/processing/DrennowProvider.h"
#include "platform/qgis/processing/UpstreamAlgorithm.h"
#include "request/NetworkOptionTable.h"
#include "request/RunRequest.h"

#include <qgsapplication.h>
#include <qgsprocessingalgorithm.h>
#include <qgsprocessingcontext.h>
#include <qgsprocessingfeedback.h>
#include <qgsprocessingmodelalgorithm.h>
#include <qgsprocessingregistry.h>
#include <qgsprocessingutils.h>
#include <qgsproject.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorfilewriter.h>
#include <qgsvectorlayer.h>

#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>

namespace drennow::qgis::testing {
namespace {

namespace texts = networkrun::texts;
const QString kTemporary = QStringLiteral("TEMPORARY_OUTPUT");

// The fields of every test layer, in this order.
const QStringList kInputFields{"PFAF", "HYBAS", "NEXT", "AREA", "WEIGHT", "NAME", "DAY"};

// Basins as columns, by read position.
struct Basins {
    std::vector<QVariant> codes, ids, nextDown;
    std::vector<std::optional<double>> area, weight;
};

std::optional<double> Maybe(std::mt19937& random, double low, double high)
{
    if (std::uniform_int_distribution<int>(0, 9)(random) == 0) {
        return std::nullopt;
    }
    return std::uniform_real_distribution<double>(low, high)(random);
}

// Level-3 codes of two level-1 regions, zero digits included (so both
// readings of zeros and trailing zeros differ), in a random order, with
// nulls, zero, a negative code and codes read twice. With int64, the same
// tree under a prefix beyond 32 bits.
Basins RandomCodes(unsigned seed, bool int64)
{
    std::mt19937 random(seed);
    std::vector<QVariant> codes;
    std::bernoulli_distribution present(0.6);
    for (int region = 1; region <= 2; ++region) {
        for (int second = 0; second <= 9; ++second) {
            for (int third = 0; third <= 9; ++third) {
                if (present(random)) {
                    qlonglong code = region * 100 + second * 10 + third;
                    codes.emplace_back(int64 ? 98765432LL * 1000 + code : code);
                }
            }
        }
    }
    for (int repeat = 0; repeat < 4; ++repeat) {
        codes.push_back(codes[std::uniform_int_distribution<size_t>(0, codes.size() - 1)(random)]);
    }
    codes.insert(codes.end(), {QVariant(), QVariant(), QVariant(0LL), QVariant(-123LL)});
    std::shuffle(codes.begin(), codes.end(), random);
    Basins basins;
    basins.codes = codes;
    for (size_t i = 0; i < codes.size(); ++i) {
        basins.ids.emplace_back(static_cast<qlonglong>(1000 + i));
        basins.nextDown.emplace_back();
        basins.area.push_back(Maybe(random, 0.5, 10));
        basins.weight.push_back(Maybe(random, 0.1, 3));
    }
    return basins;
}

// Identifiers with repeats and next-down values to random basins (cycles
// among them), to 0, to null and to identifiers of no basin.
Basins RandomTopology(unsigned seed)
{
    std::mt19937 random(seed);
    const size_t count = 90;
    Basins basins;
    for (size_t i = 0; i < count; ++i) {
        basins.ids.emplace_back(static_cast<qlonglong>(i < 85 ? 500 + i : 500 + i - 40));
        basins.codes.emplace_back(static_cast<qlonglong>(i + 1));
        basins.area.push_back(Maybe(random, 0.5, 10));
        basins.weight.push_back(Maybe(random, 0.1, 3));
    }
    std::uniform_int_distribution<int> kind(0, 19);
    for (size_t i = 0; i < count; ++i) {
        switch (kind(random)) {
        case 0:
            basins.nextDown.emplace_back(0LL);
            break;
        case 1:
            basins.nextDown.emplace_back();
            break;
        case 2:
            basins.nextDown.emplace_back(99999LL);
            break;
        default:
            // Mostly downstream in read order, so that chains are long, and
            // now and then upstream, so that some close into cycles.
            size_t to = kind(random) < 2 ? std::uniform_int_distribution<size_t>(0, count - 1)(random)
                                         : std::uniform_int_distribution<size_t>(0, i)(random);
            basins.nextDown.push_back(basins.ids[to == i ? 0 : to]);
        }
    }
    return basins;
}

QVariant ValueOf(const std::optional<double>& value)
{
    return value ? QVariant(*value) : QVariant();
}

std::unique_ptr<QgsVectorLayer> LayerOf(const Basins& basins, QVariant::Type codeType = QVariant::LongLong)
{
    auto layer = std::make_unique<QgsVectorLayer>(QStringLiteral("Polygon?crs=EPSG:4326"), QStringLiteral("Basins"),
                                                  QStringLiteral("memory"));
    EXPECT_TRUE(layer->dataProvider()->addAttributes(
        {QgsField(kInputFields[0], codeType), QgsField(kInputFields[1], QVariant::LongLong),
         QgsField(kInputFields[2], QVariant::LongLong), QgsField(kInputFields[3], QVariant::Double),
         QgsField(kInputFields[4], QVariant::Double), QgsField(kInputFields[5], QVariant::String),
         QgsField(kInputFields[6], QVariant::Date)}));
    layer->updateFields();
    QgsFeatureList features;
    for (size_t i = 0; i < basins.codes.size(); ++i) {
        QgsFeature feature(layer->fields());
        QgsAttributes attributes;
        attributes << basins.codes[i] << basins.ids[i] << basins.nextDown[i] << ValueOf(basins.area[i])
                   << ValueOf(basins.weight[i]) << QVariant(QStringLiteral("basin %1").arg(i))
                   << QVariant(QDate(2020, 1, 1).addDays(static_cast<int>(i)));
        feature.setAttributes(attributes);
        feature.setGeometry(QgsGeometry::fromRect(QgsRectangle(i, 0, i + 1.0, 1 + i % 3)));
        features.append(feature);
    }
    EXPECT_TRUE(layer->dataProvider()->addFeatures(features));
    return layer;
}

// What the algorithms told, as the Processing dialog's log shows it.
class RecordingFeedback : public QgsProcessingFeedback {
public:
    void reportError(const QString& error, bool fatalError) override
    {
        errors << error;
        QgsProcessingFeedback::reportError(error, fatalError);
    }
    void pushInfo(const QString& info) override
    {
        infos << info;
        QgsProcessingFeedback::pushInfo(info);
    }
    QStringList errors;
    QStringList infos;
};

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// Every field computed, of each measure.
QVariantMap EveryMeasure()
{
    return {{QStringLiteral("SUM"), QStringLiteral("AREA=UP_AREA")},
            {QStringLiteral("MEAN"), QStringLiteral("AREA=MEAN_AREA")},
            {QStringLiteral("MIN"), QStringLiteral("AREA=MIN_AREA")},
            {QStringLiteral("MAX"), QStringLiteral("AREA=MAX_AREA")},
            {QStringLiteral("WEIGHTED_MEAN"), QStringLiteral("AREA*WEIGHT=W_AREA")},
            {QStringLiteral("COUNT"), QStringLiteral("N_UP")},
            {QStringLiteral("OUTLET"), QStringLiteral("MAIN")},
            {QStringLiteral("MOVES"), QStringLiteral("STEPS")},
            {QStringLiteral("RANK"), QStringLiteral("SORT")}};
}
const QStringList kEveryMeasureField{"UP_AREA", "MEAN_AREA", "MIN_AREA", "MAX_AREA", "W_AREA",
                                     "N_UP",    "MAIN",      "STEPS",    "SORT"};

class NetworkAlgorithmTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QgsApplication::processingRegistry()->providerById(QStringLiteral("drennow"))) {
            ASSERT_TRUE(QgsApplication::processingRegistry()->addProvider(new DrennowProvider));
        }
    }

    NetworkAlgorithmTest() { context.setProject(&project); }

    QgsVectorLayer* Add(std::unique_ptr<QgsVectorLayer> layer)
    {
        QgsVectorLayer* added = layer.release();
        project.addMapLayer(added);
        return added;
    }

    // Runs the algorithm as the registry hands it out; the results, or
    // nothing when it failed.
    std::optional<QVariantMap> Run(const char* id, const QVariantMap& parameters)
    {
        const QgsProcessingAlgorithm* registered =
            QgsApplication::processingRegistry()->algorithmById(QString::fromLatin1(id));
        EXPECT_NE(registered, nullptr);
        if (!registered) {
            return std::nullopt;
        }
        feedback.errors.clear();
        feedback.infos.clear();
        bool ok = false;
        QVariantMap results = registered->run(parameters, context, &feedback, &ok);
        if (!ok) {
            return std::nullopt;
        }
        return results;
    }
    std::optional<QVariantMap> Network(const QVariantMap& parameters) { return Run("drennow:network", parameters); }
    std::optional<QVariantMap> Upstream(const QVariantMap& parameters) { return Run("drennow:upstream", parameters); }

    // The algorithm failed with exactly this text.
    void ExpectRefused(const QVariantMap& parameters, const std::string& text)
    {
        EXPECT_FALSE(Network(parameters));
        EXPECT_TRUE(feedback.errors.contains(Q(text))) << text << "\nnot in\n"
                                                       << feedback.errors.join('\n').toStdString();
    }

    QgsVectorLayer* Result(const QVariantMap& results, const QString& name = QStringLiteral("OUTPUT"))
    {
        return qobject_cast<QgsVectorLayer*>(
            QgsProcessingUtils::mapLayerFromString(results.value(name).toString(), context));
    }

    static QVariantMap CodeParameters(const QVariant& input, bool trailingZeros, bool unsubdivided, bool int64)
    {
        QVariantMap parameters = EveryMeasure();
        parameters.insert({{QStringLiteral("INPUT"), input},
                           {QStringLiteral("PFAF_FIELD"), QStringLiteral("PFAF")},
                           {QStringLiteral("TRAILING_ZEROS"), trailingZeros},
                           {QStringLiteral("ZEROS"), unsubdivided ? 1 : 0},
                           {QStringLiteral("INT64"), int64},
                           {QStringLiteral("OUTPUT"), kTemporary}});
        return parameters;
    }
    static QVariantMap TopologyParameters(const QVariant& input)
    {
        QVariantMap parameters = EveryMeasure();
        parameters.insert({{QStringLiteral("INPUT"), input},
                           {QStringLiteral("NEXT_DOWN_FIELD"), QStringLiteral("NEXT")},
                           {QStringLiteral("ID_FIELD"), QStringLiteral("HYBAS")},
                           {QStringLiteral("OUTPUT"), kTemporary}});
        return parameters;
    }

    QgsProject project;
    QgsProcessingContext context;
    RecordingFeedback feedback;
    QTemporaryDir folder;
};

void ExpectReal(const QVariant& written, const std::optional<double>& expected, const std::string& what)
{
    if (!expected) {
        EXPECT_TRUE(written.isNull()) << what << ": " << written.toString().toStdString();
        return;
    }
    ASSERT_FALSE(written.isNull()) << what;
    EXPECT_NEAR(written.toDouble(), *expected, 1e-9 * std::max(1.0, std::fabs(*expected))) << what;
}

void ExpectWhole(const QVariant& written, const std::optional<long>& expected, const std::string& what)
{
    if (!expected) {
        EXPECT_TRUE(written.isNull()) << what << ": " << written.toString().toStdString();
        return;
    }
    EXPECT_EQ(written.toLongLong(), *expected) << what;
}

// Every field of every basin against the network walked by definition;
// ranks by their rule (every basin after the one it drains into, 0, 1, 2, ...
// over the basins off cycles). Features are matched by read position.
void ExpectValues(const std::vector<QgsFeature>& written, const ReferenceNetwork& reference, const Basins& basins,
                  const std::vector<QVariant>& outletIds)
{
    ASSERT_EQ(written.size(), reference.Size());
    std::set<qlonglong> ranks;
    size_t offCycles = 0;
    for (size_t i = 0; i < written.size(); ++i) {
        const QgsFeature& feature = written[i];
        const std::string at = "basin " + std::to_string(i);
        ExpectReal(feature.attribute("UP_AREA"), reference.Sum(i, basins.area), at + " sum");
        ExpectReal(feature.attribute("MEAN_AREA"), reference.Mean(i, basins.area), at + " mean");
        ExpectReal(feature.attribute("MIN_AREA"), reference.Min(i, basins.area), at + " min");
        ExpectReal(feature.attribute("MAX_AREA"), reference.Max(i, basins.area), at + " max");
        ExpectReal(feature.attribute("W_AREA"), reference.WeightedMean(i, basins.area, basins.weight), at + " wmean");
        ExpectWhole(feature.attribute("N_UP"), reference.Count(i), at + " count");
        ExpectWhole(feature.attribute("STEPS"), reference.Moves(i), at + " moves");
        std::optional<size_t> outlet = reference.Outlet(i);
        // The outlet's code or identifier: null for a basin on a cycle, and
        // for an outlet without a code.
        const QVariant main = feature.attribute("MAIN");
        const QVariant expected = outlet ? outletIds[*outlet] : QVariant();
        EXPECT_EQ(main.isNull(), expected.isNull()) << at << " outlet";
        EXPECT_EQ(main.toLongLong(), expected.toLongLong()) << at << " outlet";
        const QVariant rank = feature.attribute("SORT");
        if (reference.OnOrAboveCycle(i)) {
            EXPECT_TRUE(rank.isNull()) << at;
            continue;
        }
        ++offCycles;
        ranks.insert(rank.toLongLong());
        if (reference.Down(i) >= 0) {
            EXPECT_GT(rank.toLongLong(), written[static_cast<size_t>(reference.Down(i))].attribute("SORT").toLongLong())
                << at;
        }
    }
    EXPECT_EQ(ranks.size(), offCycles) << "ranks differ";
    if (!ranks.empty()) {
        EXPECT_EQ(*ranks.begin(), 0);
        EXPECT_EQ(*ranks.rbegin(), static_cast<qlonglong>(offCycles) - 1);
    }
}

// The output's features by their NAME, which is the input's read position.
std::map<QString, QgsFeature> ByName(QgsVectorLayer& output)
{
    std::map<QString, QgsFeature> features;
    QgsFeatureIterator all = output.getFeatures();
    for (QgsFeature feature; all.nextFeature(feature);) {
        features[feature.attribute("NAME").toString()] = feature;
    }
    return features;
}

// The output's features in the input's read order.
std::vector<QgsFeature> InReadOrder(QgsVectorLayer& output, QgsVectorLayer& input)
{
    std::map<QString, QgsFeature> written = ByName(output);
    std::vector<QgsFeature> ordered;
    QgsFeatureIterator all = input.getFeatures();
    for (QgsFeature feature; all.nextFeature(feature);) {
        ordered.push_back(written[feature.attribute("NAME").toString()]);
    }
    return ordered;
}

std::vector<QgsFeatureId> IdsOf(QgsVectorLayer& layer)
{
    std::vector<QgsFeatureId> ids;
    QgsFeatureIterator all = layer.getFeatures(QgsFeatureRequest().setFlags(QgsFeatureRequest::NoGeometry));
    for (QgsFeature feature; all.nextFeature(feature);) {
        ids.push_back(feature.id());
    }
    return ids;
}

// The closing lines of the network run for this network and these fields.
std::vector<std::string> ExpectedClosing(const ReferenceNetwork& reference, const std::vector<QgsFeatureId>& ids,
                                         size_t written)
{
    size_t outlets = 0;
    std::vector<int32_t> onCycles;
    size_t cycleCount = 0;
    for (size_t i = 0; i < reference.Size(); ++i) {
        outlets += reference.Outlet(i) == i ? 1 : 0;
        if (reference.OnOrAboveCycle(i)) {
            ++cycleCount;
            if (onCycles.size() < network::kCycleExamples) {
                onCycles.push_back(static_cast<int32_t>(ids[i]));
            }
        }
    }
    std::vector<std::string> fields;
    for (const QString& field : kEveryMeasureField) {
        fields.push_back(field.toStdString());
    }
    std::vector<std::string> lines{texts::FieldsWritten(fields, written, reference.Size(), outlets)};
    if (cycleCount > 0) {
        lines.push_back(texts::OnCycles(cycleCount, onCycles));
    }
    return lines;
}

struct Case {
    const char* name;
    bool topology;
    bool trailingZeros;
    bool unsubdivided;
    bool int64;
    unsigned seed;
};

class EveryMeasureAgainstTheReference : public NetworkAlgorithmTest, public ::testing::WithParamInterface<Case> {};

TEST_P(EveryMeasureAgainstTheReference, OnAMemoryLayer)
{
    const Case run = GetParam();
    const Basins basins = run.topology ? RandomTopology(run.seed) : RandomCodes(run.seed, run.int64);
    QgsVectorLayer* layer = Add(LayerOf(basins));
    command::RunOptions options;
    options.int64 = run.int64;
    options.zerosUnsubdivided = run.unsubdivided;
    const ReferenceNetwork reference = run.topology ? ReferenceNetwork::FromNextDown(basins.ids, basins.nextDown)
                                                    : ReferenceNetwork::FromCodes(basins.codes, options,
                                                                                  run.trailingZeros);
    const QVariantMap parameters = run.topology ? TopologyParameters(layer->id())
                                                : CodeParameters(layer->id(), run.trailingZeros, run.unsubdivided,
                                                                 run.int64);

    std::optional<QVariantMap> results = Network(parameters);
    ASSERT_TRUE(results) << feedback.errors.join('\n').toStdString();
    QgsVectorLayer* output = Result(*results);
    ASSERT_NE(output, nullptr);

    EXPECT_EQ(output->fields().names(), kInputFields + kEveryMeasureField);
    for (const char* real : {"UP_AREA", "MEAN_AREA", "MIN_AREA", "MAX_AREA", "W_AREA"}) {
        EXPECT_EQ(output->fields().field(real).type(), QVariant::Double) << real;
    }
    for (const char* whole : {"N_UP", "STEPS", "SORT"}) {
        EXPECT_EQ(output->fields().field(whole).type(), QVariant::Int) << whole;
    }
    // The identifier's type, as wide as the values need: codes beyond 32
    // bits need 64.
    EXPECT_EQ(output->fields().field("MAIN").type(), run.int64 ? QVariant::LongLong : QVariant::Int);
    ExpectValues(InReadOrder(*output, *layer), reference, basins, run.topology ? basins.ids : basins.codes);

    const std::vector<QgsFeatureId> ids = IdsOf(*layer);
    for (const std::string& line : ExpectedClosing(reference, ids, ids.size())) {
        EXPECT_TRUE(feedback.infos.contains(Q(line))) << line << "\nnot in\n" << feedback.infos.join('\n').toStdString();
    }
    EXPECT_EQ(results->value("BASINS").toLongLong(), static_cast<qlonglong>(basins.codes.size()));
    size_t onCycles = 0;
    for (size_t i = 0; i < reference.Size(); ++i) {
        onCycles += reference.OnOrAboveCycle(i) ? 1 : 0;
    }
    EXPECT_EQ(results->value("ON_CYCLES").toLongLong(), static_cast<qlonglong>(onCycles));
    if (run.topology) {
        EXPECT_GT(onCycles, 0U) << "the topology has cycles to find";
        EXPECT_TRUE(feedback.infos.contains(Q(texts::RepeatedIdentifiers(5))));
    }
}

INSTANTIATE_TEST_SUITE_P(
    CodesAndTopologies, EveryMeasureAgainstTheReference,
    ::testing::Values(Case{"Closed", false, false, false, false, 1}, Case{"Closed64", false, false, false, true, 2},
                      Case{"TrailingZeros", false, true, false, false, 3},
                      Case{"Unsubdivided", false, false, true, false, 4},
                      Case{"Unsubdivided64", false, false, true, true, 5}, Case{"Topology", true, false, false, false, 6},
                      Case{"OtherTopology", true, false, false, false, 7}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The readings change the values on these codes, so the cases above tell
// them apart.
TEST_F(NetworkAlgorithmTest, TheReadingsOfZerosGiveOtherNetworks)
{
    const Basins basins = RandomCodes(1, false);
    command::RunOptions closed;
    command::RunOptions unsubdivided;
    unsubdivided.zerosUnsubdivided = true;
    auto downs = [&](const ReferenceNetwork& network) {
        std::vector<long> down;
        for (size_t i = 0; i < network.Size(); ++i) {
            down.push_back(network.Down(i));
        }
        return down;
    };
    const auto plain = downs(ReferenceNetwork::FromCodes(basins.codes, closed, false));
    EXPECT_NE(plain, downs(ReferenceNetwork::FromCodes(basins.codes, closed, true)));
    EXPECT_NE(plain, downs(ReferenceNetwork::FromCodes(basins.codes, unsubdivided, false)));
}

// A GeoPackage in and out: every attribute and the geometry of every feature
// kept, the fields added of their types, the values those of the reference.
TEST_F(NetworkAlgorithmTest, FromAGeoPackageToAGeoPackage)
{
    const Basins basins = RandomCodes(11, false);
    auto memory = LayerOf(basins, QVariant::Int);
    const QString input = folder.filePath(QStringLiteral("basins.gpkg"));
    QgsVectorFileWriter::SaveVectorOptions save;
    save.driverName = QStringLiteral("GPKG");
    save.layerName = QStringLiteral("Basins");
    ASSERT_EQ(QgsVectorFileWriter::writeAsVectorFormatV3(memory.get(), input, QgsCoordinateTransformContext(), save),
              QgsVectorFileWriter::NoError);
    auto layer = std::make_unique<QgsVectorLayer>(input + QStringLiteral("|layername=Basins"), QStringLiteral("Basins"),
                                                  QStringLiteral("ogr"));
    ASSERT_TRUE(layer->isValid());
    const QString path = folder.filePath(QStringLiteral("network.gpkg"));

    QVariantMap parameters = CodeParameters(input + QStringLiteral("|layername=Basins"), false, false, false);
    parameters.insert(QStringLiteral("OUTPUT"), path);
    std::optional<QVariantMap> results = Network(parameters);
    ASSERT_TRUE(results) << feedback.errors.join('\n').toStdString();
    QgsVectorLayer output(results->value("OUTPUT").toString(), QStringLiteral("output"), QStringLiteral("ogr"));
    ASSERT_TRUE(output.isValid());

    EXPECT_EQ(output.fields().names(), layer->fields().names() + kEveryMeasureField);
    EXPECT_EQ(output.fields().field("N_UP").type(), QVariant::Int);
    EXPECT_EQ(output.fields().field("UP_AREA").type(), QVariant::Double);
    command::RunOptions options;
    ExpectValues(InReadOrder(output, *layer), ReferenceNetwork::FromCodes(basins.codes, options, false), basins,
                 basins.codes);
    std::map<QString, QgsFeature> written = ByName(output);
    QgsFeatureIterator all = layer->getFeatures();
    ASSERT_EQ(written.size(), static_cast<size_t>(layer->featureCount()));
    for (QgsFeature feature; all.nextFeature(feature);) {
        const QgsFeature& copy = written.at(feature.attribute("NAME").toString());
        for (const QString& field : layer->fields().names()) {
            EXPECT_EQ(copy.attribute(field), feature.attribute(field)) << field.toStdString();
        }
        EXPECT_TRUE(copy.geometry().equals(feature.geometry())) << feature.id();
    }
}

// An output field the input has already is written with its type, not
// added twice.
TEST_F(NetworkAlgorithmTest, WritesIntoAFieldTheInputHas)
{
    const Basins basins = RandomCodes(12, false);
    QgsVectorLayer* layer = Add(LayerOf(basins));
    QVariantMap parameters = CodeParameters(layer->id(), false, false, false);
    for (const char* output : {"MEAN", "MIN", "MAX", "WEIGHTED_MEAN", "OUTLET", "MOVES", "RANK"}) {
        parameters.remove(QString::fromLatin1(output));
    }
    parameters.insert(QStringLiteral("SUM"), QStringLiteral("AREA=weight"));
    parameters.insert(QStringLiteral("COUNT"), QStringLiteral("N_UP"));
    std::optional<QVariantMap> results = Network(parameters);
    ASSERT_TRUE(results) << feedback.errors.join('\n').toStdString();
    QgsVectorLayer* output = Result(*results);
    EXPECT_EQ(output->fields().names(), kInputFields + QStringList{"N_UP"});
    const ReferenceNetwork reference = ReferenceNetwork::FromCodes(basins.codes, {}, false);
    std::vector<QgsFeature> written = InReadOrder(*output, *layer);
    for (size_t i = 0; i < written.size(); ++i) {
        ExpectReal(written[i].attribute("WEIGHT"), reference.Sum(i, basins.area), "sum into WEIGHT");
    }
    EXPECT_TRUE(feedback.infos.contains(Q(texts::FieldsWritten({"WEIGHT", "N_UP"}, written.size(), written.size(),
                                                                 results->value("OUTLETS").toULongLong()))));
}

// Only the selection is written; its values are those of the whole network.
TEST_F(NetworkAlgorithmTest, WritesTheSelectedFeaturesWithTheValuesOfTheWholeNetwork)
{
    const Basins basins = RandomCodes(13, false);
    QgsVectorLayer* layer = Add(LayerOf(basins));
    const std::vector<QgsFeatureId> ids = IdsOf(*layer);
    layer->selectByIds({ids[3], ids[10], ids[20]});
    std::optional<QVariantMap> results =
        Network(CodeParameters(QVariant::fromValue(QgsProcessingFeatureSourceDefinition(layer->id(), true)), false,
                               false, false));
    ASSERT_TRUE(results) << feedback.errors.join('\n').toStdString();
    QgsVectorLayer* output = Result(*results);
    ASSERT_EQ(output->featureCount(), 3);
    const ReferenceNetwork reference = ReferenceNetwork::FromCodes(basins.codes, {}, false);
    std::map<QString, QgsFeature> byName = ByName(*output);
    for (size_t i : {3U, 10U, 20U}) {
        ASSERT_EQ(byName.count(QStringLiteral("basin %1").arg(i)), 1U) << i;
        const QgsFeature& written = byName.at(QStringLiteral("basin %1").arg(i));
        ExpectWhole(written.attribute("N_UP"), reference.Count(i), "count");
        ExpectReal(written.attribute("UP_AREA"), reference.Sum(i, basins.area), "sum");
    }
    EXPECT_EQ(results->value("BASINS").toLongLong(), static_cast<qlonglong>(ids.size()));
}

// The geometry is carried over as it is: an invalid one stops nothing, even
// where the context asks invalid geometries to stop an algorithm.
TEST_F(NetworkAlgorithmTest, CarriesInvalidGeometriesOverWithoutStopping)
{
    QgsVectorLayer* layer = Add(LayerOf(RandomCodes(14, false)));
    const QgsGeometry bowTie = QgsGeometry::fromWkt(QStringLiteral("POLYGON((0 0, 1 1, 1 0, 0 1, 0 0))"));
    ASSERT_FALSE(bowTie.isGeosValid());
    const std::vector<QgsFeatureId> ids = IdsOf(*layer);
    ASSERT_TRUE(layer->dataProvider()->changeGeometryValues({{ids[0], bowTie}}));
    context.setInvalidGeometryCheck(QgsFeatureRequest::GeometryAbortOnInvalid);

    std::optional<QVariantMap> results = Network(CodeParameters(layer->id(), false, false, false));
    ASSERT_TRUE(results) << feedback.errors.join('\n').toStdString();
    QgsVectorLayer* output = Result(*results);
    EXPECT_EQ(output->featureCount(), layer->featureCount());
    EXPECT_TRUE(ByName(*output).at(QStringLiteral("basin 0")).geometry().equals(bowTie));
}

// Each refusal comes before anything is written: the output file is never
// created.
class Refusals : public NetworkAlgorithmTest {
protected:
    Refusals()
    {
        layer = Add(LayerOf(RandomCodes(21, false)));
        parameters = {{QStringLiteral("INPUT"), layer->id()},
                      {QStringLiteral("PFAF_FIELD"), QStringLiteral("PFAF")},
                      {QStringLiteral("OUTPUT"), path}};
    }
    void TearDown() override { EXPECT_FALSE(QFile::exists(path)) << "nothing is written after a refusal"; }

    // The command line's own refusal of these words.
    static std::string CommandLineRefusal(std::vector<std::string> words)
    {
        words.push_back("basins.gpkg");
        try {
            request::ParseNetworkCommandLine(words);
        } catch (const request::RequestError& refused) {
            return refused.what();
        }
        ADD_FAILURE() << "the command line takes these words";
        return {};
    }

    QgsVectorLayer* layer;
    QString path = folder.filePath(QStringLiteral("refused.gpkg"));
    QVariantMap parameters;
};

TEST_F(Refusals, ADestinationThatTheRunReads)
{
    parameters.insert(QStringLiteral("SUM"), QStringLiteral("AREA=pfaf"));
    ExpectRefused(parameters, texts::DestinationIsRead(networkrun::options::kSum, "PFAF"));
    parameters.insert(QStringLiteral("SUM"), QStringLiteral("AREA=UP"));
    parameters.insert(QStringLiteral("RANK"), QStringLiteral("AREA"));
    ExpectRefused(parameters, texts::DestinationIsRead(networkrun::options::kRank, "AREA"));
}

TEST_F(Refusals, ADestinationTwice)
{
    parameters.insert(QStringLiteral("SUM"), QStringLiteral("AREA=UP"));
    parameters.insert(QStringLiteral("MAX"), QStringLiteral("WEIGHT=up"));
    ExpectRefused(parameters, texts::DestinationTwice("up"));
    parameters.remove(QStringLiteral("MAX"));
    parameters.insert(QStringLiteral("SUM"), QStringLiteral("AREA=UP; WEIGHT=UP"));
    ExpectRefused(parameters, texts::DestinationTwice("UP"));
}

TEST_F(Refusals, ASourceFieldOfText)
{
    parameters.insert(QStringLiteral("MEAN"), QStringLiteral("NAME=MEAN_NAME"));
    ExpectRefused(parameters, texts::TextValueField(networkrun::options::kMean, "NAME"));
    parameters.remove(QStringLiteral("MEAN"));
    parameters.insert(QStringLiteral("WEIGHTED_MEAN"), QStringLiteral("AREA*NAME=W"));
    ExpectRefused(parameters, texts::TextValueField(networkrun::options::kWeightedMean, "NAME"));
}

// Dates are read as their text, which is no number.
TEST_F(Refusals, ValuesThatAreNoNumbers)
{
    parameters.insert(QStringLiteral("SUM"), QStringLiteral("DAY=UP_DAY"));
    QgsFeature first;
    layer->getFeatures().nextFeature(first);
    ExpectRefused(parameters, texts::NotANumber(networkrun::options::kSum, "DAY", static_cast<int32_t>(first.id()),
                                                "2020-01-01"));
}

TEST_F(Refusals, AFieldTheInputHasNot)
{
    parameters.insert(QStringLiteral("SUM"), QStringLiteral("RAIN=UP_RAIN"));
    std::vector<std::string> fields;
    for (const QString& name : kInputFields) {
        fields.push_back(name.toStdString());
    }
    ExpectRefused(parameters, texts::FieldNotFound(networkrun::options::kSum, "RAIN", "Basins", fields));
}

// An existing field whose type cannot hold the values, and one that cannot
// hold one of them.
TEST_F(Refusals, ADestinationThatCannotHoldTheValues)
{
    parameters.insert(QStringLiteral("SUM"), QStringLiteral("AREA=NAME"));
    ExpectRefused(parameters, texts::DestinationType(networkrun::options::kSum, "NAME",
                                                     host::FieldTypeName(host::kFieldTypeString), texts::kRealValues));

    const Basins wideBasins = RandomCodes(22, true);
    auto wide = LayerOf(wideBasins);
    ASSERT_TRUE(wide->dataProvider()->addAttributes({QgsField(QStringLiteral("MAIN32"), QVariant::Int)}));
    wide->updateFields();
    QgsVectorLayer* added = Add(std::move(wide));
    parameters.insert(QStringLiteral("INPUT"), added->id());
    parameters.insert(QStringLiteral("INT64"), true);
    parameters.remove(QStringLiteral("SUM"));
    parameters.insert(QStringLiteral("OUTLET"), QStringLiteral("MAIN32"));
    // The first basin in read order with an outlet holds the first value
    // refused.
    command::RunOptions options;
    options.int64 = true;
    const ReferenceNetwork reference = ReferenceNetwork::FromCodes(wideBasins.codes, options, false);
    const std::vector<QgsFeatureId> ids = IdsOf(*added);
    size_t first = 0;
    while (!reference.Outlet(first)) {
        ++first;
    }
    ExpectRefused(parameters,
                  texts::DestinationRange(networkrun::options::kOutlet, "MAIN32",
                                          host::FieldTypeName(host::kFieldTypeLongInteger),
                                          wideBasins.codes[*reference.Outlet(first)].toString().toStdString(),
                                          static_cast<int32_t>(ids[first])));
}

// The request's own refusals, with the command line's texts.
TEST_F(Refusals, RequestsTheCommandLineRefuses)
{
    parameters.insert(QStringLiteral("SUM"), QStringLiteral("AREA"));
    ExpectRefused(parameters, CommandLineRefusal({"--pfaf-field", "PFAF", "--sum", "AREA"}));

    parameters.remove(QStringLiteral("SUM"));
    ExpectRefused(parameters, CommandLineRefusal({"--pfaf-field", "PFAF"}));

    parameters.insert(QStringLiteral("COUNT"), QStringLiteral("N"));
    parameters.insert(QStringLiteral("NEXT_DOWN_FIELD"), QStringLiteral("NEXT"));
    ExpectRefused(parameters, CommandLineRefusal({"--pfaf-field", "PFAF", "--next-down-field", "NEXT", "--count", "N"}));

    parameters.remove(QStringLiteral("PFAF_FIELD"));
    ExpectRefused(parameters, CommandLineRefusal({"--next-down-field", "NEXT", "--count", "N"}));

    parameters.insert(QStringLiteral("PFAF_FIELD"), QStringLiteral("PFAF"));
    parameters.remove(QStringLiteral("NEXT_DOWN_FIELD"));
    parameters.insert(QStringLiteral("ZEROS"), 1);
    parameters.insert(QStringLiteral("TRAILING_ZEROS"), true);
    ExpectRefused(parameters, CommandLineRefusal({"--pfaf-field", "PFAF", "--zeros", "unsubdivided",
                                                  "--trailing-zeros", "yes", "--count", "N"}));

    parameters.insert(QStringLiteral("TRAILING_ZEROS"), false);
    parameters.insert(QStringLiteral("LEVEL"), 12);
    ExpectRefused(parameters, CommandLineRefusal({"--pfaf-field", "PFAF", "--level", "12", "--count", "N"}));
    parameters.insert(QStringLiteral("INT64"), true);
    parameters.insert(QStringLiteral("OUTPUT"), kTemporary);
    EXPECT_TRUE(Network(parameters)) << "level 12 is one of 64-bit codes";
}

// Codes beyond 32 bits without INT64, and identifiers of text, end their
// chains; the closing lines count them.
TEST_F(NetworkAlgorithmTest, CountsTheCodesAndIdentifiersThatDoNotConvert)
{
    Basins basins = RandomCodes(31, false);
    basins.codes[2] = QVariant(99999999999LL);
    QgsVectorLayer* layer = Add(LayerOf(basins));
    const std::vector<QgsFeatureId> ids = IdsOf(*layer);
    ASSERT_TRUE(Network(CodeParameters(layer->id(), false, false, false)));
    EXPECT_TRUE(feedback.infos.contains(Q(texts::CodesNotConverting(1, {static_cast<int32_t>(ids[2])}, false))))
        << feedback.infos.join('\n').toStdString();

    auto topology = LayerOf(RandomTopology(32));
    ASSERT_TRUE(topology->dataProvider()->addAttributes({QgsField(QStringLiteral("NEXT_TEXT"), QVariant::String)}));
    topology->updateFields();
    const int text = topology->fields().indexOf(QStringLiteral("NEXT_TEXT"));
    const std::vector<QgsFeatureId> topologyIds = IdsOf(*topology);
    ASSERT_TRUE(topology->dataProvider()->changeAttributeValues(
        {{topologyIds[4], {{text, QStringLiteral("downstream")}}}, {topologyIds[7], {{text, QStringLiteral("520")}}}}));
    QgsVectorLayer* added = Add(std::move(topology));
    QVariantMap parameters = TopologyParameters(added->id());
    parameters.insert(QStringLiteral("NEXT_DOWN_FIELD"), QStringLiteral("NEXT_TEXT"));
    std::optional<QVariantMap> results = Network(parameters);
    ASSERT_TRUE(results) << feedback.errors.join('\n').toStdString();
    EXPECT_TRUE(feedback.infos.contains(
        Q(texts::CodesNotConverting(1, {static_cast<int32_t>(topologyIds[4])}, true))))
        << feedback.infos.join('\n').toStdString();
    const QgsFeature eighth = ByName(*Result(*results)).at(QStringLiteral("basin 7"));
    EXPECT_EQ(eighth.attribute("MAIN").toLongLong(), 520) << "the text 520 names basin 20, an outlet here";
}

TEST_F(NetworkAlgorithmTest, TheListsItems)
{
    EXPECT_EQ(ListItems(QStringLiteral(" A=B ; C D=E;;")), (std::vector<std::string>{"A=B", "C D=E"}));
    EXPECT_TRUE(ListItems(QStringLiteral(" ; ")).empty());
    EXPECT_EQ(ListItems(QStringLiteral("AREA*W=X")), (std::vector<std::string>{"AREA*W=X"}));
}

// A cancel while the basins are read creates no output; one while they are
// written claims none.
TEST_F(NetworkAlgorithmTest, ACancelLeavesNoOutputClaimed)
{
    Basins basins;
    for (int code = 1000; code < 4000; ++code) {
        basins.codes.emplace_back(static_cast<qlonglong>(code));
        basins.ids.emplace_back(static_cast<qlonglong>(code));
        basins.nextDown.emplace_back();
        basins.area.emplace_back(1.0);
        basins.weight.emplace_back(1.0);
    }
    QgsVectorLayer* layer = Add(LayerOf(basins));
    for (double at : {20.0, 75.0}) {
        const QString path = folder.filePath(QStringLiteral("cancelled-%1.gpkg").arg(at));
        QVariantMap parameters = CodeParameters(layer->id(), false, false, false);
        parameters.insert(QStringLiteral("OUTPUT"), path);
        RecordingFeedback cancelling;
        double lastProgress = 0;
        QObject::connect(&cancelling, &QgsFeedback::progressChanged, [&](double progress) {
            lastProgress = progress;
            if (progress > at) {
                cancelling.cancel();
            }
        });
        bool ok = false;
        QVariantMap results = QgsApplication::processingRegistry()
                                  ->algorithmById(QStringLiteral("drennow:network"))
                                  ->run(parameters, context, &cancelling, &ok);
        EXPECT_FALSE(results.contains(QStringLiteral("OUTPUT"))) << at;
        EXPECT_LT(lastProgress, at + 1);
        if (at < 50) {
            EXPECT_FALSE(QFile::exists(path)) << "cancelled while reading";
        } else {
            QgsVectorLayer written(path, QStringLiteral("written"), QStringLiteral("ogr"));
            EXPECT_LT(written.isValid() ? written.featureCount() : 0, 3000) << "the writing stopped";
        }
    }
}

TEST_F(NetworkAlgorithmTest, BothAlgorithmsAreInTheProvidersPfafstetterGroup)
{
    const QgsProcessingProvider* provider = QgsApplication::processingRegistry()->providerById(QStringLiteral("drennow"));
    ASSERT_NE(provider, nullptr);
    for (const char* id : {"network", "upstream"}) {
        const QgsProcessingAlgorithm* algorithm = provider->algorithm(QString::fromLatin1(id));
        ASSERT_NE(algorithm, nullptr) << id;
        EXPECT_EQ(algorithm->id(), QStringLiteral("drennow:") + id);
        EXPECT_EQ(algorithm->group(), QStringLiteral("Pfafstetter"));
        EXPECT_EQ(algorithm->groupId(), provider->algorithm(QStringLiteral("nextdownid"))->groupId());
        EXPECT_FALSE(algorithm->shortHelpString().isEmpty());
        EXPECT_TRUE(algorithm->helpUrl().endsWith(QStringLiteral("README.md#processing-the-network-of-basins")));
        for (const char* optional : {"PFAF_FIELD", "LEVEL", "NEXT_DOWN_FIELD", "ID_FIELD"}) {
            EXPECT_TRUE(algorithm->parameterDefinition(QString::fromLatin1(optional))->flags() &
                        QgsProcessingParameterDefinition::FlagOptional)
                << optional;
        }
    }
    QStringList names;
    for (const QgsProcessingParameterDefinition* parameter :
         provider->algorithm(QStringLiteral("network"))->parameterDefinitions()) {
        names << parameter->name();
    }
    EXPECT_EQ(names, (QStringList{"INPUT", "PFAF_FIELD", "LEVEL", "TRAILING_ZEROS", "ZEROS", "INT64",
                                  "NEXT_DOWN_FIELD", "ID_FIELD", "SUM", "MEAN", "MIN", "MAX", "WEIGHTED_MEAN",
                                  "COUNT", "OUTLET", "MOVES", "RANK", "OUTPUT"}));
    EXPECT_TRUE(provider->algorithm(QStringLiteral("upstream"))->flags() & QgsProcessingAlgorithm::FlagNoThreading)
        << "it changes a layer's selection";
}

// In a model: a text input feeds SUM, and the first run's output is the
// second's input. The greatest upstream sum over a basin's upstream set is
// its own, as areas are not negative.
TEST_F(NetworkAlgorithmTest, RunsInAModelWhoseInputsFeedItsParameters)
{
    const Basins basins = RandomCodes(61, false);
    QgsVectorLayer* layer = Add(LayerOf(basins));
    QgsProcessingModelAlgorithm model(QStringLiteral("upstream areas"), QStringLiteral("tests"));
    model.addModelParameter(new QgsProcessingParameterVectorLayer(QStringLiteral("basins")),
                            QgsProcessingModelParameter(QStringLiteral("basins")));
    model.addModelParameter(new QgsProcessingParameterString(QStringLiteral("sums")),
                            QgsProcessingModelParameter(QStringLiteral("sums")));
    using Source = QgsProcessingModelChildParameterSource;
    QgsProcessingModelChildAlgorithm first(QStringLiteral("drennow:network"));
    first.setChildId(QStringLiteral("first"));
    first.addParameterSources(QStringLiteral("INPUT"), {Source::fromModelParameter(QStringLiteral("basins"))});
    first.addParameterSources(QStringLiteral("PFAF_FIELD"), {Source::fromStaticValue(QStringLiteral("PFAF"))});
    first.addParameterSources(QStringLiteral("SUM"), {Source::fromModelParameter(QStringLiteral("sums"))});
    first.addParameterSources(QStringLiteral("OUTPUT"), {Source::fromStaticValue(kTemporary)});
    model.addChildAlgorithm(first);
    QgsProcessingModelChildAlgorithm second(QStringLiteral("drennow:network"));
    second.setChildId(QStringLiteral("second"));
    second.addParameterSources(QStringLiteral("INPUT"),
                               {Source::fromChildOutput(QStringLiteral("first"), QStringLiteral("OUTPUT"))});
    second.addParameterSources(QStringLiteral("PFAF_FIELD"), {Source::fromStaticValue(QStringLiteral("PFAF"))});
    second.addParameterSources(QStringLiteral("MAX"), {Source::fromStaticValue(QStringLiteral("UP_AREA=MAX_UP"))});
    QgsProcessingModelOutput result(QStringLiteral("result"));
    result.setChildId(QStringLiteral("second"));
    result.setChildOutputName(QStringLiteral("OUTPUT"));
    second.setModelOutputs({{QStringLiteral("result"), result}});
    model.addChildAlgorithm(second);

    bool ok = false;
    QVariantMap results = model.run({{QStringLiteral("basins"), layer->id()},
                                     {QStringLiteral("sums"), QStringLiteral("AREA=UP_AREA")},
                                     {QStringLiteral("second:result"), kTemporary}},
                                    context, &feedback, &ok);
    ASSERT_TRUE(ok) << feedback.errors.join('\n').toStdString();
    QgsVectorLayer* output = Result(results, QStringLiteral("second:result"));
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->fields().names(), kInputFields + QStringList({"UP_AREA", "MAX_UP"}));
    const ReferenceNetwork reference = ReferenceNetwork::FromCodes(basins.codes, {}, false);
    std::vector<QgsFeature> written = InReadOrder(*output, *layer);
    ASSERT_EQ(written.size(), basins.codes.size());
    for (size_t i = 0; i < written.size(); ++i) {
        ExpectReal(written[i].attribute("UP_AREA"), reference.Sum(i, basins.area), "sum");
        ExpectReal(written[i].attribute("MAX_UP"), reference.Sum(i, basins.area), "greatest sum");
    }
}

// drennow:upstream: the basins whose chain meets a selected one, or that
// the chains of the selected ones meet, against the walk by definition.
class UpstreamSelection : public NetworkAlgorithmTest, public ::testing::WithParamInterface<Case> {};

TEST_P(UpstreamSelection, SelectsExactlyTheBasinsOfTheWalk)
{
    const Case run = GetParam();
    const Basins basins = run.topology ? RandomTopology(run.seed) : RandomCodes(run.seed, false);
    QgsVectorLayer* layer = Add(LayerOf(basins));
    const ReferenceNetwork reference = run.topology ? ReferenceNetwork::FromNextDown(basins.ids, basins.nextDown)
                                                    : ReferenceNetwork::FromCodes(basins.codes, {}, false);
    const std::vector<QgsFeatureId> ids = IdsOf(*layer);
    std::mt19937 random(run.seed);
    std::vector<size_t> chosen;
    for (int i = 0; i < 3; ++i) {
        chosen.push_back(std::uniform_int_distribution<size_t>(0, ids.size() - 1)(random));
    }
    for (bool upstream : {true, false}) {
        QgsFeatureIds selected;
        for (size_t i : chosen) {
            selected.insert(ids[i]);
        }
        layer->selectByIds(selected);
        QVariantMap parameters{{QStringLiteral("INPUT"), layer->id()},
                               {QStringLiteral("DIRECTION"), upstream ? 0 : 1}};
        if (run.topology) {
            parameters.insert({{QStringLiteral("NEXT_DOWN_FIELD"), QStringLiteral("NEXT")},
                               {QStringLiteral("ID_FIELD"), QStringLiteral("HYBAS")}});
        } else {
            parameters.insert(QStringLiteral("PFAF_FIELD"), QStringLiteral("PFAF"));
        }
        std::optional<QVariantMap> results = Upstream(parameters);
        ASSERT_TRUE(results) << feedback.errors.join('\n').toStdString();

        QgsFeatureIds expected;
        for (size_t basin = 0; basin < ids.size(); ++basin) {
            for (size_t start : chosen) {
                // A basin on or above a cycle is upstream of itself only.
                bool above = reference.IsUpstream(basin, start) &&
                             (basin == start || !reference.OnOrAboveCycle(start));
                if (upstream ? above : reference.IsUpstream(start, basin)) {
                    expected.insert(ids[basin]);
                }
            }
        }
        EXPECT_EQ(layer->selectedFeatureIds(), expected) << (upstream ? "upstream" : "downstream");
        EXPECT_EQ(results->value("FOUND").toLongLong(), expected.size());
        EXPECT_EQ(results->value("OUTPUT").toString(), layer->id());
        EXPECT_TRUE(feedback.infos.contains(Q(texts::FeaturesFound(static_cast<size_t>(expected.size()), ids.size()))));
    }
}

INSTANTIATE_TEST_SUITE_P(CodesAndTopologies, UpstreamSelection,
                         ::testing::Values(Case{"Codes", false, false, false, false, 41},
                                           Case{"MoreCodes", false, false, false, false, 42},
                                           Case{"Topology", true, false, false, false, 43}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// An outlet with its whole region upstream: the walk is not trivial.
TEST_F(NetworkAlgorithmTest, UpstreamOfAnOutletSelectsItsRegion)
{
    Basins basins;
    for (qlonglong code : {1239LL, 1237LL, 1234LL, 1233LL, 1231LL, 1219LL, 1212LL, 1211LL, 1311LL}) {
        basins.codes.emplace_back(code);
        basins.ids.emplace_back(code);
        basins.nextDown.emplace_back();
        basins.area.emplace_back(1.0);
        basins.weight.emplace_back(1.0);
    }
    QgsVectorLayer* layer = Add(LayerOf(basins));
    const std::vector<QgsFeatureId> ids = IdsOf(*layer);
    layer->selectByIds({ids[7]});  // 1211
    QVariantMap parameters{{QStringLiteral("INPUT"), layer->id()}, {QStringLiteral("PFAF_FIELD"), QStringLiteral("PFAF")}};
    ASSERT_TRUE(Upstream(parameters)) << feedback.errors.join('\n').toStdString();
    EXPECT_EQ(layer->selectedFeatureIds(), QgsFeatureIds(ids.begin(), ids.begin() + 8)) << "not 1311, of region 13";

    layer->selectByIds({ids[2]});  // 1234
    parameters.insert(QStringLiteral("DIRECTION"), 1);
    ASSERT_TRUE(Upstream(parameters));
    EXPECT_EQ(layer->selectedFeatureIds(), (QgsFeatureIds{ids[2], ids[3], ids[4], ids[5], ids[7]}))
        << "1234 -> 1233 -> 1231 -> 1219 -> 1211";
}

TEST_F(NetworkAlgorithmTest, UpstreamRefusesAnEmptySelection)
{
    QgsVectorLayer* layer = Add(LayerOf(RandomCodes(51, false)));
    layer->removeSelection();
    EXPECT_FALSE(Upstream({{QStringLiteral("INPUT"), layer->id()}, {QStringLiteral("PFAF_FIELD"), QStringLiteral("PFAF")}}));
    EXPECT_TRUE(feedback.errors.contains(UpstreamAlgorithm::NothingSelected(QStringLiteral("Basins"))))
        << feedback.errors.join('\n').toStdString();
    EXPECT_TRUE(layer->selectedFeatureIds().isEmpty());
}

TEST_F(NetworkAlgorithmTest, UpstreamRefusesAMissingFieldAndKeepsTheSelection)
{
    QgsVectorLayer* layer = Add(LayerOf(RandomCodes(52, false)));
    const std::vector<QgsFeatureId> ids = IdsOf(*layer);
    layer->selectByIds({ids[1]});
    EXPECT_FALSE(Upstream({{QStringLiteral("INPUT"), layer->id()}, {QStringLiteral("PFAF_FIELD"), QStringLiteral("CODE")}}));
    std::vector<std::string> fields;
    for (const QString& name : kInputFields) {
        fields.push_back(name.toStdString());
    }
    EXPECT_TRUE(feedback.errors.contains(Q(texts::FieldNotFound(networkrun::options::kPfafField, "CODE", "Basins", fields))))
        << feedback.errors.join('\n').toStdString();
    EXPECT_EQ(layer->selectedFeatureIds(), QgsFeatureIds{ids[1]});
}

TEST_F(NetworkAlgorithmTest, ACancelledUpstreamKeepsTheSelection)
{
    Basins basins;
    for (int code = 1000; code < 4000; ++code) {
        basins.codes.emplace_back(static_cast<qlonglong>(code));
        basins.ids.emplace_back(static_cast<qlonglong>(code));
        basins.nextDown.emplace_back();
        basins.area.emplace_back(1.0);
        basins.weight.emplace_back(1.0);
    }
    QgsVectorLayer* layer = Add(LayerOf(basins));
    const std::vector<QgsFeatureId> ids = IdsOf(*layer);
    layer->selectByIds({ids[0]});
    QObject::connect(&feedback, &QgsFeedback::progressChanged, [&](double progress) {
        if (progress > 30) {
            feedback.cancel();
        }
    });
    std::optional<QVariantMap> results =
        Upstream({{QStringLiteral("INPUT"), layer->id()}, {QStringLiteral("PFAF_FIELD"), QStringLiteral("PFAF")}});
    if (results) {
        EXPECT_FALSE(results->contains(QStringLiteral("OUTPUT")));
    }
    EXPECT_EQ(layer->selectedFeatureIds(), QgsFeatureIds{ids[0]});
}

// The Rhine's units, their areas and both networks: the upstream sums of
// SUB_AREA against the data's own UP_AREA, within 1 %, through the topology
// and from the level-12 codes alone (units not subdivided marked by zeros).
TEST_F(NetworkAlgorithmTest, RhineUpstreamAreasAgreeWithTheData)
{
    QFile csv(QStringLiteral(DRENNOW_RHINE_CSV));
    if (!csv.open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "no Rhine data beside the project";
    }
    auto units = std::make_unique<QgsVectorLayer>(QStringLiteral("None"), QStringLiteral("Rhine"),
                                                  QStringLiteral("memory"));
    const QStringList names{"HYBAS_ID", "NEXT_DOWN", "PFAF_12", "SUB_AREA", "UP_AREA"};
    ASSERT_TRUE(units->dataProvider()->addAttributes(
        {QgsField(names[0], QVariant::LongLong), QgsField(names[1], QVariant::LongLong),
         QgsField(names[2], QVariant::LongLong), QgsField(names[3], QVariant::Double),
         QgsField(names[4], QVariant::Double)}));
    units->updateFields();
    const QStringList heading = CsvFields(QString::fromUtf8(csv.readLine()).trimmed());
    QgsFeatureList features;
    while (!csv.atEnd()) {
        const QStringList values = CsvFields(QString::fromUtf8(csv.readLine()).trimmed());
        QgsFeature feature(units->fields());
        for (int i = 0; i < names.size(); ++i) {
            const QString value = values.value(heading.indexOf(names[i]));
            feature.setAttribute(i, i < 3 ? QVariant(value.toLongLong()) : QVariant(value.toDouble()));
        }
        features.append(feature);
    }
    ASSERT_EQ(features.size(), 1246);
    ASSERT_TRUE(units->dataProvider()->addFeatures(features));
    QgsVectorLayer* layer = Add(std::move(units));

    auto agreeing = [&](QVariantMap parameters) {
        parameters.insert({{QStringLiteral("INPUT"), layer->id()},
                           {QStringLiteral("SUM"), QStringLiteral("SUB_AREA=UP")},
                           {QStringLiteral("OUTPUT"), kTemporary}});
        std::optional<QVariantMap> results = Network(parameters);
        EXPECT_TRUE(results) << feedback.errors.join('\n').toStdString();
        int within = 0;
        QgsFeatureIterator all = results ? Result(*results)->getFeatures() : QgsFeatureIterator();
        for (QgsFeature unit; all.nextFeature(unit);) {
            const double up = unit.attribute("UP").toDouble();
            const double data = unit.attribute("UP_AREA").toDouble();
            within += std::fabs(up - data) <= 0.01 * data ? 1 : 0;
        }
        return within;
    };
    EXPECT_EQ(agreeing({{QStringLiteral("NEXT_DOWN_FIELD"), QStringLiteral("NEXT_DOWN")},
                        {QStringLiteral("ID_FIELD"), QStringLiteral("HYBAS_ID")}}),
              1245);
    EXPECT_EQ(agreeing({{QStringLiteral("PFAF_FIELD"), QStringLiteral("PFAF_12")},
                        {QStringLiteral("LEVEL"), 12},
                        {QStringLiteral("ZEROS"), 1},
                        {QStringLiteral("INT64"), true}}),
              1091);
}

}  // namespace
}  // namespace drennow::qgis::testing
