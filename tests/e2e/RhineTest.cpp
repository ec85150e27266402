// Real HydroBASINS codes: the Rhine extract at every level, read with zeros
// as units not subdivided, compared with the data's own topology.
#include "ChildProcess.h"
#include "GdalTestData.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

namespace drennow::e2e {
namespace {

using gdaltest::TempFolder;

// One finest unit of the extract.
struct Unit {
    int64_t hybasId = 0;
    int64_t nextDown = 0;  // 0 at the outlet
    double upArea = 0;
    std::array<int64_t, 13> pfaf{};  // by level, 1 to 12
};

std::vector<Unit> ReadUnits()
{
    GDALAllRegister();
    GDALDatasetUniquePtr csv(GDALDataset::Open(RHINE_UNITS, GDAL_OF_VECTOR | GDAL_OF_READONLY));
    std::vector<Unit> units;
    if (!csv) {
        return units;
    }
    OGRLayer& layer = *csv->GetLayer(0);
    for (auto& feature : layer) {
        Unit unit;
        unit.hybasId = feature->GetFieldAsInteger64("HYBAS_ID");
        unit.nextDown = feature->GetFieldAsInteger64("NEXT_DOWN");
        unit.upArea = feature->GetFieldAsDouble("UP_AREA");
        for (int level = 1; level <= 12; ++level) {
            unit.pfaf[static_cast<size_t>(level)] = feature->GetFieldAsInteger64(("PFAF_" + std::to_string(level)).c_str());
        }
        units.push_back(unit);
    }
    return units;
}

// A basin of one level: the units of one code, drained through the unit of
// the largest upstream area whose downstream unit is not of the code.
struct Basin {
    int64_t code = 0;
    int64_t outlet = 0;          // its HYBAS_ID
    int64_t downstreamCode = 0;  // by the topology; 0 where it drains out
    int64_t downstreamOutlet = 0;
};

std::vector<Basin> BasinsOfLevel(const std::vector<Unit>& units, int level)
{
    std::map<int64_t, const Unit*> byId;
    for (const Unit& unit : units) {
        byId[unit.hybasId] = &unit;
    }
    auto level_ = static_cast<size_t>(level);
    std::map<int64_t, Basin> basins;
    std::map<int64_t, double> outletArea;
    for (const Unit& unit : units) {
        int64_t code = unit.pfaf[level_];
        auto next = byId.find(unit.nextDown);
        int64_t downstream = next == byId.end() ? 0 : next->second->pfaf[level_];
        Basin& basin = basins[code];
        basin.code = code;
        if (downstream != code && (!outletArea.count(code) || unit.upArea > outletArea[code])) {
            outletArea[code] = unit.upArea;
            basin.outlet = unit.hybasId;
            basin.downstreamCode = downstream;
        }
    }
    std::vector<Basin> list;
    for (auto& [code, basin] : basins) {
        auto downstream = basins.find(basin.downstreamCode);
        basin.downstreamOutlet = downstream == basins.end() ? 0 : downstream->second.outlet;
        list.push_back(basin);
    }
    return list;
}

std::string CreateLevel(const TempFolder& folder, const std::vector<Basin>& basins)
{
    std::string name = folder.File("rhine.gpkg");
    GDALDatasetUniquePtr dataset(GetGDALDriverManager()->GetDriverByName("GPKG")->Create(name.c_str(), 0, 0, 0,
                                                                                         GDT_Unknown, nullptr));
    OGRLayer* layer = dataset->CreateLayer("Watershed", nullptr, wkbPolygon, nullptr);
    for (const char* field : {"PFAF", "HYBAS_ID", "NEXT_PFAF", "NEXT_DOWN"}) {
        OGRFieldDefn definition(field, OFTInteger64);
        EXPECT_EQ(layer->CreateField(&definition), OGRERR_NONE);
    }
    dataset->StartTransaction();
    for (size_t i = 0; i < basins.size(); ++i) {
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetField("PFAF", static_cast<GIntBig>(basins[i].code));
        feature.SetField("HYBAS_ID", static_cast<GIntBig>(basins[i].outlet));
        feature.SetField("NEXT_PFAF", static_cast<GIntBig>(basins[i].downstreamCode));
        feature.SetField("NEXT_DOWN", static_cast<GIntBig>(basins[i].downstreamOutlet));
        gdaltest::SetSquare(feature, i, 40);
        EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
    dataset->CommitTransaction();
    return name;
}

// The agreement the run printed: agreeing and compared basins.
std::pair<int64_t, int64_t> Agreement(const std::string& output, const std::string& field)
{
    std::smatch match;
    const std::regex line("Agreement with " + field + ": ([0-9]+) of ([0-9]+) basins");
    if (!std::regex_search(output, match, line)) {
        return {-1, -1};
    }
    return {std::stoll(match[1]), std::stoll(match[2])};
}

TEST(RhineTest, UnsubdividedZerosReproduceTheTopologyAtCoarseLevels)
{
    std::vector<Unit> units = ReadUnits();
    if (units.empty()) {
        GTEST_SKIP() << "the HydroBASINS extract is not beside the project";
    }
    for (int level = 1; level <= 12; ++level) {
        TempFolder folder;
        std::vector<Basin> basins = BasinsOfLevel(units, level);
        std::string dataset = CreateLevel(folder, basins);
        ChildResult run = RunChild(DRENNOW_BINARY, {"--batch", "--int64", "--zeros", "unsubdivided", "--pfaf-field",
                                                    "PFAF", "--populate", "pfaf", "--compare-with", "NEXT_PFAF",
                                                    "--level", std::to_string(level), dataset});
        ASSERT_EQ(run.exitStatus, 0) << "level " << level << ": " << run.out << run.err;
        auto [agreeing, compared] = Agreement(run.out, "NEXT_PFAF");
        EXPECT_EQ(compared, static_cast<int64_t>(basins.size())) << "level " << level;
        if (level <= 7) {
            EXPECT_EQ(agreeing, compared) << "level " << level << ": "
                                          << gdaltest::ReadFile(folder.File("Drennow-compare.log"));
        }
        std::printf("level %d: %lld of %lld basins agree with the topology\n", level,
                    static_cast<long long>(agreeing), static_cast<long long>(compared));
        if (level == 12) {
            // The finest units by their ten-digit identifiers, as the data
            // links them.
            ChildResult byId = RunChild(DRENNOW_BINARY, {"--batch", "--int64", "--zeros", "unsubdivided",
                                                         "--pfaf-field", "PFAF", "--populate", "id", "--id-field",
                                                         "HYBAS_ID", "--compare-with", "NEXT_DOWN", dataset});
            ASSERT_EQ(byId.exitStatus, 0) << byId.out << byId.err;
            EXPECT_EQ(Agreement(byId.out, "NEXT_DOWN"), std::make_pair(agreeing, compared));
        }
    }
}

}  // namespace
}  // namespace drennow::e2e
