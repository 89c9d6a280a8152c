#include "Framework/PFileFinder.h"
#include "Framework/PFileReader.h"
#include "Framework/PFileWriter.h"
#include "Framework/PLog.h"
#include "Framework/PackFile.h"
#include "Framework/XmlDocument.h"

#include "Platform/Base/AsciiCase.h"
#include "Platform/System/AtomicFile.h"
#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"
#include "support/PackWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using kxtest::PackWriter;

std::string Loaded(const CPFileReader& reader) {
    return std::string(reinterpret_cast<const char*>(reader.GetData()), static_cast<std::size_t>(reader.GetDataSize()));
}

class FileLayer : public ::testing::Test {
protected:
    void TearDown() override { UnmountPacks(); }

    // Reads a game path; answers the bytes, or "<fail>".
    std::string Read(const std::string& path, bool scrambled = false) {
        CPFileReader reader(path, scrambled);
        if (reader.Load() != S_OK) return "<fail>";
        return Loaded(reader);
    }

    kxtest::TempGameRoot root;
};

TEST(Scrambling, RoundTripsAtEveryLengthThatMatters) {
    for (std::size_t length : {0u, 1u, 1933u, 1934u, 5000u}) {
        std::vector<std::uint8_t> plain(length);
        for (std::size_t i = 0; i < length; ++i) plain[i] = static_cast<std::uint8_t>(i * 7 + 3);
        std::vector<std::uint8_t> bytes = plain;
        ScrambleBuffer(bytes);
        if (length > 0) {
            EXPECT_NE(bytes, plain) << length;
        }
        UnscrambleBuffer(bytes);
        EXPECT_EQ(bytes, plain) << length;
    }
}

TEST(Scrambling, KeyRepeatsEvery1933Bytes) {
    std::vector<std::uint8_t> zeros(1933 * 2 + 5, 0);
    ScrambleBuffer(zeros);
    for (std::size_t i = 0; i < 1933; ++i) {
        EXPECT_EQ(zeros[i], ScrambleKeyTable()[i]);
        EXPECT_EQ(zeros[i + 1933], zeros[i]);
    }
}

// The transform byte by byte with the key position taken modulo the key length: the plain
// statement of what the block-wise loops must produce.
static std::vector<std::uint8_t> ReferenceScramble(std::vector<std::uint8_t> bytes, int sign) {
    const std::uint8_t* key = ScrambleKeyTable();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(bytes[i] + sign * key[i % kScrambleKeyLength]);
    return bytes;
}

TEST(Scrambling, BlockwiseTransformMatchesTheBytewiseOne) {
    std::mt19937 random(1933);
    std::vector<std::size_t> lengths = {0, 1, 1932, 1933, 1934, 4000, 1933 * 3 - 1, 1933 * 3 + 1, std::size_t(1) << 20};
    for (std::size_t length : lengths) {
        std::vector<std::uint8_t> plain(length);
        for (auto& b : plain) b = static_cast<std::uint8_t>(random());
        std::vector<std::uint8_t> bytes = plain;
        ScrambleBuffer(bytes);
        EXPECT_EQ(bytes, ReferenceScramble(plain, +1)) << "scrambled, length " << length;
        std::vector<std::uint8_t> unscrambled = plain;
        UnscrambleBuffer(unscrambled);
        EXPECT_EQ(unscrambled, ReferenceScramble(plain, -1)) << "unscrambled, length " << length;
        UnscrambleBuffer(bytes);
        EXPECT_EQ(bytes, plain) << "round trip, length " << length;
    }
}

// A buffer that starts inside a key block still uses the key from its own start.
TEST(Scrambling, EveryBufferStartsAtTheKeysStart) {
    std::vector<std::uint8_t> whole(4000, 0x55);
    std::vector<std::uint8_t> tail(whole.begin() + 1000, whole.end());
    ScrambleBuffer(tail.data(), tail.size());
    EXPECT_EQ(tail, ReferenceScramble(std::vector<std::uint8_t>(3000, 0x55), +1));
}

TEST_F(FileLayer, LooseFileIsFoundInAnyLetterCase) {
    root.Write("Data/Scripts/List.dat", "main t_system main\n");
    EXPECT_EQ(Read("data\\scripts\\list.dat"), "main t_system main\n");
    EXPECT_EQ(Read("DATA/SCRIPTS/LIST.DAT"), "main t_system main\n");
    EXPECT_EQ(Read("Data\\Scripts\\missing.dat"), "<fail>");
    EXPECT_EQ(Read("Data\\Scripts"), "<fail>") << "a folder is no file";
    root.Write("empty.txt", "");
    EXPECT_EQ(Read("empty.txt"), "");
}

