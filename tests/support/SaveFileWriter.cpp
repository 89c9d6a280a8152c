#include "support/SaveFileWriter.h"

#include <cstring>

namespace kxtest {

namespace {

class Out {
public:
    explicit Out(WrittenSave& save) : m_save(save) {}

    void Int(std::int32_t value) {
        const auto u = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) m_save.bytes.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    void Count(std::int32_t value) {
        m_save.countOffsets.push_back(m_save.bytes.size());
        Int(value);
    }
    void Float(float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        Int(static_cast<std::int32_t>(bits));
    }
    void U16(std::uint16_t value) {
        m_save.bytes.push_back(static_cast<std::uint8_t>(value));
        m_save.bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void String(const std::string& text) {
        m_save.stringLengthOffsets.push_back(m_save.bytes.size());
        Int(static_cast<std::int32_t>(text.size()));
        m_save.bytes.insert(m_save.bytes.end(), text.begin(), text.end());
    }
    void Bytes(const std::uint8_t* data, std::size_t n) { m_save.bytes.insert(m_save.bytes.end(), data, data + n); }

private:
    WrittenSave& m_save;
};

} // namespace

WrittenSave WriteSaveFile(const SaveFileFields& fields) {
    WrittenSave save;
    Out out(save);
    out.String(fields.profileName);
    out.String(fields.playerName);
    for (std::uint16_t v : fields.savedAt) out.U16(v);
    out.Int(fields.racesPassed);
    out.Int(fields.points);
    out.Int(fields.lastLevelSelected);
    out.Int(fields.lastCarSelected);
    for (const SaveMissionFields& mission : fields.missions) {
        out.Float(mission.bestTime);
        out.Int(mission.bestPlace);
        out.Int(mission.recordCount);
        const auto count = mission.overrideGhostCount ? mission.ghostCountOverride
                                                      : static_cast<std::int32_t>(mission.ghostSamples.size());
        out.Count(count);
        if (count == 0) continue;
        out.String(mission.ghostModel);
        for (const auto& sample : mission.ghostSamples) out.Bytes(sample.data(), sample.size());
    }
    for (std::int32_t v : fields.achievementCounters) out.Int(v);
    out.Count(static_cast<std::int32_t>(fields.gotAchievements.size()));
    for (std::int32_t v : fields.gotAchievements) out.Int(v);
    out.Count(static_cast<std::int32_t>(fields.unlockedAchievements.size()));
    for (std::int32_t v : fields.unlockedAchievements) out.Int(v);
    out.Int(fields.respawnUsed);
    for (std::int32_t v : fields.helperFlags) out.Int(v);
    return save;
}

void PatchInt32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(u >> (8 * i));
}

} // namespace kxtest
