#include <gtest/gtest.h>

#include "support/FreshStore.h"

namespace {

struct LineCase {
    const char* what;
    const char* file;
    std::vector<std::pair<std::string, std::string>> entries; // expected key -> value
    std::vector<std::string> absent;
};

} // namespace

TEST(TextTable, LinesOfTheStringsFile) {
    const LineCase cases[] = {
        {"key and value", "greeting~Hello\n", {{"greeting", "Hello"}}, {}},
        {"trimmed both sides", "  greeting  ~  Hello there \r\n", {{"greeting", "Hello there"}}, {}},
        {"same key twice keeps the later", "a~first\na~second\n", {{"a", "second"}}, {}},
        {"two separators", "a~b~c\n", {{"a", "b"}}, {"b", "c"}},
        {"bracketed name", "[menu]\n", {{"menu", ""}}, {"[menu]"}},
        {"comment lines and blocks are dropped whole",
         "// x~1\na~2\nb~3 // note\n/* c~3\nd~4 */ e~5\nf~6\n",
         {{"a", "2"}, {"f", "6"}},
         {"x", "b", "c", "d", "e"}},
        {"quoted value with separator", "a~\"x~y\"\n", {{"a", "x~y"}}, {}},
        {"doubled quote inside quotes", "a~\"say \"\"hi\"\"\"\n", {{"a", "say \"hi\""}}, {}},
        {"line without separator", "lonely\n", {{"lonely", ""}}, {}},
        {"empty value", "a~\n", {{"a", ""}}, {}},
        {"empty lines skipped", "\n\n   \na~1\n", {{"a", "1"}}, {""}},
        {"bytes kept as they are", "\xcf\xf0\xe8~\xe2\xe5\xf2\n", {{"\xcf\xf0\xe8", "\xe2\xe5\xf2"}}, {}},
        {"case kept", "Key~V\nkey~v\n", {{"Key", "V"}, {"key", "v"}}, {}},
    };
    for (const LineCase& c : cases) {
        kxtest::FreshGameData store;
        store.Write("Data/strings.txt", c.file);
        store->LoadStrings();
        for (const auto& [key, value] : c.entries) {
            auto it = store->textTable.find(key);
            ASSERT_NE(it, store->textTable.end()) << c.what << ": key " << key;
            EXPECT_EQ(it->second, value) << c.what << ": key " << key;
        }
        for (const std::string& key : c.absent) EXPECT_EQ(store->textTable.count(key), 0u) << c.what << ": " << key;
        EXPECT_EQ(store->textTable.size(), c.entries.size()) << c.what;
    }
}

TEST(TextTable, PathIsFoundInAnyCase) {
    kxtest::FreshGameData store;
    store.Write("DATA/Strings.TXT", "a~1\n");
    store->LoadStrings();
    EXPECT_EQ(store->GetText("a"), "1");
}

TEST(TextTable, UnknownKeyReturnsEmptyAndIsEntered) {
    kxtest::FreshGameData store;
    store.Write("Data/strings.txt", "a~1\n");
    store->LoadStrings();
    EXPECT_EQ(store->GetText("missing"), "");
    ASSERT_EQ(store->textTable.count("missing"), 1u);
    EXPECT_EQ(store->textTable.at("missing"), "");
    EXPECT_EQ(store->GetText("a"), "1");
    // The reference stays valid while the table grows.
    const std::string& a = store->GetText("a");
    for (int i = 0; i < 500; ++i) store->GetText("k" + std::to_string(i));
    EXPECT_EQ(a, "1");
}

TEST(TextTable, MissingFileLeavesTheTableAsItWas) {
    kxtest::FreshGameData store;
    store->textTable["kept"] = "yes";
    store->LoadStrings();
    EXPECT_EQ(store->textTable.size(), 1u);
    EXPECT_EQ(store->textTable.at("kept"), "yes");
}

TEST(TextTable, ReloadAddsToTheTable) {
    kxtest::FreshGameData store;
    store.Write("Data/strings.txt", "a~1\nb~2\n");
    store->LoadStrings();
    store.Write("Data/strings.txt", "b~3\n");
    store->LoadStrings();
    EXPECT_EQ(store->GetText("a"), "1");
    EXPECT_EQ(store->GetText("b"), "3");
}

TEST(TextTable, HostileFilesDoNotBreakTheLoad) {
    const std::string cases[] = {
        std::string("a~1\0b~2", 7), // a zero byte ends the text
        "/* never closed\na~1\n",   // an open comment swallows the rest
        "\"unterminated~quote\n",   // an open quote
        std::string(100000, '~'),   // one long line of separators
        "~value\n",                 // empty key
    };
    for (const std::string& file : cases) {
        kxtest::FreshGameData store;
        store.Write("Data/strings.txt", file);
        store->LoadStrings();
        EXPECT_LE(store->textTable.size(), 2u);
    }
}
