#include "support/ScoresFile.h"

#include <fstream>
#include <iterator>

#include "Framework/PackFile.h"

namespace kxtest {

namespace {

class Cursor {
public:
    explicit Cursor(const std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}
    bool Int(std::int32_t& out) {
        if (m_bytes.size() - m_pos < 4) return false;
        out = ReadLE32(m_bytes.data() + m_pos);
        m_pos += 4;
        return true;
    }
    bool String(std::string& out) {
        std::int32_t length = 0;
        if (!Int(length) || length < 0 || static_cast<std::size_t>(length) > m_bytes.size() - m_pos) return false;
        out.assign(reinterpret_cast<const char*>(m_bytes.data() + m_pos), static_cast<std::size_t>(length));
        m_pos += static_cast<std::size_t>(length);
        return true;
    }
    bool AtEnd() const { return m_pos == m_bytes.size(); }

private:
    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_pos = 0;
};

} // namespace

std::optional<std::vector<std::uint8_t>> ReadUnscrambled(const std::string& realPath) {
    std::ifstream in(realPath, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    UnscrambleBuffer(bytes);
    return bytes;
}

std::optional<std::vector<ScoreRecord>> ParseScores(const std::vector<std::uint8_t>& bytes) {
    std::vector<ScoreRecord> records;
    Cursor cursor(bytes);
    while (!cursor.AtEnd()) {
        ScoreRecord r;
        if (!cursor.Int(r.table) || !cursor.String(r.name) || !cursor.Int(r.minutes) || !cursor.Int(r.seconds) ||
            !cursor.Int(r.hundredths))
            return std::nullopt;
        records.push_back(std::move(r));
    }
    return records;
}

std::optional<std::vector<ScoreRecord>> ReadScoresFile(const std::string& realPath) {
    auto bytes = ReadUnscrambled(realPath);
    if (!bytes) return std::nullopt;
    return ParseScores(*bytes);
}

} // namespace kxtest
