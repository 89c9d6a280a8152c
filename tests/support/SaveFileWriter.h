#pragma once
// Save-game files for tests, written field by field independently of the game's writer: valid
// files, and the means to damage them (cut them short, or overwrite a length or count field) so
// the loader can be fed every kind of broken file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kxtest {

struct SaveMissionFields {
    float bestTime = 0.0f;
    std::int32_t bestPlace = 4;
    std::int32_t recordCount = 0;
    // The stem is written only when there are samples (or ghostCountOverride is not 0).
    std::string ghostModel;
    std::vector<std::array<std::uint8_t, 32>> ghostSamples;
    // When set, written as the count in place of the number of samples (a lying count).
    bool overrideGhostCount = false;
    std::int32_t ghostCountOverride = 0;
};

struct SaveFileFields {
    std::string profileName;
    std::string playerName;
    std::array<std::uint16_t, 8> savedAt{};
    std::int32_t racesPassed = 0;
    std::int32_t points = 0;
    std::int32_t lastLevelSelected = 0;
    std::int32_t lastCarSelected = 0;
    std::array<SaveMissionFields, 18> missions;
    std::array<std::int32_t, 27> achievementCounters{};
    std::vector<std::int32_t> gotAchievements;
    std::vector<std::int32_t> unlockedAchievements;
    std::int32_t respawnUsed = 0;
    std::array<std::int32_t, 10> helperFlags{};
};

// A written save and where its length and count fields lie, so tests can damage each.
struct WrittenSave {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> stringLengthOffsets;
    std::vector<std::size_t> countOffsets; // ghost counts and the two list counts
};

WrittenSave WriteSaveFile(const SaveFileFields& fields);

// Overwrites the little-endian int32 at offset.
void PatchInt32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::int32_t value);

inline std::string AsText(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

} // namespace kxtest
