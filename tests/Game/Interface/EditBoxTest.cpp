// Text-entry fields and the code-page letter table they rely on.

#include "InterfaceFixture.h"

#include <iconv.h>

#include "Game/CodePage1251.h"

using namespace interfacetest;

namespace {

class EditBoxTest : public InterfaceTest {
protected:
    std::shared_ptr<SPTextEntry> Entry() {
        auto entry = std::make_shared<SPTextEntry>();
        entry->object = CPSmartPtr<CPGameObject>(new CPGameObject("text"));
        entry->object->SetAttachment(CPSmartPtr<IPMMObject>(new CPRenderObject(entry->object.Get())),
                                     IPSceneObject::KindMesh);
        entry->font = "f";
        return entry;
    }
    static std::size_t Quads(const SPTextEntry& entry) {
        return entry.object->GetRenderObject()->ModelVertices().size() / 4;
    }
};

TEST_F(EditBoxTest, TypedKeysAsATable) {
    struct Case {
        const char* what;
        std::string initial;
        int max;
        std::vector<int> keys;
        std::string content;
    };
    const Case cases[] = {
        {"a lower-case letter is appended upper-cased", "AB", 3, {'a'}, "ABA"},
        {"a full box ignores letters and blanks", "AB", 3, {'c', 'd', ' '}, "ABC"},
        {"backspace removes the last character", "ABC", 3, {8}, "AB"},
        {"backspace on an empty box", "", 3, {8, 8}, ""},
        {"a blank is taken while there is room", "A", 3, {' '}, "A "},
        {"digits", "", 4, {'1', '2'}, "12"},
        {"punctuation and control codes are ignored", "", 4, {'!', '-', 13, 27, '_'}, ""},
        {"Cyrillic letters are appended as they are", "", 4, {0xE0, 0xC0, 0xB8}, "\xE0\xC0\xB8"},
        {"only the low byte of a code counts", "", 4, {0x100 + 'b'}, "B"},
        {"an initial content longer than the maximum stays", "ABCDE", 3, {}, "ABCDE"},
        {"and takes no more", "ABCDE", 3, {'x'}, "ABCDE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto entry = Entry();
        CPSmartPtr<CPEditBox> box(new CPEditBox(entry, c.max, c.initial));
        for (int key : c.keys) box->ProcessKey(key);
        EXPECT_EQ(box->GetText(), c.content);
        EXPECT_EQ(Quads(*entry), c.content.size() + 1); // the content and "_"
    }
}

TEST_F(EditBoxTest, SetTextIsCutToTheMaximum) {
    auto entry = Entry();
    CPSmartPtr<CPEditBox> box(new CPEditBox(entry, 3));
    EXPECT_EQ(Quads(*entry), 1u); // "_"
    box->SetText("ABCDE");
    EXPECT_EQ(box->GetText(), "ABC");
    EXPECT_EQ(Quads(*entry), 4u);
    box->SetText("");
    EXPECT_EQ(Quads(*entry), 1u);
}

TEST_F(EditBoxTest, TheFieldIsTheTextEntryItWasMadeFrom) {
    auto entry = Entry();
    CPSmartPtr<CPEditBox> box(new CPEditBox(entry, 5, "AB"));
    EXPECT_EQ(entry->editBox, box.Get());
    entry->x = 40.0f;
    EXPECT_FLOAT_EQ(ReprintTextEntry(*entry), 24.0f); // "AB_": 8 + 10 + 6
    EXPECT_FLOAT_EQ(entry->object->GetRenderObject()->ModelVertices()[0].x, 40.0f);
    box = CPSmartPtr<CPEditBox>();
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    EXPECT_EQ(entry->editBox, nullptr);
}

TEST(CodePageTest, LettersAndDigitsOfTheCodePage) {
    struct Case {
        unsigned char byte;
        bool alphaNumeric;
    };
    const Case cases[] = {
        {'a', true},   {'Z', true},   {'0', true},   {'9', true},   {' ', false},  {'_', false},
        {'^', false},  {0xC0, true},  {0xFF, true},  {0xA8, true},  {0xB8, true},  {0x80, true},
        {0xB9, false}, {0xAB, false}, {0x98, false}, {0x00, false}, {0x7F, false}, {0xA0, false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsCodePageAlphaNumeric(c.byte), c.alphaNumeric) << int(c.byte);
}

TEST(CodePageTest, EveryUpperHalfLetterMapsToALetterOfTheMapping) {
    // Cross-check against iconv here too: each byte the table calls a letter or digit decodes to
    // a character, and the 64 bytes of the basic Cyrillic alphabet are all letters.
    iconv_t converter = iconv_open("UTF-32LE", "CP1251");
    ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1));
    int letters = 0;
    for (int byte = 0; byte < 256; ++byte) {
        if (!IsCodePageAlphaNumeric(static_cast<unsigned char>(byte))) continue;
        ++letters;
        char in = static_cast<char>(byte);
        char* inPointer = &in;
        std::size_t inLeft = 1;
        unsigned char out[4] = {};
        char* outPointer = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        EXPECT_NE(iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft), static_cast<std::size_t>(-1)) << byte;
    }
    iconv_close(converter);
    for (int byte = 0xC0; byte <= 0xFF; ++byte) EXPECT_TRUE(IsCodePageAlphaNumeric(static_cast<unsigned char>(byte)));
    EXPECT_GT(letters, 62 + 64 + 2);
}

} // namespace
