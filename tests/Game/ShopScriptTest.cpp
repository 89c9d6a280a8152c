#include <gtest/gtest.h>

#include <string>

#include "Game/LuaHarness.h"
#include "Game/ScriptShop.h"
#include "support/FreshStore.h"

namespace {

struct Step {
    const char* call;
    const char* expected;
};

void RunSteps(kxtest::LuaHarness& lua, std::initializer_list<Step> steps) {
    for (const Step& step : steps) EXPECT_EQ(lua.Eval(step.call), step.expected) << step.call;
}

const char* kCatalogs = "[weapons]\n"
                        "gun;w_gun;100;1;0.5;3;4.5;5.5;6;7.5;8.5;w_gun_d;1\n"
                        "laser;w_laser;150;1;1;1;1;1;1;1;1;w_laser_d;2\n"
                        "rocket;w_rocket;300;2;1;3;4;5;6;7;8;w_rocket_d;3\n"
                        "railgun;w_rail;900;2;1;3;4;5;6;7;8;w_rail_d;15\n"
                        "doom;w_doom;999;2;1;3;4;5;6;7;8;w_doom_d;16\n"
                        "[mines]\n"
                        "spike;m_spike;50;1;2;3;4;5;6;7;m_spike_d;1\n"
                        "[superweapons]\n"
                        "storm;s_storm;500;s_storm_d;1\n"
                        "[bumpers]\n"
                        "ram;b_ram;40;1.5;b_ram_d;1\n"
                        "[equipment]\n"
                        "radar;e_radar;30;2;e_radar_d;1\n"
                        "jammer;e_jam;35;1;e_jam_d;1\n"
                        "[armor]\n"
                        "plate;a_plate;60;3;a_plate_d;1\n"
                        "[engines]\n"
                        "v6;g_v6;200;1;2;3;4;5;g_v6_d;1\n";

class ShopScripts : public ::testing::Test {
protected:
    void SetUp() override {
        store.Write("Data/strings.txt", "w_gun~Machine gun\nw_gun_d~Fires fast\nm_spike~Spikes\n");
        store.Write("Data/catalogs.txt", kCatalogs);
        store->LoadStrings();
        store->currentMission = 2;
    }

    kxtest::FreshGameData store;
    kxtest::LuaHarness lua{ScriptApi::AddShopFunctions};
};

} // namespace

TEST_F(ShopScripts, ItemInformation) {
    RunSteps(lua, {
                      {"GetWeaponInfo('gun')", "\"Machine gun\" 100 1 0.5 3 4.5 5.5 6 7.5 8.5 \"Fires fast\" 1"},
                      {"GetMineInfo('spike')", "\"Spikes\" 50 1 2 3 4 5 6 7 \"\" 1"},
                      {"GetSuperWeaponInfo('storm')", "\"\" 500 \"\" 1"},
                      {"GetBumperInfo('ram')", "\"\" 40 1.5 \"\" 1"},
                      {"GetEquipmentInfo('radar')", "\"\" 30 2 \"\" 1"},
                      {"GetArmorInfo('plate')", "\"\" 60 3 \"\" 1"},
                      {"GetEngineInfo('v6')", "\"\" 200 1 2 3 4 5 \"\" 1"},
                      // Names missing from their catalog, or of another catalog, give no values.
                      {"select('#', GetWeaponInfo('spike'))", "0"},
                      {"select('#', GetEngineInfo())", "0"},
                      {"select('#', GetArmorInfo('w_gun'))", "0"},
                  });
}

