#include "IndexTiming.h"

#include "gisutil/modUtilsGeneral.h"
#include "pfaf/NextDownIndex.h"
#include "pfaf/modPfafTools.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <iomanip>
#include <optional>
#include <random>

namespace drennow::bench {

namespace {

template <typename Work>
double SecondsOf(Work&& work)
{
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename Code>
runtime::VariantArray ListOf(const std::vector<Code>& codes)
{
    runtime::VariantArray list;
    list.ReDim(1, static_cast<int32_t>(codes.size()));
    for (size_t i = 0; i < codes.size(); ++i) {
        list(static_cast<int32_t>(i + 1)) = runtime::Variant(codes[i]);
    }
    return list;
}

const char* ModeName(bool allowTrailingZeros)
{
    return allowTrailingZeros ? "trailing zeros allowed" : "trailing zeros not allowed";
}

// Returns the number of sampled basins where index and scan disagree.
template <typename Code>
size_t TimeOneMode(const std::vector<Code>& basinCodes, const std::vector<Code>& sorted,
                   const runtime::VariantArray& list, const modPfafTools::DigitRules& rules, const char* mode,
                   size_t scanSample, std::ostream& out)
{
    double n = static_cast<double>(basinCodes.size());
    std::optional<modPfafTools::NextDownIndex> general;
    std::optional<modPfafTools::NextDownIndex> plain;
    double buildGeneral = SecondsOf([&] { general.emplace(list, rules); });
    double buildPlain = SecondsOf([&] { plain.emplace(sorted, rules); });
    int64_t checksum = 0;
    double lookups = SecondsOf([&] {
        for (Code code : basinCodes) {
            checksum += general->GetNextDownCode(code);
        }
    });

    std::mt19937_64 rng(7);
    std::uniform_int_distribution<size_t> pick(0, basinCodes.size() - 1);
    size_t mismatches = 0;
    double scanned = 0;
    for (size_t i = 0; i < scanSample; ++i) {
        Code code = basinCodes[pick(rng)];
        int64_t byScan = 0;
        scanned += SecondsOf([&] { byScan = modPfafTools::GetNextDownCode(int64_t{code}, list, rules); });
        mismatches += byScan != general->GetNextDownCode(code) ? 1 : 0;
    }
    double scanPerBasin = scanned / static_cast<double>(scanSample);

    out << "index build from general values, " << mode << ": " << buildGeneral << " s\n";
    out << "index build from plain integers, " << mode << ": " << buildPlain << " s\n";
    out << "index memory, " << mode << ": " << static_cast<double>(general->MemoryBytes()) / n
        << " bytes per code\n";
    out << "index lookups, " << mode << ": " << lookups << " s, " << n / lookups / 1e6
        << " million basins per second (checksum " << checksum << ")\n";
    out << "scan, " << mode << ": " << scanPerBasin * 1e3 << " ms per basin on " << scanSample
        << " basins, extrapolated " << scanPerBasin * n << " s for all\n";
    out << "ratio scan/index lookups, " << mode << ": " << scanPerBasin * n / lookups << "\n";
    out << "index and scan disagree, " << mode << ": " << mismatches << " of " << scanSample << " basins\n";
    return mismatches;
}

}  // namespace

bool TimeIndexAgainstScan(const std::vector<Basin>& basins, size_t scanSample, std::ostream& out)
{
    std::vector<int32_t> codes = CodesOf(basins);
    out << std::fixed << std::setprecision(3);
    out << "codes: " << codes.size() << " of " << basins.size() << " basins\n";
    if (codes.empty()) {
        return true;
    }
    std::vector<int32_t> sorted = codes;
    double sortPlain = SecondsOf([&] { std::sort(sorted.begin(), sorted.end(), std::greater<>()); });
    out << "sort of plain integers, descending: " << sortPlain << " s\n";
    runtime::VariantArray list = ListOf(codes);
    double sortGeneral = SecondsOf([&] { modUtilsGeneral::SortArray(list, static_cast<int32_t>(codes.size()), false); });
    out << "sort of general values by SortArray, descending: " << sortGeneral << " s\n";
    size_t misplaced = 0;
    for (size_t i = 0; i < sorted.size(); ++i) {
        misplaced += runtime::ToLong(list(static_cast<int32_t>(i + 1))) != sorted[i] ? 1 : 0;
    }
    out << "elements the two sorts order differently: " << misplaced << "\n";
    size_t mismatches = 0;
    for (bool allowTrailingZeros : {false, true}) {
        modPfafTools::DigitRules rules{.allowTrailingZeros = allowTrailingZeros};
        mismatches += TimeOneMode(codes, sorted, list, rules, ModeName(allowTrailingZeros), scanSample, out);
    }
    return mismatches == 0 && misplaced == 0;
}

bool TimeWideIndexAgainstScan(const std::vector<int64_t>& codes, size_t scanSample, std::ostream& out)
{
    out << std::fixed << std::setprecision(3);
    out << "64-bit codes: " << codes.size() << "\n";
    if (codes.empty()) {
        return true;
    }
    std::vector<int64_t> sorted = codes;
    double sort = SecondsOf([&] { std::sort(sorted.begin(), sorted.end(), std::greater<>()); });
    out << "sort of plain 64-bit integers, descending: " << sort << " s\n";
    runtime::VariantArray list = ListOf(sorted);
    using modPfafTools::CodeWidth;
    using modPfafTools::ZeroReading;
    size_t mismatches =
        TimeOneMode(codes, sorted, list, {ZeroReading::kUnsubdivided, false, CodeWidth::k64Bit},
                    "64-bit, unsubdivided reading", scanSample, out) +
        TimeOneMode(codes, sorted, list, {ZeroReading::kClosedBasin, true, CodeWidth::k64Bit},
                    "64-bit, closed-basin reading, trailing zeros allowed", scanSample, out);
    return mismatches == 0;
}

}  // namespace drennow::bench
