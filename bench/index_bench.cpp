// The next-down index against the plain scan, on a realistic layer held in
// memory, then on a world-wide layer of twelve-digit codes.
#include "IndexTiming.h"
#include "RealisticBasins.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: index_bench [BASINS [SCAN_SAMPLE]]\n"
    "Times the next-down index against the plain scan on BASINS realistic basins\n"
    "(1,000,000 unless given), the scan on SCAN_SAMPLE of them (200), then on as\n"
    "many twelve-digit codes.\n";

// A count of the command line; nothing for what is not one.
std::optional<size_t> Count(const char* text)
{
    size_t value = 0;
    const char* end = text + std::strlen(text);
    auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end && stop != text ? std::optional<size_t>(value) : std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kUsage;
        return EXIT_SUCCESS;
    }
    std::optional<size_t> basins = argc > 1 ? Count(argv[1]) : 1000000;
    std::optional<size_t> scanSample = argc > 2 ? Count(argv[2]) : 200;
    if (argc > 3 || !basins || !scanSample) {
        std::cerr << kUsage;
        return 2;
    }
    bool agree = drennow::bench::TimeIndexAgainstScan(drennow::bench::MakeRealisticBasins(*basins), *scanSample,
                                                      std::cout);
    bool wideAgree = drennow::bench::TimeWideIndexAgainstScan(drennow::bench::MakeTwelveDigitCodes(*basins),
                                                              *scanSample, std::cout);
    return agree && wideAgree ? EXIT_SUCCESS : EXIT_FAILURE;
}
