#pragma once
// One text of an interface, and the one-line text-entry field drawn through such a text.

#include <memory>
#include <string>

#include "Framework/PMMObject.h"
#include "Scene/PGameObject.h"

class CPEditBox;

struct SPTextEntry {
    // A child of the interface (type name "text") whose attachment is its own mesh.
    CPSmartPtr<CPGameObject> object;
    std::string font;
    // Pixels before the interface's horizontal offset.
    float x = 0.0f, y = 0.0f;
    // What a reprint shows: written only by the scripts' text functions, not by the layout.
    std::string text;
    // The field drawn through this text, when it is one; a reprint then shows the field.
    CPEditBox* editBox = nullptr;
};

// Prints the entry as a reprint shows it (an edit box's content and "_", else the stored text)
// at the entry's place; answers the printed width.
float ReprintTextEntry(SPTextEntry& entry);
// Prints the text with the font at the entry's place into the entry's object; the width.
float PrintIntoEntry(const SPTextEntry& entry, const std::string& font, const std::string& text);

class CPEditBox : public IPMMObject {
public:
    // Shows "_".
    CPEditBox(std::shared_ptr<SPTextEntry> entry, int maxLength);
    // Shows the content, which may be longer than the maximum, and "_".
    CPEditBox(std::shared_ptr<SPTextEntry> entry, int maxLength, std::string initial);
    ~CPEditBox() override;
    int GetSize() const override { return static_cast<int>(sizeof(CPEditBox)); }
    std::string GetClassName() const override { return "CPEditBox"; }

    // The first maxLength characters of the text; redraws.
    void SetText(const std::string& text);
    // A typed character code: letters and digits (upper-cased), blank and backspace.
    void ProcessKey(int code);
    std::string GetText() const { return m_content; }
    int GetMaxLength() const { return m_maxLength; }
    // Prints the content followed by "_"; answers the width.
    float Redraw();
    const std::shared_ptr<SPTextEntry>& GetEntry() const { return m_entry; }

private:
    std::shared_ptr<SPTextEntry> m_entry;
    std::string m_content;
    int m_maxLength;
};