// Where a folder holds names differing only in case, the spelling asked for wins, for reads as
// for writes: a file written under a name reads back under it. Other spellings get one of them.
TEST_F(FileLayer, LooseReadPrefersTheExactSpellingWhenCasesCollide) {
    root.Write("Data/Foo.txt", "mixed");
    root.Write("data/foo.txt", "lower");
    struct Case {
        const char* path;
        const char* bytes;
    };
    const Case cases[] = {
        {"Data\\Foo.txt", "mixed"},
        {"Data/Foo.txt", "mixed"},
        {"data\\foo.txt", "lower"},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c.path), c.bytes) << c.path;
    const std::string other = Read("DATA\\FOO.TXT");
    EXPECT_TRUE(other == "mixed" || other == "lower") << other;

    CPFileWriter writer("Data\\Foo.txt");
    writer.WriteBytes("saved", 5);
    ASSERT_EQ(writer.Save(), S_OK);
    EXPECT_EQ(Read("Data\\Foo.txt"), "saved");
    EXPECT_EQ(Read("data\\foo.txt"), "lower");
}

TEST_F(FileLayer, ScrambledLooseFileIsUnscrambledOnlyWhenAsked) {
    root.Write("data/save.dat", kxtest::Scrambled("secret bytes"));
    EXPECT_EQ(Read("data\\save.dat", true), "secret bytes");
    EXPECT_EQ(Read("data\\save.dat", false), kxtest::Scrambled("secret bytes"));
}

TEST_F(FileLayer, ReaderDecodesIntsFloatsAndStrings) {
    std::string bytes;
    kxtest::AppendInt(bytes, -123456);
    kxtest::AppendFloat(bytes, 2.5f);
    kxtest::AppendString(bytes, "hello");
    kxtest::AppendString(bytes, std::string("ab\0cd", 5));
    kxtest::AppendInt(bytes, 77);
    root.Write("b.bin", bytes);
    CPFileReader reader("B.BIN", false);
    ASSERT_EQ(reader.Load(), S_OK);
    EXPECT_EQ(reader.ReadInt(), -123456);
    EXPECT_EQ(reader.ReadFloat(), 2.5f);
    EXPECT_EQ(reader.ReadString(), "hello");
    EXPECT_EQ(reader.ReadString(), "ab") << "cut at the zero byte";
    EXPECT_EQ(reader.ReadInt(), 77) << "the whole string was consumed";
    EXPECT_FALSE(reader.IsFailed());
    EXPECT_EQ(reader.GetRemaining(), 0);
}

TEST_F(FileLayer, ReadsPastTheEndYieldZeroAndMarkTheReaderFailed) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string negativeLength, hugeLength;
    kxtest::AppendInt(negativeLength, -5);
    negativeLength += "abcd";
    kxtest::AppendInt(hugeLength, 0x7FFFFFFF);
    hugeLength += "abcd";
    const Case cases[] = {{"empty", ""}, {"three", "abc"}, {"negative", negativeLength}, {"huge", hugeLength}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        root.Write("t.bin", c.bytes);
        CPFileReader reader("t.bin");
        ASSERT_EQ(reader.Load(), S_OK);
        if (c.bytes.size() < 4) {
            EXPECT_EQ(reader.ReadInt(), 0);
            EXPECT_EQ(reader.ReadFloat(), 0.0f);
        } else {
            EXPECT_EQ(reader.ReadString(), "");
        }
        EXPECT_TRUE(reader.IsFailed());
        char buffer[8];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(reader.ReadBytes(buffer, 8), E_FAIL);
        EXPECT_EQ(std::string(buffer, 8), std::string(8, '\0'));
        EXPECT_EQ(reader.ReadString(), "");
        EXPECT_LE(reader.GetReadPosition(), reader.GetDataSize());
    }
}

TEST_F(FileLayer, NegativeByteCountIsAFailedRead) {
    // A count read from a corrupt file may be negative: the read fails and says so.
    root.Write("n.bin", "abcdefgh");
    CPFileReader reader("n.bin");
    ASSERT_EQ(reader.Load(), S_OK);
    char buffer[4];
    EXPECT_EQ(reader.ReadBytes(buffer, -4), E_FAIL);
    EXPECT_TRUE(reader.IsFailed());
    EXPECT_EQ(reader.GetReadPosition(), 0);
}

TEST_F(FileLayer, SecondLoadKeepsTheReadPosition) {
    root.Write("x.bin", std::string("\x01\0\0\0\x02\0\0\0", 8));
    CPFileReader reader("x.bin");
    ASSERT_EQ(reader.Load(), S_OK);
    EXPECT_EQ(reader.ReadInt(), 1);
    ASSERT_EQ(reader.Load(), S_OK);
    EXPECT_EQ(reader.ReadInt(), 2);
}

