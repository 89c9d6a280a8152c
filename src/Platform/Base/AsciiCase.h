#pragma once
// The one lower-casing of game paths, names and keywords: only A-Z change. Game texts are
// single-byte code page 1251, whose other letters keep their case whatever the locale says.

#include <string>
#include <string_view>

namespace Platform {

constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

} // namespace Platform
