#include "Framework/PTextReader.h"

#include "Framework/PFileReader.h"
#include "Framework/StringUtils.h"

CPTextReader::CPTextReader(const char* data, int size) : m_data(data), m_size(data && size > 0 ? size : 0) {}

bool CPTextReader::ReadNextLine() {
    m_line.clear();
    for (;;) {
        while (m_position < m_size) {
            char c = m_data[m_position++];
            if (c == '\0') break;
            if (c == '\n') {
                ++m_lineCounter;
                break;
            }
            m_line.push_back(c);
        }
        if (m_line.find("//") != std::string::npos) m_line.clear();
        if (m_line.find("/*") != std::string::npos) m_blockComment = true;
        if (m_line.find("*/") != std::string::npos) {
            m_blockComment = false;
            m_line.clear();
        }
        if (m_blockComment) m_line.clear();
        Trim(m_line);
        if (!m_line.empty() || m_position >= m_size) break;
    }
    if (m_line.size() >= 2 && m_line.front() == '[' && m_line.back() == ']') {
        m_line = m_line.substr(1, m_line.size() - 2);
        m_valueLine = false;
    } else {
        m_valueLine = true;
    }
    return !m_line.empty();
}

bool CPTextReader::ReadLine(std::string& out) {
    bool result = ReadNextLine();
    out = m_line;
    return result;
}

bool ReadTextFileLines(const std::string& path, std::vector<std::string>& lines, std::size_t maxLines,
                       std::uint64_t maxBytes) {
    lines.clear();
    CPFileReader file(path, false, maxBytes);
    if (FAILED(file.Load())) return false;
    CPTextReader reader(file.GetData(), file.GetDataSize());
    std::string line;
    while (lines.size() < maxLines && reader.ReadLine(line)) lines.push_back(line);
    return true;
}
