#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Framework/PFileReader.h"
#include "GameData/PSaveFile.h"
#include "Platform/System/LocalTime.h"
#include "support/FreshStore.h"
#include "support/SaveFileWriter.h"

namespace {

using kxtest::SaveFileFields;
using kxtest::WriteSaveFile;

const Platform::LocalTime kSavedAt{2025, 3, 1, 17, 8, 45, 30, 250};

// A store in a fresh game root, with the local time fixed.
class Saves : public ::testing::Test {
protected:
    void SetUp() override { Platform::SetLocalTimeSource(&clock); }
    void TearDown() override { Platform::SetLocalTimeSource(nullptr); }

    // The bytes of a game file, or nothing when it cannot be read.
    std::optional<std::vector<std::uint8_t>> GameFile(const std::string& path) {
        CPFileReader reader(path);
        if (reader.Load() != S_OK) return std::nullopt;
        return std::vector<std::uint8_t>(reader.GetData(), reader.GetData() + reader.GetDataSize());
    }
    void PutSave(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        store.Write("DATA/Saves/" + name, kxtest::AsText(bytes));
    }
    void PutSlot(int slot, const std::array<std::uint16_t, 8>& time, const std::string& profile = "p") {
        SaveFileFields fields;
        fields.profileName = profile;
        fields.savedAt = time;
        PutSave("save" + std::to_string(slot) + ".sav", WriteSaveFile(fields).bytes);
    }
    // Everything a save keeps, as the store would write it now.
    std::vector<std::uint8_t> Contents() {
        EXPECT_TRUE(store->WriteSave("probe.sav"));
        auto bytes = GameFile("DATA\\Saves\\probe.sav");
        return bytes ? *bytes : std::vector<std::uint8_t>{};
    }

    Platform::FakeLocalTime clock{kSavedAt};
    kxtest::FreshGameData store{true};
};

std::array<std::uint8_t, 32> Sample(std::uint8_t seed) {
    std::array<std::uint8_t, 32> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(seed + i);
    return bytes;
}

SPGhostSample GhostSample(std::uint8_t seed) { return SPGhostSample{Sample(seed)}; }

// A career with every saved field set to something other than its reset value.
SaveFileFields RichFields() {
    SaveFileFields f;
    f.profileName = "Runner";
    f.playerName = "car_b";
    f.savedAt = {2025, 3, 1, 17, 8, 45, 30, 250};
    f.racesPassed = 7;
    f.points = 1234;
    f.lastLevelSelected = 5;
    f.lastCarSelected = 2;
    for (std::size_t i = 0; i < f.missions.size(); ++i) {
        f.missions[i].bestTime = 60.5f + static_cast<float>(i);
        f.missions[i].bestPlace = static_cast<std::int32_t>(i % 4 + 1);
        f.missions[i].recordCount = static_cast<std::int32_t>(i);
    }
    f.missions[2].ghostModel = "ghost_a";
    f.missions[2].ghostSamples = {Sample(1)};
    f.missions[9].ghostModel = "ghost_b";
    f.missions[9].ghostSamples = {Sample(10), Sample(20), Sample(30)};
    for (std::size_t i = 0; i < f.achievementCounters.size(); ++i)
        f.achievementCounters[i] = static_cast<std::int32_t>(i * 3 + 1);
    f.gotAchievements = {8, 3, 8};
    f.unlockedAchievements = {26, 0};
    f.respawnUsed = 1;
    f.helperFlags = {1, 0, 1, 1, 0, 0, 0, 1, 0, 1};
    return f;
}

void FillStore(CPGameData& data, const SaveFileFields& f) {
    data.profileName = f.profileName;
    data.playerName = f.playerName;
    data.racesPassed = f.racesPassed;
    data.points = f.points;
    data.lastLevelSelected = f.lastLevelSelected;
    data.lastCarSelected = f.lastCarSelected;
    for (std::size_t i = 0; i < f.missions.size(); ++i) {
        SPMissionRecord& record = data.missionRecords[i];
        record.bestTime = f.missions[i].bestTime;
        record.bestPlace = f.missions[i].bestPlace;
        record.recordCount = f.missions[i].recordCount;
        record.ghostModel = f.missions[i].ghostModel;
        record.ghostSamples.clear();
        for (const auto& s : f.missions[i].ghostSamples) record.ghostSamples.push_back(SPGhostSample{s});
    }
    for (std::size_t i = 0; i < kAchievementNames.size(); ++i)
        data.achievementValues[std::string(kAchievementNames[i])] = f.achievementCounters[i];
    data.gotAchievements.assign(f.gotAchievements.begin(), f.gotAchievements.end());
    data.unlockedAchievements.assign(f.unlockedAchievements.begin(), f.unlockedAchievements.end());
    data.respawnUsed = f.respawnUsed != 0;
    for (std::size_t i = 0; i < data.helperFlags.size(); ++i) data.helperFlags[i] = f.helperFlags[i] != 0;
}

} // namespace

