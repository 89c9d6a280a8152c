#include "Platform/System/AtomicFile.h"
#include "Platform/System/Paths.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace Platform;

namespace {
std::size_t FilesIn(const std::string& dir) {
    std::size_t n = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++n;
    }
    return n;
}
struct FaultReset {
    ~FaultReset() { SetAtomicWriteFault(AtomicWriteFault::None); }
};
} // namespace

TEST(AtomicFile, ReplacesTheWholeFile) {
    kxtest::TempDir dir;
    std::string path = dir.Write("config.cfg", "old contents that are longer");
    std::string error;
    ASSERT_TRUE(AtomicWriteFile(path, "new", 3, &error)) << error;
    EXPECT_EQ(dir.Read("config.cfg"), "new");
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(AtomicFile, OldFileSurvivesEveryFailingStep) {
    FaultReset reset;
    const AtomicWriteFault faults[] = {AtomicWriteFault::ShortWrite, AtomicWriteFault::SyncFails,
                                       AtomicWriteFault::RenameFails};
    for (AtomicWriteFault f : faults) {
        kxtest::TempDir dir;
        std::string path = dir.Write("scores.dat", "precious");
        SetAtomicWriteFault(f);
        std::string error;
        EXPECT_FALSE(AtomicWriteFile(path, "replacement", 11, &error)) << static_cast<int>(f);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(dir.Read("scores.dat"), "precious");
        EXPECT_EQ(FilesIn(dir.Path()), 1u) << "the temporary file must not be left behind";
        SetAtomicWriteFault(AtomicWriteFault::None);
    }
}

TEST(AtomicFile, ReadOnlyFolderFailsAndLeavesTheOldFile) {
    if (::geteuid() == 0) {
        // root writes through permission bits; the simulated faults above cover this path.
        GTEST_SKIP() << "permission bits do not stop root";
    }
    kxtest::TempDir dir;
    std::string path = dir.Write("ro/Actions.cfg", "bindings");
    ::chmod((dir.Path() + "/ro").c_str(), 0555);
    EXPECT_FALSE(AtomicWriteFile(path, "x", 1));
    ::chmod((dir.Path() + "/ro").c_str(), 0755);
    EXPECT_EQ(dir.Read("ro/Actions.cfg"), "bindings");
}

TEST(AtomicFile, GamePathWriteCreatesFoldersAndIsFoundAfterwards) {
    kxtest::TempGameRoot root;
    root.MakeDir("Data/Saves");
    ASSERT_FALSE(GamePaths().Resolve("DATA\\SAVES\\1.sav"));
    ASSERT_TRUE(WriteGameFileAtomic("DATA\\SAVES\\1.sav", "save", 4));
    EXPECT_EQ(root.Read("Data/Saves/1.sav"), "save");
    EXPECT_TRUE(GamePaths().Resolve("data/saves/1.SAV"));
    ASSERT_TRUE(WriteGameFileAtomic("new\\dir\\f.txt", "", 0));
    EXPECT_TRUE(root.Exists("new/dir/f.txt"));
}
