// The next-down index against the plain scan, on a realistic layer held in
// memory, then on a world-wide layer of twelve-digit codes. Usage: index_bench [BASINS [SCAN_SAMPLE]]
#include "IndexTiming.h"
#include "RealisticBasins.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    size_t basins = argc > 1 ? std::stoul(argv[1]) : 1000000;
    size_t scanSample = argc > 2 ? std::stoul(argv[2]) : 200;
    bool agree = drennow::bench::TimeIndexAgainstScan(drennow::bench::MakeRealisticBasins(basins), scanSample,
                                                      std::cout);
    bool wideAgree = drennow::bench::TimeWideIndexAgainstScan(drennow::bench::MakeTwelveDigitCodes(basins),
                                                              scanSample, std::cout);
    return agree && wideAgree ? EXIT_SUCCESS : EXIT_FAILURE;
}
