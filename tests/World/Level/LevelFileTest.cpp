// The level file's byte layout, the record-name grammar and damaged files.

#include <gtest/gtest.h>

#include <string>

#include "Framework/PFileReader.h"
#include "World/PLevelFile.h"
#include "support/LevelFileWriter.h"
#include "support/TempDir.h"

namespace {

using kxtest::LevelFileWriter;

struct Read {
    bool ok = false;
    SPLevelFile file;
    int position = 0;
    int size = 0;
};

Read ReadBytes(const kxtest::TempGameRoot& root, const std::string& bytes) {
    root.Write("Data/Levels/test.lvl", bytes);
    CPFileReader reader("Data\\Levels\\test.lvl");
    Read out;
    if (reader.Load() != S_OK) return out;
    out.ok = ReadLevelFile(reader, out.file);
    out.position = reader.GetReadPosition();
    out.size = reader.GetDataSize();
    return out;
}

Read ReadBytes(const std::string& bytes) {
    kxtest::TempGameRoot root;
    return ReadBytes(root, bytes);
}

TEST(LevelFile, EmptyTrackIsTwentyEightBytes) {
    LevelFileWriter w;
    const std::string bytes = w.Bytes();
    EXPECT_EQ(bytes.size(), 28u);
    Read r = ReadBytes(bytes);
    ASSERT_TRUE(r.ok) << r.file.failReason;
    EXPECT_EQ(r.file.complete, SPLevelFile::Splines);
    EXPECT_FLOAT_EQ(r.file.halfExtentX, 500.0f);
    EXPECT_TRUE(r.file.objects.empty());
    EXPECT_TRUE(r.file.splines.empty());
    EXPECT_FALSE(r.file.hasLight);
}

TEST(LevelFile, LightSectionSizesAndTransformColumns) {
    LevelFileWriter w;
    w.lightCount = 3;
    for (int i = 0; i < 12; ++i) w.lightTransform[i] = static_cast<float>(i + 1);
    w.AddObject("barrel", 1, 2, 3);
    EXPECT_EQ(w.ObjectSectionOffset(), 16u + 112u);
    Read r = ReadBytes(w.Bytes());
    ASSERT_TRUE(r.ok) << r.file.failReason;
    ASSERT_TRUE(r.file.hasLight);
    EXPECT_EQ(r.file.lightCount, 3);
    // Group k holds column k.
    EXPECT_FLOAT_EQ(r.file.lightTransform(0, 0), 1.0f);
    EXPECT_FLOAT_EQ(r.file.lightTransform(3, 0), 4.0f);
    EXPECT_FLOAT_EQ(r.file.lightTransform(0, 1), 5.0f);
    EXPECT_FLOAT_EQ(r.file.lightTransform(2, 2), 11.0f);
    EXPECT_FLOAT_EQ(r.file.lightTransform(3, 3), 1.0f);
    EXPECT_FLOAT_EQ(r.file.lightTransform(0, 3), 0.0f);
    ASSERT_EQ(r.file.objects.size(), 1u);
    EXPECT_EQ(r.file.objects[0].name, "barrel");
}

TEST(LevelFile, NegativeCountsMeanNone) {
    LevelFileWriter w;
    std::string bytes = w.Bytes();
    bytes = kxtest::WithInt(bytes, 16, -5);
    bytes = kxtest::WithInt(bytes, 20, -1);
    bytes = kxtest::WithInt(bytes, 24, -100);
    Read r = ReadBytes(bytes);
    EXPECT_TRUE(r.ok) << r.file.failReason;
    EXPECT_EQ(r.file.lightCount, -5);
    EXPECT_FALSE(r.file.hasLight);
}

TEST(LevelFile, ObjectRecordsAreNamePlusFortyBytes) {
    LevelFileWriter w;
    kxtest::LevelObject& o = w.AddObject("tree17", 10, 20, 30);
    o.rotation[0] = 0.1f;
    o.rotation[3] = 0.9f;
    o.scale[1] = 2.0f;
    w.AddObject("", 0, 0, 0);
    const std::size_t section = w.Bytes().size() - 4 - w.ObjectSectionOffset();
    EXPECT_EQ(section, 4u + (4u + 6u + 40u) + (4u + 0u + 40u));
    Read r = ReadBytes(w.Bytes());
    ASSERT_TRUE(r.ok) << r.file.failReason;
    ASSERT_EQ(r.file.objects.size(), 2u);
    EXPECT_EQ(r.file.objects[0].name, "tree17");
    EXPECT_FLOAT_EQ(r.file.objects[0].position.z, 30.0f);
    EXPECT_FLOAT_EQ(r.file.objects[0].rotation.x, 0.1f);
    EXPECT_FLOAT_EQ(r.file.objects[0].rotation.w, 0.9f);
    EXPECT_FLOAT_EQ(r.file.objects[0].scale.y, 2.0f);
    EXPECT_EQ(r.file.objects[1].name, "");
}

TEST(LevelFile, SegmentsAreStoredStartEndControls) {
    LevelFileWriter w;
    kxtest::LevelSpline s;
    s.name = "c_path";
    s.flag = 7;
    kxtest::LevelSegment g;
    for (int i = 0; i < 3; ++i) {
        g.start[i] = 1.0f + i;
        g.end[i] = 4.0f + i;
        g.control1[i] = 7.0f + i;
        g.control2[i] = 10.0f + i;
    }
    s.segments.push_back(g);
    w.AddSpline(s);
    Read r = ReadBytes(w.Bytes());
    ASSERT_TRUE(r.ok) << r.file.failReason;
    ASSERT_EQ(r.file.splines.size(), 1u);
    const SPLevelSplineRecord& spline = r.file.splines[0];
    EXPECT_EQ(spline.name, "c_path");
    EXPECT_TRUE(spline.flag);
    ASSERT_EQ(spline.segments.size(), 1u);
    EXPECT_FLOAT_EQ(spline.segments[0].start.x, 1.0f);
    EXPECT_FLOAT_EQ(spline.segments[0].end.y, 5.0f);
    EXPECT_FLOAT_EQ(spline.segments[0].control1.z, 9.0f);
    EXPECT_FLOAT_EQ(spline.segments[0].control2.x, 10.0f);
}

TEST(LevelFile, StringStopsAtZeroByte) {
    LevelFileWriter w;
    w.AddObject(std::string("ab\0cd", 5), 0, 0, 0);
    Read r = ReadBytes(w.Bytes());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.file.objects[0].name, "ab");
}

