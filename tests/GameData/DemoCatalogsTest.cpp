// The demo game root in data/: its catalogs, presets, starting car and coefficients load whole
// and agree with each other.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/PLog.h"
#include "GameData/PGameData.h"
#include "Platform/System/Paths.h"

namespace {

class DemoCatalogs : public ::testing::Test {
protected:
    void SetUp() override {
        previousRoot = Platform::GamePaths().Root();
        Platform::GamePaths().SetRoot(std::string(KX_DATA_DIR));
        CPLog::Instance().SetSink([this](int, const std::string& text) { log.push_back(text); });
        data.LoadStrings();
    }
    void TearDown() override {
        CPLog::Instance().SetSink(nullptr);
        Platform::GamePaths().SetRoot(previousRoot);
    }

    template <class Record>
    void ExpectTexts(const SPCatalog<Record>& catalog, const char* what) {
        EXPECT_FALSE(catalog.items.empty()) << what;
        for (const auto& [name, record] : catalog.items) {
            EXPECT_NE(data.GetText(record.nameKey), "") << what << " " << name;
            EXPECT_NE(data.GetText(record.descriptionKey), "") << what << " " << name;
            EXPECT_GT(record.price, 0) << what << " " << name;
            EXPECT_GE(record.level, 1) << what << " " << name;
        }
    }

    std::string previousRoot;
    std::vector<std::string> log;
    CPGameData data;
};

} // namespace

TEST_F(DemoCatalogs, LoadWithoutASkippedLine) {
    for (const std::string& line : log) EXPECT_EQ(line.find("catalogs"), std::string::npos) << line;
    ExpectTexts(data.weaponCatalog, "weapons");
    ExpectTexts(data.mineCatalog, "mines");
    ExpectTexts(data.superWeaponCatalog, "super weapons");
    ExpectTexts(data.bumperCatalog, "bumpers");
    ExpectTexts(data.equipmentCatalog, "equipment");
    ExpectTexts(data.armorCatalog, "armor");
    ExpectTexts(data.engineCatalog, "engines");
    EXPECT_EQ(data.presetCars.size(), 3u * kLevelCount);
}

TEST_F(DemoCatalogs, DearestPresetOfEachMissionUsesOfferedItems) {
    for (int mission = 1; mission <= kLevelCount; ++mission) {
        data.currentMission = mission;
        data.editedCar = SPCarSettings{};
        data.money = 1e7f;
        ASSERT_TRUE(data.AutoSetting()) << mission;
        // The dearest preset of the mission uses only items the shop offers by then.
        const SPCarSettings& car = data.editedCar;
        EXPECT_EQ(car, data.presetCars[static_cast<std::size_t>(3 * mission - 1)]) << mission;
        for (const std::string& weapon : car.weapons)
            if (!weapon.empty()) EXPECT_LE(data.weaponCatalog.byName.at(weapon).level, mission) << weapon;
        if (!car.engine.empty()) EXPECT_LE(data.engineCatalog.byName.at(car.engine).level, mission);
    }
}

TEST_F(DemoCatalogs, StartingCarNamesCatalogItems) {
    data.LoadPlayer();
    EXPECT_TRUE(data.IsCatalogName(data.realCar.weapons[0]));
    EXPECT_TRUE(data.IsCatalogName(data.realCar.engine));
    EXPECT_TRUE(data.IsCatalogName(data.realCar.bumper));
    data.LoadCoefficients();
    EXPECT_EQ(data.coefficients[1], 0.8f);
}
