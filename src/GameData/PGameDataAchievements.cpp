// The achievement lists and the snapshot that takes an abandoned race back.

#include <algorithm>

#include "GameData/PGameData.h"

namespace {

std::optional<std::string> NameAt(const std::vector<int>& list, int i) {
    if (i < 0 || i >= static_cast<int>(list.size())) return std::nullopt;
    const int index = list[static_cast<std::size_t>(i)];
    if (index < 0 || index >= static_cast<int>(kAchievementNames.size())) return std::nullopt;
    return std::string(kAchievementNames[static_cast<std::size_t>(index)]);
}

} // namespace

void CPGameData::AddGotAchievement(std::string_view name) {
    const int index = FindAchievement(name);
    if (index < 0) return;
    gotAchievements.push_back(index);
    unlockedAchievements.erase(std::remove(unlockedAchievements.begin(), unlockedAchievements.end(), index),
                               unlockedAchievements.end());
}

void CPGameData::AddUnlockedAchievement(std::string_view name) {
    const int index = FindAchievement(name);
    if (index >= 0) unlockedAchievements.push_back(index);
}

bool CPGameData::HasGotAchievement(std::string_view name) const {
    const int index = FindAchievement(name);
    return index >= 0 && std::find(gotAchievements.begin(), gotAchievements.end(), index) != gotAchievements.end();
}

std::optional<std::string> CPGameData::GetGotName(int i) const { return NameAt(gotAchievements, i); }

std::optional<std::string> CPGameData::GetUnlockedName(int i) const { return NameAt(unlockedAchievements, i); }

void CPGameData::SnapshotAchievements() {
    respawnBackup = respawnUsed;
    achievementBackup.clear();
    for (std::string_view name : kAchievementNames) {
        const std::string key(name);
        achievementBackup[key] = achievementValues[key];
    }
    helperBackup = helperFlags;
    m_hasAchievementSnapshot = true;
}

void CPGameData::RestoreAchievements() {
    // Without a snapshot there is nothing to go back to; emptying the counters here would lose
    // the whole career's progress at the next save.
    if (!m_hasAchievementSnapshot) return;
    achievementValues = std::move(achievementBackup);
    achievementBackup.clear();
    respawnUsed = respawnBackup;
    helperFlags = helperBackup;
    m_hasAchievementSnapshot = false;
}
