#include "Framework/PDator.h"

#include "Platform/System/NumberText.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace {
bool StartsWithSpace(const std::string& text) {
    return !text.empty() && (text[0] == ' ' || text[0] == '\t' || text[0] == '\n' || text[0] == '\r' ||
                             text[0] == '\v' || text[0] == '\f');
}
int WrapAdd(int a, int b) { return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b)); }
int WrapSub(int a, int b) { return static_cast<int>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b)); }
} // namespace

int CPIntDator::Convert(const std::string& text) {
    // No white space is skipped: the registry trims values before they arrive.
    if (StartsWithSpace(text)) return 0;
    return Platform::ParseInt(text);
}

void CPIntDator::Set(const std::string& text) { *m_variable = Convert(text); }
void CPIntDator::Add(const std::string& text) { *m_variable = WrapAdd(*m_variable, Convert(text)); }
void CPIntDator::Subtract(const std::string& text) { *m_variable = WrapSub(*m_variable, Convert(text)); }
std::string CPIntDator::ToString() const { return Platform::FormatC("%d", *m_variable); }

namespace {

// Length of the decimal number at the start of the text: sign, digits with an
// optional point, an exponent only when digits follow it. 0 when there is none.
// Hexadecimal forms, "inf" and "nan" are not decimal numbers and read nothing.
std::size_t DecimalNumberLength(const std::string& text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        if (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) {
            i = e;
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        }
    }
    return i;
}

} // namespace

float CPFloatDator::Convert(const std::string& text) {
    if (StartsWithSpace(text)) return 0.0f;
    std::size_t length = DecimalNumberLength(text);
    if (length == 0) return 0.0f;
    double value = Platform::ParseDouble(std::string_view(text).substr(0, length));
    // Beyond the float range the variable takes the largest float of that sign,
    // which the next save writes as a number that reads back.
    if (!(std::fabs(value) <= FLT_MAX)) value = std::copysign(static_cast<double>(FLT_MAX), value);
    return static_cast<float>(value);
}

void CPFloatDator::Set(const std::string& text) { *m_variable = Convert(text); }
void CPFloatDator::Add(const std::string& text) { *m_variable += Convert(text); }
void CPFloatDator::Subtract(const std::string& text) { *m_variable -= Convert(text); }
std::string CPFloatDator::ToString() const { return Platform::FormatC("%g", static_cast<double>(*m_variable)); }
