#include "Game/PEditBox.h"

#include "Framework/StringUtils.h"
#include "Game/CodePage1251.h"
#include "Game/PFontManager.h"

#include <algorithm>

float PrintIntoEntry(const SPTextEntry& entry, const std::string& font, const std::string& text) {
    float width = 0.0f;
    if (CPFontManager* fonts = GetFontManager()) fonts->PrintText(entry.object, entry.x, entry.y, font, text, &width);
    return width;
}

float ReprintTextEntry(SPTextEntry& entry) {
    if (entry.editBox) return entry.editBox->Redraw();
    return PrintIntoEntry(entry, entry.font, entry.text);
}

CPEditBox::CPEditBox(std::shared_ptr<SPTextEntry> entry, int maxLength) : CPEditBox(std::move(entry), maxLength, "") {}

CPEditBox::CPEditBox(std::shared_ptr<SPTextEntry> entry, int maxLength, std::string initial)
    : m_entry(std::move(entry)), m_content(std::move(initial)), m_maxLength(maxLength) {
    if (m_entry) m_entry->editBox = this;
    Redraw();
}

CPEditBox::~CPEditBox() {
    if (m_entry && m_entry->editBox == this) m_entry->editBox = nullptr;
}

float CPEditBox::Redraw() { return m_entry ? PrintIntoEntry(*m_entry, m_entry->font, m_content + "_") : 0.0f; }

void CPEditBox::SetText(const std::string& text) {
    const std::size_t limit = m_maxLength > 0 ? static_cast<std::size_t>(m_maxLength) : 0;
    m_content = text.substr(0, std::min(limit, text.size()));
    Redraw();
}

void CPEditBox::ProcessKey(int code) {
    const auto c = static_cast<unsigned char>(code & 0xff);
    const bool room = static_cast<long long>(m_content.size()) < static_cast<long long>(m_maxLength);
    if (IsCodePageAlphaNumeric(c)) {
        if (!room) return;
        std::string letter(1, static_cast<char>(c));
        m_content += ToUpper(letter);
        Redraw();
    } else if (c == ' ') {
        if (!room) return;
        m_content += ' ';
        Redraw();
    } else if (c == 8) {
        if (!m_content.empty()) m_content.pop_back();
        Redraw();
    }
}