TEST_F(Saves, WrittenFileMatchesTheLayoutByteForByte) {
    const SaveFileFields fields = RichFields();
    FillStore(store.Data(), fields);
    ASSERT_TRUE(store->WriteSave("save0.sav"));
    const auto written = GameFile("DATA\\Saves\\save0.sav");
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, WriteSaveFile(fields).bytes);
}

TEST_F(Saves, GhostStemWithoutSamplesIsWrittenAsNoGhost) {
    SaveFileFields fields = RichFields();
    FillStore(store.Data(), fields);
    store->missionRecords[4].ghostModel = "stem_only";
    ASSERT_TRUE(store->WriteSave("save0.sav"));
    // The expected file has no stem for that level.
    EXPECT_EQ(*GameFile("DATA\\Saves\\save0.sav"), WriteSaveFile(fields).bytes);

    ASSERT_TRUE(store->ReadSave("save0.sav"));
    EXPECT_EQ(store->missionRecords[4].ghostModel, "");
    EXPECT_TRUE(store->missionRecords[4].ghostSamples.empty());
}

TEST_F(Saves, LoadingRestoresEveryFieldAndKeepsTheUnsavedOnes) {
    const SaveFileFields fields = RichFields();
    PutSave("save4.sav", WriteSaveFile(fields).bytes);
    store->money = 777.0f;
    store->currentMission = 9;
    store->kills = 12;
    store->realCar.engine = "v8";
    store->levelSettings.racerCount = 5;
    store->achievementValues["not_in_table"] = 3;

    ASSERT_TRUE(store->ReadSave("save4.sav"));
    EXPECT_EQ(store->saveSlot, 4);
    EXPECT_EQ(store->currentMission, 1);
    EXPECT_EQ(store->money, 777.0f);
    EXPECT_EQ(store->kills, 12);
    EXPECT_EQ(store->realCar.engine, "v8");
    EXPECT_EQ(store->levelSettings.racerCount, 5);
    EXPECT_EQ(store->profileName, "Runner");
    EXPECT_EQ(store->playerName, "car_b");
    EXPECT_EQ(store->racesPassed, 7);
    EXPECT_EQ(store->points, 1234);
    EXPECT_EQ(store->lastLevelSelected, 5);
    EXPECT_EQ(store->lastCarSelected, 2);
    EXPECT_EQ(store->missionRecords[17].bestTime, 77.5f);
    EXPECT_EQ(store->missionRecords[17].bestPlace, 2);
    EXPECT_EQ(store->missionRecords[17].recordCount, 17);
    EXPECT_EQ(store->missionRecords[9].ghostModel, "ghost_b");
    ASSERT_EQ(store->missionRecords[9].ghostSamples.size(), 3u);
    EXPECT_EQ(store->missionRecords[9].ghostSamples[2].bytes, Sample(30));
    EXPECT_EQ(store->achievementValues["car_all"], 79);
    EXPECT_EQ(store->achievementValues["not_in_table"], 3);
    EXPECT_EQ(store->gotAchievements, (std::vector<int>{8, 3, 8}));
    EXPECT_EQ(store->unlockedAchievements, (std::vector<int>{26, 0}));
    EXPECT_TRUE(store->respawnUsed);
    EXPECT_EQ(store->helperFlags,
              (std::array<bool, kHelperFlagCount>{true, false, true, true, false, false, false, true, false, true}));

    // What was loaded writes back to the same bytes.
    EXPECT_EQ(Contents(), WriteSaveFile(fields).bytes);
}

