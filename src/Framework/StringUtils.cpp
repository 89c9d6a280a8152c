#include "Framework/StringUtils.h"

#include "Platform/Base/AsciiCase.h"

bool IsTrimSpace(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

std::string& Trim(std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && IsTrimSpace(text[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && IsTrimSpace(text[begin])) ++begin;
    text = text.substr(begin, end - begin);
    return text;
}

std::string& ToLower(std::string& text) {
    for (char& c : text) c = Platform::AsciiLower(c);
    return text;
}

std::string& ToUpper(std::string& text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool IsNumber(const std::string& text) {
    for (char c : text)
        if (!(c == '-' || c == '.' || (c >= '0' && c <= '9'))) return false;
    return true;
}

bool IsInteger(const std::string& text) {
    for (char c : text)
        if (!(c == '-' || (c >= '0' && c <= '9'))) return false;
    return true;
}
