// Save games: the parser on the raw bytes, then the store loading the same bytes from a slot in
// "DATA\Saves" and listing that slot's profile name, as the save menu meets them.

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "FuzzSupport.h"
#include "GameData/PGameData.h"
#include "GameData/PSaveFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

bool SameTime(const Platform::LocalTime& a, const Platform::LocalTime& b) {
    return a.year == b.year && a.month == b.month && a.dayOfWeek == b.dayOfWeek && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.milliseconds == b.milliseconds;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    ResetSettingsToDefaults();
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();

    const std::optional<SPSaveFile> file = ParseSaveFile(data, size);
    const std::optional<SPSaveHeader> header = ParseSaveHeader(data, size);
    // The header is the file's first fields: a whole file always has one, and the same.
    if (file) {
        if (!header || header->profileName != file->profileName || header->playerName != file->playerName ||
            !SameTime(header->savedAt, file->savedAt))
            std::abort();
        // No string or list can hold more than the bytes it came from.
        if (file->profileName.size() > size || file->playerName.size() > size ||
            file->gotAchievements.size() > size / 4 || file->unlockedAchievements.size() > size / 4)
            std::abort();
        for (const SPSavedMission& mission : file->missions) {
            if (mission.ghostSamples.size() > size / 32 || mission.ghostModel.size() > size) std::abort();
            if (mission.ghostCount > 0 && mission.ghostSamples.size() != static_cast<std::size_t>(mission.ghostCount))
                std::abort();
            if (mission.ghostCount <= 0 && !mission.ghostSamples.empty()) std::abort();
        }
    }

    root.Write("DATA/Saves/save1.sav", data, size);
    CPGameData store;
    const bool loaded = store.ReadSave("save1.sav");
    // An empty file is a free slot; anything else loads exactly when it parses.
    if (loaded != (file.has_value() && size > 0)) std::abort();
    const std::string listed = store.GetSaveProfileName(1);
    if (header && listed != header->profileName) std::abort();
    if (size == 0 && !listed.empty()) std::abort();

    if (loaded) {
        if (store.profileName != file->profileName || store.playerName != file->playerName ||
            store.points != file->points || store.racesPassed != file->racesPassed)
            std::abort();
        // What was loaded is written back as a save that reads again with the same career.
        if (!store.WriteSave("save2.sav")) std::abort();
        CPFileReader reader("DATA\\Saves\\save2.sav");
        if (reader.Load() != S_OK) std::abort();
        const std::optional<SPSaveFile> again = ParseSaveFile(reader.GetData(), reader.GetDataSize());
        if (!again || again->profileName != file->profileName || again->playerName != file->playerName ||
            again->points != file->points || again->gotAchievements != file->gotAchievements ||
            again->unlockedAchievements != file->unlockedAchievements)
            std::abort();
    }
    ResetSettingsToDefaults();
    return 0;
}
