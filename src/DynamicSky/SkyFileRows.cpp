#include "DynamicSky/SkyFileRows.h"

#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Platform/System/NumberText.h"

std::string SkyFileRows::PathOf(const std::string& name) { return "Data" + std::string("\\Clouds\\") + name; }

bool SkyFileRows::Load(const std::string& name) {
    m_next = 0;
    m_tokens.clear();
    if (!ReadTextFileLines(PathOf(name), m_lines)) {
        m_lines.clear();
        return false;
    }
    return true;
}

void SkyFileRows::LoadText(const std::string& text) {
    m_lines.clear();
    m_next = 0;
    m_tokens.clear();
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    std::string line;
    while (reader.ReadLine(line)) m_lines.push_back(line);
}

SkyFileRows& SkyFileRows::Next() {
    m_tokens.clear();
    if (m_next >= m_lines.size()) return *this;
    CPStringSplitter splitter(m_lines[m_next++], " ", true);
    std::string token;
    // Runs of blanks between values separate them once: no empty values from aligned columns.
    while (splitter.NextToken(token))
        if (!token.empty()) m_tokens.push_back(token);
    return *this;
}

std::string SkyFileRows::Text(int index) const {
    const std::size_t at = static_cast<std::size_t>(index) + 1;
    return index >= 0 && at < m_tokens.size() ? m_tokens[at] : std::string();
}

int SkyFileRows::Int(int index) const { return Platform::ParseInt(Text(index)); }

float SkyFileRows::Float(int index) const { return Platform::ParseFloat(Text(index)); }
