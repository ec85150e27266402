// The whole run at scale: writes a GeoPackage of realistic basins, times the
// bare baseline (read the two fields, write NextDownID) and `drennow --batch`
// in both populate modes on copies of it, checks what drennow wrote, and
// times the next-down index against the scan. The runs are timed in turn,
// round after round, and each figure is the median of its rounds, so that a
// moment of load on the machine moves no ratio far. The last line is
// "ratio <run/baseline in identifier mode>".
//
// With --run network the layer also holds SUB_AREA, and `drennow network
// --sum SUB_AREA=UP_AREA --outlet MAIN --rank SORT` is timed against a bare
// baseline that reads PfafstetterID and SUB_AREA and writes the three fields
// of every feature by one UPDATE (and, for comparison, by an UPDATE per
// field); its values are checked against each basin's chain walked down, and
// the last line is "ratio <network run/baseline>".
//
// With --codes 64 the layer holds twelve-digit codes and ten-digit
// identifiers in 64-bit fields, the unsubdivided reading of zeros applies,
// and only identifier mode is timed (`drennow --int64 --zeros unsubdivided`);
// the baseline then writes a 64-bit NextDownID. --trailing-zeros plays no
// part there. Its options: kUsage below.
#include "ChildProcess.h"
#include "GeoPackageLayer.h"
#include "IndexTiming.h"
#include "NetworkCase.h"
#include "RealisticBasins.h"

#include "pfaf/NextDownIndex.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <iostream>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;
namespace modPfafTools = drennow::modPfafTools;
using namespace drennow::bench;

namespace {

constexpr const char* kUsage =
    "Usage: drennow_bench [--basins N] [--rounds N] [--scan-sample N] [--codes 32|64]\n"
    "                     [--trailing-zeros yes|no] [--run command|network]\n"
    "                     [--drennow PATH] [--dir DIR]\n"
    "Writes a GeoPackage of N realistic basins (1,000,000 unless given) and times,\n"
    "round after round (3 unless given), a bare baseline against drennow --batch in\n"
    "both populate modes, checking every value written; then the next-down index\n"
    "against the plain scan of --scan-sample basins (200). With --run network, a\n"
    "baseline that writes three fields against drennow network --sum SUB_AREA=UP_AREA\n"
    "--outlet MAIN --rank SORT instead. The copies go into DIR, else into a\n"
    "temporary folder removed afterwards.\n";

struct Options {
    size_t basins = 1000000;
    size_t rounds = 3;
    size_t scanSample = 200;
    bool allowTrailingZeros = true;
    bool wideCodes = false;  // --codes 64
    bool network = false;    // --run network
    fs::path drennow = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "drennow" / "drennow";
    fs::path dir;  // a new temporary folder, removed afterwards, when empty
};

Options Parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        std::string value = argv[i + 1];
        if (name == "--basins") {
            options.basins = std::stoul(value);
        } else if (name == "--rounds") {
            options.rounds = std::max<size_t>(1, std::stoul(value));
        } else if (name == "--scan-sample") {
            options.scanSample = std::stoul(value);
        } else if (name == "--trailing-zeros") {
            options.allowTrailingZeros = value == "yes";
        } else if (name == "--codes") {
            if (value != "32" && value != "64") {
                throw std::invalid_argument("--codes takes 32 or 64");
            }
            options.wideCodes = value == "64";
        } else if (name == "--run") {
            if (value != "command" && value != "network") {
                throw std::invalid_argument("--run takes command or network");
            }
            options.network = value == "network";
        } else if (name == "--drennow") {
            options.drennow = value;
        } else if (name == "--dir") {
            options.dir = value;
        } else {
            throw std::invalid_argument("unknown option " + name);
        }
    }
    if (argc % 2 == 0) {
        throw std::invalid_argument(std::string("no value for ") + argv[argc - 1]);
    }
    return options;
}

