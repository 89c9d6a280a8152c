#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/FreshStore.h"

namespace {

int Index(const char* name) { return CPGameData::FindAchievement(name); }

} // namespace

TEST(Achievements, GotRemovesEveryUnlockedOccurrence) {
    kxtest::FreshGameData store(true);
    store->AddUnlockedAchievement("td_5");
    store->AddUnlockedAchievement("car_2");
    store->AddUnlockedAchievement("td_5");
    store->AddGotAchievement("td_5");
    EXPECT_EQ(store->unlockedAchievements, std::vector<int>{Index("car_2")});
    EXPECT_EQ(store->gotAchievements, std::vector<int>{Index("td_5")});
    store->AddGotAchievement("td_5");
    EXPECT_EQ(store->GetGotCount(), 2);
    EXPECT_TRUE(store->HasGotAchievement("td_5"));
    EXPECT_FALSE(store->HasGotAchievement("car_2"));
}

TEST(Achievements, NamesOutsideTheTableChangeNothing) {
    kxtest::FreshGameData store(true);
    store->AddUnlockedAchievement("car_2");
    for (const char* name : {"TD_5", "td_5 ", "", "unknown"}) {
        store->AddUnlockedAchievement(name);
        store->AddGotAchievement(name);
        EXPECT_FALSE(store->HasGotAchievement(name)) << name;
    }
    EXPECT_EQ(store->unlockedAchievements, std::vector<int>{Index("car_2")});
    EXPECT_TRUE(store->gotAchievements.empty());
}

TEST(Achievements, NamesByPosition) {
    kxtest::FreshGameData store(true);
    store->AddGotAchievement("car_all");
    store->AddGotAchievement("td_1st");
    store->AddUnlockedAchievement("win_besttime");
    store->gotAchievements.push_back(27); // as a damaged save could hold
    store->gotAchievements.push_back(-1);
    EXPECT_EQ(store->GetGotName(0), "car_all");
    EXPECT_EQ(store->GetGotName(1), "td_1st");
    EXPECT_EQ(store->GetUnlockedName(0), "win_besttime");
    for (int position : {2, 3, 4, -1, 1 << 30}) EXPECT_FALSE(store->GetGotName(position)) << position;
    EXPECT_FALSE(store->GetUnlockedName(1));
    EXPECT_EQ(store->GetUnlockedCount(), 1);
}

TEST(Achievements, RestoreGoesBackToTheSnapshot) {
    kxtest::FreshGameData store(true);
    store->achievementValues["win_1st"] = 2;
    store->respawnUsed = false;
    store->helperFlags[3] = true;
    store->SnapshotAchievements();
    store->achievementValues["win_1st"] = 3;
    store->achievementValues["custom"] = 8;
    store->respawnUsed = true;
    store->helperFlags[3] = false;
    store->helperFlags[9] = true;
    store->AddGotAchievement("win_1st");
    store->RestoreAchievements();
    EXPECT_EQ(store->achievementValues["win_1st"], 2);
    EXPECT_EQ(store->achievementValues["custom"], 0);
    EXPECT_FALSE(store->respawnUsed);
    EXPECT_TRUE(store->helperFlags[3]);
    EXPECT_FALSE(store->helperFlags[9]);
    EXPECT_TRUE(store->achievementBackup.empty());
    // The lists are not part of the snapshot.
    EXPECT_TRUE(store->HasGotAchievement("win_1st"));
}

TEST(Achievements, RestoreWithoutSnapshotChangesNothing) {
    kxtest::FreshGameData store(true);
    store->achievementValues["td_20"] = 4;
    store->respawnUsed = true;
    store->RestoreAchievements();
    EXPECT_EQ(store->achievementValues["td_20"], 4);
    EXPECT_TRUE(store->respawnUsed);

    // A second restore after one snapshot is also without a snapshot.
    store->SnapshotAchievements();
    store->achievementValues["td_20"] = 5;
    store->RestoreAchievements();
    store->achievementValues["td_20"] = 6;
    store->RestoreAchievements();
    EXPECT_EQ(store->achievementValues["td_20"], 6);
}

TEST(Achievements, StartUpForgetsAnEarlierSnapshot) {
    kxtest::FreshGameData store(true);
    store->SnapshotAchievements();
    store->LoadStrings();
    store->achievementValues["td_20"] = 9;
    store->RestoreAchievements();
    EXPECT_EQ(store->achievementValues["td_20"], 9);
}
