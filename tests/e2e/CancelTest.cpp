// A run of the command over the GDAL host, cancelled at a chosen point: in
// a session the run opened itself, nothing it wrote survives.
#include "ExpectedRun.h"
#include "GdalTestData.h"
#include "command/clsDrennow.h"
#include "platform/gdal/run/GdalApplication.h"
#include "platform/gdal/terminal/TerminalProgress.h"
#include "platform/gdal/terminal/TerminalUserInterface.h"

#include <gtest/gtest.h>

#include <sstream>

namespace drennow::e2e {
namespace {

using gdaltest::Format;

// Every tracker of the run answers from one count of Continue calls: false
// from the given call on.
class CancelAtCall : public host::ITrackCancel {
public:
    CancelAtCall(std::shared_ptr<int> calls, int cancelAt) : calls_(std::move(calls)), cancelAt_(cancelAt) {}
    bool Continue() override { return ++*calls_ < cancelAt_; }

private:
    std::shared_ptr<int> calls_;
    int cancelAt_;
};

class NoInput : public gdalhost::LineSource {
public:
    std::optional<std::string> ReadLine() override { return std::nullopt; }
    bool Interrupted() const override { return false; }
};

struct CancelPoint {
    const char* name;
    bool writeIds;
    // The Continue call that answers false, given the number of features.
    int (*call)(int features);
};

class CancelTest : public ::testing::TestWithParam<std::tuple<Format, CancelPoint>> {};

TEST_P(CancelTest, NothingTheRunWroteSurvives)
{
    auto [format, point] = GetParam();
    if (format == Format::Postgres && gdaltest::PostgresConnection().empty()) {
        GTEST_SKIP() << "no test server (DRENNOW_TEST_PG)";
    }
    gdaltest::TempFolder folder;
    std::vector<gdaltest::Basin> basins = VariedBasins();
    std::string dataset = gdaltest::CreateWatersheds(format, folder, basins, true);
    auto before = gdaltest::Snapshot(dataset, "Watershed");

    std::ostringstream shown;
    NoInput input;
    gdalhost::Answers answers;
    answers.populatePfaf = !point.writeIds;
    answers.idField = "HydroID";
    answers.pfafField = gdaltest::PfafFieldName(format);
    auto ui = std::make_shared<gdalhost::TerminalUserInterface>(answers, true, shown, shown, shown, input);
    auto calls = std::make_shared<int>(0);
    int cancelAt = point.call(static_cast<int>(basins.size()));
    auto application = std::make_shared<gdalhost::GdalApplication>(
        gdalhost::GdalMap::Open({dataset}), folder.File("basins"), ui,
        std::make_shared<gdalhost::TerminalStatusBar>(nullptr),
        [calls, cancelAt] { return std::make_shared<CancelAtCall>(calls, cancelAt); });
    {
        auto command = command::CreateCommand(command::clsDrennow::kProgId);
        command->OnCreate(application);
        application.reset();
        command->OnClick();
        EXPECT_EQ(std::dynamic_pointer_cast<command::clsDrennow>(command)->LastOutcome(),
                  command::RunOutcome::Cancelled)
            << shown.str();
    }
    EXPECT_EQ(*calls, cancelAt);
    EXPECT_EQ(gdaltest::Snapshot(dataset, "Watershed"), before);
}

// Calls: one per feature while the codes are read, one after the sort, one
// per feature for the ID collection when identifiers are written, then one
// before each feature is written.
const CancelPoint kCancelPoints[] = {
    {"WhileReadingCodes", false, [](int) { return 3; }},
    {"WhileCollectingIds", true, [](int features) { return features + 1 + 5; }},
    {"HalfwayThroughWritingCodes", false, [](int features) { return features + 1 + features / 2; }},
    {"HalfwayThroughWritingIds", true, [](int features) { return 2 * features + 1 + features / 2; }},
};

INSTANTIATE_TEST_SUITE_P(
    Formats, CancelTest,
    ::testing::Combine(::testing::Values(Format::GeoPackage, Format::Shapefile, Format::Sqlite, Format::Postgres),
                       ::testing::ValuesIn(kCancelPoints)),
    [](const auto& info) {
        return gdaltest::FormatName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
    });

}  // namespace
}  // namespace drennow::e2e
