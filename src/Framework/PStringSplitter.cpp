#include "Framework/PStringSplitter.h"

#include "Framework/StringUtils.h"

CPStringSplitter::CPStringSplitter(std::string text, std::string separator, bool quotes)
    : m_text(std::move(text)), m_separator(std::move(separator)), m_quotes(quotes) {
    Trim(m_text);
}

bool CPStringSplitter::NextToken(std::string& out) {
    out.clear();
    if (m_text.empty() || m_position >= m_text.size()) return false;
    bool quoted = false;
    while (m_position < m_text.size()) {
        char c = m_text[m_position];
        if (m_quotes && c == '"') {
            if (!quoted) {
                quoted = true;
                ++m_position;
            } else if (m_position + 1 < m_text.size() && m_text[m_position + 1] == '"') {
                out.push_back('"');
                m_position += 2;
            } else {
                quoted = false;
                ++m_position;
            }
            continue;
        }
        if (quoted) {
            out.push_back(c);
            ++m_position;
            continue;
        }
        // Every separator the data uses is one character; a longer one must match whole.
        if (!m_separator.empty() && m_text.compare(m_position, m_separator.size(), m_separator) == 0) {
            m_position += m_separator.size();
            break;
        }
        out.push_back(c);
        ++m_position;
    }
    if (out != " ") Trim(out);
    return true;
}

std::vector<std::string> SplitTokens(const std::string& text, const std::string& separator, bool quotes) {
    std::vector<std::string> tokens;
    CPStringSplitter splitter(text, separator, quotes);
    std::string token;
    while (splitter.NextToken(token)) tokens.push_back(token);
    return tokens;
}
