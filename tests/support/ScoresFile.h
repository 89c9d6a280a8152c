#pragma once
// Reading back "Data\scores.dat", which the game itself never reads: the bytes are unscrambled
// with the pack key table and parsed record by record, every count checked against the bytes left.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kxtest {

struct ScoreRecord {
    std::int32_t table = 0;
    std::string name;
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    std::int32_t hundredths = 0;

    bool operator==(const ScoreRecord&) const = default;
};

// The unscrambled bytes of a file on disk; nothing when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadUnscrambled(const std::string& realPath);
// The records of unscrambled scores bytes; nothing when they do not parse to the end exactly.
std::optional<std::vector<ScoreRecord>> ParseScores(const std::vector<std::uint8_t>& bytes);
// Both steps.
std::optional<std::vector<ScoreRecord>> ReadScoresFile(const std::string& realPath);

} // namespace kxtest
