#include "Programs.h"

#include "../networkrun/Reference.h"
#include "ExpectedRun.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

namespace drennow::reliability {

namespace {

using gdaltest::Format;

constexpr const char* kLayer = "Watershed";

int64_t FirstFid(Format format)
{
    return format == Format::Shapefile ? 0 : 1;
}

GDALDatasetUniquePtr OpenData(const std::string& dataset, bool update)
{
    GDALAllRegister();
    return GDALDatasetUniquePtr(
        GDALDataset::Open(dataset.c_str(), GDAL_OF_VECTOR | (update ? GDAL_OF_UPDATE : GDAL_OF_READONLY)));
}

// A field's values by feature id, as numbers; nothing for nulls. Empty
// when the field is missing.
std::map<int64_t, std::optional<double>> Numbers(const std::string& dataset, const std::string& field)
{
    std::map<int64_t, std::optional<double>> values;
    GDALDatasetUniquePtr opened = OpenData(dataset, false);
    OGRLayer* layer = opened ? opened->GetLayerByName(kLayer) : nullptr;
    int index = layer ? layer->GetLayerDefn()->GetFieldIndex(field.c_str()) : -1;
    if (index < 0) {
        return values;
    }
    for (auto& feature : *layer) {
        values[feature->GetFID()] = feature->IsFieldSetAndNotNull(index)
                                        ? std::optional<double>(feature->GetFieldAsDouble(index))
                                        : std::nullopt;
    }
    return values;
}

std::string Shown(const std::optional<double>& value)
{
    return value ? std::to_string(*value) : "null";
}

// The first feature whose value differs from the one expected, and how
// many do; empty when none does.
std::string Differences(const std::string& field, const std::map<int64_t, std::optional<double>>& written,
                        const std::map<int64_t, std::optional<double>>& expected, double tolerance)
{
    if (written.size() != expected.size()) {
        return field + ": " + std::to_string(written.size()) + " features, not " + std::to_string(expected.size());
    }
    size_t differing = 0;
    std::string first;
    for (const auto& [fid, value] : expected) {
        const std::optional<double>& got = written.at(fid);
        bool same = got.has_value() == value.has_value() &&
                    (!value || std::fabs(*got - *value) <= tolerance * std::max(1.0, std::fabs(*value)));
        if (!same && differing++ == 0) {
            first = "feature " + std::to_string(fid) + " holds " + Shown(got) + ", not " + Shown(value);
        }
    }
    return differing == 0 ? "" : field + ": " + std::to_string(differing) + " features differ, the first " + first;
}

// Each basin's chain down, the basin first.
using Chains = std::vector<std::vector<int64_t>>;

// The chains of the basins' network as the command's rules give it: each
// basin drains into the first basin read with its downstream code.
Chains WorkOutChains(const std::vector<gdaltest::Basin>& basins)
{
    std::map<int64_t, std::optional<int64_t>> downCodes = e2e::Expect(basins, 0, {}).nextDownIds;
    std::unordered_map<int64_t, int64_t> firstWithCode;
    for (size_t i = 0; i < basins.size(); ++i) {
        if (basins[i].pfafstetterId) {
            firstWithCode.try_emplace(*basins[i].pfafstetterId, static_cast<int64_t>(i));
        }
    }
    std::vector<int64_t> downstream(basins.size(), reference::kNone);
    for (size_t i = 0; i < basins.size(); ++i) {
        const std::optional<int64_t>& code = downCodes.at(static_cast<int64_t>(i));
        if (auto found = code ? firstWithCode.find(*code) : firstWithCode.end(); found != firstWithCode.end()) {
            downstream[i] = found->second;
        }
    }
    reference::WalkedNetwork network(std::move(downstream));
    Chains chains;
    for (int64_t basin = 0; basin < static_cast<int64_t>(basins.size()); ++basin) {
        chains.push_back(*network.Chain(basin));  // codes make no cycle
    }
    return chains;
}

// The same, worked out once for the basins a test asks for again: the
// rules' scan takes seconds on tens of thousands of basins.
const Chains& ChainsOf(const std::vector<gdaltest::Basin>& basins)
{
    static std::vector<gdaltest::Basin> lastBasins;
    static std::optional<Chains> last;
    auto same = [](const gdaltest::Basin& a, const gdaltest::Basin& b) {
        return a.pfafstetterId == b.pfafstetterId && a.hydroId == b.hydroId;
    };
    if (!last || !std::equal(basins.begin(), basins.end(), lastBasins.begin(), lastBasins.end(), same)) {
        last.emplace(WorkOutChains(basins));
        lastBasins = basins;
    }
    return *last;
}

// Each basin's rank comes after the rank of the basin it drains into, and
// the ranks number the basins 0, 1, 2, ...
std::string RankProblems(const std::map<int64_t, std::optional<double>>& ranks, const Chains& chains, int64_t firstFid)
{
    std::set<double> seen;
    for (int64_t basin = 0; basin < static_cast<int64_t>(chains.size()); ++basin) {
        auto rank = ranks.find(firstFid + basin);
        if (rank == ranks.end() || !rank->second) {
            return "SORT: feature " + std::to_string(firstFid + basin) + " has no rank";
        }
        seen.insert(*rank->second);
        const std::vector<int64_t>& chain = chains[static_cast<size_t>(basin)];
        if (chain.size() > 1 && !(*rank->second > *ranks.at(firstFid + chain[1]))) {
            return "SORT: feature " + std::to_string(firstFid + basin) + " ranks " + Shown(rank->second) +
                   ", not after the " + Shown(ranks.at(firstFid + chain[1])) + " of the feature it drains into";
        }
    }
    bool numbered = seen.size() == chains.size() && *seen.begin() == 0 &&
                    *seen.rbegin() == static_cast<double>(chains.size() - 1);
    return numbered ? "" : "SORT: the ranks are not 0 to " + std::to_string(chains.size() - 1) + ", each once";
}

// The network's fields as the walks give them over the areas.
std::string NetworkValueProblems(const std::string& dataset, const Chains& chains,
                                 const std::vector<gdaltest::Basin>& basins, int64_t firstFid, Variant variant)
{
    std::map<int64_t, std::optional<double>> area = Numbers(dataset, "Area");
    std::map<int64_t, std::optional<double>> upstream, outlets;
    for (int64_t basin = 0; basin < static_cast<int64_t>(basins.size()); ++basin) {
        const std::vector<int64_t>& chain = chains[static_cast<size_t>(basin)];
        double value = *area.at(firstFid + basin);
        for (int64_t below : chain) {
            std::optional<double>& at = upstream[firstFid + below];
            at = !at ? value : variant == Variant::First ? *at + value : std::max(*at, value);
        }
        const gdaltest::Basin& outlet = basins[static_cast<size_t>(chain.back())];
        outlets[firstFid + basin] = static_cast<double>(variant == Variant::First ? *outlet.pfafstetterId
                                                                                  : *outlet.hydroId);
    }
    for (const std::string& problem :
         {Differences("UP", Numbers(dataset, "UP"), upstream, 1e-12), Differences("MAIN", Numbers(dataset, "MAIN"),
                                                                                   outlets, 0),
          RankProblems(Numbers(dataset, "SORT"), chains, firstFid)}) {
        if (!problem.empty()) {
            return problem;
        }
    }
    return "";
}

// Adds the network's fields, each holding kUnwritten in every feature.
void AddNetworkFields(Format format, const std::string& dataset)
{
    GDALDatasetUniquePtr opened = OpenData(dataset, true);
    ASSERT_TRUE(opened) << dataset;
    std::string assignments = "\"UP\" = " + std::to_string(kUnwritten) + ", \"MAIN\" = " +
                              std::to_string(kUnwritten) + ", \"SORT\" = " + std::to_string(kUnwritten);
    if (format == Format::Postgres) {
        // In SQL: a field GDAL adds to a table it opened gets a name in lower case.
        std::string table = "\"" + gdaltest::LastPostgresTable() + "\".\"" + kLayer + "\"";
        opened->ExecuteSQL(("ALTER TABLE " + table +
                            " ADD COLUMN \"UP\" double precision, ADD COLUMN \"MAIN\" integer, ADD COLUMN \"SORT\" "
                            "integer; UPDATE " + table + " SET " + assignments)
                               .c_str(),
                           nullptr, nullptr);
        return;
    }
    OGRLayer* layer = opened->GetLayerByName(kLayer);
    ASSERT_NE(layer, nullptr);
    for (auto [name, type] : {std::pair{"UP", OFTReal}, {"MAIN", OFTInteger}, {"SORT", OFTInteger}}) {
        OGRFieldDefn field(name, type);
        ASSERT_EQ(layer->CreateField(&field), OGRERR_NONE) << CPLGetLastErrorMsg();
    }
    // The SQLite dialect updates a Shapefile's table too.
    CPLErrorReset();
    opened->ExecuteSQL(("UPDATE \"" + std::string(kLayer) + "\" SET " + assignments).c_str(), nullptr, "SQLITE");
    ASSERT_LT(CPLGetLastErrorType(), CE_Failure) << CPLGetLastErrorMsg();
}

}  // namespace

std::string ProgramName(Program program)
{
    return program == Program::Command ? "Command" : "Network";
}

void PrintTo(Program program, std::ostream* out)
{
    *out << ProgramName(program);
}

std::vector<std::string> RunArguments(Program program, Format format, Variant variant)
{
    if (program == Program::Command) {
        return variant == Variant::First ? IdAnswers(format) : CodeAnswers(format);
    }
    std::vector<std::string> arguments{"network", "--layer", kLayer, "--pfaf-field", gdaltest::PfafFieldName(format),
                                       "--trailing-zeros", "no"};
    if (variant == Variant::First) {
        arguments.insert(arguments.end(), {"--sum", "Area=UP"});
    } else {
        arguments.insert(arguments.end(), {"--id-field", "HydroID", "--max", "Area=UP"});
    }
    arguments.insert(arguments.end(), {"--outlet", "MAIN", "--rank", "SORT"});
    return arguments;
}

bool SaysItFinished(Program program, const std::string& out)
{
    return program == Program::Command ? out.find("Finished") != std::string::npos : !out.empty();
}

std::vector<std::string> WrittenFields(Program program)
{
    if (program == Program::Command) {
        return {"NextDownID"};
    }
    return {"UP", "MAIN", "SORT"};
}

std::string CreateData(Program program, Format format, const gdaltest::TempFolder& folder,
                       const std::vector<gdaltest::Basin>& basins, bool withWrittenFields)
{
    if (program == Program::Command) {
        return gdaltest::CreateWatersheds(format, folder, basins, withWrittenFields);
    }
    std::string dataset = gdaltest::CreateWatersheds(format, folder, basins, true);
    if (withWrittenFields) {
        AddNetworkFields(format, dataset);
    }
    return dataset;
}

struct SavedValues::Expected {
    Program program;
    int64_t firstFid;
    Variant variant;
    std::vector<gdaltest::Basin> basins;
    std::map<int64_t, std::optional<double>> nextDownIds;  // the command's
    Chains chains;                                         // the network run's
};

SavedValues::SavedValues(Program program, Format format, const std::vector<gdaltest::Basin>& basins, Variant variant)
    : expected_(std::make_unique<Expected>(Expected{program, FirstFid(format), variant, basins, {}, {}}))
{
    if (program == Program::Network) {
        expected_->chains = ChainsOf(basins);
        return;
    }
    for (const auto& [fid, value] :
         e2e::Expect(basins, FirstFid(format), {false, variant == Variant::First, std::nullopt}).nextDownIds) {
        expected_->nextDownIds[fid] = value ? std::optional<double>(static_cast<double>(*value)) : std::nullopt;
    }
}

SavedValues::~SavedValues() = default;
SavedValues::SavedValues(SavedValues&&) noexcept = default;

std::string SavedValues::ProblemsIn(const std::string& dataset) const
{
    const Expected& expected = *expected_;
    if (expected.program == Program::Command) {
        return Differences("NextDownID", Numbers(dataset, "NextDownID"), expected.nextDownIds, 0);
    }
    return NetworkValueProblems(dataset, expected.chains, expected.basins, expected.firstFid, expected.variant);
}

std::string UnsavedValueProblems(Program program, const std::string& dataset, bool hadWrittenFields)
{
    for (const std::string& field : WrittenFields(program)) {
        for (const auto& [fid, value] : Numbers(dataset, field)) {
            bool unsaved = hadWrittenFields ? value == static_cast<double>(kUnwritten) : !value;
            if (!unsaved) {
                return field + ": feature " + std::to_string(fid) + " holds " + Shown(value);
            }
        }
        if (hadWrittenFields && !gdaltest::HasField(dataset, kLayer, field)) {
            return "no field " + field;
        }
    }
    return "";
}

std::vector<std::string> AddedFields(Program program, const std::string& dataset, bool hadWrittenFields)
{
    std::vector<std::string> added;
    for (const std::string& field : WrittenFields(program)) {
        if (!hadWrittenFields && gdaltest::HasField(dataset, kLayer, field)) {
            added.push_back(field);
        }
    }
    return added;
}

std::vector<gdaltest::FeatureSnapshot> Without(std::vector<gdaltest::FeatureSnapshot> features,
                                               const std::vector<std::string>& fields)
{
    for (gdaltest::FeatureSnapshot& feature : features) {
        std::erase_if(feature.fields, [&](const auto& entry) {
            return std::any_of(fields.begin(), fields.end(),
                               [&](const std::string& field) { return EQUAL(field.c_str(), entry.first.c_str()); });
        });
    }
    return features;
}

}  // namespace drennow::reliability
