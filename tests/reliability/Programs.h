#pragma once
// The two runs the reliability tests kill, signal, race and lock out: the
// command filling NextDownID, and `drennow network` writing fields of the
// network; the fields each writes and what a saved or an unsaved run leaves.

#include "Reliability.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace drennow::reliability {

enum class Program { Command, Network };

// "Command" or "Network", for the names of test cases.
std::string ProgramName(Program program);
void PrintTo(Program program, std::ostream* out);

// Of each program, two runs that write other values into the same fields.
// The command: HydroIDs (the first), Pfafstetter codes (the second). The
// network from the Pfafstetter codes: the upstream sum of Area, the outlets'
// codes and the ranks (the first); the upstream maximum of Area, the
// outlets' HydroIDs and the ranks (the second).
enum class Variant { First, Second };

// The arguments of the run on the format's "Watershed" layer, the dataset
// not among them.
std::vector<std::string> RunArguments(Program program, gdaltest::Format format, Variant variant = Variant::First);

// Whether the run's standard output says it finished: the command's
// closing message, or any of the network's closing lines.
bool SaysItFinished(Program program, const std::string& out);

// The fields the program writes: NextDownID; UP, MAIN and SORT.
std::vector<std::string> WrittenFields(Program program);

// A value no run writes: what the written fields hold in every feature when
// a test makes them.
inline constexpr int64_t kUnwritten = -77;

// The "Watershed" layer of the basins, as gdaltest::CreateWatersheds makes
// it, with the fields the program writes holding kUnwritten when wanted,
// else without them. The basins' own NextDownID is to be kUnwritten.
std::string CreateData(Program program, gdaltest::Format format, const gdaltest::TempFolder& folder,
                       const std::vector<gdaltest::Basin>& basins, bool withWrittenFields);

// What a run of the program that saved must leave, worked out once from the
// basins without the run: the command's values by the Pfafstetter rules, the
// network's by walking each basin's chain down from the downstream codes
// those rules give, over the Area the data holds.
class SavedValues {
public:
    SavedValues(Program program, gdaltest::Format format, const std::vector<gdaltest::Basin>& basins,
                Variant variant = Variant::First);
    ~SavedValues();
    SavedValues(SavedValues&&) noexcept;

    // What is wrong with the fields the dataset holds; empty when nothing is.
    std::string ProblemsIn(const std::string& dataset) const;

private:
    struct Expected;
    std::unique_ptr<Expected> expected_;
};

// What is wrong with the written fields as a run that saved nothing leaves
// them: those the data had hold kUnwritten, those a run added are empty.
std::string UnsavedValueProblems(Program program, const std::string& dataset, bool hadWrittenFields);

// The written fields the dataset has now that it had not before.
std::vector<std::string> AddedFields(Program program, const std::string& dataset, bool hadWrittenFields);

// The snapshot without the fields named (in any letter case).
std::vector<gdaltest::FeatureSnapshot> Without(std::vector<gdaltest::FeatureSnapshot> features,
                                               const std::vector<std::string>& fields);

}  // namespace drennow::reliability
