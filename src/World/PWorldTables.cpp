#include "World/PWorldTables.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_set>
#include <utility>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PStringSplitter.h"
#include "Framework/StringUtils.h"

namespace {

constexpr std::size_t kShotFields = 14;
constexpr std::size_t kEnemyFields = 6;

// The fields of a line. The splitter gives no field after a closing ";": such a line either
// ends its last field with the ";" or leaves its last field empty, whichever makes the count.
std::vector<std::string> Fields(const std::string& line, std::size_t expected) {
    std::vector<std::string> fields = SplitTokens(line, ";", false);
    if (!line.empty() && line.back() == ';' && fields.size() + 1 == expected) fields.emplace_back();
    return fields;
}

void Skip(const std::string& file, std::size_t line, const char* why) {
    CPLog::Instance().Print(0, "World tables: %s line %zu skipped: %s", file.c_str(), line, why);
}

// "none" and an empty field both mean none.
std::string NameOrNone(const std::string& text) { return text == "none" ? std::string() : text; }

// Every line of the file as it stands, so that a skipped line is logged with its number;
// false when it cannot be read (logged).
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    lines.clear();
    CPFileReader file(path);
    if (FAILED(file.Load())) {
        CPLog::Instance().Print(0, "World tables: \"%s\" cannot be read", path.c_str());
        return false;
    }
    const char* data = reinterpret_cast<const char*>(file.GetData());
    std::string line;
    for (int i = 0; i < file.GetDataSize(); ++i) {
        if (data[i] == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(data[i]);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return true;
}

// The meaningful lines with their numbers (from 1): as the text reader reads them, a line
// holding "//" and lines from "/*" to "*/" are comments, lines are trimmed, empty ones skipped.
std::vector<std::pair<std::size_t, std::string>> Meaningful(const std::vector<std::string>& lines) {
    std::vector<std::pair<std::size_t, std::string>> out;
    bool blockComment = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (line.find("//") != std::string::npos) line.clear();
        if (line.find("/*") != std::string::npos) blockComment = true;
        if (line.find("*/") != std::string::npos) {
            blockComment = false;
            line.clear();
        }
        if (blockComment) line.clear();
        Trim(line);
        if (!line.empty()) out.emplace_back(i + 1, std::move(line));
    }
    return out;
}

} // namespace

bool ParseTableNumber(const std::string& text, float& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    bool negative = false;
    if (begin != end && (*begin == '-' || *begin == '+')) {
        negative = *begin == '-';
        ++begin;
    }
    // Only digits or a point may start a number: "nan" and "inf" are not numbers here.
    if (begin == end || !((*begin >= '0' && *begin <= '9') || *begin == '.')) return false;
    double parsed = 0.0;
    const std::from_chars_result result = std::from_chars(begin, end, parsed, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end) return false;
    if (!std::isfinite(parsed) || std::fabs(parsed) > std::numeric_limits<float>::max()) return false;
    value = static_cast<float>(negative ? -parsed : parsed);
    return true;
}

bool ParseTableInt(const std::string& text, int& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    if (begin == end) return false;
    int parsed = 0;
    const std::from_chars_result result = std::from_chars(begin, end, parsed);
    if (result.ec != std::errc() || result.ptr != end) return false;
    value = parsed;
    return true;
}

std::vector<SPShotRecord> ParseShotTable(const std::vector<std::string>& lines, const std::string& file) {
    std::vector<SPShotRecord> records;
    std::unordered_set<std::string> names;
    for (const auto& [lineNumber, text] : Meaningful(lines)) {
        const std::vector<std::string> f = Fields(text, kShotFields);
        if (f.size() != kShotFields) {
            Skip(file, lineNumber, "a shot line has 14 fields");
            continue;
        }
        SPShotRecord r;
        r.name = f[0];
        if (r.name.empty()) {
            Skip(file, lineNumber, "the shot has no name");
            continue;
        }
        if (f[1] == "projectile") {
            r.projectile = true;
        } else if (f[1] == "effect") {
            r.projectile = false;
        } else {
            Skip(file, lineNumber, "the kind is neither \"projectile\" nor \"effect\"");
            continue;
        }
        r.model = NameOrNone(f[2]);
        if (!ParseTableNumber(f[3], r.speed) || !ParseTableNumber(f[4], r.lifetime) ||
            !ParseTableNumber(f[5], r.gravityFactor) || !ParseTableNumber(f[6], r.damage) ||
            !ParseTableNumber(f[7], r.radius)) {
            Skip(file, lineNumber, "a number is not a finite number");
            continue;
        }
        r.impact = NameOrNone(f[8]);
        r.launchParticles = NameOrNone(f[9]);
        r.endParticles = NameOrNone(f[11]);
        if (!ParseTableInt(f[10], r.launchCount) || !ParseTableInt(f[12], r.endCount)) {
            Skip(file, lineNumber, "a particle count is not a whole number");
            continue;
        }
        if (r.lifetime < 0.0f || r.launchCount < 0 || r.endCount < 0) {
            Skip(file, lineNumber, "a lifetime or a count is negative");
            continue;
        }
        r.sound = f[13].empty() ? std::string("none") : f[13];
        if (!names.insert(r.name).second) {
            Skip(file, lineNumber, "the name was given before");
            continue;
        }
        records.push_back(std::move(r));
    }
    return records;
}

bool ReadShotTable(const std::string& path, std::vector<SPShotRecord>& out) {
    std::vector<std::string> lines;
    out.clear();
    if (!ReadLines(path, lines)) return false;
    out = ParseShotTable(lines, path);
    return true;
}

EnemyDataTable ParseEnemyTable(const std::vector<std::string>& lines, const std::string& file) {
    EnemyDataTable table;
    for (const auto& [lineNumber, text] : Meaningful(lines)) {
        const std::vector<std::string> f = Fields(text, kEnemyFields);
        if (f.size() != kEnemyFields) {
            Skip(file, lineNumber, "an enemy line has 6 fields");
            continue;
        }
        if (f[0].empty()) {
            Skip(file, lineNumber, "the enemy type has no name");
            continue;
        }
        SPEnemyData data;
        if (!ParseTableNumber(f[1], data.value1) || !ParseTableNumber(f[2], data.value2)) {
            Skip(file, lineNumber, "a number is not a finite number");
            continue;
        }
        data.text1 = f[3];
        data.text2 = f[4];
        data.text3 = f[5];
        if (!table.emplace(f[0], std::move(data)).second) Skip(file, lineNumber, "the name was given before");
    }
    return table;
}

EnemyDataTable& EnemyData() {
    static EnemyDataTable table;
    return table;
}

bool LoadEnemyTable(const std::string& path) {
    std::vector<std::string> lines;
    EnemyData().clear();
    if (!ReadLines(path, lines)) return false;
    EnemyData() = ParseEnemyTable(lines, path);
    return true;
}

SPEnemyData& GetEnemyData(const std::string& name) { return EnemyData()[name]; }
