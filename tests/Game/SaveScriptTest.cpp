#include <gtest/gtest.h>

#include <string>

#include "Game/LuaHarness.h"
#include "Game/ScriptSaves.h"
#include "Platform/System/LocalTime.h"
#include "support/FreshStore.h"
#include "support/SaveFileWriter.h"

namespace {

class SaveScripts : public ::testing::Test {
protected:
    void SetUp() override { Platform::SetLocalTimeSource(&clock); }
    void TearDown() override { Platform::SetLocalTimeSource(nullptr); }

    void PutSlot(int slot, const std::string& profile, std::uint16_t year) {
        kxtest::SaveFileFields fields;
        fields.profileName = profile;
        fields.savedAt = {year, 1, 1, 1, 0, 0, 0, 0};
        store.Write("DATA/Saves/save" + std::to_string(slot) + ".sav",
                    kxtest::AsText(kxtest::WriteSaveFile(fields).bytes));
    }

    Platform::FakeLocalTime clock{Platform::LocalTime{2025, 6, 2, 3, 4, 5, 6, 7}};
    kxtest::FreshGameData store{true};
    kxtest::LuaHarness lua{ScriptApi::AddSaveGameFunctions};
};

} // namespace

TEST_F(SaveScripts, ListingSavingLoadingAndDeleting) {
    PutSlot(0, "Ann", 2020);
    PutSlot(4, "Bo", 2021);
    store.Write("DATA/Saves/save5.sav", std::string("\xff\xff\xff\x7f", 4));
    EXPECT_EQ(lua.Eval("GetSaves()"), R"(6 {"Ann","","","","Bo",""})");

    store->money = 50.0f;
    EXPECT_EQ(lua.Eval("LoadGame('save4.sav')"), "");
    EXPECT_EQ(store->saveSlot, 4);
    EXPECT_EQ(store->profileName, "Bo");
    EXPECT_EQ(store->money, 50.0f);

    store->profileName = "Bo2";
    EXPECT_EQ(lua.Eval("SaveGame()"), "");
    EXPECT_EQ(lua.Eval("GetSaves()"), R"(6 {"Ann","","","","Bo2",""})");

    EXPECT_EQ(lua.Eval("DeleteSave('save0.sav')"), "");
    EXPECT_EQ(lua.Eval("GetSaves()"), R"(6 {"","","","","Bo2",""})");
    EXPECT_TRUE(store.Exists("DATA/Saves/save0.sav"));
}

TEST_F(SaveScripts, MissingOrRefusedNamesDoNothing) {
    store.Write("DATA/strings.txt", "a~b\n");
    const struct {
        const char* call;
    } calls[] = {{"LoadGame()"},
                 {"LoadGame(nil)"},
                 {"DeleteSave()"},
                 {"DeleteSave('../strings.txt')"},
                 {"LoadGame('..\\\\strings.txt')"},
                 {"DeleteSave({})"}};
    for (const auto& c : calls) EXPECT_EQ(lua.Eval(c.call), "") << c.call;
    EXPECT_EQ(store.Read("DATA/strings.txt"), "a~b\n");
    EXPECT_EQ(store->saveSlot, -1);
}

TEST_F(SaveScripts, NewPlayerTakesAFreeSlotAndKeepsIt) {
    PutSlot(0, "Occupied", 2020);
    store->ResetProfile("Newcomer");
    EXPECT_EQ(lua.Eval("NewPlayer('car_c')"), "");
    EXPECT_EQ(store->playerName, "car_c");
    EXPECT_EQ(store->saveSlot, 1);
    EXPECT_EQ(lua.Eval("GetSaves()"), R"(6 {"Occupied","Newcomer","","","",""})");
    // The career's next save stays in its one slot.
    EXPECT_EQ(lua.Eval("SaveGame()"), "");
    EXPECT_EQ(lua.Eval("GetSaves()"), R"(6 {"Occupied","Newcomer","","","",""})");
}

TEST_F(SaveScripts, ClearGameDataForgetsTheRace) {
    store->racerLaps["x"] = SPLapRecord{};
    store->bonusCount = 3;
    store->money = 9.0f;
    EXPECT_EQ(lua.Eval("ClearGameData()"), "");
    EXPECT_TRUE(store->racerLaps.empty());
    EXPECT_EQ(store->bonusCount, 0);
    EXPECT_EQ(store->money, 9.0f);
}