fs::path NewTemporaryFolder()
{
    std::string pattern = (fs::temp_directory_path() / "drennow-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    return pattern;
}

// What drennow is told of the codes, the rules its values follow and the
// populate modes timed (identifier mode last): 32-bit codes in the
// closed-basin reading, or 64-bit ones in the unsubdivided reading.
struct CodeCase {
    std::vector<std::string> answers;
    modPfafTools::DigitRules rules;
    std::vector<bool> writeIdentifiers;
};

CodeCase CaseOf(const Options& options)
{
    using modPfafTools::CodeWidth;
    using modPfafTools::ZeroReading;
    if (options.wideCodes) {
        return {{"--int64", "--zeros", "unsubdivided"}, {ZeroReading::kUnsubdivided, false, CodeWidth::k64Bit}, {true}};
    }
    return {{"--trailing-zeros", options.allowTrailingZeros ? "yes" : "no"},
            {ZeroReading::kClosedBasin, options.allowTrailingZeros, CodeWidth::k32Bit},
            {false, true}};
}

// What the run writes into each feature, worked out independently of it.
template <typename Int>
std::vector<int64_t> ExpectedNextDownIds(const std::vector<BasicBasin<Int>>& basins, bool writeIdentifiers,
                                         const modPfafTools::DigitRules& rules)
{
    std::vector<Int> codes = CodesOf(basins);
    std::sort(codes.begin(), codes.end(), std::greater<>());
    modPfafTools::NextDownIndex index(codes, rules);
    std::unordered_map<Int, Int> firstIdentifier;
    for (const BasicBasin<Int>& basin : basins) {
        if (basin.pfafCode) {
            firstIdentifier.try_emplace(*basin.pfafCode, basin.hydroId);
        }
    }
    std::vector<int64_t> expected;
    for (const BasicBasin<Int>& basin : basins) {
        if (!basin.pfafCode) {
            expected.push_back(-6);
        } else if (*basin.pfafCode == 0) {
            expected.push_back(-8);
        } else {
            int64_t next = index.GetNextDownCode(int64_t{*basin.pfafCode});
            expected.push_back(next > 0 && writeIdentifiers ? firstIdentifier.at(static_cast<Int>(next)) : next);
        }
    }
    return expected;
}

// The index against the scan on a sample, and the index alone on every
// basin, as index_bench times them.
bool TimeIndexOf(const std::vector<Basin>& basins, size_t scanSample)
{
    return TimeIndexAgainstScan(basins, scanSample, std::cout);
}

bool TimeIndexOf(const std::vector<WideBasin>& basins, size_t scanSample)
{
    return TimeWideIndexAgainstScan(CodesOf(basins), scanSample, std::cout);
}

size_t CountMatches(const std::vector<std::optional<int64_t>>& written, const std::vector<int64_t>& expected)
{
    size_t matches = 0;
    for (size_t i = 0; i < expected.size() && i < written.size(); ++i) {
        matches += written[i] == expected[i] ? 1 : 0;
    }
    return matches;
}

// One program timed in every round.
struct Measured {
    std::string name;
    std::vector<std::string> command;
    fs::path copy;
    // How many features of the copy hold what it must write, when it is drennow.
    std::function<size_t(const fs::path&)> countMatches;
    std::vector<ChildRun> rounds;

    double MedianWallSeconds() const
    {
        std::vector<double> walls;
        for (const ChildRun& run : rounds) {
            walls.push_back(run.wallSeconds);
        }
        std::sort(walls.begin(), walls.end());
        size_t n = walls.size();
        return n % 2 == 1 ? walls[n / 2] : (walls[n / 2 - 1] + walls[n / 2]) / 2.0;
    }

    long PeakKilobytes() const
    {
        long peak = 0;
        for (const ChildRun& run : rounds) {
            peak = std::max(peak, run.peakKilobytes);
        }
        return peak;
    }
};

ChildRun RunOnCopy(const fs::path& source, const Measured& measured)
{
    fs::copy_file(source, measured.copy, fs::copy_options::overwrite_existing);
    fs::path output = fs::path(measured.copy).replace_extension(".out");
    ChildRun run = RunChild(measured.command, output);
    if (run.exitStatus != 0) {
        throw std::runtime_error(measured.command[0] + " ended with status " + std::to_string(run.exitStatus) +
                                 ", see " + output.string());
    }
    return run;
}

void PrintRun(const Measured& measured, size_t basins)
{
    double wall = measured.MedianWallSeconds();
    std::cout << measured.name << ": " << wall << " s wall, "
              << static_cast<double>(measured.PeakKilobytes()) / 1024.0 << " MB peak, "
              << static_cast<double>(basins) / wall << " basins per second (rounds:";
    for (const ChildRun& run : measured.rounds) {
        std::cout << " " << run.wallSeconds;
    }
    std::cout << ")\n";
}

template <typename Int>
std::vector<Measured> PlanRuns(const Options& options, const std::vector<BasicBasin<Int>>& basins,
                               const fs::path& dir)
{
    fs::path self = fs::read_symlink("/proc/self/exe");
    std::vector<Measured> runs;
    runs.push_back({"baseline", {self, "--baseline", dir / "baseline.gpkg"}, dir / "baseline.gpkg", nullptr, {}});
    CodeCase codeCase = CaseOf(options);
    for (bool writeIdentifiers : codeCase.writeIdentifiers) {
        std::string mode = writeIdentifiers ? "id" : "pfaf";
        fs::path copy = dir / (mode + ".gpkg");
        std::vector<std::string> command = {options.drennow, "--batch"};
        command.insert(command.end(), codeCase.answers.begin(), codeCase.answers.end());
        command.insert(command.end(), {"--layer", kLayerName, "--pfaf-field", "PfafstetterID", "--populate", mode});
        if (writeIdentifiers) {
            command.insert(command.end(), {"--id-field", "HydroID"});
        }
        command.push_back(copy);
        std::string name = writeIdentifiers ? "identifier mode" : "Pfafstetter mode";
        auto count = [expected = ExpectedNextDownIds(basins, writeIdentifiers, codeCase.rules)](const fs::path& copy) {
            return CountMatches(ReadNextDownIds(copy), expected);
        };
        runs.push_back({"drennow, " + name, command, copy, count, {}});
    }
    return runs;
}

// The network case's baseline and run.
std::vector<Measured> PlanNetworkRuns(const Options& options, const std::vector<Basin>& basins,
                                      const std::vector<double>& areas, const fs::path& dir)
{
    fs::path self = fs::read_symlink("/proc/self/exe");
    fs::path copy = dir / "network.gpkg";
    std::vector<std::string> command = {options.drennow, "network", "--layer", kLayerName, "--pfaf-field",
                                        "PfafstetterID", "--trailing-zeros", options.allowTrailingZeros ? "yes" : "no",
                                        "--sum", "SUB_AREA=UP_AREA", "--outlet", "MAIN", "--rank", "SORT", copy};
    auto count = [&basins, &areas, downstream = DownstreamPositions(basins, CaseOf(options).rules)](
                     const fs::path& written) {
        return CountNetworkMatches(basins, areas, downstream, ReadNetworkFields(written));
    };
    return {{"baseline", {self, "--network-baseline", dir / "baseline.gpkg"}, dir / "baseline.gpkg", nullptr, {}},
            {"baseline, an UPDATE per field", {self, "--network-baseline-per-field", dir / "per-field.gpkg"},
             dir / "per-field.gpkg", nullptr, {}},
            {"drennow network, sum, outlet, rank", command, copy, count, {}}};
}

// Times every run on a fresh copy of the source, round after round, and
// checks what drennow wrote; false when a value differs.
bool TimeRounds(const Options& options, const fs::path& source, std::vector<Measured>& runs, size_t basins)
{
    bool written = true;
    for (size_t round = 0; round < options.rounds; ++round) {
        for (Measured& run : runs) {
            run.rounds.push_back(RunOnCopy(source, run));
            if (!run.countMatches) {
                continue;
            }
            size_t matches = run.countMatches(run.copy);
            if (round == 0 || matches != basins) {
                std::cout << "values as expected, " << run.name.substr(run.name.find(", ") + 2) << ": " << matches
                          << " of " << basins << " features\n";
            }
            written = written && matches == basins;
        }
    }
    return written;
}

void PrintFigures(const std::vector<Measured>& runs, size_t basins)
{
    for (const Measured& run : runs) {
        PrintRun(run, basins);
    }
    const Measured& baseline = runs.front();
    double n = static_cast<double>(basins);
    for (size_t i = 1; i < runs.size(); ++i) {
        double extra = static_cast<double>(runs[i].PeakKilobytes() - baseline.PeakKilobytes()) * 1024.0 / n;
        std::cout << "peak memory above baseline, " << runs[i].name << ": " << extra << " bytes per basin\n";
        std::cout << "ratio run/baseline, " << runs[i].name << ": "
                  << runs[i].MedianWallSeconds() / baseline.MedianWallSeconds() << "\n";
    }
}

// Writes the source GeoPackage (with SUB_AREA when areas are given) into
// the folder; its path.
template <typename Int>
fs::path WriteSource(const fs::path& dir, const std::vector<BasicBasin<Int>>& basins, const std::vector<double>& areas)
{
    fs::path source = dir / "basins.gpkg";
    auto start = std::chrono::steady_clock::now();
    WriteBasinsGeoPackage(source, basins, areas);
    std::cout << "basins: " << basins.size() << ", GeoPackage written in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s\n";
    return source;
}

template <typename Int>
int Run(const Options& options, const std::vector<BasicBasin<Int>>& basins)
{
    std::cout << std::fixed << std::setprecision(3);
    fs::path dir = options.dir.empty() ? NewTemporaryFolder() : options.dir;
    fs::create_directories(dir);
    std::vector<double> areas;
    if constexpr (std::is_same_v<Int, int32_t>) {
        areas = options.network ? MakeSubAreas(basins.size()) : std::vector<double>{};
    }
    fs::path source = WriteSource(dir, basins, areas);

    bool agree = options.network || TimeIndexOf(basins, options.scanSample);
    if (!fs::exists(options.drennow)) {
        std::cout << "no drennow at " << options.drennow << ": build it or give --drennow PATH\n";
        return EXIT_FAILURE;
    }

    std::vector<Measured> runs;
    if constexpr (std::is_same_v<Int, int32_t>) {
        runs = options.network ? PlanNetworkRuns(options, basins, areas, dir) : PlanRuns(options, basins, dir);
    } else {
        runs = PlanRuns(options, basins, dir);
    }
    bool written = TimeRounds(options, source, runs, basins.size());
    std::cout << "rounds: " << options.rounds << ", each figure is the median of its rounds\n";
    PrintFigures(runs, basins.size());
    const Measured& baseline = runs.front();
    if (options.dir.empty()) {
        fs::remove_all(dir);
    }
    std::cout << "ratio " << runs.back().MedianWallSeconds() / baseline.MedianWallSeconds() << "\n";
    return agree && written ? EXIT_SUCCESS : EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kUsage;
        return EXIT_SUCCESS;
    }
    try {
        if (argc == 3 && std::string(argv[1]) == "--baseline") {
            RunBaseline(argv[2]);
            return EXIT_SUCCESS;
        }
        if (argc == 3 && std::string(argv[1]).starts_with("--network-baseline")) {
            RunNetworkBaseline(argv[2], std::string(argv[1]) == "--network-baseline-per-field");
            return EXIT_SUCCESS;
        }
        Options options = Parse(argc, argv);
        if (options.network && options.wideCodes) {
            throw std::invalid_argument("--run network takes 32-bit codes");
        }
        StartLauncher();
        return options.wideCodes ? Run(options, MakeTwelveDigitBasins(options.basins))
                                 : Run(options, MakeRealisticBasins(options.basins));
    } catch (const std::exception& e) {
        std::cerr << "drennow_bench: " << e.what() << "\nTry 'drennow_bench --help'.\n";
        return EXIT_FAILURE;
    }
}
