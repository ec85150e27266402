// The whole run at scale: writes a GeoPackage of realistic basins, times the
// bare baseline (read the two fields, write NextDownID) and `drennow --batch`
// in both populate modes on copies of it, checks what drennow wrote, and
// times the next-down index against the scan. The three runs are timed in
// turn, round after round, and each figure is the median of its rounds, so
// that a moment of load on the machine moves no ratio far. The last line is
// "ratio <run/baseline in identifier mode>".
//
// drennow_bench [--basins N] [--rounds N] [--scan-sample N]
//               [--trailing-zeros yes|no] [--drennow PATH] [--dir DIR]
#include "ChildProcess.h"
#include "GeoPackageLayer.h"
#include "IndexTiming.h"
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
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;
using namespace drennow::bench;

namespace {

struct Options {
    size_t basins = 1000000;
    size_t rounds = 3;
    size_t scanSample = 200;
    bool allowTrailingZeros = true;
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

// What the run writes into each feature, worked out independently of it.
std::vector<int32_t> ExpectedNextDownIds(const std::vector<Basin>& basins, bool writeIdentifiers,
                                         bool allowTrailingZeros)
{
    std::vector<int32_t> codes = CodesOf(basins);
    std::sort(codes.begin(), codes.end(), std::greater<>());
    drennow::modPfafTools::NextDownIndex index(codes, allowTrailingZeros);
    std::unordered_map<int32_t, int32_t> firstIdentifier;
    for (const Basin& basin : basins) {
        if (basin.pfafCode) {
            firstIdentifier.try_emplace(*basin.pfafCode, basin.hydroId);
        }
    }
    std::vector<int32_t> expected;
    for (const Basin& basin : basins) {
        if (!basin.pfafCode) {
            expected.push_back(-6);
        } else if (*basin.pfafCode == 0) {
            expected.push_back(-8);
        } else {
            int32_t next = index.GetNextDownCode(*basin.pfafCode);
            expected.push_back(next > 0 && writeIdentifiers ? firstIdentifier.at(next) : next);
        }
    }
    return expected;
}

size_t CountMatches(const std::vector<std::optional<int32_t>>& written, const std::vector<int32_t>& expected)
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
    std::vector<int32_t> expected;  // what it writes, when it is drennow
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

std::vector<Measured> PlanRuns(const Options& options, const std::vector<Basin>& basins, const fs::path& dir)
{
    fs::path self = fs::read_symlink("/proc/self/exe");
    std::vector<Measured> runs;
    runs.push_back({"baseline", {self, "--baseline", dir / "baseline.gpkg"}, dir / "baseline.gpkg", {}, {}});
    std::string trailingZeros = options.allowTrailingZeros ? "yes" : "no";
    for (bool writeIdentifiers : {false, true}) {
        std::string mode = writeIdentifiers ? "id" : "pfaf";
        fs::path copy = dir / (mode + ".gpkg");
        std::vector<std::string> command = {options.drennow, "--batch", "--trailing-zeros", trailingZeros,
                                            "--layer", kLayerName, "--pfaf-field", "PfafstetterID",
                                            "--populate", mode};
        if (writeIdentifiers) {
            command.insert(command.end(), {"--id-field", "HydroID"});
        }
        command.push_back(copy);
        std::string name = writeIdentifiers ? "identifier mode" : "Pfafstetter mode";
        runs.push_back({"drennow, " + name, command, copy,
                        ExpectedNextDownIds(basins, writeIdentifiers, options.allowTrailingZeros), {}});
    }
    return runs;
}

int Run(const Options& options)
{
    std::cout << std::fixed << std::setprecision(3);
    fs::path dir = options.dir.empty() ? NewTemporaryFolder() : options.dir;
    fs::create_directories(dir);
    std::vector<Basin> basins = MakeRealisticBasins(options.basins);

    fs::path source = dir / "basins.gpkg";
    auto start = std::chrono::steady_clock::now();
    WriteBasinsGeoPackage(source, basins);
    std::cout << "basins: " << basins.size() << ", GeoPackage written in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s\n";

    bool agree = TimeIndexAgainstScan(basins, options.scanSample, std::cout);
    if (!fs::exists(options.drennow)) {
        std::cout << "no drennow at " << options.drennow << ": build it or give --drennow PATH\n";
        return EXIT_FAILURE;
    }

    std::vector<Measured> runs = PlanRuns(options, basins, dir);
    bool written = true;
    for (size_t round = 0; round < options.rounds; ++round) {
        for (Measured& run : runs) {
            run.rounds.push_back(RunOnCopy(source, run));
            if (run.expected.empty()) {
                continue;
            }
            size_t matches = CountMatches(ReadNextDownIds(run.copy), run.expected);
            if (round == 0 || matches != basins.size()) {
                std::cout << "NextDownID as expected, " << run.name.substr(run.name.find(", ") + 2) << ": "
                          << matches << " of " << basins.size() << " features\n";
            }
            written = written && matches == basins.size();
        }
    }
    std::cout << "rounds: " << options.rounds << ", each figure is the median of its rounds\n";
    for (const Measured& run : runs) {
        PrintRun(run, basins.size());
    }

    const Measured& baseline = runs.front();
    double n = static_cast<double>(basins.size());
    for (size_t i = 1; i < runs.size(); ++i) {
        double extra = static_cast<double>(runs[i].PeakKilobytes() - baseline.PeakKilobytes()) * 1024.0 / n;
        std::cout << "peak memory above baseline, " << runs[i].name << ": " << extra << " bytes per basin\n";
        std::cout << "ratio run/baseline, " << runs[i].name << ": "
                  << runs[i].MedianWallSeconds() / baseline.MedianWallSeconds() << "\n";
    }
    if (options.dir.empty()) {
        fs::remove_all(dir);
    }
    std::cout << "ratio " << runs.back().MedianWallSeconds() / baseline.MedianWallSeconds() << "\n";
    return agree && written ? EXIT_SUCCESS : EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 3 && std::string(argv[1]) == "--baseline") {
            RunBaseline(argv[2]);
            return EXIT_SUCCESS;
        }
        Options options = Parse(argc, argv);
        StartLauncher();
        return Run(options);
    } catch (const std::exception& e) {
        std::cerr << "drennow_bench: " << e.what() << "\n";
        return EXIT_FAILURE;
    }
}
