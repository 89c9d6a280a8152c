// The shot table and the enemy-data table: good lines, every kind of bad line skipped and logged
// with its file and line, comments and blank lines, and missing files.
#include <gtest/gtest.h>

#include "ShotsFixture.h"
#include "World/PWorldTables.h"

namespace {

using kxshots::ShotWorld;

class TablesTest : public ShotWorld {};

const char* const kGoodShot = "bullet;projectile;bullet.xml;100;2;0.5;7.5;1.5;spark;smoke;3;dust;4;gun.wav,2d";

TEST_F(TablesTest, AGoodShotLine) {
    const std::vector<SPShotRecord> records = ParseShotTable({kGoodShot}, "shots.dat");
    ASSERT_EQ(records.size(), 1u);
    const SPShotRecord& r = records[0];
    EXPECT_EQ(r.name, "bullet");
    EXPECT_TRUE(r.projectile);
    EXPECT_EQ(r.model, "bullet.xml");
    EXPECT_EQ(r.speed, 100.0f);
    EXPECT_EQ(r.lifetime, 2.0f);
    EXPECT_EQ(r.gravityFactor, 0.5f);
    EXPECT_EQ(r.damage, 7.5f);
    EXPECT_EQ(r.radius, 1.5f);
    EXPECT_EQ(r.impact, "spark");
    EXPECT_EQ(r.launchParticles, "smoke");
    EXPECT_EQ(r.launchCount, 3);
    EXPECT_EQ(r.endParticles, "dust");
    EXPECT_EQ(r.endCount, 4);
    EXPECT_EQ(r.sound, "gun.wav,2d");
    // "none" and a closing ";" are allowed, as is an empty last field; an effect stays.
    const std::vector<SPShotRecord> more =
        ParseShotTable({"s;effect;none;0;1;0;0;0;none;none;0;none;0;none;"}, "shots.dat");
    ASSERT_EQ(more.size(), 1u);
    EXPECT_FALSE(more[0].projectile);
    EXPECT_TRUE(more[0].model.empty());
    EXPECT_TRUE(more[0].impact.empty());
    EXPECT_TRUE(more[0].launchParticles.empty());
    EXPECT_EQ(more[0].sound, "none");
    const std::vector<SPShotRecord> silent =
        ParseShotTable({"s;effect;none;0;1;0;0;0;none;none;0;none;0;"}, "shots.dat");
    ASSERT_EQ(silent.size(), 1u);
    EXPECT_EQ(silent[0].sound, "none");
    EXPECT_TRUE(log.empty());
}

TEST_F(TablesTest, BadShotLinesAreSkippedAndLoggedWithFileAndLine) {
    struct Case {
        const char* line;
        const char* why;
    };
    const Case cases[] = {
        {"bullet;projectile;none;100;2;0;7.5;0;spark;none;0;none;0", "14 fields"},
        {"bullet;projectile;none;100;2;0;7.5;0;spark;none;0;none;0;none;x", "14 fields"},
        {"bullet", "14 fields"},
        {";projectile;none;100;2;0;7.5;0;spark;none;0;none;0;none", "no name"},
        {"bullet;rocket;none;100;2;0;7.5;0;spark;none;0;none;0;none", "kind"},
        {"bullet;Projectile;none;100;2;0;7.5;0;spark;none;0;none;0;none", "kind"},
        {"bullet;projectile;none;fast;2;0;7.5;0;spark;none;0;none;0;none", "finite"},
        {"bullet;projectile;none;100;nan;0;7.5;0;spark;none;0;none;0;none", "finite"},
        {"bullet;projectile;none;100;2;inf;7.5;0;spark;none;0;none;0;none", "finite"},
        {"bullet;projectile;none;100;2;0;1e39;0;spark;none;0;none;0;none", "finite"},
        {"bullet;projectile;none;100;2;0;7.5;1,5;spark;none;0;none;0;none", "finite"},
        {"bullet;projectile;none;100;2;0;7.5;0x10;spark;none;0;none;0;none", "finite"},
        {"bullet;projectile;none;100;2;0;7.5;0;spark;none;1.5;none;0;none", "whole"},
        {"bullet;projectile;none;100;2;0;7.5;0;spark;none;0;none;99999999999;none", "whole"},
        {"bullet;projectile;none;100;-2;0;7.5;0;spark;none;0;none;0;none", "negative"},
        {"bullet;projectile;none;100;2;0;7.5;0;spark;none;-1;none;0;none", "negative"},
        {"bullet;projectile;none;100;2;0;7.5;0;spark;none;0;none;-3;none", "negative"},
    };
    for (const Case& c : cases) {
        log.clear();
        // The bad line is the third of the file, after a comment and a blank line.
        const std::vector<std::string> lines = {"// shots", "", c.line};
        EXPECT_TRUE(ParseShotTable(lines, "Data\\shots.dat").empty()) << c.line;
        ASSERT_EQ(log.size(), 1u) << c.line;
        EXPECT_NE(log[0].find("Data\\shots.dat line 3"), std::string::npos) << log[0];
        EXPECT_NE(log[0].find(c.why), std::string::npos) << log[0];
    }
}

TEST_F(TablesTest, ARepeatedShotNameKeepsTheFirst) {
    const std::vector<SPShotRecord> records =
        ParseShotTable({kGoodShot, "bullet;effect;none;0;1;0;0;0;none;none;0;none;0;none"}, "shots.dat");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].projectile);
    EXPECT_TRUE(Logged("shots.dat line 2"));
}

