#include "Platform/System/Paths.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Platform;

TEST(Paths, SplitFoldsSeparatorsAndDots) {
    EXPECT_EQ(PathResolver::Split("Data\\Scripts//list.dat"),
              (std::vector<std::string>{"Data", "Scripts", "list.dat"}));
    EXPECT_EQ(PathResolver::Split("\\a\\.\\b\\..\\c\\"), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(PathResolver::Split("..\\..\\x"), (std::vector<std::string>{"x"}));
}

TEST(Paths, ResolvesMixedCaseAndSeparators) {
    kxtest::TempDir dir;
    dir.Write("Data/Scripts/list.dat", "x");
    dir.Write("Data/Textures/a.dds", "y");
    PathResolver r(dir.Path());
    struct Case {
        const char* game;
        const char* real;
    };
    const Case cases[] = {
        {"Data\\Scripts\\list.dat", "Data/Scripts/list.dat"},
        {"DATA\\SCRIPTS\\LIST.DAT", "Data/Scripts/list.dat"},
        {"data/TEXTURES/A.DDS", "Data/Textures/a.dds"},
        {"data\\textures/", "Data/Textures"},
    };
    for (const Case& c : cases) {
        auto real = r.Resolve(c.game);
        ASSERT_TRUE(real) << c.game;
        EXPECT_EQ(*real, dir.Path() + "/" + c.real);
    }
    EXPECT_FALSE(r.Resolve("Data\\Missing\\list.dat"));
    EXPECT_FALSE(r.Resolve("Data\\Scripts\\list.dat\\more"));
    EXPECT_TRUE(r.IsDirectory("data\\scripts"));
    EXPECT_FALSE(r.IsDirectory("data\\scripts\\list.dat"));
}

TEST(Paths, PrefersTheExactSpellingWhenCasesCollide) {
    kxtest::TempDir dir;
    dir.Write("a/File.txt", "1");
    dir.Write("a/file.txt", "2");
    PathResolver r(dir.Path());
    EXPECT_EQ(*r.Resolve("a/file.txt"), dir.Path() + "/a/file.txt");
    EXPECT_EQ(*r.Resolve("a/File.txt"), dir.Path() + "/a/File.txt");
    EXPECT_TRUE(r.Resolve("A/FILE.TXT"));
}

TEST(Paths, GamePathIsTakenApartAsWrittenAndInLowerCase) {
    const GamePath path("Data\\TEXTURES//.\\Sub\\..\\Sky.DDS");
    EXPECT_EQ(path.Lowered(), "data\\textures//.\\sub\\..\\sky.dds");
    EXPECT_EQ(path.Parts(), (std::vector<std::string>{"Data", "TEXTURES", "Sky.DDS"}));
    EXPECT_EQ(path.LowerParts(), (std::vector<std::string>{"data", "textures", "sky.dds"}));
}

TEST(Paths, ResolveFileAnswersRegularFilesOnly) {
    kxtest::TempDir dir;
    dir.Write("Data/File.txt", "x");
    dir.Write("data/file.txt", "y");
    dir.MakeDir("Data/Folder");
    PathResolver r(dir.Path());
    EXPECT_EQ(r.ResolveFile(GamePath("Data\\File.txt")), dir.Path() + "/Data/File.txt");
    EXPECT_EQ(r.ResolveFile(GamePath("data\\file.txt")), dir.Path() + "/data/file.txt");
    EXPECT_TRUE(r.ResolveFile(GamePath("DATA\\FILE.TXT")));
    EXPECT_FALSE(r.ResolveFile(GamePath("Data\\Folder")));
    EXPECT_TRUE(r.Resolve(GamePath("Data\\Folder")));
    EXPECT_FALSE(r.ResolveFile(GamePath("Data\\missing.txt")));
    EXPECT_FALSE(r.ResolveFile(GamePath("")));
}

TEST(Paths, WritingReusesAFolderOfAnotherCaseAndCreatesMissingOnes) {
    kxtest::TempDir dir;
    dir.MakeDir("Data/Saves");
    PathResolver r(dir.Path());
    auto real = r.ResolveForWrite("DATA\\SAVES\\1.sav");
    ASSERT_TRUE(real);
    EXPECT_EQ(*real, dir.Path() + "/Data/Saves/1.sav");

    auto fresh = r.ResolveForWrite("Data\\New\\Deep\\x.txt");
    ASSERT_TRUE(fresh);
    EXPECT_EQ(*fresh, dir.Path() + "/Data/New/Deep/x.txt");
    EXPECT_TRUE(dir.Exists("Data/New/Deep"));
    EXPECT_TRUE(r.IsDirectory("data\\new\\deep"));
    EXPECT_FALSE(r.ResolveForWrite("Other\\y.txt", false));

    // An existing file of another case is replaced, not doubled.
    dir.Write("Data/Saves/Slot.SAV", "old");
    r.Refresh();
    EXPECT_EQ(*r.ResolveForWrite("data\\saves\\slot.sav"), dir.Path() + "/Data/Saves/Slot.SAV");
}

TEST(Paths, FileCreatedThroughTheEngineAfterTheCacheFilledIsFound) {
    kxtest::TempDir dir;
    dir.Write("Data/one.txt", "1");
    PathResolver r(dir.Path());
    ASSERT_TRUE(r.Resolve("data/one.txt"));
    ASSERT_FALSE(r.Resolve("data/two.txt")); // listing of Data is now cached
    std::string real = dir.Write("Data/two.txt", "2");
    r.NoteCreated(real);
    EXPECT_TRUE(r.Resolve("DATA/TWO.TXT"));
    // A file made behind the engine's back is seen after a refresh.
    dir.Write("Data/three.txt", "3");
    r.Refresh();
    EXPECT_TRUE(r.Resolve("data/three.txt"));
}

TEST(Paths, DeletedFileIsNotReportedFromAStaleCache) {
    kxtest::TempDir dir;
    std::string real = dir.Write("Data/gone.txt", "1");
    PathResolver r(dir.Path());
    ASSERT_TRUE(r.Resolve("data/gone.txt"));
    std::remove(real.c_str());
    EXPECT_FALSE(r.Resolve("data/gone.txt"));
}

TEST(Paths, ListGivesNamesAsOnDisk) {
    kxtest::TempDir dir;
    dir.Write("data/game1.dat", "");
    dir.Write("data/Game2.DAT", "");
    PathResolver r(dir.Path());
    auto names = r.List("DATA");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 2u);
    EXPECT_FALSE(r.List("nothing"));
}