TEST_F(Saves, LevelWithoutGhostInTheFileKeepsItsSamples) {
    store->missionRecords[0].ghostSamples = {GhostSample(5)};
    PutSave("save0.sav", WriteSaveFile(SaveFileFields{}).bytes);
    ASSERT_TRUE(store->ReadSave("save0.sav"));
    ASSERT_EQ(store->missionRecords[0].ghostSamples.size(), 1u);
    EXPECT_EQ(store->missionRecords[0].ghostModel, "");
}

TEST_F(Saves, NegativeCountsStoreNoEntries) {
    SaveFileFields fields;
    fields.missions[3].ghostModel = "stem";
    fields.missions[3].overrideGhostCount = true;
    fields.missions[3].ghostCountOverride = -2;
    kxtest::WrittenSave save = WriteSaveFile(fields);
    // The two list counts are the last two count fields.
    kxtest::PatchInt32(save.bytes, save.countOffsets[save.countOffsets.size() - 2], -1);
    kxtest::PatchInt32(save.bytes, save.countOffsets.back(), -100);
    store->missionRecords[3].ghostSamples = {GhostSample(1)};
    PutSave("save0.sav", save.bytes);
    ASSERT_TRUE(store->ReadSave("save0.sav"));
    EXPECT_EQ(store->missionRecords[3].ghostModel, "stem");
    EXPECT_TRUE(store->missionRecords[3].ghostSamples.empty());
    EXPECT_TRUE(store->gotAchievements.empty());
    EXPECT_TRUE(store->unlockedAchievements.empty());
}

TEST_F(Saves, EveryTruncationLeavesTheStoreUnchanged) {
    const std::vector<std::uint8_t> full = WriteSaveFile(RichFields()).bytes;
    store->saveSlot = 2;
    store->currentMission = 6;
    const std::vector<std::uint8_t> before = Contents();
    for (std::size_t length = 1; length < full.size(); ++length) {
        PutSave("save1.sav", std::vector<std::uint8_t>(full.begin(), full.begin() + static_cast<long>(length)));
        EXPECT_FALSE(store->ReadSave("save1.sav")) << length;
        EXPECT_EQ(store->saveSlot, 2) << length;
        EXPECT_EQ(store->currentMission, 6) << length;
        if (store->currentMission != 6) break;
    }
    EXPECT_EQ(Contents(), before);
}

TEST_F(Saves, CorruptLengthsAndCountsLeaveTheStoreUnchanged) {
    const kxtest::WrittenSave good = WriteSaveFile(RichFields());
    store->currentMission = 6;
    const std::vector<std::uint8_t> before = Contents();
    struct Damage {
        std::size_t offset;
        std::int32_t value;
    };
    std::vector<Damage> damages;
    const auto size = static_cast<std::int32_t>(good.bytes.size());
    for (std::size_t offset : good.stringLengthOffsets)
        for (std::int32_t value : {-1, -2147483647 - 1, size, 2147483647}) damages.push_back({offset, value});
    // Counts beyond the data; a ghost count of one more sample than follows is the lying count.
    for (std::size_t offset : good.countOffsets)
        for (std::int32_t value : {size, 2147483647, 1 << 27}) damages.push_back({offset, value});
    ASSERT_GE(good.countOffsets.size(), 20u);
    for (const Damage& damage : damages) {
        std::vector<std::uint8_t> bytes = good.bytes;
        kxtest::PatchInt32(bytes, damage.offset, damage.value);
        PutSave("save1.sav", bytes);
        EXPECT_FALSE(store->ReadSave("save1.sav")) << damage.offset << " " << damage.value;
        EXPECT_EQ(store->currentMission, 6);
    }
    EXPECT_EQ(Contents(), before);
}

