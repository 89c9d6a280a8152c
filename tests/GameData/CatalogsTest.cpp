#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/PLog.h"
#include "GameData/CarNames.h"
#include "support/FreshStore.h"

namespace {

// Collects the log lines for a scope.
class LogLines {
public:
    LogLines() {
        CPLog::Instance().SetSink([this](int, const std::string& text) { lines.push_back(text); });
    }
    ~LogLines() { CPLog::Instance().SetSink(nullptr); }
    int Count(const std::string& part) const {
        int n = 0;
        for (const std::string& line : lines) n += line.find(part) != std::string::npos;
        return n;
    }
    std::vector<std::string> lines;
};

std::vector<std::string> Names(const auto& catalog) {
    std::vector<std::string> names;
    for (const auto& item : catalog.items) names.push_back(item.first);
    return names;
}

const char* kCatalogs = "// shop\n"
                        "[weapons]\n"
                        "gun;w_gun;100;1;0.5;3;4.5;5.5;6;7.5;8.5;w_gun_d;1\n"
                        "rocket;w_rocket;300;2;1;3;4;5;6;7;8;w_rocket_d;3\n"
                        "[mines]\n"
                        "spike;m_spike;50;1;2;3;4;5;6;7;m_spike_d;1\n"
                        "[superweapons]\n"
                        "storm;s_storm;500;s_storm_d;2\n"
                        "[bumpers]\n"
                        "ram;b_ram;40;1.5;b_ram_d;1\n"
                        "[equipment]\n"
                        "radar;e_radar;30;2;e_radar_d;1\n"
                        "[armor]\n"
                        "plate;a_plate;60;3;a_plate_d;1\n"
                        "[engines]\n"
                        "v6;g_v6;200;1;2;3;4;5;g_v6_d;1\n"
                        "[presets]\n"
                        "gun;;;radar;;ram;v6;plate;storm;1;spike\n"
                        ";;;;;;;;;0;\n"
                        "rocket;gun;;;;;;;;0;\n";

} // namespace

TEST(Catalogs, EveryRecordFieldInOrder) {
    kxtest::FreshGameData store;
    store.Write("Data/catalogs.txt", kCatalogs);
    LogLines log;
    ASSERT_TRUE(store->LoadCatalogs());
    EXPECT_EQ(Names(store->weaponCatalog), (std::vector<std::string>{"gun", "rocket"}));
    const SPWeaponInfo& gun = store->weaponCatalog.byName.at("gun");
    EXPECT_EQ(gun.nameKey, "w_gun");
    EXPECT_EQ(gun.price, 100);
    EXPECT_EQ(gun.value1, 1);
    EXPECT_EQ(gun.value2, 0.5f);
    EXPECT_EQ(gun.value3, 3);
    EXPECT_EQ(gun.value4, 4.5f);
    EXPECT_EQ(gun.value5, 5.5f);
    EXPECT_EQ(gun.value6, 6);
    EXPECT_EQ(gun.value7, 7.5f);
    EXPECT_EQ(gun.value8, 8.5f);
    EXPECT_EQ(gun.descriptionKey, "w_gun_d");
    EXPECT_EQ(gun.level, 1);
    const SPMineInfo& spike = store->mineCatalog.byName.at("spike");
    EXPECT_EQ(spike.value4, 4);
    EXPECT_EQ(spike.value7, 7.0f);
    EXPECT_EQ(spike.descriptionKey, "m_spike_d");
    EXPECT_EQ(store->superWeaponCatalog.byName.at("storm").level, 2);
    EXPECT_EQ(store->bumperCatalog.byName.at("ram").value1, 1.5f);
    EXPECT_EQ(store->equipmentCatalog.byName.at("radar").price, 30);
    EXPECT_EQ(store->armorCatalog.byName.at("plate").descriptionKey, "a_plate_d");
    EXPECT_EQ(store->engineCatalog.byName.at("v6").values, (std::array<float, 5>{1, 2, 3, 4, 5}));
    ASSERT_EQ(store->presetCars.size(), 3u);
    const SPCarSettings& first = store->presetCars[0];
    EXPECT_EQ(first.weapons[0], "gun");
    EXPECT_EQ(first.weapons[1], "");
    EXPECT_EQ(first.equipment[0], "radar");
    EXPECT_EQ(first.bumper, "ram");
    EXPECT_EQ(first.engine, "v6");
    EXPECT_EQ(first.armor, "plate");
    EXPECT_EQ(first.superWeapon, "storm");
    EXPECT_EQ(first.superWeaponCount, 1);
    EXPECT_EQ(first.mine, "spike");
    EXPECT_EQ(store->presetCars[1], SPCarSettings{});
    // Three presets are only mission 1's.
    EXPECT_EQ(log.Count("fewer than three for mission 2"), 1);
}

