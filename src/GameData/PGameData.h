#pragma once
// The game-data store: everything the game keeps between the menus, the races and the save
// files. The race world and the script functions read and write its fields directly; the store
// itself only keeps, resets, loads and saves them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Framework/LegacyHashMap.h"
#include "Framework/PMMObject.h"

// Levels and missions are numbered 1..18; per-level arrays are indexed by number - 1.
inline constexpr int kLevelCount = 18;
inline constexpr int kScoreTableCount = 6;
inline constexpr int kScoreTableSize = 7;
inline constexpr int kHelperFlagCount = 10;
inline constexpr int kLapTimeCount = 20;

// The achievement name table: an achievement's index is its position.
inline constexpr std::array<std::string_view, 27> kAchievementNames = {
    "td_1st",
    "td_double",
    "td_triple",
    "td_5",
    "td_20",
    "td_80",
    "td_double_5",
    "td_triple_5",
    "win_1st",
    "win_wo_respawn",
    "win_wo_respawn_5",
    "win_wo_nitro",
    "win_firstplace_all",
    "win_wo_td",
    "win_firstplace",
    "win_besttime_all",
    "win_besttime",
    "win_respawn_10",
    "win_respawn_20",
    "nitro_1st",
    "nitro_1st_s",
    "nitro_use_n_sec",
    "nitro_use_n_sec_s",
    "car_2",
    "car_3",
    "car_4",
    "car_all",
};

// One car configuration: each name is a catalog key, "" for an empty slot.
struct SPCarSettings {
    std::array<std::string, 3> weapons;
    std::array<std::string, 2> equipment;
    std::string bumper;
    std::string engine;
    std::string armor;
    std::string superWeapon;
    int superWeaponCount = 0;
    std::string mine;

    bool operator==(const SPCarSettings&) const = default;
};

// Catalog records: each begins with the display-name key and ends with the first mission in
// which the shop offers the item.
struct SPWeaponInfo {
    std::string nameKey;
    int price = 0;
    int value1 = 0;
    float value2 = 0.0f;
    int value3 = 0;
    float value4 = 0.0f;
    float value5 = 0.0f;
    int value6 = 0;
    float value7 = 0.0f;
    float value8 = 0.0f;
    std::string descriptionKey;
    int level = 0;
};

struct SPMineInfo {
    std::string nameKey;
    int price = 0;
    int value1 = 0;
    float value2 = 0.0f;
    float value3 = 0.0f;
    int value4 = 0;
    float value5 = 0.0f;
    float value6 = 0.0f;
    float value7 = 0.0f;
    std::string descriptionKey;
    int level = 0;
};

struct SPSuperWeaponInfo {
    std::string nameKey;
    int price = 0;
    std::string descriptionKey;
    int level = 0;
};

struct SPBumperInfo {
    std::string nameKey;
    int price = 0;
    float value1 = 0.0f;
    std::string descriptionKey;
    int level = 0;
};

struct SPEquipmentInfo {
    std::string nameKey;
    int price = 0;
    float value1 = 0.0f;
    std::string descriptionKey;
    int level = 0;
};

struct SPArmorInfo {
    std::string nameKey;
    int price = 0;
    float value1 = 0.0f;
    std::string descriptionKey;
    int level = 0;
};

struct SPEngineInfo {
    std::string nameKey;
    int price = 0;
    std::array<float, 5> values{};
    std::string descriptionKey;
    int level = 0;
};

// A shop catalog: look-ups by name, and the items in catalog order for the name lists.
template <class Record>
struct SPCatalog {
    std::unordered_map<std::string, Record> byName;
    std::vector<std::pair<std::string, Record>> items;

    void Clear() {
        byName.clear();
        items.clear();
    }
};

// One entry of a weighted list of a mission description: the first entry with from <= r < to wins.
struct SPWeightedName {
    std::string name;
    int from = 0;
    int to = 0;
};

struct SPCheckpointInfo {
    float value1 = 0.0f;
    int value2 = 0;
    int value3 = 0;
    int value4 = 0;
    std::vector<SPWeightedName> enemyKinds;
    int bonusChance = 0; // percent
    std::vector<SPWeightedName> bonusKinds;
};

struct SPEnemySource {
    std::array<float, 3> position{};
    bool kindFlag = false;
    float value = 0.0f;
    std::vector<SPWeightedName> enemyKinds;
};

// The positions of a level's source objects by name.
using SPNamedPositions = std::unordered_map<std::string, std::array<float, 3>>;

// Weighted list text: items "name,weight" separated by ";", in consecutive ranges from 0.
std::vector<SPWeightedName> ParseWeightedNames(const std::string& text);

// A racer's lap record. progressKey is the racer's progress total along the route; the human's
// starts a race at -1.
struct SPLapRecord {
    int currentLap = 1;
    std::vector<float> lapTimes = std::vector<float>(kLapTimeCount, 0.0f);
    int progressKey = -1;
};

// A computer racer's mini-map marker.
struct SPMapMarker {
    float worldX = 0.0f;
    float worldY = 0.0f;
    float angle = 0.0f;
    float screenX = 0.0f;
    float screenY = 0.0f;
};

