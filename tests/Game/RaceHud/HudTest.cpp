// The race head-up display on a fixture layout: readouts, gauges, icons, the checkpoint hint,
// the standings panel and the health bars.

#include "RaceHudFixture.h"

#include <cmath>

#include "GameData/PGameData.h"
#include "World/PMiniMap.h"
#include "World/PRaceCamera.h"

using racehud::RaceHudTest;

namespace {

std::vector<std::string> Numbered(const std::string& prefix, int from, int to) {
    std::vector<std::string> out;
    for (int i = from; i <= to; ++i) out.push_back(prefix + std::to_string(i));
    return out;
}

TEST_F(RaceHudTest, ScoreIsPaddedToFiveDigitsAndLongerScoresPrintInFull) {
    const std::pair<const char*, const char*> cases[] = {
        {"42", "00042"}, {"123456", "123456"}, {"0", "00000"}, {"7.9", "00007"}, {"-3", "-0003"}, {"0/0", "00000"},
    };
    for (const auto& [score, text] : cases) {
        lua->Run(std::string("UpdateScore(hud, ") + score + ")");
        EXPECT_EQ(TextOf("score"), text) << score;
    }
}

TEST_F(RaceHudTest, TimeShowsMinutesAndSecondsAndTheHeatGaugeRoundsHalfUp) {
    level->timeLeft = 125.5f;
    racer->engineTemperature = 0.5f;
    GetGameData()->kills = 12;
    lua->Run("UpdateTime(hud)");
    EXPECT_EQ(TextOf("time"), "02:05");
    EXPECT_EQ(TextOf("kills"), "00012");
    EXPECT_EQ(ShownWithPrefix("overheat"), Numbered("overheat", 1, 6));

    // 0.54 x 12 = 6.48 stays at six; 0.55 x 12 = 6.6 rounds up to seven.
    const std::pair<float, int> heats[] = {{0.0f, 0}, {0.54f, 6}, {0.55f, 7}, {1.0f, 12}, {5.0f, 12}};
    for (const auto& [heat, lit] : heats) {
        racer->engineTemperature = heat;
        lua->Run("UpdateTime(hud)");
        EXPECT_EQ(ShownWithPrefix("overheat").size(), static_cast<std::size_t>(lit)) << heat;
    }
}

TEST_F(RaceHudTest, TimeNeedsALevel) {
    level->timeLeft = 61.0f;
    lua->Run("UpdateTime(hud)");
    const std::string before = TextOf("time");
    EXPECT_EQ(before, "01:01");
    delete level;
    level = nullptr;
    lua->Run("UpdateTime(hud)");
    EXPECT_EQ(TextOf("time"), before);
}

TEST_F(RaceHudTest, AmmunitionShowsSeventeenthsRoundedHalfUp) {
    racer->weaponSlot = 0;
    const std::pair<float, int> cases[] = {{1.0f, 17}, {0.03f, 1}, {0.0f, 0}, {0.5f, 9}, {0.02f, 0}};
    for (const auto& [ammo, shown] : cases) {
        racer->ammo[0] = ammo;
        lua->Run("UpdateGameInterface(hud)");
        EXPECT_EQ(ShownWithPrefix("bullet"), Numbered("bullet", 1, shown)) << ammo;
    }
    // No weapon, or an index beyond the three slots, has no ammunition to show.
    for (int slot : {-1, 3, 1000}) {
        racer->weaponSlot = slot;
        lua->Run("UpdateGameInterface(hud)");
        EXPECT_TRUE(ShownWithPrefix("bullet").empty()) << slot;
    }
}

TEST_F(RaceHudTest, WeaponSlotsShowTheWeaponInUseAndMoveTheIconsToTheirSlots) {
    GetGameData()->realCar.weapons = {"lgun", "gauss", ""};
    racer->weaponSlot = 1;
    racer->health = 87.9f;
    // A screen not 1024 wide: the icons still land on their slots.
    const int screenWidth = g_screenWidth;
    g_screenWidth = 640;
    lua->Run("UpdateGameInterface(hud)");
    g_screenWidth = screenWidth;
    EXPECT_TRUE(Shown("lgun_off"));
    EXPECT_FALSE(Shown("lgun"));
    EXPECT_TRUE(Shown("gauss"));
    EXPECT_FALSE(Shown("gauss_off"));
    EXPECT_TRUE(Shown("slot3"));
    EXPECT_FALSE(Shown("slot1"));
    EXPECT_FALSE(Shown("slot2"));
    EXPECT_EQ(TextOf("life"), "087");
    CPWindow* slot2 = Hud().FindElement("slot2");
    EXPECT_FLOAT_EQ(Hud().FindElement("gauss")->GetX(), slot2->GetX());
    EXPECT_FLOAT_EQ(Hud().FindElement("gauss")->GetY(), slot2->GetY());
    // No super weapons: the three empty marks.
    EXPECT_EQ(ShownWithPrefix("nosuper"), Numbered("nosuper", 1, 3));
    GetGameData()->realCar.superWeaponCount = 2;
    lua->Run("UpdateGameInterface(hud)");
    EXPECT_EQ(ShownWithPrefix("super"), Numbered("super", 1, 2));
    EXPECT_EQ(ShownWithPrefix("nosuper"), Numbered("nosuper", 3, 3));
}

TEST_F(RaceHudTest, MinesAndThePointerPictureFollowThePlayer) {
    lua->Run("UpdateGameInterface(hud)");
    EXPECT_TRUE(Shown("no_mina"));
    EXPECT_FALSE(Shown("mines"));
    EXPECT_EQ(TextOf("mines"), "00");

    racer->hasMines = true;
    racer->mineInfo.value4 = 5;
    racer->mineFactor = 2.5f;
    racer->mineElement = "minebox";
    lua->Run("UpdateGameInterface(hud)");
    EXPECT_TRUE(Shown("mines"));
    EXPECT_TRUE(Shown("minebox"));
    EXPECT_EQ(TextOf("mines"), "12");

    const std::pair<int, const char*> kinds[] = {{0, "bullet"},  {3, "rocket"}, {5, "plazma"},
                                                 {8, "shotgun"}, {6, "bullet"}, {9, "bullet"}};
    for (const auto& [kind, pointer] : kinds) {
        racer->weaponKind = kind;
        lua->Run("UpdateGameInterface(hud)");
        EXPECT_EQ(Hud().GetPointerName(), pointer) << kind;
    }
}

TEST_F(RaceHudTest, EquipmentIconsOfACarWithoutArmourAndSecondEquipment) {
    SPCarSettings& car = GetGameData()->realCar;
    car.armor = "";
    car.engine = "engine2";
    car.equipment = {"repair", ""};
    lua->Run("InitGameInterface(hud)");
    EXPECT_TRUE(Shown("krest"));
    EXPECT_TRUE(Shown("noequipment2"));
    EXPECT_TRUE(Shown("engine2"));
    EXPECT_TRUE(Shown("repair"));
    EXPECT_FALSE(Shown("noequipment1"));
    EXPECT_FALSE(Shown("steel"));

    car.armor = "titan";
    car.equipment = {"", "laser"};
    lua->Run("InitGameInterface(hud)");
    EXPECT_FALSE(Shown("krest"));
    EXPECT_TRUE(Shown("titan"));
    EXPECT_TRUE(Shown("noequipment1"));
    EXPECT_TRUE(Shown("laser2"));
    EXPECT_FALSE(Shown("laser"));
    EXPECT_FALSE(Shown("repair"));
}

TEST_F(RaceHudTest, FunctionsOnAnInterfaceDoNothingWithoutOne) {
    const std::string before = TextOf("score");
    for (const char* call : {"UpdateScore(nil, 5)", "UpdateTime(1)", "InitGameInterface('hud')",
                             "UpdateGameInterface(GetWindow(hud, 'krest'))"})
        EXPECT_EQ(Eval(call), "") << call;
    EXPECT_EQ(TextOf("score"), before);
}

TEST_F(RaceHudTest, CheckpointHintsAreShownInOrderAndTheLastClearsTheMapHint) {
    CPSmartPtr<CPMiniMap> map(new CPMiniMap());
    map->hintArrow = CPSmartPtr<CPGameObject>(new CPGameObject("arrow"));
    map->checkpointMarker = CPSmartPtr<CPGameObject>(new CPGameObject("marker"));
    map->hintArrow->SetVisible(false);
    map->checkpointMarker->SetVisible(false);
    level->miniMap = map;
    for (const char* name : {"h1", "h2"}) {
        SPCheckpointHint hint;
        hint.model = CPSmartPtr<CPGameObject>(new CPGameObject(name));
        hint.model->SetVisible(false);
        level->checkpointHints.push_back(hint);
    }
    level->hintCursor = level->checkpointHints.begin();

    for (const char* name : {"h1", "h2"}) {
        lua->Run("ShowCheckPoint()");
        ASSERT_TRUE(level->shownHint);
        EXPECT_EQ(level->shownHint->GetName(), name);
        EXPECT_TRUE(level->shownHint->IsVisible());
        EXPECT_EQ(map->hintTarget.Get(), level->shownHint.Get());
        EXPECT_EQ(map->currentMarker.Get(), map->hintArrow.Get());
        EXPECT_TRUE(map->hintArrow->IsVisible());
        EXPECT_TRUE(map->checkpointMarker->IsVisible());
        EXPECT_EQ(TakeCommands(), std::vector<std::string>{"category main say_show "});
    }
    lua->Run("ShowCheckPoint()");
    EXPECT_FALSE(level->shownHint);
    EXPECT_FALSE(map->hintTarget);
    EXPECT_FALSE(map->currentMarker);
    EXPECT_FALSE(map->checkpointMarker->IsVisible());
    EXPECT_TRUE(map->hintArrow->IsVisible());
    EXPECT_TRUE(TakeCommands().empty());
}

TEST_F(RaceHudTest, StandingsListTheEntriesFromTheHighestKeyAndDropTies) {
    CPGameData& data = *GetGameData();
    // Entry k has key 100 + 2k: round 1 and progress 100 + 2k.
    for (int k = 0; k <= 10; ++k) {
        SPLapRecord& record = data.racerLaps[std::to_string(k)];
        record.currentLap = 1;
        record.progressKey = 100 + 2 * k;
    }
    struct Case {
        int round, progress;
        const char* table;
    };
    const Case cases[] = {
        {2, 61, R"({"11","10","9","8","7","6","5","4","3","2","1","0"})"},
        {1, 105, R"({"10","9","8","7","6","5","4","3","11","2","1","0"})"},
        // The human's key equals entry 2's (2 x 52 = 104): only the first of them stays.
        {2, 52, R"({"10","9","8","7","6","5","4","3","2","1","0"})"},
        {1, -1, R"({"10","9","8","7","6","5","4","3","2","1","0","11"})"},
    };
    for (const Case& c : cases) {
        data.playerLap.currentLap = c.round;
        data.playerLap.progressKey = c.progress;
        EXPECT_EQ(Eval("SetPlayersPanel()"), c.table) << c.round << " x " << c.progress;
    }
    // Missing records are made with the store's defaults (all keys -1: the first stays).
    data.racerLaps.clear();
    data.playerLap = SPLapRecord{};
    EXPECT_EQ(Eval("SetPlayersPanel()"), R"({"0"})");
    EXPECT_EQ(data.racerLaps.size(), 11u);
}

TEST_F(RaceHudTest, HealthBarsSitOverTheRacerAndAreOffScreenBehindTheCamera) {
    level->camera = CPSmartPtr<CPCamera>(new CPCamera());
    CPPerspectiveCamera& view = *level->camera->GetViewCamera();
    view.eye = D3DXVECTOR3(0.0f, 10.0f, 2.0f);
    view.target = D3DXVECTOR3(0.0f, 0.0f, 2.0f);
    view.up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    view.fieldOfView = 0.8f;
    view.nearDistance = 0.5f;
    view.farDistance = 1000.0f;
    view.viewDirty = view.projectionDirty = true;
    view.Update();

    CPSmartPtr<CPPlayer> ahead(new CPPlayer());
    ahead->SetPosition(D3DXVECTOR3(0.0f, 0.0f, 2.0f));
    ahead->UpdateTransform();
    ahead->damage = 50.0f;
    CPSmartPtr<CPPlayer> behind(new CPPlayer());
    behind->SetPosition(D3DXVECTOR3(0.0f, 30.0f, 2.0f));
    behind->UpdateTransform();
    lua_pushlightuserdata(lua->L, Script::HandleToUserdata(ahead->GetHandle()));
    lua_setglobal(lua->L, "ahead");
    lua_pushlightuserdata(lua->L, Script::HandleToUserdata(behind->GetHandle()));
    lua_setglobal(lua->L, "behind");

    EXPECT_EQ(Eval("GetHelthBarCoord(behind)"), "-100 -100 0");
    EXPECT_EQ(Eval("GetHelthBarCoord(nil)"), "-100 -100 0");
    EXPECT_EQ(Eval("GetHelthBarCoord(hud)"), "-100 -100 0");
    lua->Run("x1, y1, l1 = GetHelthBarCoord(ahead) x2, y2, l2 = GetHelthBarCoord(ahead)");
    EXPECT_EQ(Eval("x1 == x2 and y1 == y2 and l1 == l2"), "true");
    EXPECT_EQ(Eval("math.abs(l1 - 50 * 0.47001317) < 1e-4"), "true");
    // The racer stands in the middle of the view: its bar starts near the screen's centre.
    EXPECT_EQ(Eval("math.abs(x1 - 512) < 100 and math.abs(y1 - 384) < 100"), "true");

    delete level;
    level = nullptr;
    EXPECT_EQ(Eval("GetHelthBarCoord(ahead)"), "");
}

} // namespace
