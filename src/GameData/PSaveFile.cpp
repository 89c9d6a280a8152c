#include "GameData/PSaveFile.h"

#include <cstring>
#include <tuple>

namespace {

// Reads little-endian fields from a byte range; the first read that would pass the end (or a
// negative length) stops every later read and keeps the reason.
class SaveCursor {
public:
    SaveCursor(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool Failed() const { return m_failed; }
    std::size_t Remaining() const { return m_size - m_position; }

    int Int(const char* what) {
        std::uint8_t b[4];
        if (!Bytes(b, 4, what)) return 0;
        return static_cast<int>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
    }
    float Float(const char* what) {
        const auto bits = static_cast<std::uint32_t>(Int(what));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::uint16_t U16(const char* what) {
        std::uint8_t b[2];
        if (!Bytes(b, 2, what)) return 0;
        return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    }
    std::string String(const char* what) {
        const std::size_t at = m_position;
        const int length = Int(what);
        if (m_failed) return {};
        if (length < 0 || static_cast<std::size_t>(length) > Remaining()) {
            Fail(what, at);
            return {};
        }
        const char* start = reinterpret_cast<const char*>(m_data + m_position);
        // The text ends at a zero byte, as the file layer reads strings.
        std::string text(start, ::strnlen(start, static_cast<std::size_t>(length)));
        m_position += static_cast<std::size_t>(length);
        return text;
    }
    // A count of items of itemSize bytes each that must all lie within the data.
    bool Fits(int count, std::size_t itemSize, const char* what) {
        if (m_failed) return false;
        if (count > 0 && static_cast<std::size_t>(count) > Remaining() / itemSize) {
            Fail(what, m_position);
            return false;
        }
        return true;
    }
    bool Bytes(void* destination, std::size_t n, const char* what) {
        if (m_failed) return false;
        if (n > Remaining()) {
            Fail(what, m_position);
            return false;
        }
        std::memcpy(destination, m_data + m_position, n);
        m_position += n;
        return true;
    }
    Platform::LocalTime Time(const char* what) {
        Platform::LocalTime t;
        t.year = U16(what);
        t.month = U16(what);
        t.dayOfWeek = U16(what);
        t.day = U16(what);
        t.hour = U16(what);
        t.minute = U16(what);
        t.second = U16(what);
        t.milliseconds = U16(what);
        return t;
    }
    void Report(SPSaveParseError* error) const {
        if (error) *error = {m_what, m_failedAt};
    }

private:
    void Fail(const char* what, std::size_t at) {
        m_failed = true;
        m_what = what;
        m_failedAt = at;
        m_position = m_size;
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
    bool m_failed = false;
    std::string m_what;
    std::size_t m_failedAt = 0;
};

std::vector<int> ReadIndexList(SaveCursor& in, const char* what) {
    std::vector<int> list;
    const int count = in.Int(what);
    if (!in.Fits(count, 4, what)) return list;
    // A negative count stores no entries.
    for (int i = 0; i < count; ++i) list.push_back(in.Int(what));
    return list;
}

} // namespace

std::optional<SPSaveFile> ParseSaveFile(const std::uint8_t* data, std::size_t size, SPSaveParseError* error) {
    SaveCursor in(data, size);
    SPSaveFile file;
    file.profileName = in.String("profile name");
    file.playerName = in.String("car model");
    file.savedAt = in.Time("time of saving");
    file.racesPassed = in.Int("races passed");
    file.points = in.Int("points");
    file.lastLevelSelected = in.Int("last level");
    file.lastCarSelected = in.Int("last car");
    for (SPSavedMission& mission : file.missions) {
        mission.bestTime = in.Float("mission record");
        mission.bestPlace = in.Int("mission record");
        mission.recordCount = in.Int("mission record");
        mission.ghostCount = in.Int("ghost count");
        if (mission.ghostCount == 0) continue;
        mission.ghostModel = in.String("ghost model");
        if (!in.Fits(mission.ghostCount, sizeof(SPGhostSample::bytes), "ghost samples")) break;
        if (mission.ghostCount > 0) mission.ghostSamples.resize(static_cast<std::size_t>(mission.ghostCount));
        for (SPGhostSample& sample : mission.ghostSamples)
            in.Bytes(sample.bytes.data(), sample.bytes.size(), "ghost samples");
    }
    for (int& counter : file.achievementCounters) counter = in.Int("achievement counters");
    file.gotAchievements = ReadIndexList(in, "got achievements");
    file.unlockedAchievements = ReadIndexList(in, "unlocked achievements");
    file.respawnUsed = in.Int("respawn flag") > 0;
    for (bool& flag : file.helperFlags) flag = in.Int("hint flags") > 0;
    if (in.Failed()) {
        in.Report(error);
        return std::nullopt;
    }
    return file;
}

std::optional<SPSaveHeader> ParseSaveHeader(const std::uint8_t* data, std::size_t size) {
    SaveCursor in(data, size);
    SPSaveHeader header;
    header.profileName = in.String("profile name");
    header.playerName = in.String("car model");
    header.savedAt = in.Time("time of saving");
    if (in.Failed()) return std::nullopt;
    return header;
}

bool SavedEarlier(const Platform::LocalTime& a, const Platform::LocalTime& b) {
    return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) <
           std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
}
