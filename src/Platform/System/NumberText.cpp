#include "Platform/System/NumberText.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <vector>

namespace Platform {

namespace {

locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

int ParseInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (text[i] - '0');
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

double ParseDouble(std::string_view text) {
    // strtod needs a terminated string; copy (small) texts.
    std::string copy(text);
    char* end = nullptr;
    double value = strtod_l(copy.c_str(), &end, CLocale());
    if (end == copy.c_str()) return 0.0;
    return value;
}

std::string FormatCV(const char* format, va_list args) {
    locale_t previous = uselocale(CLocale());
    va_list again;
    va_copy(again, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, args);
    std::string result;
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) {
        result.assign(small, static_cast<std::size_t>(n));
    } else if (n >= 0) {
        std::vector<char> big(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), format, again);
        result.assign(big.data(), static_cast<std::size_t>(n));
    }
    va_end(again);
    uselocale(previous);
    return result;
}

std::string FormatC(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = FormatCV(format, args);
    va_end(args);
    return result;
}

} // namespace Platform
