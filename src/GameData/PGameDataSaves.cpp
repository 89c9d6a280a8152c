// Save games: writing, choosing a slot, loading and listing.

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PFileWriter.h"
#include "Framework/PLog.h"
#include "GameData/PGameData.h"
#include "GameData/PSaveFile.h"
#include "Platform/System/LocalTime.h"
#include "Platform/System/NumberText.h"

namespace {

constexpr int kChosenSlotCount = 3;
constexpr int kListedSlotCount = 6;

std::string SavePath(const std::string& fileName) { return "DATA\\Saves\\" + fileName; }

std::string SlotFileName(int slot) { return Platform::FormatC("save%d.sav", slot); }

// The bytes of a save; nothing when it is missing or empty, which both mean a free slot.
std::optional<std::vector<std::uint8_t>> ReadSaveBytes(const std::string& path) {
    CPFileReader reader(path);
    if (reader.Load() != S_OK || reader.GetDataSize() == 0) return std::nullopt;
    return std::vector<std::uint8_t>(reader.GetData(), reader.GetData() + reader.GetDataSize());
}

void WriteTime(CPFileWriter& out, const Platform::LocalTime& t) {
    for (std::uint16_t field : {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds}) {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(field), static_cast<std::uint8_t>(field >> 8)};
        out.WriteBytes(b, 2);
    }
}

void WriteFloat(CPFileWriter& out, float value) {
    std::uint32_t bits;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    out.WriteInt(static_cast<int>(bits));
}

} // namespace

bool CPGameData::IsPlainSaveName(std::string_view fileName) {
    if (fileName.empty() || fileName.find("..") != std::string_view::npos) return false;
    for (char c : fileName) {
        if (c == '/' || c == '\\' || c == ':' || c == '\0') return false;
    }
    return true;
}

bool CPGameData::WriteSave(const std::string& fileName) {
    if (!IsPlainSaveName(fileName)) {
        CPLog::Instance().Print(0, "Save refused: \"%s\" is not a plain file name\n", fileName.c_str());
        return false;
    }
    CPFileWriter out(SavePath(fileName));
    out.WriteString(profileName);
    out.WriteString(playerName);
    WriteTime(out, Platform::GetLocalTime());
    out.WriteInt(racesPassed);
    out.WriteInt(points);
    out.WriteInt(lastLevelSelected);
    out.WriteInt(lastCarSelected);
    for (const SPMissionRecord& record : missionRecords) {
        WriteFloat(out, record.bestTime);
        out.WriteInt(record.bestPlace);
        out.WriteInt(record.recordCount);
        // A ghost stem without samples is not a ghost: it is stored as none.
        const int count = static_cast<int>(record.ghostSamples.size());
        out.WriteInt(count);
        if (count == 0) continue;
        out.WriteString(record.ghostModel);
        for (const SPGhostSample& sample : record.ghostSamples)
            out.WriteBytes(sample.bytes.data(), static_cast<int>(sample.bytes.size()));
    }
    for (std::string_view name : kAchievementNames) out.WriteInt(achievementValues[std::string(name)]);
    out.WriteInt(static_cast<int>(gotAchievements.size()));
    for (int index : gotAchievements) out.WriteInt(index);
    out.WriteInt(static_cast<int>(unlockedAchievements.size()));
    for (int index : unlockedAchievements) out.WriteInt(index);
    out.WriteInt(respawnUsed ? 1 : 0);
    for (bool flag : helperFlags) out.WriteInt(flag ? 1 : 0);

    std::string error;
    if (out.Save(&error) != S_OK) {
        CPLog::Instance().Print(0, "Cannot write %s: %s\n", out.GetPath().c_str(), error.c_str());
        return false;
    }
    return true;
}