TEST_F(FileLayer, WriterRoundTripsThroughTheReader) {
    CPFileWriter writer("Data\\Saves\\slot1.sav", true);
    writer.WriteInt(42);
    writer.WriteString("name");
    writer.WriteBytes("\x01\x02", 2);
    ASSERT_EQ(writer.Save(), S_OK);
    std::string first = root.Read("Data/Saves/slot1.sav");
    // Saving again writes the same bytes: the writer scrambles a copy.
    ASSERT_EQ(writer.Save(), S_OK);
    EXPECT_EQ(root.Read("Data/Saves/slot1.sav"), first);

    CPFileReader reader("DATA\\SAVES\\SLOT1.SAV", true);
    ASSERT_EQ(reader.Load(), S_OK);
    EXPECT_EQ(reader.ReadInt(), 42);
    EXPECT_EQ(reader.ReadString(), "name");
    char two[2];
    EXPECT_EQ(reader.ReadBytes(two, 2), S_OK);
    EXPECT_EQ(std::string(two, 2), "\x01\x02");
}

TEST_F(FileLayer, EmptyWriterReplacesTheFileWithAnEmptyOne) {
    root.Write("config.cfg", "old");
    CPFileWriter writer("config.cfg", true);
    ASSERT_EQ(writer.Save(), S_OK);
    EXPECT_TRUE(root.Exists("config.cfg"));
    EXPECT_EQ(root.Read("config.cfg"), "");
}

TEST_F(FileLayer, WriterReusesAFolderOfAnyCase) {
    root.MakeDir("DATA/saves");
    CPFileWriter writer("data\\Saves\\a.sav", false);
    writer.WriteInt(1);
    ASSERT_EQ(writer.Save(), S_OK);
    EXPECT_TRUE(root.Exists("DATA/saves/a.sav"));
    EXPECT_FALSE(root.Exists("data"));
}

TEST_F(FileLayer, FailedSaveIsReportedAndLeavesTheOldFile) {
    root.Write("scores.dat", "old");
    const Platform::AtomicWriteFault faults[] = {Platform::AtomicWriteFault::ShortWrite,
                                                 Platform::AtomicWriteFault::SyncFails,
                                                 Platform::AtomicWriteFault::RenameFails};
    for (auto fault : faults) {
        CPFileWriter writer("scores.dat");
        writer.WriteInt(5);
        Platform::SetAtomicWriteFault(fault);
        EXPECT_EQ(writer.Save(), E_FAIL);
        Platform::SetAtomicWriteFault(Platform::AtomicWriteFault::None);
        EXPECT_EQ(root.Read("scores.dat"), "old");
    }
}

TEST_F(FileLayer, LooseBeatsPacksAndTheHighestPackWins) {
    PackWriter one, two;
    one.AddFile("textures\\a.tga", "pack1-a");
    one.AddFile("textures\\b.tga", "pack1-b");
    one.AddFile("only1.txt", "only in 1");
    two.AddFile("Textures\\A.TGA", "pack2-a");
    two.AddFile("textures\\c.tga", "pack2-c");
    root.Write("data/game1.dat", one.Build());
    root.Write("data/game2.dat", two.Build());
    root.Write("data/textures/c.tga", "loose-c");
    ASSERT_EQ(MountPacks(), S_OK);
    ASSERT_EQ(MountedPacks().size(), 2u);
    EXPECT_EQ(MountedPacks()[0].GetNumber(), 2);

    EXPECT_EQ(Read("Data\\Textures\\a.tga"), "pack2-a");
    EXPECT_EQ(Read("data/textures/A.TGA"), "pack2-a");
    EXPECT_EQ(Read("data\\textures\\b.tga"), "pack1-b");
    EXPECT_EQ(Read("DATA\\ONLY1.TXT"), "only in 1");
    EXPECT_EQ(Read("data\\textures\\c.tga"), "loose-c");
    EXPECT_EQ(Read("data\\textures\\c.tga", true), kxtest::Unscrambled("loose-c"))
        << "loose copy, told it is scrambled";
    EXPECT_EQ(Read("data\\textures\\d.tga"), "<fail>");
    EXPECT_EQ(Read("data\\textures"), "<fail>") << "a folder of a pack is no file";
}

// Find is the one existence test (the texture loader asks it before falling back to a JPEG):
// it answers what Load would find, and Load then reads from there.
TEST_F(FileLayer, FindAnswersWhatLoadReads) {
    PackWriter pack;
    pack.AddFile("textures\\packed.tga", "from the pack");
    pack.AddFile("textures\\both.tga", "packed copy");
    pack.AddFolder("textures\\packfolder");
    root.Write("data/game1.dat", pack.Build());
    root.Write("data/Textures/Loose.TGA", "loose");
    root.Write("data/Textures/both.tga", "loose copy");
    root.MakeDir("data/Textures/folder.tga");
    ASSERT_EQ(MountPacks(), S_OK);
    struct Case {
        const char* path;
        const char* bytes; // nullptr: found nowhere
    };
    const Case cases[] = {
        {"data\\textures\\loose.tga", "loose"},
        {"DATA/TEXTURES/PACKED.TGA", "from the pack"},
        {"Data\\Textures\\both.tga", "loose copy"},
        {"Data\\Textures\\missing.tga", nullptr},
        {"Data\\Textures\\folder.tga", nullptr},
        {"Data\\Textures\\packfolder", nullptr},
        {"Data\\Textures", nullptr},
    };
    for (const Case& c : cases) {
        CPFileReader reader(c.path);
        EXPECT_EQ(reader.Find(), c.bytes != nullptr) << c.path;
        if (c.bytes) {
            ASSERT_EQ(reader.Load(), S_OK) << c.path;
            EXPECT_EQ(Loaded(reader), c.bytes) << c.path;
        } else {
            EXPECT_EQ(reader.Load(), E_FAIL) << c.path;
        }
    }

    // A file gone between Find and Load is read from the packs; a later Load looks again.
    CPFileReader reader("data\\textures\\both.tga");
    ASSERT_TRUE(reader.Find());
    std::filesystem::remove(root.Path() + "/data/Textures/both.tga");
    EXPECT_EQ(reader.Load(), S_OK) << "gone between Find and Load: the packs still hold it";
    EXPECT_EQ(Loaded(reader), "packed copy");
    root.Write("data/Textures/both.tga", "loose again");
    EXPECT_EQ(reader.Load(), S_OK);
    EXPECT_EQ(Loaded(reader), "loose again");
}

