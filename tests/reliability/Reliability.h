#pragma once

#include "ChildProcess.h"
#include "GdalTestData.h"

#include <cstdint>
#include <string>
#include <vector>

// What the reliability tests share: the program, the answers of a run,
// sizeable layers and the checks of what a run left.
namespace drennow::reliability {

// Built with the sanitizers, which make every run several times slower:
// the tests of races between processes that need many runs of sizeable
// data are left to the plain build.
#ifdef DRENNOW_SANITIZED
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

e2e::ChildResult Drennow(const std::vector<std::string>& arguments, const e2e::ChildOptions& options = {});

// Every answer of a batch run that writes Pfafstetter codes into
// NextDownID, and of one that writes HydroIDs.
std::vector<std::string> CodeAnswers(gdaltest::Format format);
std::vector<std::string> IdAnswers(gdaltest::Format format);

// The complete subdivision to a level (9^level basins), or its first basins
// up to the number given, each with a HydroID and an old NextDownID that no
// run writes.
std::vector<gdaltest::Basin> Subdivision(int level, size_t most = SIZE_MAX);

// SQLite's own check of the database file: "ok" when it is sound. Opening
// it rolls back what a crashed writer left in its journal.
std::string IntegrityCheck(const std::string& path);

// What is wrong with the attribute table of the Shapefile layer in the
// folder: its header's lengths against its field descriptors, its length
// against its header, its records against the shapes in the .shx. Empty
// when nothing is.
std::string ShapefileTableProblems(const std::string& folder, const std::string& layer);

// Prints how a run ended, for the record of what each case gives: its exit
// status, time and the last lines it wrote.
void PrintOutcome(const std::string& situation, const e2e::ChildResult& run, double seconds = 0);

// The files of a folder, each with its bytes.
std::vector<std::pair<std::string, std::string>> FolderContents(const std::string& folder);

}  // namespace drennow::reliability