TEST_F(TablesTest, BlockCommentsAndCarriageReturnsAreHandledLikeTheTextReader) {
    root.Write("Data/shots.dat", std::string("/* first\nstill a comment */\r\n") + kGoodShot + "\r\n\r\n");
    std::vector<SPShotRecord> records;
    ASSERT_TRUE(ReadShotTable("Data\\shots.dat", records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].sound, "gun.wav,2d");
    // A bad line in the file gets its real line number.
    root.Write("Data/shots.dat", std::string("\n\n") + kGoodShot + "\nbroken\n");
    ASSERT_TRUE(ReadShotTable("Data\\shots.dat", records));
    EXPECT_EQ(records.size(), 1u);
    EXPECT_TRUE(Logged("line 4"));
}

TEST_F(TablesTest, MissingFilesAreLoggedAndGiveNothing) {
    std::vector<SPShotRecord> records = ParseShotTable({kGoodShot}, "x");
    EXPECT_FALSE(ReadShotTable("Data\\shots.dat", records));
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(Logged("shots.dat"));
    GetEnemyData("grunt").value1 = 3.0f;
    EXPECT_FALSE(LoadEnemyTable("Data\\enemies.dat"));
    EXPECT_TRUE(EnemyData().empty());
    EXPECT_TRUE(Logged("enemies.dat"));
}

TEST_F(TablesTest, EnemyLines) {
    const EnemyDataTable table = ParseEnemyTable(
        {
            "grunt;10;2.5;Grunt;grunt.tga;walks",
            "tank;-1;1e3;;;",
            "bad;1;2;a;b",
            "bad2;x;2;a;b;c",
            "bad3;1;nan;a;b;c",
            ";1;2;a;b;c",
            "grunt;1;1;x;y;z",
            "extra;1;2;a;b;c;d;e",
        },
        "Data\\enemies.dat");
    ASSERT_EQ(table.size(), 2u);
    const SPEnemyData& grunt = table.at("grunt");
    EXPECT_EQ(grunt.value1, 10.0f);
    EXPECT_EQ(grunt.value2, 2.5f);
    EXPECT_EQ(grunt.text1, "Grunt");
    EXPECT_EQ(grunt.text2, "grunt.tga");
    EXPECT_EQ(grunt.text3, "walks");
    EXPECT_EQ(table.at("tank").value2, 1000.0f);
    EXPECT_TRUE(table.at("tank").text1.empty());
    for (int line = 3; line <= 8; ++line) EXPECT_TRUE(Logged("Data\\enemies.dat line " + std::to_string(line))) << line;
}

TEST_F(TablesTest, TheEnemyTableLoadsAndAMissingTypeReadsAsZeros) {
    root.Write("Data/enemies.dat", "grunt;10;2.5;a;b;c\n");
    ASSERT_TRUE(LoadEnemyTable("Data\\enemies.dat"));
    EXPECT_EQ(GetEnemyData("grunt").value1, 10.0f);
    const SPEnemyData& unknown = GetEnemyData("ghost");
    EXPECT_EQ(unknown.value1, 0.0f);
    EXPECT_EQ(unknown.value2, 0.0f);
    EXPECT_TRUE(unknown.text1.empty());
    EXPECT_EQ(EnemyData().size(), 2u);
    EnemyData().clear();
}

TEST_F(TablesTest, Numbers) {
    struct Case {
        const char* text;
        bool ok;
        float value;
    };
    const Case cases[] = {{"1", true, 1},     {"-2.5", true, -2.5f}, {"+3", true, 3},  {".5", true, 0.5f},
                          {"1e2", true, 100}, {"", false, 0},        {"-", false, 0},  {"nan", false, 0},
                          {"-inf", false, 0}, {"1.5x", false, 0},    {" 1", false, 0}, {"1e400", false, 0}};
    for (const Case& c : cases) {
        float value = 0.0f;
        EXPECT_EQ(ParseTableNumber(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    int n = 0;
    EXPECT_TRUE(ParseTableInt("2147483647", n));
    EXPECT_EQ(n, 2147483647);
    EXPECT_TRUE(ParseTableInt("-5", n));
    EXPECT_EQ(n, -5);
    EXPECT_FALSE(ParseTableInt("2147483648", n));
    EXPECT_FALSE(ParseTableInt("1.0", n));
    EXPECT_FALSE(ParseTableInt("", n));
    EXPECT_FALSE(ParseTableInt("+", n));
}

} // namespace