LevelFileWriter SmallLevel() {
    LevelFileWriter w;
    w.lightCount = 2;
    w.AddObject("barrel3", 1, 2, 3);
    w.AddObject("checkpoint_a4,12.5", 4, 5, 6);
    w.AddSpline(kxtest::StraightSpline("c_path", 0, 0, 0, 40, 2));
    w.AddSpline(kxtest::StraightSpline("path", 0, 0, 0, 40, 1));
    return w;
}

TEST(LevelFile, TruncationAtEveryByteFailsWithoutReadingPastTheEnd) {
    const std::string bytes = SmallLevel().Bytes();
    kxtest::TempGameRoot root;
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        Read r = ReadBytes(root, kxtest::Truncated(bytes, n));
        EXPECT_FALSE(r.ok) << "length " << n;
        EXPECT_LE(r.position, r.size) << "length " << n;
        EXPECT_GE(r.file.failOffset, 0) << "length " << n;
        EXPECT_FALSE(r.file.failReason.empty()) << "length " << n;
        // The records before the cut are kept.
        EXPECT_LE(r.file.objects.size(), 2u);
        EXPECT_LE(r.file.splines.size(), 2u);
    }
    EXPECT_TRUE(ReadBytes(bytes).ok);
}

TEST(LevelFile, TrailingBytesFail) {
    Read r = ReadBytes(SmallLevel().Bytes() + "x");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.file.complete, SPLevelFile::Splines);
    EXPECT_EQ(r.file.objects.size(), 2u);
}