TEST_F(Saves, LyingGhostCountIsRefused) {
    SaveFileFields fields = RichFields();
    // The last level's ghost claims a sample more than the file holds: its end would pass the
    // data only by the counters and lists that follow, so they are cut too.
    fields.missions[17].ghostModel = "g";
    fields.missions[17].ghostSamples = {Sample(1)};
    fields.missions[17].overrideGhostCount = true;
    fields.missions[17].ghostCountOverride = 6;
    PutSave("save0.sav", WriteSaveFile(fields).bytes);
    EXPECT_FALSE(store->ReadSave("save0.sav"));
    EXPECT_EQ(store->saveSlot, -1);
    EXPECT_EQ(store->profileName, "");
}

TEST_F(Saves, MissingOrEmptyFileChangesNothing) {
    store->saveSlot = 3;
    EXPECT_FALSE(store->ReadSave("save1.sav"));
    PutSave("save1.sav", {});
    EXPECT_FALSE(store->ReadSave("save1.sav"));
    EXPECT_EQ(store->saveSlot, 3);
}

TEST_F(Saves, SlotChoiceForANewCareer) {
    using Time = std::array<std::uint16_t, 8>;
    const Time t1{2024, 1, 1, 1, 10, 0, 0, 0};
    const Time t2{2024, 1, 1, 1, 10, 0, 1, 0};
    const Time t3{2024, 1, 1, 1, 10, 0, 2, 0};
    // Day of the week and milliseconds do not order saves.
    const Time t1Other{2024, 1, 5, 1, 10, 0, 0, 999};
    const Time tYear{2023, 12, 0, 31, 23, 59, 59, 0};
    struct Case {
        const char* what;
        std::vector<std::optional<Time>> slots; // nothing: no file
        int expected;
    };
    const Case cases[] = {
        {"no saves", {}, 0},
        {"slots 0 and 1 used", {t1, t2}, 2},
        {"slot 1 free", {t1, std::nullopt, t2}, 1},
        {"all used, earliest in slot 1", {t2, t1, t3}, 1},
        {"all used, equal earliest in 1 and 2", {t3, t1, t1Other}, 1},
        {"all used, equal times everywhere", {t1, t1, t1}, 0},
        {"all used, an earlier year in 2", {t1, t2, tYear}, 2},
    };
    for (const Case& c : cases) {
        kxtest::FreshGameData fresh;
        for (std::size_t i = 0; i < c.slots.size(); ++i)
            if (c.slots[i]) {
                SaveFileFields fields;
                fields.savedAt = *c.slots[i];
                fresh.Write("DATA/Saves/save" + std::to_string(i) + ".sav",
                            kxtest::AsText(WriteSaveFile(fields).bytes));
            }
        EXPECT_EQ(fresh->ChooseSaveSlot(), c.expected) << c.what;
        ASSERT_TRUE(fresh->SaveGame()) << c.what;
        EXPECT_EQ(fresh->saveSlot, c.expected) << c.what;
    }
}

TEST_F(Saves, SaveGameKeepsItsSlot) {
    ASSERT_TRUE(store->SaveGame());
    EXPECT_EQ(store->saveSlot, 0);
    store->profileName = "second";
    ASSERT_TRUE(store->SaveGame());
    EXPECT_EQ(store->saveSlot, 0);
    EXPECT_EQ(store->GetSaveProfileName(0), "second");
    EXPECT_EQ(store->GetSaveProfileName(1), "");
}

TEST_F(Saves, DamagedSaveIsReplacedOnlyWhenNoSlotIsFree) {
    PutSlot(0, {2024, 1, 1, 1, 10, 0, 0, 0});
    PutSave("save1.sav", {1, 0});
    EXPECT_EQ(store->ChooseSaveSlot(), 2);
    PutSlot(2, {2024, 1, 1, 1, 10, 0, 0, 0});
    EXPECT_EQ(store->ChooseSaveSlot(), 1);
}

