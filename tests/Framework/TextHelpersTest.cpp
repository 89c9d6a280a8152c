#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Framework/StringUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct Line {
    std::string text;
    bool value;
    bool operator==(const Line& o) const { return text == o.text && value == o.value; }
};
std::ostream& operator<<(std::ostream& os, const Line& l) { return os << (l.value ? "" : "[") << l.text; }

std::vector<Line> AllLines(const std::string& text) {
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    std::vector<Line> lines;
    std::string line;
    while (reader.ReadLine(line)) lines.push_back({line, reader.IsValueLine()});
    return lines;
}

std::vector<std::string> Tokens(const std::string& text, const std::string& sep, bool quotes) {
    CPStringSplitter splitter(text, sep, quotes);
    std::vector<std::string> out;
    std::string token;
    while (splitter.NextToken(token)) out.push_back(token);
    return out;
}

TEST(TextReader, CommentAndSectionRules) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<Line> lines;
    };
    const Case cases[] = {
        {"plain with blanks and empty lines", "  a = 1 \n\n   \n\tb\r\n", {{"a = 1", true}, {"b", true}}},
        {"line comment drops the whole line", "keep\nvalue 3 // note\n// all\nlast", {{"keep", true}, {"last", true}}},
        {"double slash inside a value", "url http://x\nnext", {{"next", true}}},
        {"block over three lines", "a\n/* one\ntwo\nthree */\nb", {{"a", true}, {"b", true}}},
        {"block on one line with text", "a\nx /* c */ y\nb", {{"a", true}, {"b", true}}},
        {"text before an opening comment", "a /* start\nhidden\nend */ after\nb", {{"b", true}}},
        {"section header",
         "[Sounds]\nshot;1\n[Other]\nx",
         {{"Sounds", false}, {"shot;1", true}, {"Other", false}, {"x", true}}},
        {"header needs both brackets", "[open\nclose]\n[ ]", {{"[open", true}, {"close]", true}, {" ", false}}},
        {"no final line feed", "a\nlast one", {{"a", true}, {"last one", true}}},
        {"zero byte ends a line", std::string("a\0b\nc", 5), {{"a", true}, {"b", true}, {"c", true}}},
        {"last line a comment", "a\nb // c", {{"a", true}}},
        {"empty header stops like the end", "a\n[]\nb", {{"a", true}}},
    };
    for (const Case& c : cases) EXPECT_EQ(AllLines(c.text), c.lines) << c.name;
}

TEST(TextReader, CountsLineFeedsButNotZeroBytes) {
    std::string text("a\nb\0c\n\nd", 8);
    CPTextReader reader(text.data(), static_cast<int>(text.size()));
    std::string line;
    while (reader.ReadLine(line)) {}
    EXPECT_EQ(reader.GetLineCounter(), 3);
    EXPECT_FALSE(reader.ReadNextLine()) << "stays at the end";
}

TEST(TextReader, EmptyAndNullBuffers) {
    CPTextReader empty("", 0);
    EXPECT_FALSE(empty.ReadNextLine());
    CPTextReader null(static_cast<const char*>(nullptr), 10);
    EXPECT_FALSE(null.ReadNextLine());
}

TEST(StringSplitter, TokensAndQuotes) {
    struct Case {
        const char* text;
        const char* sep;
        bool quotes;
        std::vector<std::string> tokens;
    };
    const Case cases[] = {
        {"  a ; b ;c  ", ";", false, {"a", "b", "c"}},
        {"a;;b", ";", false, {"a", "", "b"}},
        {"a;b;", ";", false, {"a", "b"}},
        {"", ",", true, {}},
        {"   ", ",", true, {}},
        {"x", ",", true, {"x"}},
        {"name,\"a,b\",c", ",", true, {"name", "a,b", "c"}},
        {"name,\"a,b\",c", ",", false, {"name", "\"a", "b\"", "c"}},
        {"\"say \"\"hi\"\"\",x", ",", true, {"say \"hi\"", "x"}},
        {"\" \",x", ",", true, {" ", "x"}},
        {"\"  padded  \"", ",", true, {"padded"}},
        {"\"open,never closed", ",", true, {"open,never closed"}},
        {"main t_system main", " ", true, {"main", "t_system", "main"}},
        {"Main  T_SYSTEM", " ", true, {"Main", "", "T_SYSTEM"}},
        {"a\tb", "\t", false, {"a", "b"}},
        {"k=v=w", "=", false, {"k", "v", "w"}},
        {"a::b:c", "::", false, {"a", "b:c"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Tokens(c.text, c.sep, c.quotes), c.tokens) << '"' << c.text << '"';
}

TEST(StringUtils, TrimAndCase) {
    std::string s = " \t\r\nMiXeD Text 1251\xC0\n ";
    EXPECT_EQ(Trim(s), "MiXeD Text 1251\xC0");
    EXPECT_EQ(ToLower(s), "mixed text 1251\xC0") << "only A-Z change";
    EXPECT_EQ(ToUpper(s), "MIXED TEXT 1251\xC0");
    std::string blank = " \t ";
    EXPECT_EQ(Trim(blank), "");
}

TEST(StringUtils, NumberTests) {
    const std::pair<const char*, bool> numbers[] = {{"", true},   {"-", true},    {"1.2.3", true}, {"-12.5", true},
                                                    {"3-", true}, {"1e5", false}, {" 1", false},   {"+1", false}};
    for (const auto& [text, expected] : numbers) EXPECT_EQ(IsNumber(text), expected) << '"' << text << '"';
    const std::pair<const char*, bool> integers[] = {
        {"", true}, {"-", true}, {"-12", true}, {"1.0", false}, {"12a", false}};
    for (const auto& [text, expected] : integers) EXPECT_EQ(IsInteger(text), expected) << '"' << text << '"';
}

} // namespace
