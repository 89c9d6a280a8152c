#pragma once
// Numbers as text in the C locale, whatever locale the process runs under: data files and
// config.cfg always use '.' as the decimal separator.

#include <cstdarg>
#include <string>
#include <string_view>

namespace Platform {

// atoi: leading white space, a sign, digits; stops at the first other character; 0 when there
// are no digits. Values beyond the int range saturate.
int ParseInt(std::string_view text);
// atof: strtod's grammar in the C locale; 0 when nothing parses.
double ParseDouble(std::string_view text);
inline float ParseFloat(std::string_view text) { return static_cast<float>(ParseDouble(text)); }

// printf-style formatting in the C locale.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatCV(const char* format, va_list args);

inline std::string FormatG(double value) { return FormatC("%g", value); }
inline std::string FormatFixed2(double value) { return FormatC("%.2f", value); }

} // namespace Platform