TEST(Catalogs, BadLinesAreSkippedAndLogged) {
    kxtest::FreshGameData store;
    store.Write("Data/catalogs.txt", "stray;line\n"
                                     "[weapons]\n"
                                     "short;w;1\n"
                                     "gun;w_gun;100;1;2;3;4;5;6;7;8;d;1\n"
                                     "gun;w_other;1;1;2;3;4;5;6;7;8;d;1\n"
                                     "gun;w_gun;100;1;2;3;4;5;6;7;8;d;1;extra\n"
                                     "[bonuses]\n"
                                     "x;y\n"
                                     "[presets]\n"
                                     "gun;;;;;;;;;0;\n"
                                     "missing;;;;;;;;;0;\n"
                                     ";;;;;;;;;0\n"
                                     "[armor]\n"
                                     "\"quoted;name\";a;5;1;d;1\n");
    LogLines log;
    ASSERT_TRUE(store->LoadCatalogs());
    EXPECT_EQ(Names(store->weaponCatalog), std::vector<std::string>{"gun"});
    EXPECT_EQ(store->weaponCatalog.byName.at("gun").nameKey, "w_gun");
    EXPECT_EQ(Names(store->armorCatalog), std::vector<std::string>{"quoted;name"});
    EXPECT_EQ(store->presetCars.size(), 1u);
    EXPECT_EQ(log.Count("outside any section"), 2);
    EXPECT_EQ(log.Count("wrong number of fields"), 3);
    EXPECT_EQ(log.Count("name repeated"), 1);
    EXPECT_EQ(log.Count("unknown section"), 1);
    EXPECT_EQ(log.Count("missing from its catalog"), 1);
}

TEST(Catalogs, MissingFileEmptiesEverything) {
    kxtest::FreshGameData store;
    store->weaponCatalog.byName["old"] = {};
    store->weaponCatalog.items.emplace_back("old", SPWeaponInfo{});
    store->presetCars.resize(2);
    LogLines log;
    EXPECT_FALSE(store->LoadCatalogs());
    EXPECT_TRUE(store->weaponCatalog.items.empty());
    EXPECT_TRUE(store->weaponCatalog.byName.empty());
    EXPECT_TRUE(store->presetCars.empty());
    EXPECT_EQ(log.Count("not found"), 1);
}

TEST(Catalogs, StartUpLoadsThemAfterTheTexts) {
    kxtest::FreshGameData store;
    store.Write("Data/catalogs.txt", kCatalogs);
    store->LoadStrings();
    EXPECT_EQ(store->weaponCatalog.items.size(), 2u);
}

TEST(Catalogs, HostileLinesDoNotBreakTheLoader) {
    kxtest::FreshGameData store;
    std::string text = "[weapons]\n" + std::string(100000, ';') + "\n[presets]\n\"unterminated;;;\n[engines]\n";
    text += std::string(5000, '"') + "\n";
    text.push_back('\0');
    text += "[mines]\nm;k;-2147483649;99999999999;nan;inf;1;2;3;4;d;-5\n";
    store.Write("Data/catalogs.txt", text);
    LogLines log;
    ASSERT_TRUE(store->LoadCatalogs());
    EXPECT_TRUE(store->weaponCatalog.items.empty());
    EXPECT_TRUE(store->presetCars.empty());
}

