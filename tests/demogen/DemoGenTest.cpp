// The demo generator assembling a game root: data files arrive, the player's files survive a
// rerun, and the data folder it reads is left as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).generic_string()] = Read(entry.path());
    return files;
}

int RunGenerator(const fs::path& data, const fs::path& root) {
    const std::string command =
        std::string("\"") + KX_DEMOGEN + "\" \"" + data.string() + "\" \"" + root.string() + "\"";
    return std::system(command.c_str());
}

class DemoGen : public ::testing::Test {
protected:
    kxtest::TempDir temp;
    fs::path data = fs::path(temp.Path()) / "data";
    fs::path root = fs::path(temp.Path()) / "build" / "game";

    void SetUp() override {
        Write(data / "config.cfg", "width 640\n");
        Write(data / "Actions.cfg", "fire 57\n");
        Write(data / "Data" / "scores.dat", "scores");
        Write(data / "Data" / "Saves" / "save0.sav", "save");
        Write(data / "Data" / "Scripts" / "main.lua", "-- main\n");
    }
};

} // namespace

TEST_F(DemoGen, CopiesTheDataFilesAndLeavesTheDataFolderAsItWas) {
    const auto before = Snapshot(data);
    ASSERT_EQ(RunGenerator(data, root), 0);
    for (const auto& [relative, bytes] : before) EXPECT_EQ(Read(root / relative), bytes) << relative;
    EXPECT_EQ(Snapshot(data), before);
}

TEST_F(DemoGen, ThePlayersFilesSurviveARerunAndMissingOnesAreCopied) {
    ASSERT_EQ(RunGenerator(data, root), 0);
    const std::map<std::string, std::string> changed = {{"config.cfg", "width 1024\n"},
                                                        {"Actions.cfg", "fire 30\n"},
                                                        {"Data/scores.dat", "new scores"},
                                                        {"Data/Saves/save0.sav", "later save"}};
    for (const auto& [relative, bytes] : changed) Write(root / relative, bytes);
    Write(root / "Data" / "Scripts" / "main.lua", "-- edited in the game root\n");
    ASSERT_EQ(RunGenerator(data, root), 0);
    for (const auto& [relative, bytes] : changed) EXPECT_EQ(Read(root / relative), bytes) << relative;
    // Demo files follow the checkout.
    EXPECT_EQ(Read(root / "Data" / "Scripts" / "main.lua"), "-- main\n");

    fs::remove(root / "config.cfg");
    ASSERT_EQ(RunGenerator(data, root), 0);
    EXPECT_EQ(Read(root / "config.cfg"), "width 640\n");
}

TEST_F(DemoGen, ARerunLeavesUnchangedFilesAlone) {
    ASSERT_EQ(RunGenerator(data, root), 0);
    const auto stamp = fs::last_write_time(root / "Data" / "Scripts" / "main.lua");
    ASSERT_EQ(RunGenerator(data, root), 0);
    EXPECT_EQ(fs::last_write_time(root / "Data" / "Scripts" / "main.lua"), stamp);
}

TEST_F(DemoGen, AMissingDataFolderFails) { EXPECT_NE(RunGenerator(fs::path(temp.Path()) / "nowhere", root), 0); }
