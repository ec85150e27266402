// `drennow network` on real datasets: the fields written against the
// network walked by definition, queries printed and written to new files,
// refusals that leave the data as it was, and the Rhine's upstream areas.
#include "../networkrun/Reference.h"
#include "ChildProcess.h"
#include "GdalTestData.h"
#include "command/NextDownAssigner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>

namespace drennow::e2e {
namespace {

using gdaltest::Basin;
using gdaltest::Format;
using gdaltest::TempFolder;
using ::testing::HasSubstr;

ChildResult Network(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "network");
    return RunChild(DRENNOW_BINARY, arguments);
}

// A field's values by feature id, as numbers; nothing for nulls.
std::map<int64_t, std::optional<double>> Numbers(const std::string& dataset, const std::string& layer,
                                                 const std::string& field)
{
    std::map<int64_t, std::optional<double>> values;
    GDALDatasetUniquePtr opened(GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    OGRLayer* found = opened ? opened->GetLayerByName(layer.c_str()) : nullptr;
    EXPECT_NE(found, nullptr) << dataset;
    if (found == nullptr) {
        return values;
    }
    int index = found->GetLayerDefn()->GetFieldIndex(field.c_str());
    EXPECT_GE(index, 0) << field;
    for (auto& feature : *found) {
        values[feature->GetFID()] = index < 0 || !feature->IsFieldSetAndNotNull(index)
                                        ? std::nullopt
                                        : std::optional<double>(feature->GetFieldAsDouble(index));
    }
    return values;
}

// Basins with identifiers 10, 20, ... (one repeated), next-down values that
// name a basin, none, an unknown one, or close a cycle.
std::vector<Basin> RandomBasins(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> pick(0, count + 2);
    std::vector<Basin> basins;
    for (size_t i = 0; i < count; ++i) {
        int64_t id = 10 * static_cast<int64_t>(i == 5 ? 3 : i + 1);
        size_t next = pick(random);
        std::optional<int64_t> nextDown =
            next == count ? std::optional<int64_t>() : std::optional<int64_t>(10 * static_cast<int64_t>(next + 1));
        basins.push_back({static_cast<int64_t>(1 + random() % 9 * 10 + random() % 9), id, nextDown});
    }
    return basins;
}

// Values as text, the same or the same number (a Shapefile writes reals
// with their declared precision).
bool SameValue(const std::string& a, const std::string& b)
{
    char* endA = nullptr;
    char* endB = nullptr;
    double x = std::strtod(a.c_str(), &endA), y = std::strtod(b.c_str(), &endB);
    return a == b || (!a.empty() && !b.empty() && *endA == '\0' && *endB == '\0' && x == y);
}

std::unique_ptr<OGRGeometry> FromHex(const std::string& hex)
{
    std::vector<unsigned char> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    OGRGeometry* geometry = nullptr;
    OGRGeometryFactory::createFromWkb(bytes.data(), nullptr, &geometry, static_cast<int>(bytes.size()));
    return std::unique_ptr<OGRGeometry>(geometry);
}

// The same extent and area: a Shapefile may turn a polygon's rings round.
bool SameGeometry(const std::string& a, const std::string& b)
{
    auto x = FromHex(a), y = FromHex(b);
    if (!x || !y) {
        return false;
    }
    OGREnvelope ex, ey;
    x->getEnvelope(&ex);
    y->getEnvelope(&ey);
    auto area = [](const OGRGeometry& g) { return dynamic_cast<const OGRSurface*>(&g) ? g.toSurface()->get_Area() : -1.0; };
    return ex == ey && area(*x) == area(*y);
}

reference::WalkedNetwork TopologyOf(const std::vector<Basin>& basins)
{
    std::vector<int64_t> downstream(basins.size(), reference::kNone);
    for (size_t i = 0; i < basins.size(); ++i) {
        for (size_t j = 0; basins[i].nextDownId && j < basins.size(); ++j) {
            if (basins[j].hydroId == basins[i].nextDownId) {
                downstream[i] = static_cast<int64_t>(j);
                break;
            }
        }
    }
    return reference::WalkedNetwork(downstream);
}

class NetworkFormatTest : public ::testing::TestWithParam<Format> {
protected:
    int64_t FirstFid() const { return GetParam() == Format::Shapefile ? 0 : 1; }
    std::string Layer() const { return "Watershed"; }

    TempFolder folder_;
};

TEST_P(NetworkFormatTest, TopologyFieldsEqualTheChainsWalked)
{
    std::vector<Basin> basins = RandomBasins(30, 7);
    std::string dataset = gdaltest::CreateWatersheds(GetParam(), folder_, basins, true);
    ChildResult run = Network({"--next-down-field", "NextDownID", "--id-field", "HydroID", "--sum", "Area=UP",
                               "--count", "N", "--outlet", "OUTLET", "--moves", "MOVES", dataset});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Wrote UP, N, OUTLET, MOVES into 30 of 30 basins"));
    reference::WalkedNetwork expected = TopologyOf(basins);
    auto up = Numbers(dataset, Layer(), "UP"), n = Numbers(dataset, Layer(), "N");
    auto outlet = Numbers(dataset, Layer(), "OUTLET"), moves = Numbers(dataset, Layer(), "MOVES");
    std::vector<double> area;
    for (size_t i = 0; i < basins.size(); ++i) {
        area.push_back(1.25 * static_cast<double>(i) + 0.125);  // as the data is made
    }
    for (size_t i = 0; i < basins.size(); ++i) {
        auto basin = static_cast<int64_t>(i);
        int64_t fid = FirstFid() + basin;
        std::optional<double> sum = expected.Sum(basin, area);
        ASSERT_EQ(up[fid].has_value(), sum.has_value()) << i;
        if (sum) {
            EXPECT_NEAR(*up[fid], *sum, 1e-9 * *sum) << i;
        }
        bool onCycle = expected.OnOrAboveCycle(basin);
        EXPECT_EQ(n[fid], onCycle ? std::nullopt : std::optional<double>(expected.UpstreamSet(basin).size())) << i;
        std::optional<int64_t> last = expected.Outlet(basin);
        EXPECT_EQ(outlet[fid], last ? std::optional<double>(*basins[static_cast<size_t>(*last)].hydroId) : std::nullopt);
        std::optional<int64_t> steps = expected.Moves(basin);
        EXPECT_EQ(moves[fid], steps ? std::optional<double>(*steps) : std::nullopt);
    }
}

TEST_P(NetworkFormatTest, CodeCountsEqualTheCommandsNetwork)
{
    std::vector<Basin> basins = RandomBasins(40, 11);
    std::string dataset = gdaltest::CreateWatersheds(GetParam(), folder_, basins, false);
    ChildResult run = Network({"--pfaf-field", gdaltest::PfafFieldName(GetParam()), "--count", "N", dataset});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::vector<runtime::Variant> codes;
    for (const Basin& basin : basins) {
        codes.emplace_back(*basin.pfafstetterId);
    }
    std::vector<command::Assigned> assigned = command::AssignLayer(codes, nullptr, {}, false);
    std::vector<int64_t> downstream(basins.size(), reference::kNone);
    for (size_t i = 0; i < basins.size(); ++i) {
        for (size_t j = 0; !assigned[i].failure && j < basins.size(); ++j) {
            if (runtime::ToLongLong(codes[j]) == runtime::ToLongLong(assigned[i].value)) {
                downstream[i] = static_cast<int64_t>(j);
                break;
            }
        }
    }
    reference::WalkedNetwork expected(downstream);
    auto n = Numbers(dataset, Layer(), "N");
    for (size_t i = 0; i < basins.size(); ++i) {
        EXPECT_EQ(n[FirstFid() + static_cast<int64_t>(i)], expected.UpstreamSet(static_cast<int64_t>(i)).size()) << i;
    }
}

TEST_P(NetworkFormatTest, QueriesPrintOrWriteTheBasinsAndChangeNothing)
{
    std::vector<Basin> basins = RandomBasins(30, 3);
    std::string dataset = gdaltest::CreateWatersheds(GetParam(), folder_, basins, true);
    auto before = gdaltest::Snapshot(dataset, Layer());
    reference::WalkedNetwork expected = TopologyOf(basins);
    // The basin whose set is the largest.
    int64_t of = 0;
    for (int64_t basin = 0; basin < 30; ++basin) {
        of = expected.UpstreamSet(basin).size() > expected.UpstreamSet(of).size() ? basin : of;
    }
    std::string ids = std::to_string(FirstFid() + of) + ",900";
    ChildResult printed = Network({"--next-down-field", "NextDownID", "--id-field", "HydroID", "--upstream-of", ids,
                                   dataset});
    ASSERT_EQ(printed.exitStatus, 0) << printed.err;
    std::string wanted;
    for (int64_t basin : expected.UpstreamSet(of)) {
        wanted += std::to_string(FirstFid() + basin) + "\n";
    }
    EXPECT_EQ(printed.out, wanted);
    EXPECT_THAT(printed.err, HasSubstr("--upstream-of: 1 of the ids given are of no feature of Watershed"));
    for (const char* extension : {".gpkg", ".shp"}) {
        std::string output = folder_.File(std::string("up") + extension);
        ChildResult written = Network({"--next-down-field", "NextDownID", "--id-field", "HydroID", "--upstream-of",
                                       ids, "--output", output, dataset});
        ASSERT_EQ(written.exitStatus, 0) << written.err;
        auto copied = gdaltest::Snapshot(output, std::string(extension) == ".shp" ? "up" : Layer());
        ASSERT_EQ(copied.size(), expected.UpstreamSet(of).size());
        size_t at = 0;
        for (int64_t basin : expected.UpstreamSet(of)) {
            const auto& original = before[static_cast<size_t>(basin)];
            EXPECT_TRUE(SameGeometry(copied[at].geometry, original.geometry)) << basin;
            EXPECT_EQ(copied[at].fields.size(), original.fields.size());
            for (const auto& [field, value] : original.fields) {
                // A Shapefile keeps ten characters of a name.
                auto kept = copied[at].fields.find(field.substr(0, extension == std::string(".shp") ? 10 : field.size()));
                ASSERT_NE(kept, copied[at].fields.end()) << field;
                EXPECT_TRUE(SameValue(kept->second, value)) << field << ": " << kept->second << " " << value;
            }
            ++at;
        }
        // Never over an existing file.
        std::string kept = gdaltest::ReadFile(output);
        ChildResult again = Network({"--next-down-field", "NextDownID", "--id-field", "HydroID", "--downstream-of",
                                     ids, "--output", output, dataset});
        EXPECT_EQ(again.exitStatus, 2);
        EXPECT_EQ(again.err, "drennow: --output: " + output + " exists; it is never overwritten\n");
        EXPECT_EQ(gdaltest::ReadFile(output), kept);
    }
    EXPECT_EQ(gdaltest::Snapshot(dataset, Layer()), before);
}

TEST_P(NetworkFormatTest, RefusalsLeaveTheDataAsItWas)
{
    std::string dataset = gdaltest::CreateWatersheds(GetParam(), folder_, RandomBasins(8, 5), true);
    auto before = gdaltest::Snapshot(dataset, Layer());
    ChildResult missing = Network({"--next-down-field", "NEXT", "--id-field", "HydroID", "--count", "N", dataset});
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_EQ(missing.err, GetParam() == Format::Shapefile
                               ? "drennow: --next-down-field: Watershed has no field called NEXT; its fields are: "
                                 "FID, HydroID, Pfafstette, Name, Area, NextDownID\n"
                               : "drennow: --next-down-field: Watershed has no field called NEXT; its fields are: "
                                 "fid, HydroID, PfafstetterID, Name, Area, NextDownID\n");
    ChildResult text = Network({"--next-down-field", "NextDownID", "--id-field", "HydroID", "--sum", "Name=UP",
                                dataset});
    EXPECT_EQ(text.exitStatus, 2);
    EXPECT_EQ(text.err, "drennow: --sum: Name is a text field; the values are to be numbers\n");
    ChildResult read = Network({"--next-down-field", "NextDownID", "--id-field", "HydroID", "--count", "N",
                                "--outlet", "hydroid", dataset});
    EXPECT_EQ(read.exitStatus, 2);
    EXPECT_EQ(read.err, "drennow: --outlet: HydroID is read by this run; write into another field\n");
    EXPECT_EQ(gdaltest::Snapshot(dataset, Layer()), before);
    EXPECT_FALSE(gdaltest::HasField(dataset, Layer(), "N"));
}

INSTANTIATE_TEST_SUITE_P(Formats, NetworkFormatTest, ::testing::Values(Format::GeoPackage, Format::Shapefile),
                         [](const auto& info) { return gdaltest::FormatName(info.param); });

TEST(NetworkCommandLineTest, HelpOfItsOwnAndTheCommandsUnchanged)
{
    ChildResult help = Network({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_THAT(help.out, ::testing::StartsWith("Usage: drennow network [options] DATASET...\n"));
    ChildResult refused = Network({"--sum", "A", "b.gpkg"});
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_EQ(refused.err, "drennow network: --sum takes SRC=DEST, not A\nTry 'drennow network --help'.\n");
    EXPECT_THAT(RunChild(DRENNOW_BINARY, {"--help"}).out, ::testing::Not(HasSubstr("network")));
}

// The Rhine's units, each draining into the one NEXT_DOWN names: the sum of
// their own areas upstream is the data's own upstream area.
TEST(NetworkRhineTest, UpstreamAreasOfTheTopology)
{
    GDALAllRegister();
    GDALDatasetUniquePtr csv(GDALDataset::Open(RHINE_UNITS, GDAL_OF_VECTOR | GDAL_OF_READONLY));
    if (!csv) {
        GTEST_SKIP() << "the HydroBASINS extract is not beside the project";
    }
    TempFolder folder;
    std::string dataset = folder.File("rhine.gpkg");
    GDALDatasetUniquePtr gpkg(
        GetGDALDriverManager()->GetDriverByName("GPKG")->Create(dataset.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRLayer* layer = gpkg->CreateLayer("units", nullptr, wkbMultiPolygon, nullptr);
    for (auto [name, type] : {std::pair{"HYBAS_ID", OFTInteger64}, {"NEXT_DOWN", OFTInteger64}, {"SUB_AREA", OFTReal},
                              {"UP_AREA", OFTReal}}) {
        OGRFieldDefn field(name, type);
        ASSERT_EQ(layer->CreateField(&field), OGRERR_NONE);
    }
    gpkg->StartTransaction();
    for (auto& unit : *csv->GetLayer(0)) {
        OGRFeature feature(layer->GetLayerDefn());
        for (const char* name : {"HYBAS_ID", "NEXT_DOWN", "SUB_AREA", "UP_AREA"}) {
            feature.SetField(name, unit->GetFieldAsString(name));
        }
        feature.SetGeometry(unit->GetGeometryRef());
        ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    gpkg->CommitTransaction();
    gpkg.reset();
    ChildResult run = Network({"--next-down-field", "NEXT_DOWN", "--id-field", "HYBAS_ID", "--sum", "SUB_AREA=UP",
                               dataset});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    auto up = Numbers(dataset, "units", "UP"), known = Numbers(dataset, "units", "UP_AREA");
    size_t within = 0;
    for (const auto& [fid, area] : known) {
        within += area && up[fid] && std::fabs(*up[fid] - *area) <= 0.01 * *area;
    }
    EXPECT_EQ(known.size(), 1246u);
    EXPECT_GE(within, 1245u) << run.out;
    std::cout << "within 1 % of UP_AREA: " << within << " of " << known.size() << "\n";
}

}  // namespace
}  // namespace drennow::e2e