TEST(Catalogs, PriceOfAConfiguration) {
    kxtest::FreshGameData store;
    store.Write("Data/catalogs.txt", kCatalogs);
    ASSERT_TRUE(store->LoadCatalogs());
    SPCarSettings car;
    EXPECT_EQ(store->GetSettingsPrice(car), 0.0f);
    car.weapons = {"gun", "gun", "rocket"};
    car.equipment = {"radar", ""};
    car.bumper = "ram";
    car.engine = "v6";
    car.armor = "plate";
    car.mine = "spike";
    car.superWeapon = "storm";
    car.superWeaponCount = 2;
    EXPECT_EQ(store->GetSettingsPrice(car), 100 + 100 + 300 + 30 + 40 + 200 + 60 + 50 + 1000.0f);
    car = SPCarSettings{};
    car.weapons[0] = "unknown";
    car.superWeapon = "storm";
    EXPECT_EQ(store->GetSettingsPrice(car), 0.0f);
}

TEST(Catalogs, AutoSettingTakesTheDearestAffordablePreset) {
    struct Case {
        const char* what;
        int mission;
        float money;
        std::size_t presetCount;
        int expectedPreset; // -1: nothing changes
        float expectedMoney;
    };
    // The presets of kCatalogs cost 980, 0 and 400.
    const Case cases[] = {
        {"exact budget for preset 2", 1, 400.0f, 3, 2, 0.0f},
        {"too little for 2, so the free one", 1, 399.0f, 3, 1, 399.0f},
        {"mission 0 considers none", 0, 1e6f, 3, -1, 1e6f},
        {"negative mission considers none", -4, 1e6f, 3, -1, 1e6f},
        {"missing presets are skipped", 2, 5000.0f, 3, 2, 4600.0f},
        {"huge mission", 2147483647, 5000.0f, 3, 2, 4600.0f},
    };
    for (const Case& c : cases) {
        kxtest::FreshGameData store;
        store.Write("Data/catalogs.txt", kCatalogs);
        ASSERT_TRUE(store->LoadCatalogs());
        store->currentMission = c.mission;
        store->money = c.money;
        const SPCarSettings before = store->editedCar;
        EXPECT_EQ(store->AutoSetting(), c.expectedPreset >= 0) << c.what;
        if (c.expectedPreset >= 0)
            EXPECT_EQ(store->editedCar, store->presetCars[static_cast<std::size_t>(c.expectedPreset)]) << c.what;
        else
            EXPECT_EQ(store->editedCar, before) << c.what;
        EXPECT_EQ(store->money, c.expectedMoney) << c.what;
    }
}

TEST(Catalogs, CurrentCarCountsAsSoldBack) {
    kxtest::FreshGameData store;
    store.Write("Data/catalogs.txt", kCatalogs);
    ASSERT_TRUE(store->LoadCatalogs());
    store->editedCar.engine = "v6"; // 200
    store->money = 200.0f;
    ASSERT_TRUE(store->AutoSetting());
    EXPECT_EQ(store->editedCar, store->presetCars[2]);
    EXPECT_EQ(store->money, 0.0f);
}

TEST(CarNames, BothWays) {
    const struct {
        const char* stem;
        const char* description;
    } pairs[] = {{"audi_tt", "audi_tt"},         {"bmw", "bmw_i745"}, {"gaz_3110_main", "gaz_z110"},
                 {"volswagen_toureg", "volk_t"}, {"uaz", "uaz_469"},  {"zil_130_", "zil_130"}};
    for (const auto& p : pairs) {
        EXPECT_EQ(CarDescriptionName(p.stem), p.description);
        EXPECT_EQ(CarStemOfDescription(p.description), p.stem);
    }
    EXPECT_EQ(CarDescriptionName("bmw_i745"), "bmw_i745");
    EXPECT_EQ(CarDescriptionName("BMW"), "BMW");
    EXPECT_EQ(CarDescriptionName(""), "");
    EXPECT_FALSE(CarStemOfDescription("bmw"));
    EXPECT_FALSE(CarStemOfDescription("unknown"));
}
