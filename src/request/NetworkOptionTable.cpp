#include "request/NetworkOptionTable.h"

#include "command/RunTexts.h"
#include "runtime/Error.h"
#include "runtime/Variant.h"

namespace drennow::request {

namespace {

namespace names = networkrun::options;
using networkrun::Measure;
using networkrun::OutputField;

const char* const kNetwork = "The network, from Pfafstetter codes or from a topology field:";
const char* const kOutputs = "Fields written (each added when missing):";
const char* const kQueries = "Queries (nothing is written into the datasets):";
const char* const kSelection = "Selection (without one, every feature is written; the network is always\n"
                               "built from every feature):";
const char* const kOther = "Other:";

// "SRC=DEST", split at its last '='; refused when a side is empty.
std::pair<std::string, std::string> SourceAndDestination(const char* option, const std::string& value,
                                                         const char* form)
{
    size_t equals = value.rfind('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == value.size()) {
        throw RequestError(std::string(option) + " takes " + form + ", not " + value);
    }
    return {value.substr(0, equals), value.substr(equals + 1)};
}

void AddAccumulation(NetworkCommandLine& line, Measure measure, const std::string& value)
{
    auto [source, dest] = SourceAndDestination(networkrun::OptionOf(measure), value, "SRC=DEST");
    line.network.outputs.push_back(OutputField{measure, dest, source, ""});
}

void AddWeightedMean(NetworkCommandLine& line, const std::string& value)
{
    const char* form = "SRC*WEIGHT=DEST";
    auto [sourceAndWeight, dest] = SourceAndDestination(names::kWeightedMean, value, form);
    size_t star = sourceAndWeight.rfind('*');
    if (star == std::string::npos || star == 0 || star + 1 == sourceAndWeight.size()) {
        throw RequestError(std::string(names::kWeightedMean) + " takes " + form + ", not " + value);
    }
    line.network.outputs.push_back(
        OutputField{Measure::WeightedMean, dest, sourceAndWeight.substr(0, star), sourceAndWeight.substr(star + 1)});
}

void AddOwnMeasure(NetworkCommandLine& line, Measure measure, const std::string& dest)
{
    if (dest.empty()) {
        throw RequestError(std::string(networkrun::OptionOf(measure)) + ": the field name is empty");
    }
    line.network.outputs.push_back(OutputField{measure, dest, "", ""});
}

void SetQuery(NetworkCommandLine& line, networkrun::Direction direction, const std::string& value)
{
    networkrun::Query query{direction, {}};
    if (line.network.query) {
        throw RequestError(std::string(names::kUpstreamOf) + " and " + names::kDownstreamOf +
                           " cannot be used together");
    }
    if (value.empty()) {
        throw RequestError(std::string(query.Option()) + ": the list is empty");
    }
    query.fids = values::FidList(query.Option(), value);
    line.network.query = std::move(query);
}

const std::vector<NetworkOption> kTable{
    {names::kPfafField, nullptr, "NAME", std::nullopt, kNetwork, "the Pfafstetter code field",
     [](NetworkCommandLine& l, const std::string& v) { l.network.pfafField = v; }},
    {"--level", nullptr, "N", std::nullopt, kNetwork, "the Pfafstetter level (1-9), checked only",
     [](NetworkCommandLine& l, const std::string& v) { l.level = values::Level(v); }},
    {"--trailing-zeros", nullptr, "yes|no", std::nullopt, kNetwork,
     "allow trailing zeros in Pfafstetter codes (no)",
     [](NetworkCommandLine& l, const std::string& v) {
         l.network.allowTrailingZeros = values::YesOrNo("--trailing-zeros", v);
         l.trailingZerosGiven = true;
     }},
    {"--zeros", nullptr, "closed|unsubdivided", std::nullopt, kNetwork,
     "a 0 digit marks a closed basin (the default), or\n"
     "a unit not subdivided at its level",
     [](NetworkCommandLine& l, const std::string& v) {
         l.network.options.zerosUnsubdivided = values::ZerosUnsubdivided(v);
     }},
    {"--int64", nullptr, nullptr, std::nullopt, kNetwork, "codes of up to 19 digits, levels 1-19",
     [](NetworkCommandLine& l, const std::string&) { l.network.options.int64 = true; }},
    {names::kNextDownField, nullptr, "NAME", std::nullopt, kNetwork,
     "the field of the identifier of the basin each\n"
     "drains into (0 or null at an outlet)",
     [](NetworkCommandLine& l, const std::string& v) { l.network.nextDownField = v; }},
    {names::kIdField, nullptr, "NAME", std::nullopt, kNetwork,
     "the identifier field: of the topology, and of\n"
     "the outlets written",
     [](NetworkCommandLine& l, const std::string& v) { l.network.idField = v; }},
    {names::kSum, nullptr, "SRC=DEST", std::nullopt, kOutputs, "the sum of SRC over the basins upstream",
     [](NetworkCommandLine& l, const std::string& v) { AddAccumulation(l, Measure::Sum, v); }, true},
    {names::kMean, nullptr, "SRC=DEST", std::nullopt, kOutputs, "their mean of SRC",
     [](NetworkCommandLine& l, const std::string& v) { AddAccumulation(l, Measure::Mean, v); }, true},
    {names::kMin, nullptr, "SRC=DEST", std::nullopt, kOutputs, "their least SRC",
     [](NetworkCommandLine& l, const std::string& v) { AddAccumulation(l, Measure::Min, v); }, true},
    {names::kMax, nullptr, "SRC=DEST", std::nullopt, kOutputs, "their greatest SRC",
     [](NetworkCommandLine& l, const std::string& v) { AddAccumulation(l, Measure::Max, v); }, true},
    {names::kWeightedMean, nullptr, "SRC*WEIGHT=DEST", std::nullopt, kOutputs, "their mean of SRC weighted by WEIGHT",
     [](NetworkCommandLine& l, const std::string& v) { AddWeightedMean(l, v); }, true},
    {names::kCount, nullptr, "DEST", std::nullopt, kOutputs, "how many basins lie upstream, the basin included",
     [](NetworkCommandLine& l, const std::string& v) { AddOwnMeasure(l, Measure::Count, v); }, true},
    {names::kOutlet, nullptr, "DEST", std::nullopt, kOutputs,
     "the outlet's identifier (--id-field), else\n"
     "its code",
     [](NetworkCommandLine& l, const std::string& v) { AddOwnMeasure(l, Measure::Outlet, v); }, true},
    {names::kMoves, nullptr, "DEST", std::nullopt, kOutputs, "the moves down to the outlet",
     [](NetworkCommandLine& l, const std::string& v) { AddOwnMeasure(l, Measure::Moves, v); }, true},
    {names::kRank, nullptr, "DEST", std::nullopt, kOutputs,
     "0, 1, 2, ... from the outlet up: every basin\n"
     "ranks after the one it drains into",
     [](NetworkCommandLine& l, const std::string& v) { AddOwnMeasure(l, Measure::Rank, v); }, true},
    {names::kUpstreamOf, nullptr, "LIST", std::nullopt, kQueries,
     "the basins upstream of any of these feature ids\n"
     "(as in 1,5,9-12), they included, one a line",
     [](NetworkCommandLine& l, const std::string& v) { SetQuery(l, networkrun::Direction::Upstream, v); }},
    {names::kDownstreamOf, nullptr, "LIST", std::nullopt, kQueries,
     "the basins on the way down from any of them",
     [](NetworkCommandLine& l, const std::string& v) { SetQuery(l, networkrun::Direction::Downstream, v); }},
    {"--output", nullptr, "FILE", std::nullopt, kQueries,
     "write them, with their attributes and geometry,\n"
     "to a new FILE of the format of its extension\n"
     "(.gpkg, .shp, ...), never over an existing one",
     [](NetworkCommandLine& l, const std::string& v) { l.output = v; }},
    {names::kLayer, nullptr, "NAME", std::nullopt, kSelection, "the watershed layer (the only one, if not given)",
     [](NetworkCommandLine& l, const std::string& v) {
         l.network.layer = v;
         l.selection.layer = v;
     }},
    {"--where", nullptr, "SQL", std::nullopt, kSelection,
     "the features that match an attribute filter, in\n"
     "the SQL of the dataset (its database's, if any)",
     [](NetworkCommandLine& l, const std::string& v) { l.selection.where = values::Filter(v); }},
    {"--fid", nullptr, "LIST", std::nullopt, kSelection, "features by id, as in 1,5,9-12",
     [](NetworkCommandLine& l, const std::string& v) { l.selection.fids = values::FidList("--fid", v); }},
    {"--help", nullptr, nullptr, std::nullopt, kOther, "",
     [](NetworkCommandLine& l, const std::string&) { l.help = true; }},
};

const char* const kUsageHeading =
    "Usage: drennow network [options] DATASET...\n"
    "\n"
    "Computes fields of the network of watershed basins of a GeoPackage, Shapefile,\n"
    "SQLite or PostgreSQL layer (PG:\"dbname=...\"), built from their Pfafstetter\n"
    "codes or from a field naming the basin each drains into, and writes them in one\n"
    "edit session: all of them, or none. Or lists the basins upstream or downstream\n"
    "of some. Each output is over a basin's upstream set: the basin and every basin\n"
    "that drains into it. Null, zero, negative and unconvertible codes end a chain;\n"
    "of basins with the same code, the first read receives the flow. Nothing is\n"
    "asked: a missing or ambiguous field is refused before anything changes.\n"
    "\n";

const char* const kUsageClosing =
    "\n"
    "While the run works, Esc, Ctrl-C, SIGTERM or SIGHUP cancels it; nothing is\n"
    "then saved. The closing lines go to stdout; error reports and notes to stderr.\n"
    "\n";

// The level rounds as the run's answer does (halves to even).
bool LevelWithin(const std::string& level, int16_t highest)
{
    try {
        int64_t rounded = runtime::ToLongLong(runtime::Variant(level));
        return rounded >= 1 && rounded <= highest;
    } catch (const runtime::Error&) {
        return false;  // beyond any range
    }
}

void CheckNetwork(const NetworkCommandLine& line)
{
    const networkrun::NetworkRequest& network = line.network;
    if (network.pfafField.has_value() == network.nextDownField.has_value()) {
        throw RequestError(network.pfafField ? std::string(names::kPfafField) + " and " + names::kNextDownField +
                                                   " cannot be used together"
                                             : std::string("give ") + names::kPfafField + " or " +
                                                   names::kNextDownField + " (with " + names::kIdField + ")");
    }
    if (network.nextDownField && !network.idField) {
        throw RequestError(std::string(names::kNextDownField) + " needs " + names::kIdField);
    }
    if (network.nextDownField && (line.level || line.trailingZerosGiven || network.options.zerosUnsubdivided ||
                                  network.options.int64)) {
        throw RequestError(std::string("--level, --trailing-zeros, --zeros and --int64 read Pfafstetter codes; ") +
                           names::kNextDownField + " gives none");
    }
    if (network.options.zerosUnsubdivided && line.trailingZerosGiven) {
        throw RequestError(kTrailingZerosWithUnsubdivided);
    }
    if (line.level) {
        int16_t highest = network.options.int64 ? command::texts::kHighestLevel64 : command::texts::kHighestLevel;
        if (!LevelWithin(*line.level, highest)) {
            throw RequestError("--level: " + command::texts::InvalidLevel(highest));
        }
    }
}

void CheckWhatToDo(const NetworkCommandLine& line)
{
    const networkrun::NetworkRequest& network = line.network;
    if (network.query && !network.outputs.empty()) {
        throw RequestError(std::string(network.query->Option()) + " changes nothing; it cannot be used with fields " +
                           "to write");
    }
    if (!network.query && network.outputs.empty()) {
        throw RequestError("nothing to do: give a field to write (such as --sum SRC=DEST) or " +
                           std::string(names::kUpstreamOf) + " or " + names::kDownstreamOf);
    }
    if (line.output && !network.query) {
        throw RequestError(std::string("--output writes the basins of ") + names::kUpstreamOf + " or " +
                           names::kDownstreamOf);
    }
    if (network.query && (line.selection.where || line.selection.fids)) {
        throw RequestError(std::string("--where and --fid choose the features written; ") + network.query->Option() +
                           " writes none");
    }
}

}  // namespace

const std::vector<NetworkOption>& NetworkOptionTable()
{
    return kTable;
}

void CheckNetworkRequest(const NetworkCommandLine& line)
{
    if (line.selection.where && line.selection.fids) {
        throw RequestError(kWhereWithFid);
    }
    CheckNetwork(line);
    CheckWhatToDo(line);
    if (line.datasets.empty()) {
        throw RequestError(kNoDataset);
    }
}

NetworkCommandLine ParseNetworkCommandLine(const std::vector<std::string>& words)
{
    NetworkCommandLine line;
    ParseWords(kTable, words, line);
    if (!line.help) {
        CheckNetworkRequest(line);
    }
    return line;
}

std::string NetworkUsage()
{
    return kUsageHeading + OptionLines(kTable) + kUsageClosing + ExitStatusLines();
}

}  // namespace drennow::request