// One sample of a time-mode ghost path, kept and saved byte for byte.
struct SPGhostSample {
    std::array<std::uint8_t, 32> bytes{};
};

struct SPMissionRecord {
    float bestTime = 0.0f; // seconds; 0 = none
    int bestPlace = 4;     // 1 once the level was won in first place
    int recordCount = 0;   // how often a new best time was stored
    std::string ghostModel;
    std::vector<SPGhostSample> ghostSamples;
};

struct SPScoreEntry {
    std::string name;
    int minutes = 999;
    int seconds = 0;
    int hundredths = 0;

    bool operator==(const SPScoreEntry&) const = default;
};

// The settings of the next race, in the order the scripts set and read them.
struct SPLevelSettings {
    int minimumValue = 0;
    int racerCount = 1;
    int setting3 = 0;
    int setting4 = 0;
    int setting5 = 0;
    int finishCheckpointIndex = 0;
    bool setting7 = false;
    std::string minimumText;
    float setting9 = 1.0f; // drive-force factor of every computer car
    float checkpointTimeBonus = 0.0f;
    float nitroGainFactor = 1.0f;
    std::string text12;
    std::string text13;
};

// A time in seconds as the game shows it.
struct SPTimeSplit {
    int minutes = 0;
    int seconds = 0;
    int hundredths = 0;

    bool operator==(const SPTimeSplit&) const = default;
};

// Truncates toward zero; NaN gives 0 and values outside the int range are clamped to it.
int ClampTruncate(float value);
// Whole seconds and hundredths truncated, then minutes and seconds of the whole part.
SPTimeSplit SplitTime(float seconds);
// Ordering by (minutes, seconds, hundredths): true when a is strictly faster than b.
bool IsFaster(const SPTimeSplit& a, const SPTimeSplit& b);
bool IsFaster(const SPScoreEntry& a, const SPScoreEntry& b);

// One row of a score table as the record screen lists it: name and "mm:ss:hh", both "" for an
// empty entry.
struct SPRecordRow {
    std::string name;
    std::string time;

    bool operator==(const SPRecordRow&) const = default;
};

// One lap of the rounds-time list: its split time and whether it has been reached.
struct SPRoundTime {
    SPTimeSplit time;
    bool reached = false;
};

class CPGameData {
public:
    CPGameData();
    virtual ~CPGameData();
    CPGameData(const CPGameData&) = delete;
    CPGameData& operator=(const CPGameData&) = delete;

    static CPGameData* GetInstance();

    // Start-of-game reset of the statistics, then the text table from "Data\strings.txt".
    void LoadStrings();
    // The key's text; a missing key is entered with "".
    const std::string& GetText(const std::string& key);
    // A new career under a profile name.
    void ResetProfile(const std::string& name);
    // Forgets the race being driven: lap records, markers and bonuses.
    void ClearRaceData();
    void ResetLevelTimer() { levelTimer = 0.0f; }
    void SetMapMarker(const std::string& key, float worldX, float worldY, float angle, float screenX, float screenY);
    // Stores the money and tells the menu script.
    void SetMoney(float value);
    void SetCarSettings(const SPCarSettings& settings) { editedCar = settings; }
    void CommitCarSettings() { realCar = editedCar; }

    // The starting car configuration "DATA\player.dat" into both car configurations.
    void LoadPlayer();
    // The difficulty coefficients "DATA\coeff.dat" (all 1.0 on the hard setting).
    void LoadCoefficients();

    // Enters a score into table 1..6; true when it was placed.
    bool InsertRecord(int table, const SPScoreEntry& entry);
    // Writes the six tables to "Data\scores.dat", scrambled; false when the write failed.
    bool SaveScores();
    int GetBestTimesCount() const;
    int GetFirstPlacesCount() const;

    // The computations behind the record script functions.
    bool CheckPlayerRecords(int table);
    std::vector<SPRecordRow> GetRecordRows(int table) const;
    // The fastest positive lap time among the finished laps, 0 when there is none.
    float GetBestFinishedLap() const;
    bool UpdateBestTimeRecord();
    std::array<SPRoundTime, 10> GetRoundsTime() const;

    // The index of an achievement name, or -1.
    static int FindAchievement(std::string_view name);

    // Achievement lists. Names outside the table change nothing.
    void AddGotAchievement(std::string_view name);
    void AddUnlockedAchievement(std::string_view name);
    bool HasGotAchievement(std::string_view name) const;
    int GetGotCount() const { return static_cast<int>(gotAchievements.size()); }
    int GetUnlockedCount() const { return static_cast<int>(unlockedAchievements.size()); }
    // The table name of the list entry at position i; nothing for a position outside the list
    // (or an entry that names no achievement, as a damaged save can hold).
    std::optional<std::string> GetGotName(int i) const;
    std::optional<std::string> GetUnlockedName(int i) const;
    // Keeps the counters, the respawn flag and the hint flags of the race's start, so an
    // abandoned race can be taken back with RestoreAchievements. A restore without a snapshot
    // taken since the last one changes nothing.
    void SnapshotAchievements();
    void RestoreAchievements();