TEST_F(ShopScripts, NameListsByAvailabilityAndExclusions) {
    RunSteps(lua, {
                      {"GetWeaponNames()", "2 {\"gun\",\"laser\"}"},
                      {"GetEquipmentNames()", "2 {\"radar\",\"jammer\"}"},
                  });
    store->hardMode = true;
    RunSteps(lua, {{"GetWeaponNames()", "4 {\"gun\",\"laser\",\"rocket\",\"railgun\"}"}});
    // Weapon 1 is the catalog's second: the rest stay in order, numbered without a gap.
    store->editedCar.weapons[0] = "laser";
    store->editedCar.weapons[2] = "railgun";
    store->editedCar.equipment[1] = "radar";
    store->editedCar.mine = "spike";
    store->editedCar.bumper = "ram";
    store->editedCar.armor = "plate";
    store->editedCar.engine = "v6";
    RunSteps(lua, {
                      {"GetWeaponNames()", "2 {\"gun\",\"rocket\"}"},
                      {"GetEquipmentNames()", "1 {\"jammer\"}"},
                      {"GetMineNames()", "0 {}"},
                      {"GetBumperNames()", "0 {}"},
                      {"GetArmorNames()", "0 {}"},
                      {"GetEngineNames()", "0 {}"},
                      {"GetSuperWeaponNames()", "1 {\"storm\"}"},
                  });
    store->editedCar.superWeaponCount = 3;
    EXPECT_EQ(lua.Eval("GetSuperWeaponNames()"), "0 {}");
    store->editedCar.superWeaponCount = 2;
    EXPECT_EQ(lua.Eval("GetSuperWeaponNames()"), "1 {\"storm\"}");
    store->hardMode = false;
    store->currentMission = 0;
    EXPECT_EQ(lua.Eval("GetWeaponNames()"), "0 {}");
}

TEST_F(ShopScripts, CarConfiguration) {
    RunSteps(lua,
             {
                 {"SetCarInfo('gun', 'laser', '', 'radar', 'jammer', 'ram', 'v6', 'plate', 'storm', 2.7, 'spike')", ""},
                 {"GetCarInfo()",
                  "\"gun\" \"laser\" \"\" \"radar\" \"jammer\" \"ram\" \"v6\" \"plate\" \"storm\" 2 \"spike\""},
                 {"GetRealCarInfo()", "\"\" \"\" \"\" \"\" \"\" \"\" \"\" \"\" \"\" 0 \"\""},
                 {"CommitCarSettings()", ""},
                 {"GetRealCarInfo()",
                  "\"gun\" \"laser\" \"\" \"radar\" \"jammer\" \"ram\" \"v6\" \"plate\" \"storm\" 2 \"spike\""},
                 {"SetCarInfo()", ""},
                 {"GetCarInfo()", "\"\" \"\" \"\" \"\" \"\" \"\" \"\" \"\" \"\" 0 \"\""},
             });
}

TEST_F(ShopScripts, AutoSettingFromScripts) {
    store->presetCars.resize(6);
    store->presetCars[4].weapons[0] = "rocket"; // 300
    store->presetCars[5].engine = "v6";         // 200, the mission's dearest index
    store->money = 250.0f;
    store->editedCar.bumper = "ram"; // 40 back
    EXPECT_EQ(lua.Eval("AutoSetting()"), "");
    EXPECT_EQ(store->editedCar, store->presetCars[5]);
    EXPECT_EQ(store->money, 90.0f);
}

TEST_F(ShopScripts, NamesAndCars) {
    RunSteps(lua, {
                      {"IsValidGameDataName('jammer')", "true"},
                      {"IsValidGameDataName('v6')", "true"},
                      {"IsValidGameDataName('w_gun')", "false"},
                      {"IsValidGameDataName('GUN')", "false"},
                      {"IsValidGameDataName()", "false"},
                  });
    const Step cars[] = {{"bmw", "\"bmw_i745\""}, {"bmw_i745", "\"bmw_i745\""}, {"zil_130_", "\"zil_130\""},
                         {"uaz", "\"uaz_469\""},  {"other", "\"other\""},       {"", "\"\""}};
    for (const Step& car : cars) {
        store->playerName = car.call;
        EXPECT_EQ(lua.Eval("GetActiveCar()"), car.expected) << car.call;
    }
}