bool CPGameData::ReadSave(const std::string& fileName) {
    if (!IsPlainSaveName(fileName)) {
        CPLog::Instance().Print(0, "Load refused: \"%s\" is not a plain file name\n", fileName.c_str());
        return false;
    }
    const std::string path = SavePath(fileName);
    const std::optional<std::vector<std::uint8_t>> bytes = ReadSaveBytes(path);
    if (!bytes) return false;
    SPSaveParseError error;
    std::optional<SPSaveFile> file = ParseSaveFile(bytes->data(), bytes->size(), &error);
    if (!file) {
        CPLog::Instance().Print(0, "Save %s not loaded: %s cut short or corrupt at byte %zu\n", path.c_str(),
                                error.what.c_str(), error.offset);
        return false;
    }

    ResetProfile(file->profileName);
    saveSlot = fileName.size() > 4 ? Platform::ParseInt(std::string_view(fileName).substr(4)) : 0;
    playerName = file->playerName;
    racesPassed = file->racesPassed;
    points = file->points;
    lastLevelSelected = file->lastLevelSelected;
    lastCarSelected = file->lastCarSelected;
    for (std::size_t i = 0; i < missionRecords.size(); ++i) {
        SPMissionRecord& record = missionRecords[i];
        SPSavedMission& saved = file->missions[i];
        record.bestTime = saved.bestTime;
        record.bestPlace = saved.bestPlace;
        record.recordCount = saved.recordCount;
        // Without a ghost in the file the level keeps the samples it had.
        if (saved.ghostCount == 0) continue;
        record.ghostModel = std::move(saved.ghostModel);
        record.ghostSamples = std::move(saved.ghostSamples);
    }
    for (std::size_t i = 0; i < kAchievementNames.size(); ++i)
        achievementValues[std::string(kAchievementNames[i])] = file->achievementCounters[i];
    gotAchievements = std::move(file->gotAchievements);
    unlockedAchievements = std::move(file->unlockedAchievements);
    respawnUsed = file->respawnUsed;
    helperFlags = file->helperFlags;
    return true;
}

int CPGameData::ChooseSaveSlot() const {
    // A save whose time cannot be read counts as the earliest, so it is replaced first, but only
    // once no slot is free.
    auto savedAt = [](const std::vector<std::uint8_t>& bytes) {
        const std::optional<SPSaveHeader> header = ParseSaveHeader(bytes.data(), bytes.size());
        return header ? header->savedAt : Platform::LocalTime{};
    };
    Platform::LocalTime candidate{};
    int chosen = 0;
    if (auto first = ReadSaveBytes(SavePath(SlotFileName(0)))) candidate = savedAt(*first);
    for (int slot = 0; slot < kChosenSlotCount; ++slot) {
        const std::optional<std::vector<std::uint8_t>> bytes = ReadSaveBytes(SavePath(SlotFileName(slot)));
        if (!bytes) return slot;
        const Platform::LocalTime time = savedAt(*bytes);
        if (SavedEarlier(time, candidate)) {
            candidate = time;
            chosen = slot;
        }
    }
    return chosen;
}

bool CPGameData::SaveGame() {
    if (saveSlot == -1) saveSlot = ChooseSaveSlot();
    return WriteSave(SlotFileName(saveSlot));
}

bool CPGameData::DeleteSave(const std::string& fileName) {
    if (!IsPlainSaveName(fileName)) {
        CPLog::Instance().Print(0, "Delete refused: \"%s\" is not a plain file name\n", fileName.c_str());
        return false;
    }
    CPFileWriter out("data\\saves\\" + fileName);
    std::string error;
    if (out.Save(&error) != S_OK) {
        CPLog::Instance().Print(0, "Cannot empty %s: %s\n", out.GetPath().c_str(), error.c_str());
        return false;
    }
    return true;
}

std::string CPGameData::GetSaveProfileName(int slot) const {
    if (slot < 0 || slot >= kListedSlotCount) return {};
    CPFileReader reader(Platform::FormatC("data\\saves\\save%d.sav", slot));
    if (reader.Load() != S_OK || reader.GetDataSize() == 0) return {};
    std::string name = reader.ReadString();
    return reader.IsFailed() ? std::string() : name;
}