    // Reads the mission description "Data\Levels\" + name: checkpoint lines up to a line
    // "sources", source lines after it. The store lies below the race world, so the level's
    // named positions come from the caller: null while no level exists. A source whose position
    // name the level lacks, and every source without a level, is placed at (0, 0, 0). A missing
    // file empties the checkpoints and keeps the sources; answers whether the file was read.
    bool LoadMissionInfo(const std::string& name, const SPNamedPositions* namedPositions);

    // The shop catalogs and the preset cars from "Data\catalogs.txt" (replacing what was held).
    // Bad lines are skipped and logged; a missing file leaves everything empty. Answers whether
    // the file was read.
    bool LoadCatalogs();
    // The first mission whose items the shop offers: the current mission, or 15 in hard mode.
    int AvailabilityLevel() const { return hardMode ? 15 : currentMission; }
    // The price of a configuration; names missing from their catalog price as 0.
    float GetSettingsPrice(const SPCarSettings& settings) const;
    // Equips the dearest preset of the current mission or earlier that money and the current
    // configuration sold back can pay for; false (nothing changed) when none fits.
    bool AutoSetting();
    // Whether the name is an item of any catalog.
    bool IsCatalogName(const std::string& name) const;

    // Save games live in "DATA\Saves" under plain file names ("save%i.sav" for slot i); any
    // name with a folder separator or ".." is refused by every save operation.
    static bool IsPlainSaveName(std::string_view fileName);
    // Writes the career to the named save; false (logged) when the name is refused or the write
    // failed, and then the file is as it was.
    bool WriteSave(const std::string& fileName);
    // Loads the named save; a missing, empty, truncated or corrupt file changes nothing (the
    // last two are logged) and answers false.
    bool ReadSave(const std::string& fileName);
    // Writes the career to its slot, choosing one first when it has none.
    bool SaveGame();
    // The slot SaveGame would choose for a career without one: the first free of 0 to 2, else
    // the one saved earliest (the lowest among equal times).
    int ChooseSaveSlot() const;
    // Empties the named save, which frees its slot; the file stays.
    bool DeleteSave(const std::string& fileName);
    // The profile name stored in slot 0 to 5; "" for a free slot or one whose name cannot be read.
    std::string GetSaveProfileName(int slot) const;

    // Fields, in declaration order.
    int transportCount = 0;
    std::list<std::pair<CPSmartPtr<IPMMObject>, int>> bonusList;
    std::vector<std::vector<SPScoreEntry>> scoreTables;
    SPCatalog<SPWeaponInfo> weaponCatalog;
    SPCatalog<SPMineInfo> mineCatalog;
    SPCatalog<SPSuperWeaponInfo> superWeaponCatalog;
    SPCatalog<SPBumperInfo> bumperCatalog;
    SPCatalog<SPEquipmentInfo> equipmentCatalog;
    SPCatalog<SPArmorInfo> armorCatalog;
    SPCatalog<SPEngineInfo> engineCatalog;
    SPCarSettings editedCar;
    SPCarSettings realCar;
    float money = 0.0f;
    std::vector<SPCheckpointInfo> checkpointInfos;
    std::unordered_map<std::string, std::vector<SPEnemySource>> enemySources;
    std::unordered_map<std::string, std::string> textTable;
    int currentMission = 1;
    std::vector<SPCarSettings> presetCars;
    std::array<float, 4> coefficients = {1.0f, 1.0f, 1.0f, 1.0f};
    int kills = 0;
    bool hardMode = false;
    int saveSlot = -1;
    int racesPassed = 0;
    SPLapRecord playerLap;
    std::string playerName;
    std::string profileName;
    LegacyHashMap<SPMapMarker> aiPositions{100};
    std::map<std::string, SPLapRecord> racerLaps;
    int bonusCount = 0;
    int roundCount = 1;
    int playerType = 0;
    float roundTime = 0.0f;
    float levelTimer = 0.0f;
    int abilityCount = 0;
    int mana = 0;
    bool levelStarted = false;
    std::vector<int> gotAchievements;
    std::vector<int> unlockedAchievements;
    std::array<std::pair<std::string, std::string>, kLevelCount> levelConditions;
    std::unordered_map<std::string, int> achievementValues;
    std::unordered_map<std::string, int> achievementBackup;
    SPLevelSettings levelSettings;
    int realLevelNumber = 1;
    std::array<bool, kHelperFlagCount> helperFlags{};
    std::array<bool, kHelperFlagCount> helperBackup{};
    bool singleModeGlobal = false;
    bool timeModeGlobal = false;
    int lastLevelSelected = -1;
    int lastCarSelected = -1;
    bool respawnUsed = false;
    bool respawnBackup = false;
    std::array<SPMissionRecord, kLevelCount> missionRecords;
    int points = 0;
    bool helperStatus = false;

private:
    void ResetMissionRecords();
    bool m_hasAchievementSnapshot = false;
    void ResetAchievementCounters();
};

inline CPGameData* GetGameData() { return CPGameData::GetInstance(); }
