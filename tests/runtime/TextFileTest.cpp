#include "runtime/Error.h"
#include "runtime/TextFile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace drennow;
namespace fs = std::filesystem;

namespace {

class ReplaceFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("drennow-textfile-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    static std::string Read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {})); }

    fs::path folder;
};

TEST_F(ReplaceFileTest, WritesTheTextExactlyAndReplacesAnOlderFile)
{
    fs::path log = folder / "Drennow.log";
    runtime::ReplaceFile(log.string(), "old\r\n");
    runtime::ReplaceFile(log.string(), "line\tone\r\nline two\r\n");
    EXPECT_EQ(Read(log), "line\tone\r\nline two\r\n");
    EXPECT_EQ(Entries(), 1u);  // nothing of the write left beside it
}

// A link planted under the name is replaced by the file, never written
// through: the file it points to stays as it was.
TEST_F(ReplaceFileTest, ALinkAtTheNameIsReplacedAndItsTargetKept)
{
    fs::path target = folder / "someone-elses.txt";
    std::ofstream(target) << "precious\n";
    fs::path log = folder / "Drennow.log";
    fs::create_symlink(target, log);
    runtime::ReplaceFile(log.string(), "log\r\n");
    EXPECT_FALSE(fs::is_symlink(log));
    EXPECT_EQ(Read(log), "log\r\n");
    EXPECT_EQ(Read(target), "precious\n");

    fs::path dangling = folder / "other.log";
    fs::create_symlink(folder / "missing" / "file", dangling);
    runtime::ReplaceFile(dangling.string(), "x");
    EXPECT_EQ(Read(dangling), "x");
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

// A failure is the runtime's file error; what stood at the name stays, and
// no half-written file is left.
TEST_F(ReplaceFileTest, AFailedWriteKeepsWhatWasThereAndLeavesNothingBehind)
{
    auto numberOf = [](const fs::path& path) {
        try {
            runtime::ReplaceFile(path.string(), "new");
        } catch (const runtime::Error& error) {
            return error.Number();
        }
        return 0;
    };
    EXPECT_EQ(numberOf(folder / "missing" / "Drennow.log"), runtime::kPathNotFound);
    std::ofstream(folder / "notes.txt") << "a file\n";
    EXPECT_EQ(numberOf(folder / "notes.txt" / "Drennow.log"), runtime::kPathNotFound);
    fs::create_directory(folder / "Drennow.log");
    EXPECT_EQ(numberOf(folder / "Drennow.log"), runtime::kPermissionDenied);
    EXPECT_TRUE(fs::is_directory(folder / "Drennow.log"));
    EXPECT_EQ(Read(folder / "notes.txt"), "a file\n");
    EXPECT_EQ(Entries(), 2u);
}

// A prepared file is written in full but not in place until committed; one
// never committed leaves nothing, and a folder under the name is found before
// anything is written.
TEST_F(ReplaceFileTest, APreparedFileIsInPlaceOnlyOnceCommitted)
{
    fs::path log = folder / "Drennow.log";
    runtime::ReplaceFile(log.string(), "old\r\n");
    {
        runtime::PreparedFile prepared(log.string(), "new\r\n");
        EXPECT_EQ(Read(log), "old\r\n");
        EXPECT_EQ(Entries(), 2u);
    }
    EXPECT_EQ(Read(log), "old\r\n");
    EXPECT_EQ(Entries(), 1u);

    runtime::PreparedFile prepared(log.string(), "new\r\n");
    runtime::PreparedFile moved(std::move(prepared));
    moved.Commit();
    EXPECT_EQ(Read(log), "new\r\n");
    EXPECT_EQ(Entries(), 1u);

    fs::create_directory(folder / "Drennow-compare.log");
    try {
        runtime::PreparedFile((folder / "Drennow-compare.log").string(), "x");
        FAIL() << "a folder under the name was not found";
    } catch (const runtime::Error& error) {
        EXPECT_EQ(error.Number(), runtime::kPermissionDenied);
    }
    EXPECT_EQ(Entries(), 2u);
}

}  // namespace