TEST_F(FileLayer, PackGoneSinceMountingFallsBackToTheNextPack) {
    PackWriter one, two;
    one.AddFile("a.txt", "from 1");
    two.AddFile("a.txt", "from 2");
    root.Write("data/game1.dat", one.Build());
    root.Write("data/game2.dat", two.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    std::filesystem::remove(root.Path() + "/data/game2.dat");
    EXPECT_EQ(Read("data\\a.txt"), "from 1");
    std::filesystem::remove(root.Path() + "/data/game1.dat");
    EXPECT_EQ(Read("data\\a.txt"), "<fail>");
}

TEST_F(FileLayer, NestedFoldersEmptyFilesAndDuplicateEntries) {
    PackWriter pack;
    pack.AddFile("meshes\\cars\\jeep\\body.msh", "body");
    pack.AddFile("meshes\\cars\\jeep\\wheel.msh", "wheel");
    pack.AddFile("meshes\\cars\\buggy\\body.msh", "buggy");
    pack.AddFolder("empty\\deeper");
    pack.AddFile("zero.bin", "");
    pack.AddFile("dup.txt", "first");
    pack.AddFile("DUP.TXT", "second");
    root.Write("data/game7.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    EXPECT_EQ(Read("data\\meshes\\cars\\jeep\\body.msh"), "body");
    EXPECT_EQ(Read("data\\meshes\\cars\\jeep\\wheel.msh"), "wheel");
    EXPECT_EQ(Read("data\\meshes\\cars\\buggy\\body.msh"), "buggy");
    EXPECT_EQ(Read("data\\zero.bin"), "");
    EXPECT_EQ(Read("data\\dup.txt"), "second") << "a later node replaces an earlier one";
    EXPECT_EQ(Read("data\\\\meshes\\.\\cars\\jeep\\body.msh"), "body") << "separators are normalised";
}

TEST_F(FileLayer, LongFilesInPacksUnscrambleFromTheirOwnStart) {
    std::string big(5000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
    PackWriter pack;
    pack.AddFile("first.bin", std::string(1000, 'q'));
    pack.AddFile("big.bin", big);
    root.Write("data/game1.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    EXPECT_EQ(Read("data\\big.bin"), big);
}

// Long files, of lengths around a large multiple of the key length, come back whole, out of a
// pack and from a scrambled loose file alike.
TEST_F(FileLayer, LongFilesUnscrambleWholeFromPacksAndLooseFiles) {
    const std::size_t piece = static_cast<std::size_t>(kScrambleKeyLength) * 128;
    const std::vector<std::size_t> lengths = {piece - 1, piece, piece + 1, 2 * piece + 1933 + 7};
    PackWriter pack;
    std::vector<std::string> contents;
    for (std::size_t n = 0; n < lengths.size(); ++n) {
        std::string content(lengths[n], '\0');
        for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 31 + n) % 253);
        pack.AddFile("long" + std::to_string(n) + ".bin", content);
        root.Write("loose/long" + std::to_string(n) + ".bin", kxtest::Scrambled(content));
        contents.push_back(content);
    }
    root.Write("data/game1.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    for (std::size_t n = 0; n < lengths.size(); ++n) {
        const std::string name = "long" + std::to_string(n) + ".bin";
        EXPECT_TRUE(Read("data\\" + name) == contents[n]) << "packed, " << lengths[n] << " bytes";
        EXPECT_TRUE(Read("loose\\" + name, true) == contents[n]) << "loose, " << lengths[n] << " bytes";
    }
}

TEST_F(FileLayer, PackNameRule) {
    struct Case {
        const char* name;
        bool pack;
        int number;
    };
    const Case cases[] = {
        {"game1.dat", true, 1},   {"game12.dat", true, 12}, {"game.dat", true, 0},   {"gamex.dat", true, 0},
        {"game3_dat", true, 3},   {"Game1.dat", false, 0},  {"game1.DAT", false, 0}, {"game1.da", false, 0},
        {"sound1.dat", false, 0}, {"gam", false, 0},        {"gamedat", true, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsPackFileName(c.name), c.pack) << c.name;
        if (c.pack) {
            EXPECT_EQ(PackNumberFromName(c.name), c.number) << c.name;
        }
    }
}

TEST_F(FileLayer, OnlyCorrectlyNamedFilesMount) {
    PackWriter pack;
    pack.AddFile("a.txt", "a");
    root.Write("data/Game5.dat", pack.Build());
    root.Write("data/game6.DAT", pack.Build());
    root.MakeDir("data/game8.dat");
    ASSERT_EQ(MountPacks(), S_OK);
    EXPECT_TRUE(MountedPacks().empty());
    root.Write("data/game.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    ASSERT_EQ(MountedPacks().size(), 1u);
    EXPECT_EQ(MountedPacks()[0].GetNumber(), 0);
    EXPECT_EQ(Read("data\\a.txt"), "a");
}

// Beside a data folder of another case, the packs are listed and read in one and the same folder.
TEST_F(FileLayer, PacksAreListedWhereTheyAreRead) {
    PackWriter pack;
    pack.AddFile("a.txt", "packed");
    root.Write("Data/game1.dat", pack.Build());
    root.Write("data/other.txt", "stray");
    ASSERT_EQ(MountPacks(), S_OK);
    ASSERT_EQ(MountedPacks().size(), 1u);
    EXPECT_EQ(MountedPacks()[0].GetPath(), "Data\\game1.dat");
    EXPECT_EQ(Read("Data\\a.txt"), "packed");
}

TEST_F(FileLayer, NoDataFolderMountsNothing) {
    EXPECT_EQ(MountPacks(), S_OK);
    EXPECT_TRUE(MountedPacks().empty());
}

// Hostile and broken packs: each is refused whole, and a good pack beside it still mounts.
TEST_F(FileLayer, CorruptPacksAreRefusedWholeAndOthersStillMount) {
    using kxtest::AppendInt;
    PackWriter good;
    good.AddFile("good.txt", "good");
    const std::string data = kxtest::Scrambled("0123456789");

    struct Case {
        const char* name;
        std::string bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"wrong magic", PackWriter::Assemble(PackWriter::Node("data", -1, 0, 0), "", 0x12345678u)});
    cases.push_back({"too short for a header", std::string("\xC4\x27\x16", 3)});
    cases.push_back(
        {"negative index length", PackWriter::Assemble(PackWriter::Node("data", -1, 0, 0), "", 0xAF1627C4u, -4)});
    cases.push_back({"index longer than the file",
                     PackWriter::Assemble(PackWriter::Node("data", -1, 0, 0), "", 0xAF1627C4u, 4096)});
    cases.push_back({"empty index", PackWriter::Assemble("", data)});
    {
        std::string index;
        AppendInt(index, -1);
        index += "xxxxxxxxxxxx";
        cases.push_back({"negative name length", PackWriter::Assemble(index, data)});
    }
    {
        std::string index;
        AppendInt(index, 0x7FFFFFF0);
        index += "xxxxxxxxxxxxxxxx";
        cases.push_back({"name longer than the index", PackWriter::Assemble(index, data)});
    }
    cases.push_back(
        {"child count beyond the index",
         PackWriter::Assemble(PackWriter::Node("data", -1, 0, 1000000) + PackWriter::Node("a", 0, 1, 0), data)});
    cases.push_back({"file beyond the data",
                     PackWriter::Assemble(PackWriter::Node("data", -1, 0, 1) + PackWriter::Node("a", 5, 6, 0), data)});
    cases.push_back(
        {"huge file size",
         PackWriter::Assemble(PackWriter::Node("data", -1, 0, 1) + PackWriter::Node("a", 0, 0x7FFFFFFF, 0), data)});
    cases.push_back({"negative file size",
                     PackWriter::Assemble(PackWriter::Node("data", -1, 0, 1) + PackWriter::Node("a", 0, -2, 0), data)});
    cases.push_back({"node cut short",
                     PackWriter::Assemble(
                         PackWriter::Node("data", -1, 0, 1) + PackWriter::Node("a", 0, 1, 0).substr(0, 10), data)});

    std::vector<std::string> lines;
    CPLog::Instance().SetSink([&lines](int, const std::string& text) { lines.push_back(text); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kxtest::TempGameRoot fresh;
        fresh.Write("data/game1.dat", c.bytes);
        fresh.Write("data/game0.dat", good.Build());
        lines.clear();
        EXPECT_EQ(MountPacks(), E_FAIL);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("\"Data\\game1.dat\" is damaged"), std::string::npos) << lines[0];
        ASSERT_EQ(MountedPacks().size(), 2u);
        EXPECT_EQ(MountedPacks()[0].EntryCount(), 0u);
        EXPECT_EQ(Read("data\\good.txt"), "good");
        EXPECT_EQ(Read("data\\a"), "<fail>");
    }
    CPLog::Instance().SetSink(nullptr);
}

TEST_F(FileLayer, EveryTruncationOfAPackIsSafe) {
    PackWriter pack;
    pack.AddFile("dir\\one.txt", "one");
    pack.AddFile("dir\\sub\\two.txt", "two two");
    pack.AddFile("three.txt", "3");
    const std::string full = pack.Build();
    for (std::size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        kxtest::TempGameRoot fresh;
        fresh.Write("data/game1.dat", full.substr(0, length));
        EXPECT_EQ(MountPacks(), E_FAIL);
        EXPECT_EQ(Read("data\\three.txt"), "<fail>");
    }
}

TEST_F(FileLayer, DeepNestingNeitherOverflowsNorHangs) {
    // Nested folders, each claiming one child, around one file: hostile but
    // well-formed. Depth within the path bound mounts; 20000 levels (whose paths
    // would otherwise need gigabytes) are refused whole.
    struct Case {
        int depth;
        HRESULT result;
        std::size_t entries;
    };
    const Case cases[] = {{500, S_OK, 1u}, {20000, E_FAIL, 0u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        kxtest::TempGameRoot fresh;
        std::string index;
        for (int i = 0; i < c.depth; ++i) index += PackWriter::Node("d", -1, 0, 1);
        index += PackWriter::Node("f", 0, 1, 0);
        fresh.Write("data/game1.dat", PackWriter::Assemble(index, kxtest::Scrambled("z")));
        EXPECT_EQ(MountPacks(), c.result);
        ASSERT_EQ(MountedPacks().size(), 1u);
        EXPECT_EQ(MountedPacks()[0].EntryCount(), c.entries);
    }
}

TEST_F(FileLayer, PathsInAPackAreBoundedByThePathLimit) {
    // "data\" and a name: the longest path allowed is one short of the limit.
    const std::size_t longest = kMaxPackPath - 1 - 5;
    struct Case {
        std::size_t nameLength;
        HRESULT result;
    };
    const Case cases[] = {{longest, S_OK}, {longest + 1, E_FAIL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nameLength);
        kxtest::TempGameRoot fresh;
        PackWriter pack;
        pack.AddFile(std::string(c.nameLength, 'n'), "x");
        fresh.Write("data/game1.dat", pack.Build());
        EXPECT_EQ(MountPacks(), c.result);
        EXPECT_EQ(Read("data\\" + std::string(c.nameLength, 'N')), c.result == S_OK ? "x" : "<fail>");
    }
}

TEST_F(FileLayer, PathsOfAllTheFilesOfAPackAreBoundedTogether) {
    // One folder with a name near the path limit and a great many one-letter files: each node
    // costs 17 bytes of index but would store a path of over a thousand. The pack is refused
    // before its paths reach the budget; the same folder with a hundred files mounts.
    const std::string folder(kMaxPackPath - 10, 'd');
    const std::size_t pathLength = std::string("data\\").size() + folder.size() + std::string("\\f").size();
    const std::size_t tooMany = kMaxPackPathBytes / pathLength + 1;
    struct Case {
        std::size_t files;
        HRESULT result;
    };
    const Case cases[] = {{100, S_OK}, {tooMany, E_FAIL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files);
        kxtest::TempGameRoot fresh;
        std::string index =
            PackWriter::Node("data", -1, 0, 1) + PackWriter::Node(folder, -1, 0, static_cast<std::int32_t>(c.files));
        const std::string node = PackWriter::Node("f", 0, 1, 0);
        index.reserve(index.size() + node.size() * c.files);
        for (std::size_t i = 0; i < c.files; ++i) index += node;
        fresh.Write("data/game1.dat", PackWriter::Assemble(index, kxtest::Scrambled("z")));
        EXPECT_EQ(MountPacks(), c.result);
        ASSERT_EQ(MountedPacks().size(), 1u);
        EXPECT_EQ(MountedPacks()[0].EntryCount(), c.result == S_OK ? 1u : 0u);
    }
}

TEST_F(FileLayer, PackThatShrankAfterMountingFailsWithoutReadingBeyond) {
    PackWriter pack;
    pack.AddFile("a.txt", std::string(100, 'a'));
    std::string bytes = pack.Build();
    root.Write("data/game1.dat", bytes);
    ASSERT_EQ(MountPacks(), S_OK);
    root.Write("data/game1.dat", bytes.substr(0, bytes.size() - 50));
    CPFileReader reader("data\\a.txt");
    EXPECT_EQ(reader.Load(), E_FAIL);
    EXPECT_EQ(reader.GetDataSize(), 50);
}

TEST(FileFinder, MatchesLikeWindows) {
    struct Case {
        const char* mask;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.*", "game1.dat", true},
        {"*.*", "README", true},
        {"*.dds", "A.DDS", true},
        {"*.dds", "a.tga", false},
        {"a?c.txt", "abc.txt", true},
        {"a?c.txt", "ac.txt", false},
        {"*", "x", true},
        {"game*.dat", "game12.dat", true},
        {"*.fx", "simple.fx.bak", false},
        {"*a*b*", "xxaYYbzz", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPFileFinder::MatchPattern(c.mask, c.name), c.match) << c.mask << " " << c.name;
}

TEST_F(FileLayer, FinderWalksAFolderCaseInsensitively) {
    root.Write("Data/Effects/simple.fx", "a");
    root.Write("Data/Effects/Water.FX", "b");
    root.Write("Data/Effects/notes.txt", "c");
    root.MakeDir("Data/Effects/sub.fx");
    CPFileFinder finder("data\\effects\\*.fx");
    ASSERT_EQ(finder.FindFirst(), S_OK);
    std::vector<std::string> names;
    std::vector<bool> dirs;
    do {
        names.push_back(finder.GetName());
        dirs.push_back(finder.GetFindData().IsDirectory());
    } while (finder.FindNext());
    EXPECT_EQ(names, (std::vector<std::string>{"simple.fx", "sub.fx", "Water.FX"}));
    EXPECT_EQ(dirs, (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(finder.FindNext());

    CPFileFinder none("data\\effects\\*.dds");
    EXPECT_EQ(none.FindFirst(), E_FAIL);
    CPFileFinder missing("nowhere\\*.*");
    EXPECT_EQ(missing.FindFirst(), E_FAIL);
}

TEST_F(FileLayer, XmlDocumentsLoadThroughTheFileLayer) {
    PackWriter pack;
    pack.AddFile("descriptions\\car.xml", "<car name=\"jeep\"><speed angle=\"30\"/></car>");
    root.Write("data/game1.dat", pack.Build());
    root.Write("data/descriptions/bad.xml", "<car><open></car>");
    root.Write("data/descriptions/empty.xml", "");
    ASSERT_EQ(MountPacks(), S_OK);

    TiXmlDocument doc;
    ASSERT_TRUE(LoadXmlDocument(doc, "Data\\Descriptions\\car.xml"));
    EXPECT_STREQ(doc.Value(), "Data\\Descriptions\\car.xml");
    ASSERT_NE(doc.RootElement(), nullptr);
    EXPECT_STREQ(doc.RootElement()->Attribute("name"), "jeep");

    EXPECT_FALSE(LoadXmlDocument(doc, "Data\\Descriptions\\missing.xml"));
    EXPECT_TRUE(doc.Error());
    EXPECT_EQ(doc.ErrorId(), 2);
    EXPECT_STREQ(doc.ErrorDesc(), "Failed to open file");
    EXPECT_EQ(doc.RootElement(), nullptr) << "the old content is cleared";

    EXPECT_FALSE(LoadXmlDocument(doc, "Data\\Descriptions\\empty.xml"));
    EXPECT_FALSE(doc.Error());

    EXPECT_FALSE(LoadXmlDocument(doc, "Data\\Descriptions\\bad.xml"));
    EXPECT_TRUE(doc.Error());
}

// Leaves bytes that are neither zero nor markup on the stack below the caller, where the next
// call's locals will lie, so a read past a short text's terminator meets them.
[[gnu::noinline]] void PaintStack() {
    volatile char paint[8192];
    for (auto& c : paint) c = 'x';
}

TEST_F(FileLayer, XmlFileEndingInsideAUtf8SequenceIsReadOnlyToItsEnd) {
    // The XML library steps over a whole UTF-8 sequence at once; a file that ends inside one
    // must still parse as the same bytes followed by nothing but zeros.
    const std::string longText(200, 'x');
    const std::string cases[] = {
        "\xEF\xBB\xBF<a>t\xEC",
        "\xEF\xBB\xBF<a b=\"\xE2",
        "<?xml version=\"1.0\"?><a>t\xEC",
        "<?xml version=\"1.0\"?><a>\xF0\x9F",
        "<?xml version=\"1.0\"?><a b=\"\xE2",
        "<?xml version=\"1.0\"?><a><!-- \xEC",
        "<?xml version=\"1.0\"?><a\xEC",
        "<?xml version=\"1.0\"?><a>" + longText + "\xEC",
        "<?xml version=\"1.0\"?><a><b>" + longText + "</b>" + longText + "\xF4",
    };
    for (const std::string& bytes : cases) {
        root.Write("data/cut.xml", bytes);
        TiXmlDocument loaded;
        PaintStack();
        const bool answer = LoadXmlDocument(loaded, "Data\\cut.xml");

        std::vector<char> zeroed(bytes.begin(), bytes.end());
        zeroed.resize(bytes.size() + 64, '\0');
        TiXmlDocument expected;
        expected.Parse(zeroed.data(), nullptr, TIXML_DEFAULT_ENCODING);

        EXPECT_EQ(answer, !expected.Error()) << bytes;
        EXPECT_EQ(loaded.ErrorId(), expected.ErrorId()) << bytes;
        EXPECT_EQ(loaded.ErrorRow(), expected.ErrorRow()) << bytes;
        EXPECT_EQ(loaded.ErrorCol(), expected.ErrorCol()) << bytes;
        TiXmlPrinter loadedText, expectedText;
        loaded.Accept(&loadedText);
        expected.Accept(&expectedText);
        EXPECT_EQ(std::string(loadedText.CStr()), std::string(expectedText.CStr())) << bytes;
    }
}

} // namespace

namespace {

// A pack whose root holds `count` file nodes all named `name`, in lower and upper case by turns,
// each pointing at the one byte "a" but the last, which points at "b".
std::string PackOfOneName(std::size_t count, const std::string& name) {
    std::string index = PackWriter::Node("data", -1, 0, static_cast<std::int32_t>(count));
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const std::string first = PackWriter::Node(name, 0, 1, 0), second = PackWriter::Node(upper, 0, 1, 0);
    index.reserve(index.size() + first.size() * count);
    for (std::size_t i = 0; i + 1 < count; ++i) index += i % 2 ? second : first;
    index += PackWriter::Node(name, 1, 1, 0);
    return PackWriter::Assemble(index, kxtest::Scrambled("a") + kxtest::Scrambled("b"));
}

} // namespace

TEST_F(FileLayer, AMillionNodesOfOneLongNameMountAsOneEntryTheLastWinning) {
    // As many file nodes as an index may hold, all of one long name in two spellings: one entry,
    // the last node's. Mounting takes no more than a pass over the index (each repeated name
    // costs a look-up, no allocation).
    const std::size_t nodeBytes = (kMaxPackIndexBytes - 64) / kMaxPackFiles;
    const std::string name(nodeBytes - 16, 'n');
    root.Write("data/game1.dat", PackOfOneName(kMaxPackFiles, name));
    ASSERT_EQ(MountPacks(), S_OK);
    ASSERT_EQ(MountedPacks().size(), 1u);
    EXPECT_EQ(MountedPacks()[0].EntryCount(), 1u);
    EXPECT_EQ(Read("data\\" + name), "b");
}

TEST_F(FileLayer, PacksBeyondTheIndexBoundsAreRefusedWhole) {
    // More file nodes than the bound, an index longer than its bound, a file larger than any
    // data file may be: each is refused before it takes time or memory, and a good pack beside it
    // still mounts. The long index and the large file are sparse: they cost no disk.
    PackWriter good;
    good.AddFile("good.txt", "g");
    struct Case {
        const char* what;
        std::string pack;
        std::uint64_t sparseSize; // the pack file is made this long (0: as written)
    };
    std::vector<Case> cases;
    cases.push_back({"one file node too many", PackOfOneName(kMaxPackFiles + 1, "f"), 0});
    {
        std::string pack;
        kxtest::AppendUint(pack, kPackMagic);
        kxtest::AppendInt(pack, static_cast<std::int32_t>(kMaxPackIndexBytes + 1));
        pack += kxtest::Scrambled(PackWriter::Node("data", -1, 0, 0));
        cases.push_back({"index longer than its bound", pack, kMaxPackIndexBytes + 64});
    }
    {
        const std::int32_t huge = static_cast<std::int32_t>(Platform::kMaxDataFileBytes + 1);
        const std::string index = PackWriter::Node("data", -1, 0, 1) + PackWriter::Node("big.bin", 0, huge, 0);
        cases.push_back({"file larger than a data file may be", PackWriter::Assemble(index, ""),
                         8 + index.size() + static_cast<std::uint64_t>(huge)});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kxtest::TempGameRoot fresh;
        const std::string real = fresh.Write("data/game1.dat", c.pack);
        if (c.sparseSize) std::filesystem::resize_file(real, c.sparseSize);
        fresh.Write("data/game2.dat", good.Build());
        EXPECT_EQ(MountPacks(), E_FAIL);
        ASSERT_EQ(MountedPacks().size(), 2u);
        EXPECT_EQ(MountedPacks()[0].EntryCount(), 1u);
        EXPECT_EQ(MountedPacks()[1].EntryCount(), 0u);
    }
}

TEST(PackPaths, NormalisingIntoAReusedKeyMatchesTheResolversRule) {
    // Mounting builds every key in one reused buffer; it must agree with splitting the path the
    // way the resolver does.
    const std::string paths[] = {"Data\\A.txt",
                                 "data//a.txt",
                                 "\\\\data\\.\\A.TXT\\",
                                 "data\\x\\..\\a.txt",
                                 "..\\..\\data\\a.txt",
                                 "data\\x\\y\\..\\..\\..\\..\\b",
                                 "",
                                 ".",
                                 "..",
                                 "a/./b/../C/",
                                 "data\\" + std::string(300, '\\') + "z"};
    std::string key = "left over from before";
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::string expected;
        for (const std::string& part : Platform::PathResolver::Split(Platform::AsciiLower(path)))
            expected += (expected.empty() ? "" : "\\") + part;
        NormalisePackPathInto(path, key);
        EXPECT_EQ(key, expected);
        EXPECT_EQ(NormalisePackPath(path), expected);
    }
}
