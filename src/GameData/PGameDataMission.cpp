// Mission descriptions: the checkpoints' numbers and enemy sources of the level being played.

#include <climits>
#include <cstdint>

#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "GameData/PGameData.h"
#include "Platform/System/NumberText.h"

namespace {

// The tokens of a line split at single spaces (quotes kept together); missing ones read as "".
class Tokens {
public:
    Tokens(const std::string& line, const char* separator) {
        CPStringSplitter splitter(line, separator, true);
        std::string token;
        while (splitter.NextToken(token)) m_tokens.push_back(token);
    }
    const std::string& operator[](std::size_t i) const {
        static const std::string kEmpty;
        return i < m_tokens.size() ? m_tokens[i] : kEmpty;
    }
    std::size_t Size() const { return m_tokens.size(); }

private:
    std::vector<std::string> m_tokens;
};

SPCheckpointInfo ParseCheckpointLine(const std::string& line) {
    const Tokens t(line, " ");
    SPCheckpointInfo info;
    info.value1 = Platform::ParseFloat(t[0]);
    info.value2 = Platform::ParseInt(t[1]);
    info.value3 = Platform::ParseInt(t[2]);
    info.value4 = Platform::ParseInt(t[3]);
    info.enemyKinds = ParseWeightedNames(t[4]);
    info.bonusChance = Platform::ParseInt(t[5]);
    info.bonusKinds = ParseWeightedNames(t[6]);
    return info;
}

} // namespace

std::vector<SPWeightedName> ParseWeightedNames(const std::string& text) {
    std::vector<SPWeightedName> names;
    if (text.empty()) return names;
    const Tokens items(text, ";");
    // Kept in 64 bits and held to the int range, so hostile weights cannot overflow the sum.
    std::int64_t from = 0;
    for (std::size_t i = 0; i < items.Size(); ++i) {
        const Tokens parts(items[i], ",");
        std::int64_t to = from + Platform::ParseInt(parts[1]);
        if (to > INT_MAX) to = INT_MAX;
        if (to < INT_MIN) to = INT_MIN;
        names.push_back({parts[0], static_cast<int>(from), static_cast<int>(to)});
        from = to;
    }
    return names;
}

bool CPGameData::LoadMissionInfo(const std::string& name, const SPNamedPositions* namedPositions) {
    checkpointInfos.clear();
    std::vector<std::string> lines;
    if (!ReadTextFileLines("Data\\Levels\\" + name, lines)) return false;

    std::size_t i = 0;
    for (; i < lines.size() && lines[i] != "sources"; ++i) checkpointInfos.push_back(ParseCheckpointLine(lines[i]));

    enemySources.clear();
    // The level's table is copied once, so the sources do not depend on it changing later.
    const SPNamedPositions positions = namedPositions ? *namedPositions : SPNamedPositions{};
    for (++i; i < lines.size(); ++i) {
        const Tokens t(lines[i], " ");
        SPEnemySource source;
        const auto found = positions.find(t[0]);
        if (found != positions.end()) source.position = found->second;
        source.kindFlag = t[2] != "0";
        source.value = Platform::ParseFloat(t[3]);
        source.enemyKinds = ParseWeightedNames(t[4]);
        enemySources[t[1]].push_back(std::move(source));
    }
    return true;
}
