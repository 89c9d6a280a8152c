#include "Framework/PDator.h"

#include "Platform/System/NumberText.h"

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

float CPFloatDator::Convert(const std::string& text) {
    if (StartsWithSpace(text)) return 0.0f;
    return Platform::ParseFloat(text);
}

void CPFloatDator::Set(const std::string& text) { *m_variable = Convert(text); }
void CPFloatDator::Add(const std::string& text) { *m_variable += Convert(text); }
void CPFloatDator::Subtract(const std::string& text) { *m_variable -= Convert(text); }
std::string CPFloatDator::ToString() const { return Platform::FormatC("%g", static_cast<double>(*m_variable)); }
