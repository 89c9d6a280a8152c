#pragma once
// Cuts a line into tokens at a separator. With quotes on, a double-quoted run
// may hold separators, the quotes themselves disappear, and a doubled quote
// inside quotes is one literal quote. Tokens are trimmed, except a token that
// is exactly one blank.

#include <string>
#include <vector>

class CPStringSplitter {
public:
    CPStringSplitter(std::string text, std::string separator, bool quotes = false);
    virtual ~CPStringSplitter() = default;

    // False at the end of the text; an empty token between two separators is true.
    bool NextToken(std::string& out);

private:
    std::string m_text;
    std::string m_separator;
    bool m_quotes;
    std::size_t m_position = 0;
};

// Every token of the text, in order, as NextToken gives them (empty ones included).
std::vector<std::string> SplitTokens(const std::string& text, const std::string& separator, bool quotes = false);
