// Game files that are not regular files: a folder, a FIFO no one writes to, a link to a device of
// endless bytes, a file that cannot be read. Every reader fails cleanly and at once (a FIFO
// without a writer would hold an ordinary open for ever, so these tests finishing at all is part
// of what they show), and every writer leaves the thing as it was.
#include "Framework/PFileReader.h"
#include "Framework/PSettings.h"
#include "Framework/PTextReader.h"
#include "Framework/PackFile.h"
#include "Framework/XmlDocument.h"

#include "Platform/System/AtomicFile.h"
#include "support/HostilePaths.h"
#include "support/PackWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using kxtest::HostileCases;
using kxtest::HostileKind;
using kxtest::PackWriter;

class HostileFiles : public ::testing::Test {
protected:
    void TearDown() override {
        UnmountPacks();
        ResetSettingsToDefaults();
        IPMMObject::CollectGarbage();
    }

    // Makes the thing at a path under the root; false (the case is then skipped) when this
    // system cannot make it.
    bool Make(HostileKind kind, const std::string& relative) {
        const std::string real = root.Path() + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(real).parent_path());
        const bool made = kxtest::MakeHostile(kind, real);
        Platform::GamePaths().Refresh();
        return made;
    }
    bool Intact(HostileKind kind, const std::string& relative) {
        return kxtest::HostileIntact(kind, root.Path() + "/" + relative);
    }
    kxtest::TempGameRoot root;
};

TEST_F(HostileFiles, SettingsFailToLoadWithAReasonAndKeepEveryValue) {
    for (const auto& c : HostileCases()) {
        SCOPED_TRACE(c.name);
        kxtest::TempGameRoot fresh;
        const std::string real = fresh.Path() + "/config.cfg";
        if (!kxtest::MakeHostile(c.kind, real)) continue;
        Platform::GamePaths().Refresh();
        CPSettings settings;
        g_distance = 123;
        std::string error;
        EXPECT_FALSE(settings.Load("config.cfg", &error));
        EXPECT_NE(error.find("config.cfg"), std::string::npos) << error;
        EXPECT_EQ(g_distance, 123);
        EXPECT_TRUE(kxtest::HostileIntact(c.kind, real));
    }
}

TEST_F(HostileFiles, SettingsTooLargeFailToLoad) {
    root.Write("config.cfg", "screenWidth = 800\n" + std::string(Platform::kMaxSettingsFileBytes, '\n'));
    CPSettings settings;
    std::string error;
    EXPECT_FALSE(settings.Load("config.cfg", &error));
    EXPECT_NE(error.find("larger"), std::string::npos) << error;
    EXPECT_EQ(g_screenWidth, 640) << "nothing of a refused file is applied";
}

TEST_F(HostileFiles, SavingOverANonRegularFileFailsAndLeavesIt) {
    for (const auto& c : HostileCases()) {
        if (c.kind == HostileKind::Unreadable) continue; // a regular file: replacing it is a save
        SCOPED_TRACE(c.name);
        kxtest::TempGameRoot fresh;
        const std::string real = fresh.Path() + "/config.cfg";
        ASSERT_TRUE(kxtest::MakeHostile(c.kind, real));
        Platform::GamePaths().Refresh();
        CPSettings settings;
        EXPECT_EQ(settings.Save("config.cfg"), E_FAIL);
        EXPECT_TRUE(kxtest::HostileIntact(c.kind, real));
        std::string error;
        const char bindings[] = "a;b;c;false\n";
        ASSERT_TRUE(kxtest::MakeHostile(c.kind, fresh.Path() + "/Actions.cfg"));
        Platform::GamePaths().Refresh();
        EXPECT_FALSE(Platform::WriteGameFileAtomic("actions.cfg", bindings, sizeof bindings - 1, &error));
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
        EXPECT_TRUE(kxtest::HostileIntact(c.kind, fresh.Path() + "/Actions.cfg"));
        std::size_t entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(fresh.Path())) {
            (void)entry;
            ++entries;
        }
        EXPECT_EQ(entries, 2u) << "no temporary file is left beside them";
    }
}

TEST_F(HostileFiles, DataReadersFailOrFallBackToThePackCopy) {
    PackWriter pack;
    pack.AddFile("packed.txt", "from the pack");
    root.Write("data/game1.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    for (const auto& c : HostileCases()) {
        SCOPED_TRACE(c.name);
        const std::string name = std::string("data/loose") + std::to_string(static_cast<int>(c.kind)) + ".txt";
        if (!Make(c.kind, name)) continue;
        CPFileReader reader(name);
        EXPECT_FALSE(reader.Find());
        EXPECT_EQ(reader.Load(), E_FAIL);
        EXPECT_EQ(reader.GetDataSize(), 0);
        std::vector<std::string> lines;
        EXPECT_FALSE(ReadTextFileLines(name, lines));
        TiXmlDocument xml;
        EXPECT_FALSE(LoadXmlDocument(xml, name.c_str()));
        EXPECT_TRUE(Intact(c.kind, name));

        // The same thing over a name the pack holds: the pack's copy is read.
        const std::string shadowing = "data/packed.txt";
        ASSERT_TRUE(!std::filesystem::exists(root.Path() + "/" + shadowing) ||
                    std::filesystem::remove_all(root.Path() + "/" + shadowing));
        if (!Make(c.kind, shadowing)) continue;
        CPFileReader packed("Data\\Packed.txt");
        ASSERT_EQ(packed.Load(), S_OK);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(packed.GetData()), packed.GetDataSize()), "from the pack");
    }
}

TEST_F(HostileFiles, ReaderRefusesAFileAboveItsBound) {
    root.Write("data/big.txt", std::string(4096, 'x'));
    CPFileReader small("data\\big.txt", false, 4095);
    EXPECT_EQ(small.Load(), E_FAIL);
    EXPECT_EQ(small.GetDataSize(), 0);
    CPFileReader fits("data\\big.txt", false, 4096);
    EXPECT_EQ(fits.Load(), S_OK);
    EXPECT_EQ(fits.GetDataSize(), 4096);

    PackWriter pack;
    pack.AddFile("packed.txt", std::string(100, 'p'));
    root.Write("data/game1.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    CPFileReader packedSmall("data\\packed.txt", false, 99);
    EXPECT_EQ(packedSmall.Load(), E_FAIL);
    CPFileReader packedFits("data\\packed.txt", false, 100);
    EXPECT_EQ(packedFits.Load(), S_OK);
}

TEST_F(HostileFiles, APackThatIsNoRegularFileMountsNothingAndTheOthersStillMount) {
    PackWriter good;
    good.AddFile("a.txt", "a");
    for (const auto& c : HostileCases()) {
        SCOPED_TRACE(c.name);
        kxtest::TempGameRoot fresh;
        fresh.Write("data/game2.dat", good.Build());
        if (!kxtest::MakeHostile(c.kind, fresh.Path() + "/data/game1.dat")) continue;
        Platform::GamePaths().Refresh();
        // A folder is no pack and is passed over; anything else by a pack's name fails to mount.
        EXPECT_EQ(MountPacks(), c.kind == HostileKind::Folder ? S_OK : E_FAIL);
        std::size_t entries = 0;
        for (const CPPackFile& pack : MountedPacks()) entries += pack.EntryCount();
        EXPECT_EQ(entries, 1u);
        CPFileReader reader("data\\a.txt");
        EXPECT_EQ(reader.Load(), S_OK);
        EXPECT_TRUE(kxtest::HostileIntact(c.kind, fresh.Path() + "/data/game1.dat"));
        UnmountPacks();
    }
}

} // namespace
