#pragma once

#include "command/RunTexts.h"
#include "command/clsDrennow.h"
#include "platform/memory/MemoryGis.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace drennow::fixtures {

using host::kAnswerNo;
using host::kAnswerYes;
using memory::AcceptDefault;
using memory::CancelDialog;
using memory::DialogScript;
using memory::Pick;
using runtime::Variant;
namespace texts = command::texts;

// The answers of one run, in the order the run asks.
struct Answers {
    host::MessageAnswer trailingZeros = kAnswerNo;
    DialogScript layer = Pick("Watershed");
    DialogScript pfafField = Pick("PfafstetterID");
    std::string level = "4";
    host::MessageAnswer populateWithCodes = kAnswerNo;
    DialogScript idField = Pick("HydroID");
};

// A map with one polygon layer "Watershed" (PfafstetterID, HydroID and,
// unless told otherwise, NextDownID) in a workspace of its own, a document
// in a temporary folder, and the command created on that application.
class RunFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() /
                 ("drennow-test-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        gis.Config().templates = {"Normal.mxt", (folder / "basins.mxd").string()};
        workspace = gis.NewWorkspace("basins.gdb");
        command = command::CreateCommand("Drennow.clsDrennow");
        command->OnCreate(gis.Application());
    }

    void TearDown() override
    {
        command.reset();
        std::filesystem::remove_all(folder);
    }

    // Creates the watershed layer's class and adds it to the map.
    void MakeBasins(bool withNextDown = true)
    {
        std::vector<memory::FieldDef> fields{{"PfafstetterID", host::kFieldTypeLongInteger},
                                             {"HydroID", host::kFieldTypeLongInteger}};
        if (withNextDown) {
            fields.push_back({"NextDownID", host::kFieldTypeLongInteger});
        }
        basins = gis.NewFeatureClass(*workspace, fields);
        gis.AddFeatureLayer("Watershed", basins);
    }

    int32_t AddBasin(const Variant& pfaf, const Variant& hydroId)
    {
        return basins->AddRow({{"PfafstetterID", pfaf}, {"HydroID", hydroId}});
    }

    // Basins with HydroID = 100 + their object id.
    std::vector<int32_t> AddBasins(const std::vector<Variant>& codes)
    {
        std::vector<int32_t> oids;
        for (const Variant& code : codes) {
            int32_t oid = AddBasin(code, Variant());
            basins->FindRow(oid)->values[static_cast<size_t>(basins->FieldIndex("HydroID"))] = Variant(100 + oid);
            oids.push_back(oid);
        }
        return oids;
    }

    void Script(const Answers& answers)
    {
        auto& ui = gis.Ui();
        ui.Queue(answers.trailingZeros);
        ui.Queue(answers.layer);
        ui.Queue(answers.pfafField);
        ui.Queue(answers.level);
        ui.Queue(answers.populateWithCodes);
        if (answers.populateWithCodes != kAnswerYes) {
            ui.Queue(answers.idField);
        }
    }

    command::RunOutcome Click()
    {
        command->OnClick();
        return dynamic_cast<command::clsDrennow&>(*command).LastOutcome();
    }

    command::RunOutcome Run(const Answers& answers = {})
    {
        Script(answers);
        return Click();
    }

    // Runs with the answers and expects the run to end with that message
    // and no value written.
    void ExpectCheckMessage(const Answers& answers, const std::string& message)
    {
        auto before = AllValues();
        gis.Ui() = memory::ScriptedUi();
        EXPECT_EQ(Run(answers), command::RunOutcome::CheckFailed);
        EXPECT_EQ(LastMessage(), message);
        EXPECT_EQ(AllValues().size(), before.size());
        for (size_t row = 0; row < before.size(); ++row) {
            for (size_t field = 0; field < before[row].size(); ++field) {
                EXPECT_EQ(AllValues()[row][field], before[row][field]);
            }
        }
    }

    Variant NextDown(int32_t oid) const { return basins->Get(oid, "NextDownID"); }

    // The last message box with OK only.
    std::string LastMessage()
    {
        auto messages = gis.Ui().Messages();
        return messages.empty() ? "" : messages.back();
    }

    std::filesystem::path LogPath() const { return folder / "Drennow.log"; }

    std::optional<std::string> ReadLog() const
    {
        std::ifstream in(LogPath(), std::ios::binary);
        if (!in) {
            return std::nullopt;
        }
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    // A value of every row of the class, for comparing before and after.
    std::vector<std::vector<Variant>> AllValues() const
    {
        std::vector<std::vector<Variant>> values;
        for (const auto& row : basins->Rows()) {
            values.push_back(row.values);
        }
        return values;
    }

    memory::MemoryGis gis;
    std::shared_ptr<memory::Workspace> workspace;
    std::shared_ptr<memory::TableData> basins;
    host::Ref<host::ICommand> command;
    std::filesystem::path folder;
};

}  // namespace drennow::fixtures
