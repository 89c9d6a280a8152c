#include "GameData/PGameData.h"

#include "Framework/CommandRouter.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Platform/System/NumberText.h"

namespace {
CPGameData* g_gameData = nullptr;
}

CPGameData::CPGameData() : scoreTables(kScoreTableCount, std::vector<SPScoreEntry>(kScoreTableSize)) {
    g_gameData = this;
}

CPGameData::~CPGameData() {
    if (g_gameData == this) g_gameData = nullptr;
}

CPGameData* CPGameData::GetInstance() { return g_gameData; }

int CPGameData::FindAchievement(std::string_view name) {
    for (std::size_t i = 0; i < kAchievementNames.size(); ++i) {
        if (kAchievementNames[i] == name) return static_cast<int>(i);
    }
    return -1;
}

void CPGameData::ResetMissionRecords() {
    // The ghost samples stay: only a save game replaces them.
    for (SPMissionRecord& record : missionRecords) {
        record.bestTime = 0.0f;
        record.bestPlace = 4;
        record.recordCount = 0;
        record.ghostModel.clear();
    }
}

void CPGameData::ResetAchievementCounters() {
    // Counters of other names are kept.
    for (std::string_view name : kAchievementNames) achievementValues[std::string(name)] = 0;
}

void CPGameData::LoadStrings() {
    helperStatus = false;
    achievementBackup.clear();
    m_hasAchievementSnapshot = false;
    helperFlags.fill(false);
    ResetAchievementCounters();
    respawnUsed = false;
    respawnBackup = false;
    racesPassed = 0;
    ResetMissionRecords();
    kills = 0;

    std::vector<std::string> lines;
    // A missing text table leaves the lines empty; the catalogs are read either way.
    ReadTextFileLines("Data\\strings.txt", lines);
    for (const std::string& line : lines) {
        CPStringSplitter splitter(line, "~", true);
        std::string key;
        std::string value;
        splitter.NextToken(key);
        splitter.NextToken(value);
        textTable[key] = value;
    }
    LoadCatalogs();
}

const std::string& CPGameData::GetText(const std::string& key) {
    // Entering the key is how the game finds the words its text file lacks.
    return textTable[key];
}

void CPGameData::ResetProfile(const std::string& name) {
    saveSlot = -1;
    currentMission = 1;
    points = 0;
    racesPassed = 0;
    ResetMissionRecords();
    gotAchievements.clear();
    unlockedAchievements.clear();
    respawnUsed = false;
    ResetAchievementCounters();
    helperFlags.fill(false);
    profileName = name;
}

void CPGameData::ClearRaceData() {
    playerLap = SPLapRecord{};
    aiPositions.clear();
    racerLaps.clear();
    bonusCount = 0;
    // Each entry's handle releases its object once as the list is emptied.
    bonusList.clear();
}

void CPGameData::SetMapMarker(const std::string& key, float worldX, float worldY, float angle, float screenX,
                              float screenY) {
    SPMapMarker& marker = aiPositions[key];
    marker.worldX = worldX;
    marker.worldY = worldY;
    marker.angle = angle;
    marker.screenX = screenX;
    marker.screenY = screenY;
}

void CPGameData::SetMoney(float value) {
    money = value;
    RouteCommandByName("gamemenu", "change_money", Platform::FormatC("%.2f", static_cast<double>(value)));
}
