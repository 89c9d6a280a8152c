// Score tables, mission records and the lap-time computations behind the record screens.

#include <algorithm>
#include <climits>
#include <cmath>

#include "Framework/PFileWriter.h"
#include "Framework/PLog.h"
#include "GameData/PGameData.h"
#include "Platform/System/NumberText.h"

namespace {

bool ValidTable(int table) { return table >= 1 && table <= kScoreTableCount; }

SPTimeSplit EntryTime(const SPScoreEntry& entry) { return {entry.minutes, entry.seconds, entry.hundredths}; }

} // namespace

int ClampTruncate(float value) {
    // Times come from scripts and save files: a float outside the int range must not reach the
    // conversion, whose result would be undefined.
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return INT_MAX;
    if (value < -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

SPTimeSplit SplitTime(float seconds) {
    SPTimeSplit split;
    const int whole = ClampTruncate(seconds);
    // A time clamped to the int range has no meaningful fraction left.
    const bool inRange = seconds > -2147483648.0f && seconds < 2147483648.0f;
    split.hundredths = inRange ? ClampTruncate((seconds - static_cast<float>(whole)) * 100.0f) : 0;
    if (whole < 60) {
        split.minutes = 0;
        split.seconds = whole;
    } else {
        split.minutes = whole / 60;
        split.seconds = whole - 60 * split.minutes;
    }
    return split;
}

bool IsFaster(const SPTimeSplit& a, const SPTimeSplit& b) {
    if (a.minutes != b.minutes) return a.minutes < b.minutes;
    if (a.seconds != b.seconds) return a.seconds < b.seconds;
    return a.hundredths < b.hundredths;
}

bool IsFaster(const SPScoreEntry& a, const SPScoreEntry& b) { return IsFaster(EntryTime(a), EntryTime(b)); }

bool CPGameData::InsertRecord(int table, const SPScoreEntry& entry) {
    if (!ValidTable(table)) return false;
    std::vector<SPScoreEntry>& entries = scoreTables[static_cast<std::size_t>(table - 1)];
    // Stable, so equal times keep the order in which they were entered.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const SPScoreEntry& a, const SPScoreEntry& b) { return IsFaster(a, b); });
    const auto slower =
        std::find_if(entries.begin(), entries.end(), [&entry](const SPScoreEntry& e) { return IsFaster(entry, e); });
    if (slower == entries.end()) return false;
    entries.insert(slower, entry);
    if (entries.size() > static_cast<std::size_t>(kScoreTableSize)) entries.erase(entries.begin() + kScoreTableSize);
    return true;
}

bool CPGameData::SaveScores() {
    CPFileWriter writer("Data\\scores.dat", true);
    for (int t = 0; t < kScoreTableCount; ++t) {
        for (const SPScoreEntry& entry : scoreTables[static_cast<std::size_t>(t)]) {
            writer.WriteInt(t);
            writer.WriteString(entry.name);
            writer.WriteInt(entry.minutes);
            writer.WriteInt(entry.seconds);
            writer.WriteInt(entry.hundredths);
        }
    }
    std::string error;
    if (writer.Save(&error) != 0) {
        CPLog::Instance().Print(0, "Cannot write Data\\scores.dat: %s\n", error.c_str());
        return false;
    }
    return true;
}

int CPGameData::GetBestTimesCount() const {
    return static_cast<int>(std::count_if(missionRecords.begin(), missionRecords.end(),
                                          [](const SPMissionRecord& r) { return r.recordCount > 1; }));
}

int CPGameData::GetFirstPlacesCount() const {
    return static_cast<int>(std::count_if(missionRecords.begin(), missionRecords.end(),
                                          [](const SPMissionRecord& r) { return r.bestPlace == 1; }));
}

bool CPGameData::CheckPlayerRecords(int table) {
    if (!ValidTable(table)) return false;
    const std::vector<float>& laps = playerLap.lapTimes;
    if (laps.empty()) return false;
    // At least the first lap counts, and never more laps than were timed.
    const std::size_t count = std::min(static_cast<std::size_t>(std::max(roundCount, 1)), laps.size());
    SPTimeSplit best = SplitTime(laps[0]);
    for (std::size_t i = 1; i < count; ++i) {
        const SPTimeSplit lap = SplitTime(laps[i]);
        if (IsFaster(lap, best)) best = lap;
    }
    SPScoreEntry candidate;
    candidate.name = profileName;
    candidate.minutes = best.minutes;
    candidate.seconds = best.seconds;
    candidate.hundredths = best.hundredths;
    return InsertRecord(table, candidate);
}

std::vector<SPRecordRow> CPGameData::GetRecordRows(int table) const {
    if (!ValidTable(table)) return std::vector<SPRecordRow>(kScoreTableSize);
    std::vector<SPRecordRow> rows;
    for (const SPScoreEntry& entry : scoreTables[static_cast<std::size_t>(table - 1)]) {
        if (rows.size() == static_cast<std::size_t>(kScoreTableSize)) break;
        SPRecordRow row;
        if (!entry.name.empty()) {
            row.name = entry.name;
            row.time = Platform::FormatC("%02d:%02d:%02d", entry.minutes, entry.seconds, entry.hundredths);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

float CPGameData::GetBestFinishedLap() const {
    const int current = playerLap.currentLap;
    if (current < 2) return 0.0f;
    const std::size_t finished = std::min(static_cast<std::size_t>(current - 1), playerLap.lapTimes.size());
    float bound = 100000.0f;
    for (std::size_t i = 0; i < finished; ++i) {
        const float lap = playerLap.lapTimes[i];
        if (lap < bound && lap > 0.0f) bound = lap;
    }
    return bound == 100000.0f ? 0.0f : bound;
}

bool CPGameData::UpdateBestTimeRecord() {
    if (realLevelNumber < 1 || realLevelNumber > kLevelCount) return false;
    const float best = GetBestFinishedLap();
    if (best == 0.0f) return false;
    SPMissionRecord& record = missionRecords[static_cast<std::size_t>(realLevelNumber - 1)];
    if (record.bestTime == 0.0f || best < record.bestTime) {
        record.bestTime = best;
        if (record.recordCount < INT_MAX) ++record.recordCount;
        return record.recordCount > 1;
    }
    return false;
}

std::array<SPRoundTime, 10> CPGameData::GetRoundsTime() const {
    std::array<SPRoundTime, 10> rounds;
    for (std::size_t i = 0; i < rounds.size(); ++i) {
        const float lap = i < playerLap.lapTimes.size() ? playerLap.lapTimes[i] : 0.0f;
        rounds[i].time = SplitTime(lap);
        rounds[i].reached = static_cast<int>(i + 1) <= playerLap.currentLap;
    }
    return rounds;
}
