#pragma once
// Small in-place string helpers used by the text readers and many loaders.

#include <string>

// Tab, line feed, carriage return or blank: the characters Trim removes.
bool IsTrimSpace(char c);
// Removes tab, line feed, carriage return and blank from both ends.
std::string& Trim(std::string& text);
// Single-byte case conversion of the letters A-Z / a-z only.
std::string& ToLower(std::string& text);
std::string& ToUpper(std::string& text);
// Every character is '-', '.' or a digit (an empty text is a number too).
bool IsNumber(const std::string& text);
// Every character is '-' or a digit (an empty text too).
bool IsInteger(const std::string& text);

// Copying forms for convenience.
inline std::string Trimmed(std::string text) { return Trim(text); }
inline std::string Lowered(std::string text) { return ToLower(text); }