TEST_F(Saves, DeletedSlotIsFreeButStays) {
    PutSlot(0, {2024, 1, 1, 1, 10, 0, 0, 0}, "zero");
    PutSlot(1, {2023, 1, 1, 1, 10, 0, 0, 0}, "one");
    ASSERT_TRUE(store->DeleteSave("save1.sav"));
    EXPECT_EQ(store->GetSaveProfileName(1), "");
    EXPECT_TRUE(store.Exists("DATA/Saves/save1.sav"));
    EXPECT_EQ(std::filesystem::file_size(store.Path() + "/DATA/Saves/save1.sav"), 0u);
    store->saveSlot = 5;
    EXPECT_FALSE(store->ReadSave("save1.sav"));
    EXPECT_EQ(store->saveSlot, 5);
    store->saveSlot = -1;
    ASSERT_TRUE(store->SaveGame());
    EXPECT_EQ(store->saveSlot, 1);
}

TEST_F(Saves, BothSpellingsOfTheFolderAreOne) {
    store->profileName = "upper";
    ASSERT_TRUE(store->WriteSave("save3.sav"));
    EXPECT_EQ(store->GetSaveProfileName(3), "upper");
    ASSERT_TRUE(store->DeleteSave("save3.sav"));
    EXPECT_EQ(store->GetSaveProfileName(3), "");
    // One folder on disk, in the spelling first written.
    EXPECT_TRUE(store.Exists("DATA/Saves/save3.sav"));
    EXPECT_FALSE(store.Exists("data/saves"));
}

TEST_F(Saves, ListShowsStoredNamesOrNothing) {
    PutSlot(0, {}, "first");
    PutSave("save1.sav", {});
    PutSave("save2.sav", {200, 0, 0, 0, 'x'}); // a name longer than the file
    PutSave("save3.sav", {0xff, 0xff, 0xff, 0xff});
    PutSave("save4.sav", {3, 0, 0, 0, 'a', 'b', 'c'}); // only the name
    EXPECT_EQ(store->GetSaveProfileName(0), "first");
    EXPECT_EQ(store->GetSaveProfileName(1), "");
    EXPECT_EQ(store->GetSaveProfileName(2), "");
    EXPECT_EQ(store->GetSaveProfileName(3), "");
    EXPECT_EQ(store->GetSaveProfileName(4), "abc");
    EXPECT_EQ(store->GetSaveProfileName(5), "");
    EXPECT_EQ(store->GetSaveProfileName(6), "");
    EXPECT_EQ(store->GetSaveProfileName(-1), "");
}

TEST_F(Saves, NamesWithFoldersAreRefused) {
    store.Write("DATA/strings.txt", "keep~me\n");
    store.Write("DATA/Saves/sub/save0.sav", "x");
    for (const char* name : {"../strings.txt", "..", "sub/save0.sav", "sub\\save0.sav", "", "a..b", "c:save.sav"}) {
        EXPECT_FALSE(store->WriteSave(name)) << name;
        EXPECT_FALSE(store->ReadSave(name)) << name;
        EXPECT_FALSE(store->DeleteSave(name)) << name;
    }
    EXPECT_EQ(store.Read("DATA/strings.txt"), "keep~me\n");
    EXPECT_EQ(store.Read("DATA/Saves/sub/save0.sav"), "x");
}

TEST(SaveFileTimes, OrderedToTheSecond) {
    const Platform::LocalTime a{2024, 5, 1, 10, 12, 0, 0, 900};
    Platform::LocalTime b = a;
    b.milliseconds = 0;
    b.dayOfWeek = 6;
    EXPECT_FALSE(SavedEarlier(a, b));
    EXPECT_FALSE(SavedEarlier(b, a));
    b.second = 1;
    EXPECT_TRUE(SavedEarlier(a, b));
    b = a;
    b.year = 2023;
    b.month = 12;
    EXPECT_TRUE(SavedEarlier(b, a));
}