TEST(LevelFile, HostileCountsAndLengthsFail) {
    const LevelFileWriter w = SmallLevel();
    const std::string bytes = w.Bytes();
    const std::size_t objects = w.ObjectSectionOffset();
    const std::size_t splines = w.SplineSectionOffset();
    struct Case {
        const char* what;
        std::size_t offset;
        std::int32_t value;
        std::size_t objectsKept;
    };
    const Case cases[] = {
        {"huge light count", 16, 0x7fffffff, 0},
        {"light count one beyond", 16, 3 + 100, 0},
        {"huge object count", objects, 0x7fffffff, 0},
        {"object count beyond the records", objects, 200, 0},
        {"negative name length", objects + 4, -1, 0},
        {"name length beyond the file", objects + 4, 100000, 0},
        {"name length INT_MIN", objects + 4, static_cast<std::int32_t>(0x80000000u), 0},
        {"huge spline count", splines, 0x7fffffff, 2},
        {"negative spline name", splines + 4, -7, 2},
        {"huge segment count", splines + 4 + 4 + 6 + 4, 0x7fffffff, 2},
        {"segment count beyond the records", splines + 4 + 4 + 6 + 4, 4, 2},
    };
    kxtest::TempGameRoot root;
    for (const Case& c : cases) {
        Read r = ReadBytes(root, kxtest::WithInt(bytes, c.offset, c.value));
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_LE(r.position, r.size) << c.what;
        EXPECT_EQ(r.file.objects.size(), c.objectsKept) << c.what;
    }
}

TEST(LevelRecordName, Grammar) {
    struct Case {
        const char* name;
        LevelRecordKind kind;
        const char* baseName;
        const char* modelFile;
        int place;
        const char* key;
        float timeBonus;
    };
    using K = LevelRecordKind;
    const Case cases[] = {
        {"barrel12", K::PlacedObject, "barrel", "barrel.rdf", 0, "", 0.0f},
        {"123", K::PlacedObject, "", ".rdf", 0, "", 0.0f},
        {"player", K::Placeholder, "player", "", 0, "", 0.0f},
        {"player2", K::Placeholder, "player", "", 0, "", 0.0f},
        {"enemy07", K::StartPlace, "enemy", "", 7, "", 0.0f},
        {"enemy03", K::StartPlace, "enemy", "", 3, "", 0.0f},
        {"enemy", K::StartPlace, "enemy", "", 0, "", 0.0f},
        {"checkpoint_a4,12.5", K::PlacedObject, "checkpoint_a", "checkpoint_a.rdf", 0, "", 12.5f},
        {"checkpoint12,7.5", K::PlacedObject, "checkpoint", "checkpoint.rdf", 0, "", 7.5f},
        {"checkpoint3", K::PlacedObject, "checkpoint", "checkpoint.rdf", 0, "", 0.0f},
        {"chest2", K::PlacedObject, "chest", "chest.rdf", 0, "", 0.0f},
        {"chk12_arrow7", K::CheckpointHint, "chk12_arrow", "", 0, "", 0.0f},
        {"chk3-flag", K::CheckpointHint, "chk3-flag", "", 0, "", 0.0f},
        {"chk", K::CheckpointHint, "chk", "", 0, "", 0.0f},
        {"src_start", K::NamedPosition, "src_start", "", 0, "start", 0.0f},
        {"src", K::NamedPosition, "src", "", 0, "", 0.0f},
        {"stolb_start_left", K::LeftStartPost, "stolb_start_left", "stolb_start_left.rdf", 0, "", 0.0f},
        {"stolb_start_right2", K::RightStartPost, "stolb_start_right", "stolb_start_right.rdf", 0, "", 0.0f},
        {"", K::PlacedObject, "", ".rdf", 0, "", 0.0f},
    };
    for (const Case& c : cases) {
        const SPLevelRecordName n = ParseLevelRecordName(c.name);
        EXPECT_EQ(n.kind, c.kind) << c.name;
        EXPECT_EQ(n.baseName, c.baseName) << c.name;
        EXPECT_EQ(n.modelFile, c.modelFile) << c.name;
        EXPECT_EQ(n.place, c.place) << c.name;
        EXPECT_EQ(n.key, c.key) << c.name;
        EXPECT_FLOAT_EQ(n.timeBonus, c.timeBonus) << c.name;
    }
}

TEST(LevelRecordName, HintNames) {
    struct Case {
        const char* baseName;
        const char* numberText;
        int number;
        const char* model;
    };
    const Case cases[] = {
        {"chk12_arrow", "12", 12, "arrow"},
        {"chk3-flag", "3", 3, "flag"},
        {"chk_arrow", "", 0, "arrow"},
        {"chk", "", 0, ""},
        {"chk7", "7", 7, ""},
    };
    for (const Case& c : cases) {
        const SPHintName h = ParseHintName(c.baseName);
        EXPECT_EQ(h.numberText, c.numberText) << c.baseName;
        EXPECT_EQ(h.number, c.number) << c.baseName;
        EXPECT_EQ(h.model, c.model) << c.baseName;
    }
}

} // namespace
