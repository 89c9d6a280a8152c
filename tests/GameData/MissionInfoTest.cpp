#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/FreshStore.h"

namespace {

std::string Ranges(const std::vector<SPWeightedName>& names) {
    std::string text;
    for (const SPWeightedName& n : names)
        text += n.name + ":" + std::to_string(n.from) + "-" + std::to_string(n.to) + " ";
    return text;
}

const SPNamedPositions kLevel = {{"north", {1.0f, 2.0f, 3.0f}}, {"south", {-4.0f, 5.5f, 6.0f}}};

} // namespace

TEST(WeightedNames, ConsecutiveRanges) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"a,30;b,70", "a:0-30 b:30-100 "},
        {"solo,5", "solo:0-5 "},
        {"x;y,2", "x:0-0 y:0-2 "},
        {"\"two words\",10;c,abc", "two words:0-10 c:10-10 "},
        {"big,2147483647;more,10;back,-5", "big:0-2147483647 more:2147483647-2147483647 back:2147483647-2147483642 "},
    };
    for (const auto& c : cases) EXPECT_EQ(Ranges(ParseWeightedNames(c.text)), c.expected) << c.text;
}

TEST(MissionInfo, CheckpointsThenSources) {
    kxtest::FreshGameData store;
    store.Write("Data/Levels/m1.txt", "// the first mission\n"
                                      "1.5 2 3 4 tank,30;jeep,70 25 nitro,100\n"
                                      "2.5 5 6 7\n"
                                      "sources\n"
                                      "north gate 0 3.5 tank,100\n"
                                      "south gate 1 1 \"big truck\",50;jeep,50\n"
                                      "nowhere side yes 2\n");
    ASSERT_TRUE(store->LoadMissionInfo("m1.txt", &kLevel));
    ASSERT_EQ(store->checkpointInfos.size(), 2u);
    const SPCheckpointInfo& first = store->checkpointInfos[0];
    EXPECT_EQ(first.value1, 1.5f);
    EXPECT_EQ(first.value2, 2);
    EXPECT_EQ(first.value3, 3);
    EXPECT_EQ(first.value4, 4);
    EXPECT_EQ(Ranges(first.enemyKinds), "tank:0-30 jeep:30-100 ");
    EXPECT_EQ(first.bonusChance, 25);
    EXPECT_EQ(Ranges(first.bonusKinds), "nitro:0-100 ");
    // Four numbers only: empty lists and no bonus.
    const SPCheckpointInfo& second = store->checkpointInfos[1];
    EXPECT_EQ(second.value4, 7);
    EXPECT_TRUE(second.enemyKinds.empty());
    EXPECT_EQ(second.bonusChance, 0);
    EXPECT_TRUE(second.bonusKinds.empty());

    ASSERT_EQ(store->enemySources.size(), 2u);
    const std::vector<SPEnemySource>& gate = store->enemySources["gate"];
    ASSERT_EQ(gate.size(), 2u);
    EXPECT_EQ(gate[0].position, (std::array<float, 3>{1.0f, 2.0f, 3.0f}));
    EXPECT_FALSE(gate[0].kindFlag);
    EXPECT_EQ(gate[0].value, 3.5f);
    EXPECT_EQ(gate[1].position, (std::array<float, 3>{-4.0f, 5.5f, 6.0f}));
    EXPECT_TRUE(gate[1].kindFlag);
    EXPECT_EQ(Ranges(gate[1].enemyKinds), "big truck:0-50 jeep:50-100 ");
    // A position name the level lacks.
    const std::vector<SPEnemySource>& side = store->enemySources["side"];
    ASSERT_EQ(side.size(), 1u);
    EXPECT_EQ(side[0].position, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));
    EXPECT_TRUE(side[0].kindFlag);
}

TEST(MissionInfo, WithoutALevelEverySourceIsAtTheOrigin) {
    kxtest::FreshGameData store;
    store.Write("Data/Levels/m.txt", "1 1 1 1\nsources\nnorth k 0 1\n");
    ASSERT_TRUE(store->LoadMissionInfo("m.txt", nullptr));
    ASSERT_EQ(store->enemySources["k"].size(), 1u);
    EXPECT_EQ(store->enemySources["k"][0].position, (std::array<float, 3>{0.0f, 0.0f, 0.0f}));
}

TEST(MissionInfo, MissingFileKeepsTheSources) {
    kxtest::FreshGameData store;
    store->checkpointInfos.resize(3);
    store->enemySources["old"].resize(1);
    EXPECT_FALSE(store->LoadMissionInfo("none.txt", &kLevel));
    EXPECT_TRUE(store->checkpointInfos.empty());
    EXPECT_EQ(store->enemySources.count("old"), 1u);
}

TEST(MissionInfo, FileWithoutSourcesEmptiesThem) {
    kxtest::FreshGameData store;
    store->enemySources["old"].resize(1);
    store.Write("Data/Levels/m.txt", "1 2 3 4\nSources\n");
    ASSERT_TRUE(store->LoadMissionInfo("m.txt", &kLevel));
    // Only the exact word ends the checkpoints.
    EXPECT_EQ(store->checkpointInfos.size(), 2u);
    EXPECT_TRUE(store->enemySources.empty());
}

TEST(MissionInfo, MalformedNumbersReadAsZero) {
    kxtest::FreshGameData store;
    store.Write("Data/Levels/m.txt", "x y z w a,b;c q9 ,\n  \nsources\n\"\" \"\" \"\"\n");
    ASSERT_TRUE(store->LoadMissionInfo("m.txt", &kLevel));
    ASSERT_EQ(store->checkpointInfos.size(), 1u);
    EXPECT_EQ(store->checkpointInfos[0].value1, 0.0f);
    EXPECT_EQ(store->checkpointInfos[0].value2, 0);
    EXPECT_EQ(Ranges(store->checkpointInfos[0].enemyKinds), "a:0-0 c:0-0 ");
    EXPECT_EQ(store->checkpointInfos[0].bonusChance, 0);
    EXPECT_EQ(store->enemySources.size(), 1u);
}
