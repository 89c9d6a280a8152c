#pragma once
// The save-game file: its fields as read, and the bounds-checked parser that reads them. The
// store applies a file only when all of it parses, so a damaged save can never leave a career
// half loaded.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "GameData/PGameData.h"
#include "Platform/System/LocalTime.h"

struct SPSavedMission {
    float bestTime = 0.0f;
    int bestPlace = 0;
    int recordCount = 0;
    // The ghost as stored: count 0 means no stem and no samples follow; a negative count has a
    // stem but no samples.
    int ghostCount = 0;
    std::string ghostModel;
    std::vector<SPGhostSample> ghostSamples;
};

struct SPSaveFile {
    std::string profileName;
    std::string playerName;
    Platform::LocalTime savedAt;
    int racesPassed = 0;
    int points = 0;
    int lastLevelSelected = 0;
    int lastCarSelected = 0;
    std::array<SPSavedMission, kLevelCount> missions;
    std::array<int, kAchievementNames.size()> achievementCounters{};
    std::vector<int> gotAchievements;
    std::vector<int> unlockedAchievements;
    bool respawnUsed = false;
    std::array<bool, kHelperFlagCount> helperFlags{};
};

// Why a save file was refused, for the log.
struct SPSaveParseError {
    std::string what;
    std::size_t offset = 0;
};

// The whole file, or nothing (with the reason) when a field runs past the end: a negative
// string length, a count or a string longer than the bytes left, ghost samples beyond the end.
std::optional<SPSaveFile> ParseSaveFile(const std::uint8_t* data, std::size_t size, SPSaveParseError* error = nullptr);

// The two leading strings and the time of saving only, as the slot choice and the save list read
// them; nothing when those bytes are not all there.
struct SPSaveHeader {
    std::string profileName;
    std::string playerName;
    Platform::LocalTime savedAt;
};
std::optional<SPSaveHeader> ParseSaveHeader(const std::uint8_t* data, std::size_t size);

// true when a was saved strictly earlier than b, to the second; the day of the week and the
// milliseconds do not count.
bool SavedEarlier(const Platform::LocalTime& a, const Platform::LocalTime& b);
