#include "Platform/Effects/EffectParser.h"

#include "Platform/Base/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>
#include <unordered_map>

namespace Platform {

namespace {

enum class Tok { Ident, Number, String, Punct, End };

struct Token {
    Tok kind = Tok::End;
    std::string text;
    double number = 0;
    bool isFloat = false;
    int line = 1;
    size_t begin = 0; // offsets into the source
    size_t end = 0;
};

struct ParseError {
    int line;
    std::string message;
};

class Lexer {
public:
    Lexer(const char* text, size_t size) : m_text(text), m_size(size) {}

    // Fills tokens; answers false with an error on a bad character or an open comment/string.
    bool Run(std::vector<Token>& tokens, ParseError& error) {
        while (true) {
            SkipSpaceAndComments();
            if (m_failed) {
                error = {m_line, m_message};
                return false;
            }
            if (tokens.size() >= kMaxEffectTokens - 1) {
                error = {m_line, "more than " + std::to_string(kMaxEffectTokens - 1) + " tokens"};
                return false;
            }
            Token t;
            t.line = m_line;
            t.begin = m_pos;
            if (m_pos >= m_size) {
                t.kind = Tok::End;
                t.end = m_pos;
                tokens.push_back(t);
                return true;
            }
            const char c = m_text[m_pos];
            if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                while (m_pos < m_size &&
                       (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_'))
                    ++m_pos;
                t.kind = Tok::Ident;
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '.' && m_pos + 1 < m_size &&
                        std::isdigit(static_cast<unsigned char>(m_text[m_pos + 1])))) {
                if (!LexNumber(t)) {
                    error = {m_line, "bad number"};
                    return false;
                }
            } else if (c == '"') {
                ++m_pos;
                while (m_pos < m_size && m_text[m_pos] != '"' && m_text[m_pos] != '\n') ++m_pos;
                if (m_pos >= m_size || m_text[m_pos] != '"') {
                    error = {m_line, "unterminated string"};
                    return false;
                }
                t.kind = Tok::String;
                t.text.assign(m_text + t.begin + 1, m_pos - t.begin - 1);
                ++m_pos;
                t.end = m_pos;
                tokens.push_back(t);
                continue;
            } else if (c == '#') {
                error = {m_line, "preprocessor directives are not supported"};
                return false;
            } else if (std::strchr("{}()[]<>;,=:|-+*/.!&^?~%", c) && c != '\0') {
                ++m_pos;
                t.kind = Tok::Punct;
            } else {
                error = {m_line, std::string("unexpected character '") + c + "'"};
                return false;
            }
            t.end = m_pos;
            if (t.kind != Tok::String) t.text.assign(m_text + t.begin, t.end - t.begin);
            tokens.push_back(t);
        }
    }

private:
    void SkipSpaceAndComments() {
        while (m_pos < m_size) {
            const char c = m_text[m_pos];
            if (c == '\n') {
                ++m_line;
                ++m_pos;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_size && m_text[m_pos + 1] == '/') {
                while (m_pos < m_size && m_text[m_pos] != '\n') ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_size && m_text[m_pos + 1] == '*') {
                const int startLine = m_line;
                m_pos += 2;
                while (m_pos + 1 < m_size && !(m_text[m_pos] == '*' && m_text[m_pos + 1] == '/')) {
                    if (m_text[m_pos] == '\n') ++m_line;
                    ++m_pos;
                }
                if (m_pos + 1 >= m_size) {
                    m_failed = true;
                    m_line = startLine;
                    m_message = "unterminated comment";
                    m_pos = m_size;
                    return;
                }
                m_pos += 2;
            } else {
                return;
            }
        }
    }

    bool LexNumber(Token& t) {
        t.kind = Tok::Number;
        const size_t start = m_pos;
        if (m_text[m_pos] == '0' && m_pos + 1 < m_size && (m_text[m_pos + 1] == 'x' || m_text[m_pos + 1] == 'X')) {
            m_pos += 2;
            const size_t digits = m_pos;
            while (m_pos < m_size && std::isxdigit(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
            uint64_t v = 0;
            auto r = std::from_chars(m_text + digits, m_text + m_pos, v, 16);
            if (r.ec != std::errc() || v > 0xFFFFFFFFull) return false;
            t.number = static_cast<double>(v);
        } else {
            while (m_pos < m_size && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
            if (m_pos < m_size && m_text[m_pos] == '.') {
                t.isFloat = true;
                ++m_pos;
                while (m_pos < m_size && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
            }
            if (m_pos < m_size && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
                size_t p = m_pos + 1;
                if (p < m_size && (m_text[p] == '+' || m_text[p] == '-')) ++p;
                if (p < m_size && std::isdigit(static_cast<unsigned char>(m_text[p]))) {
                    t.isFloat = true;
                    m_pos = p;
                    while (m_pos < m_size && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
                }
            }
            double v = 0;
            auto r = std::from_chars(m_text + start, m_text + m_pos, v);
            if (r.ec != std::errc() || !std::isfinite(v)) return false;
            t.number = v;
        }
        while (m_pos < m_size && std::strchr("fFhHlLuU", m_text[m_pos]) && m_text[m_pos] != '\0') {
            if (m_text[m_pos] == 'f' || m_text[m_pos] == 'F' || m_text[m_pos] == 'h' || m_text[m_pos] == 'H')
                t.isFloat = true;
            ++m_pos;
        }
        return true;
    }

    const char* m_text;
    size_t m_size;
    size_t m_pos = 0;
    int m_line = 1;
    bool m_failed = false;
    std::string m_message;
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Platform::AsciiLower(a[i]) != Platform::AsciiLower(b[i])) return false;
    return true;
}

uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Numeric type names: float, float4, float4x4, int2, bool, half3, double, dword...
bool NumericType(std::string_view name, EffectType& type, uint32_t& rows, uint32_t& columns) {
    static const struct {
        const char* base;
        EffectType type;
    } bases[] = {
        {"float", EffectType::Float}, {"half", EffectType::Float}, {"double", EffectType::Float},
        {"int", EffectType::Int},     {"uint", EffectType::Int},   {"dword", EffectType::Int},
        {"bool", EffectType::Bool},
    };
    for (const auto& b : bases) {
        const size_t n = std::strlen(b.base);
        if (name.size() < n || name.substr(0, n) != b.base) continue;
        std::string_view rest = name.substr(n);
        type = b.type;
        if (rest.empty()) {
            rows = columns = 1;
            return true;
        }
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
            rows = 1;
            columns = static_cast<uint32_t>(rest[0] - '0');
            return true;
        }
        if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
            rest[2] <= '4') {
            rows = static_cast<uint32_t>(rest[0] - '0');
            columns = static_cast<uint32_t>(rest[2] - '0');
            return true;
        }
    }
    return false;
}

bool ObjectType(std::string_view name, EffectType& type) {
    static const struct {
        const char* name;
        EffectType type;
    } objects[] = {
        {"string", EffectType::String},
        {"texture", EffectType::Texture},
        {"texture1D", EffectType::Texture1D},
        {"texture2D", EffectType::Texture2D},
        {"texture3D", EffectType::Texture3D},
        {"textureCUBE", EffectType::TextureCube},
        {"sampler", EffectType::Sampler},
        {"sampler1D", EffectType::Sampler1D},
        {"sampler2D", EffectType::Sampler2D},
        {"sampler3D", EffectType::Sampler3D},
        {"samplerCUBE", EffectType::SamplerCube},
        {"PixelShader", EffectType::PixelShader},
        {"VertexShader", EffectType::VertexShader},
    };
    for (const auto& o : objects) {
        if (EqualsNoCase(name, o.name)) {
            type = o.type;
            return true;
        }
    }
    return false;
}

class Parser {
public:
    Parser(const char* text, std::vector<Token> tokens) : m_text(text), m_tokens(std::move(tokens)) {}

    void Run(ParsedEffect& out) {
        m_out = &out;
        while (Peek().kind != Tok::End) {
            if (IsIdent("technique") || IsIdent("technique9")) {
                ParseTechnique();
            } else if (IsPunct(";")) {
                Next();
            } else if (IsIdent("struct") || IsIdent("typedef")) {
                ParseVerbatim();
            } else {
                ParseDeclaration();
            }
        }
        CheckReferences();
    }

private:
    // ---- token helpers ----
    const Token& Peek(size_t ahead = 0) const {
        const size_t i = std::min(m_pos + ahead, m_tokens.size() - 1);
        return m_tokens[i];
    }
    const Token& Next() {
        const Token& t = m_tokens[m_pos];
        if (m_pos + 1 < m_tokens.size()) ++m_pos;
        return t;
    }
    bool IsIdent(const char* word, size_t ahead = 0) const {
        const Token& t = Peek(ahead);
        return t.kind == Tok::Ident && EqualsNoCase(t.text, word);
    }
    bool IsPunct(const char* p, size_t ahead = 0) const {
        const Token& t = Peek(ahead);
        return t.kind == Tok::Punct && t.text == p;
    }
    [[noreturn]] void Fail(const std::string& message) const { throw ParseError{Peek().line, message}; }
    [[noreturn]] void FailAt(int line, const std::string& message) const { throw ParseError{line, message}; }
    void Expect(const char* p) {
        if (!IsPunct(p)) {
            const Token& t = Peek();
            Fail(std::string("expected '") + p + "' but found " + Describe(t));
        }
        Next();
    }
    static std::string Describe(const Token& t) {
        if (t.kind == Tok::End) return "end of file";
        if (t.kind == Tok::String) return "\"" + t.text + "\"";
        return "'" + t.text + "'";
    }
    std::string ExpectIdent(const char* what) {
        if (Peek().kind != Tok::Ident) Fail(std::string("expected ") + what + " but found " + Describe(Peek()));
        return Next().text;
    }
    // Skips a balanced group starting at the current open bracket; answers the index of the
    // closing token.
    size_t SkipBalanced(const char* open, const char* close) {
        const int line = Peek().line;
        Expect(open);
        int depth = 1;
        while (true) {
            const Token& t = Peek();
            if (t.kind == Tok::End) FailAt(line, std::string("'") + open + "' is never closed");
            if (t.kind == Tok::Punct && t.text == open)
                ++depth;
            else if (t.kind == Tok::Punct && t.text == close && --depth == 0) {
                const size_t at = m_pos;
                Next();
                return at;
            }
            Next();
        }
    }
    void AddVerbatim(size_t firstToken, size_t lastToken, const std::string& function = "") {
        const Token& a = m_tokens[firstToken];
        const Token& b = m_tokens[lastToken];
        HlslChunk chunk;
        chunk.name = function;
        chunk.text = "#line " + std::to_string(a.line) + "\n";
        chunk.text.append(m_text + a.begin, b.end - a.begin);
        chunk.text += "\n";
        std::set<std::string> uses;
        for (size_t i = firstToken; i <= lastToken; ++i)
            if (m_tokens[i].kind == Tok::Ident) uses.insert(m_tokens[i].text);
        chunk.uses.assign(uses.begin(), uses.end());
        m_out->hlslCode += chunk.text;
        m_out->chunks.push_back(std::move(chunk));
    }

    // Whether a parameter between the tokens open and close (the brackets of a parameter list)
    // has a type but no name: before its semantic or default value it holds fewer than two
    // names besides its modifiers ("in float2", "VSOut" and "vector<float, 2>" have none;
    // "(void)" is no parameter at all).
    bool HasUnnamedParameter(size_t open, size_t close) const {
        static const char* const kModifiers[] = {
            "in",        "out",          "inout",           "uniform",       "const",
            "linear",    "centroid",     "nointerpolation", "noperspective", "precise",
            "row_major", "column_major", "point",           "line",          "triangle",
            "lineadj",   "triangleadj",  "unsigned",        "signed",        "snorm",
            "unorm",
        };
        auto isModifier = [](const std::string& word) {
            for (const char* m : kModifiers)
                if (word == m) return true;
            return false;
        };
        if (close == open + 2 && m_tokens[open + 1].kind == Tok::Ident && m_tokens[open + 1].text == "void")
            return false;
        int depth = 0;      // (), [] and {} inside the list
        int angles = 0;     // <> of a template type
        bool inType = true; // before the parameter's semantic or default value
        int names = 0;
        bool empty = true;
        for (size_t i = open + 1; i <= close; ++i) {
            const Token& t = m_tokens[i];
            const bool punct = t.kind == Tok::Punct;
            if (i == close || (punct && depth == 0 && angles == 0 && t.text == ",")) {
                if (!empty && names < 2) return true;
                names = 0;
                empty = true;
                inType = true;
                continue;
            }
            empty = false;
            if (punct && (t.text == "(" || t.text == "[" || t.text == "{"))
                ++depth;
            else if (punct && (t.text == ")" || t.text == "]" || t.text == "}") && depth > 0)
                --depth;
            else if (punct && inType && t.text == "<")
                ++angles;
            else if (punct && inType && t.text == ">" && angles > 0)
                --angles;
            else if (punct && depth == 0 && angles == 0 && (t.text == ":" || t.text == "="))
                inType = false;
            else if (t.kind == Tok::Ident && inType && depth == 0 && angles == 0 && !isModifier(t.text))
                ++names;
        }
        return false;
    }

    // struct X { ... }; and typedef ...; go to the shaders unchanged.
    void ParseVerbatim() {
        const size_t first = m_pos;
        if (IsIdent("struct")) {
            Next();
            const std::string name = ExpectIdent("a struct name");
            m_structs.insert(name);
            if (!IsPunct("{")) Fail("expected '{' after struct " + name);
            SkipBalanced("{", "}");
        } else {
            while (!IsPunct(";")) {
                if (Peek().kind == Tok::End) Fail("typedef without ';'");
                Next();
            }
        }
        if (!IsPunct(";")) Fail("expected ';' after declaration");
        const size_t last = m_pos;
        Next();
        AddVerbatim(first, last);
    }

    // ---- declarations ----
    void ParseDeclaration() {
        const size_t first = m_pos;
        bool isShared = false, isStatic = false, rowMajor = false, columnMajor = false;
        while (Peek().kind == Tok::Ident) {
            const std::string& w = Peek().text;
            if (w == "shared")
                isShared = true;
            else if (w == "static")
                isStatic = true;
            else if (w == "row_major")
                rowMajor = true;
            else if (w == "column_major")
                columnMajor = true;
            else if (w == "uniform" || w == "const" || w == "extern" || w == "volatile" || w == "inline") {
            } else
                break;
            Next();
        }
        const int line = Peek().line;
        std::string typeName = ExpectIdent("a type");
        EffectType type = EffectType::Void;
        uint32_t rows = 1, columns = 1;
        bool known = NumericType(typeName, type, rows, columns) || ObjectType(typeName, type);
        if (!known && (typeName == "vector" || typeName == "matrix") && IsPunct("<")) {
            known = ParseGenericType(typeName, type, rows, columns);
        }
        if (typeName == "void") known = true;
        const bool userType = m_structs.count(typeName) != 0;
        if (!known && !userType) FailAt(line, "unknown type '" + typeName + "'");

        const std::string name = ExpectIdent("a name");
        if (IsPunct("(")) {
            // A function: its text goes to the shader compiler as it is.
            const size_t open = m_pos;
            const size_t close = SkipBalanced("(", ")");
            const bool unnamed = HasUnnamedParameter(open, close);
            if (IsPunct(":")) {
                Next();
                ExpectIdent("a semantic");
            }
            size_t last;
            bool body = false;
            if (IsPunct("{")) {
                last = SkipBalanced("{", "}");
                body = true;
            } else if (IsPunct(";")) {
                last = m_pos;
                Next();
            } else
                Fail("expected a function body");
            m_out->functions.push_back(name);
            AddVerbatim(first, last, name);
            // Only a definition becomes an entry point; a declaration may leave its names out.
            m_out->chunks.back().unnamedParameter = body && unnamed;
            return;
        }
        if (typeName == "void" || userType)
            FailAt(line, "'" + name + "' cannot be a parameter of type '" + typeName + "'");
        if (isStatic) {
            // Static globals are the shaders' own constants, not parameters.
            while (!IsPunct(";")) {
                if (Peek().kind == Tok::End) Fail("expected ';'");
                Next();
            }
            const size_t last = m_pos;
            Next();
            AddVerbatim(first, last);
            return;
        }

        ParsedParameter p;
        p.name = name;
        p.typeName = typeName;
        p.type = type;
        p.rows = rows;
        p.columns = columns;
        p.shared = isShared;
        p.rowMajorQualifier = rowMajor;
        p.columnMajorQualifier = columnMajor;
        p.line = line;
        p.cls = ClassOf(p);
        if (type == EffectType::PixelShader || type == EffectType::VertexShader)
            FailAt(line, "shader parameters are not supported");
        if (m_parameterIndex.count(name)) FailAt(line, "parameter '" + name + "' is declared twice");
        if (IsPunct("[")) {
            Next();
            if (Peek().kind != Tok::Number || Peek().isFloat || Peek().number < 1 || Peek().number > 1024)
                Fail("array size must be a whole number from 1 to 1024");
            p.elements = static_cast<uint32_t>(Next().number);
            Expect("]");
        }
        while (IsPunct(":")) {
            Next();
            if (IsIdent("register")) {
                Next();
                SkipBalanced("(", ")");
            } else {
                p.semantic = ExpectIdent("a semantic");
            }
        }
        if (IsPunct("<")) p.annotations = ParseAnnotations();
        if (IsPunct("=")) {
            Next();
            ParseInitializer(p);
        } else if (p.IsNumeric()) {
            p.value.assign(static_cast<size_t>(p.rows) * p.columns * std::max(1u, p.elements), 0.0f);
        }
        if (IsPunct(",")) Fail("declare one parameter per statement");
        Expect(";");
        m_parameterIndex.emplace(p.name, m_out->parameters.size());
        m_out->parameters.push_back(std::move(p));
    }

    static EffectClass ClassOf(const ParsedParameter& p) {
        if (!p.IsNumeric()) return EffectClass::Object;
        if (p.rows > 1) return p.rowMajorQualifier ? EffectClass::MatrixRows : EffectClass::MatrixColumns;
        return p.columns > 1 ? EffectClass::Vector : EffectClass::Scalar;
    }

    bool ParseGenericType(std::string& typeName, EffectType& type, uint32_t& rows, uint32_t& columns) {
        const bool matrix = typeName == "matrix";
        Expect("<");
        const std::string base = ExpectIdent("a component type");
        uint32_t r = 1, c = 1;
        if (!NumericType(base, type, r, c) || r != 1 || c != 1) Fail("bad component type '" + base + "'");
        auto dim = [&]() -> uint32_t {
            Expect(",");
            if (Peek().kind != Tok::Number || Peek().isFloat || Peek().number < 1 || Peek().number > 4)
                Fail("dimension must be 1 to 4");
            return static_cast<uint32_t>(Next().number);
        };
        if (matrix) {
            rows = dim();
            columns = dim();
        } else {
            rows = 1;
            columns = dim();
        }
        Expect(">");
        typeName = base + (matrix ? std::to_string(rows) + "x" + std::to_string(columns) : std::to_string(columns));
        return true;
    }

    std::vector<ParsedAnnotation> ParseAnnotations() {
        std::vector<ParsedAnnotation> list;
        Expect("<");
        while (!IsPunct(">")) {
            if (Peek().kind == Tok::End) Fail("annotation list is never closed");
            ParsedAnnotation a;
            a.value.line = Peek().line;
            a.value.typeName = ExpectIdent("an annotation type");
            if (!NumericType(a.value.typeName, a.value.type, a.value.rows, a.value.columns) &&
                !ObjectType(a.value.typeName, a.value.type))
                FailAt(a.value.line, "unknown annotation type '" + a.value.typeName + "'");
            a.value.cls = ClassOf(a.value);
            a.value.name = ExpectIdent("an annotation name");
            if (IsPunct("=")) {
                Next();
                ParseInitializer(a.value);
            }
            Expect(";");
            list.push_back(std::move(a));
        }
        Next();
        return list;
    }

    void ParseInitializer(ParsedParameter& p) {
        const int line = Peek().line;
        if (p.type == EffectType::String) {
            if (Peek().kind != Tok::String) Fail("expected a string for '" + p.name + "'");
            p.stringValue = Next().text;
            return;
        }
        if (p.IsSampler()) {
            if (!IsIdent("sampler_state")) Fail("expected sampler_state for '" + p.name + "'");
            Next();
            Expect("{");
            while (!IsPunct("}")) {
                if (Peek().kind == Tok::End) Fail("sampler_state is never closed");
                const int stateLine = Peek().line;
                const std::string stateName = ExpectIdent("a sampler state");
                const StateInfo* state = FindSamplerBlockState(stateName);
                if (!state) FailAt(stateLine, "unknown sampler state '" + stateName + "'");
                Expect("=");
                StateAssignment a = ParseStateValue(*state, stateLine);
                Expect(";");
                p.samplerStates.push_back(std::move(a));
            }
            Next();
            return;
        }
        if (p.IsTexture()) {
            if (IsIdent("NULL")) {
                Next();
                return;
            }
            Fail("textures take no initial value");
        }
        std::vector<float> numbers;
        ParseNumbers(numbers, 0);
        const size_t wanted = static_cast<size_t>(p.rows) * p.columns * std::max(1u, p.elements);
        if (numbers.size() == 1 && wanted > 1) numbers.assign(wanted, numbers[0]);
        if (numbers.size() != wanted)
            FailAt(line, "'" + p.name + "' needs " + std::to_string(wanted) + " initial values, not " +
                             std::to_string(numbers.size()));
        if (p.type == EffectType::Int)
            for (float& f : numbers) f = std::trunc(f);
        if (p.type == EffectType::Bool)
            for (float& f : numbers) f = f != 0.0f ? 1.0f : 0.0f;
        p.value = std::move(numbers);
    }

    // Numbers, true/false, { lists } and type(constructors), flattened.
    void ParseNumbers(std::vector<float>& out, int depth) {
        if (depth > 16) Fail("initial value nested too deeply");
        if (out.size() > 65536) Fail("initial value too long");
        if (IsPunct("{")) {
            Next();
            while (!IsPunct("}")) {
                ParseNumbers(out, depth + 1);
                if (IsPunct(","))
                    Next();
                else if (!IsPunct("}"))
                    Fail("expected ',' or '}' in initial value");
            }
            Next();
            return;
        }
        if (Peek().kind == Tok::Ident && IsPunct("(", 1)) {
            EffectType t;
            uint32_t r, c;
            if (!NumericType(Peek().text, t, r, c)) Fail("'" + Peek().text + "' is not a constructor");
            Next();
            Next();
            while (!IsPunct(")")) {
                ParseNumbers(out, depth + 1);
                if (IsPunct(","))
                    Next();
                else if (!IsPunct(")"))
                    Fail("expected ',' or ')' in constructor");
            }
            Next();
            return;
        }
        if (IsIdent("true") || IsIdent("false")) {
            out.push_back(IsIdent("true") ? 1.0f : 0.0f);
            Next();
            return;
        }
        float sign = 1.0f;
        while (IsPunct("-") || IsPunct("+")) {
            if (IsPunct("-")) sign = -sign;
            Next();
        }
        if (Peek().kind != Tok::Number) Fail("expected a number but found " + Describe(Peek()));
        out.push_back(sign * static_cast<float>(Next().number));
    }

    // ---- techniques ----
    void ParseTechnique() {
        ParsedTechnique t;
        t.line = Peek().line;
        Next();
        if (Peek().kind == Tok::Ident) t.name = Next().text;
        if (IsPunct("<")) t.annotations = ParseAnnotations();
        Expect("{");
        while (!IsPunct("}")) {
            if (!IsIdent("pass")) Fail("expected 'pass' but found " + Describe(Peek()));
            ParsedPass p;
            p.line = Peek().line;
            Next();
            if (Peek().kind == Tok::Ident) p.name = Next().text;
            if (IsPunct("<")) p.annotations = ParseAnnotations();
            Expect("{");
            while (!IsPunct("}")) {
                if (Peek().kind == Tok::End) Fail("pass is never closed");
                p.states.push_back(ParseAssignment());
            }
            Next();
            t.passes.push_back(std::move(p));
        }
        Next();
        m_out->techniques.push_back(std::move(t));
    }

    StateAssignment ParseAssignment() {
        const int line = Peek().line;
        const std::string name = ExpectIdent("a state name");
        const StateInfo* state = FindState(name);
        if (!state) FailAt(line, "unknown state '" + name + "'");
        uint32_t index = 0;
        if (IsPunct("[")) {
            Next();
            if (Peek().kind != Tok::Number || Peek().isFloat || Peek().number > 15)
                Fail("state index must be a whole number from 0 to 15");
            index = static_cast<uint32_t>(Next().number);
            Expect("]");
        }
        Expect("=");
        StateAssignment a;
        if (state->kind == StateKind::Unsupported) {
            a.state = state;
            a.unsupported = true;
            a.line = line;
            while (!IsPunct(";")) {
                if (Peek().kind == Tok::End) Fail("expected ';'");
                if (IsPunct("{"))
                    SkipBalanced("{", "}");
                else
                    Next();
            }
        } else {
            a = ParseStateValue(*state, line);
        }
        a.index = index;
        Expect(";");
        return a;
    }

    // The name in <name>, (name) or name.
    std::string ParseParameterReference() {
        if (IsPunct("<")) {
            Next();
            std::string n = ExpectIdent("a parameter name");
            Expect(">");
            return n;
        }
        if (IsPunct("(")) {
            Next();
            std::string n = ExpectIdent("a parameter name");
            Expect(")");
            return n;
        }
        return ExpectIdent("a parameter name");
    }

    StateAssignment ParseStateValue(const StateInfo& state, int line) {
        StateAssignment a;
        a.state = &state;
        a.line = line;
        switch (state.kind) {
        case StateKind::VertexShader:
        case StateKind::PixelShader:
            if (IsIdent("NULL")) {
                Next();
                a.null = true;
            } else if (IsIdent("compile")) {
                Next();
                a.profile = ExpectIdent("a shader profile");
                a.entry = ExpectIdent("a function name");
                Expect("(");
                if (!IsPunct(")")) {
                    // Uniform arguments bound at compile time are not supported here.
                    a.unsupported = true;
                    m_pos--;
                    SkipBalanced("(", ")");
                } else {
                    Next();
                }
            } else if (IsIdent("asm")) {
                Next();
                SkipBalanced("{", "}");
                a.unsupported = true;
            } else {
                a.parameter = ParseParameterReference();
                a.unsupported = true; // shader-typed parameters are not supported
            }
            return a;
        case StateKind::Texture:
        case StateKind::SamplerBind:
            if (IsIdent("NULL")) {
                Next();
                a.null = true;
            } else {
                a.parameter = ParseParameterReference();
                m_references.push_back(a);
            }
            return a;
        default: break;
        }
        if (IsPunct("<") || IsPunct("(")) {
            a.parameter = ParseParameterReference();
            m_references.push_back(a);
            return a;
        }
        uint32_t value = 0;
        bool first = true;
        do {
            if (!first) Next();
            first = false;
            value |= ParseStateTerm(state, a);
            if (!a.parameter.empty()) return a;
        } while (IsPunct("|"));
        a.value = value;
        return a;
    }

    uint32_t ParseStateTerm(const StateInfo& state, StateAssignment& a) {
        float sign = 1.0f;
        while (IsPunct("-")) {
            sign = -sign;
            Next();
        }
        if (Peek().kind == Tok::Number) {
            const Token& t = Next();
            const double v = sign * t.number;
            if (state.value == ValueKind::Float) return FloatBits(static_cast<float>(v));
            // A DWORD state holds 32 bits, negative numbers as their two's complement; a number
            // beyond that has no value to give the device (and converting it is undefined).
            if (v <= -2147483649.0 || v >= 4294967296.0)
                FailAt(t.line, "value out of range for state '" + std::string(state.name) + "'");
            if (v < 0) return static_cast<uint32_t>(static_cast<int32_t>(v));
            return static_cast<uint32_t>(v);
        }
        if (Peek().kind == Tok::Ident) {
            const std::string word = Peek().text;
            // float4(r, g, b, a) for colour states.
            if (IsPunct("(", 1) && state.value == ValueKind::Dword) {
                std::vector<float> numbers;
                ParseNumbers(numbers, 0);
                if (numbers.size() != 4) Fail("a colour needs four values");
                auto byte = [](float f) { return static_cast<uint32_t>(std::clamp(f, 0.0f, 1.0f) * 255.0f + 0.5f); };
                return (byte(numbers[3]) << 24) | (byte(numbers[0]) << 16) | (byte(numbers[1]) << 8) | byte(numbers[2]);
            }
            uint32_t value = 0;
            if (FindStateValue(state, word, value)) {
                Next();
                return value;
            }
            if (state.value == ValueKind::Float || state.value == ValueKind::Dword || state.value == ValueKind::Bool) {
                if (EqualsNoCase(word, "true") || EqualsNoCase(word, "false")) {
                    Next();
                    return EqualsNoCase(word, "true") ? 1u : 0u;
                }
            }
            if (!FindParameter(word)) {
                FailAt(Peek().line, "unknown value '" + word + "' for state '" + state.name + "'");
            }
            a.parameter = word;
            Next();
            m_references.push_back(a);
            return 0;
        }
        Fail("expected a value for state '" + std::string(state.name) + "' but found " + Describe(Peek()));
    }

    const ParsedParameter* FindParameter(const std::string& name) const {
        const auto it = m_parameterIndex.find(name);
        return it == m_parameterIndex.end() ? nullptr : &m_out->parameters[it->second];
    }

    // Parameters named by states must exist and be of a fitting kind.
    void CheckReferences() {
        for (const StateAssignment& a : m_references) {
            const ParsedParameter* p = FindParameter(a.parameter);
            if (!p) FailAt(a.line, "unknown parameter '" + a.parameter + "'");
            if (a.state->kind == StateKind::Texture && !p->IsTexture())
                FailAt(a.line, "'" + a.parameter + "' is not a texture");
            if (a.state->kind == StateKind::SamplerBind && !p->IsSampler())
                FailAt(a.line, "'" + a.parameter + "' is not a sampler");
            if (a.state->kind != StateKind::Texture && a.state->kind != StateKind::SamplerBind &&
                (!p->IsNumeric() || p->elements != 0 || p->rows != 1 || p->columns != 1))
                FailAt(a.line, "'" + a.parameter + "' is not a scalar");
        }
        for (const ParsedParameter& p : m_out->parameters)
            for (const StateAssignment& s : p.samplerStates)
                if (s.state->kind == StateKind::Texture && !s.null) {
                    const ParsedParameter* t = FindParameter(s.parameter);
                    if (!t || !t->IsTexture()) FailAt(s.line, "'" + s.parameter + "' is not a texture");
                }
    }

    const char* m_text;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
    ParsedEffect* m_out = nullptr;
    std::set<std::string> m_structs;
    // Parameters by name, so that files with tens of thousands of them parse in linear time.
    std::unordered_map<std::string, size_t> m_parameterIndex;
    std::vector<StateAssignment> m_references;
};

} // namespace

bool ParseEffect(const char* text, size_t size, ParsedEffect& out, std::string& error) {
    out = ParsedEffect{};
    error.clear();
    if (!text) size = 0;
    // Buffers handed over with their terminating NUL, and files saved with a UTF-8 mark.
    while (size > 0 && text[size - 1] == '\0') --size;
    if (size >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
        static_cast<unsigned char>(text[2]) == 0xBF) {
        text += 3;
        size -= 3;
    }
    if (size > kMaxEffectFileBytes) {
        error = "line 1: the file is " + std::to_string(size) + " bytes long, more than the " +
                std::to_string(kMaxEffectFileBytes >> 20) + " MiB an effect file may have";
        return false;
    }
    std::vector<Token> tokens;
    ParseError e{0, ""};
    if (!Lexer(text, size).Run(tokens, e)) {
        error = "line " + std::to_string(e.line) + ": " + e.message;
        return false;
    }
    try {
        Parser(text, std::move(tokens)).Run(out);
    } catch (const ParseError& pe) {
        error = "line " + std::to_string(pe.line) + ": " + pe.message;
        out = ParsedEffect{};
        return false;
    }
    if (out.techniques.empty()) {
        error = "line 1: the effect has no technique";
        out = ParsedEffect{};
        return false;
    }
    return true;
}

std::string BuildShaderSource(const ParsedEffect& effect, const std::string& entry) {
    std::string s;
    for (const ParsedParameter& p : effect.parameters) {
        std::string type;
        if (p.IsNumeric()) {
            if (p.rowMajorQualifier)
                type = "row_major ";
            else if (p.columnMajorQualifier)
                type = "column_major ";
            // Shader constants are float registers: int and bool parameters are read as floats,
            // as the shader models of the effect language stored them.
            type += "float";
            if (p.rows > 1)
                type += std::to_string(p.rows) + "x" + std::to_string(p.columns);
            else if (p.columns > 1)
                type += std::to_string(p.columns);
        } else if (p.IsSampler()) {
            switch (p.type) {
            case EffectType::Sampler1D: type = "sampler1D"; break;
            case EffectType::Sampler3D: type = "sampler3D"; break;
            case EffectType::SamplerCube: type = "samplerCUBE"; break;
            case EffectType::Sampler2D: type = "sampler2D"; break;
            default: type = "sampler"; break;
            }
        } else {
            continue;
        }
        s += type + " " + p.name;
        if (p.elements) s += "[" + std::to_string(p.elements) + "]";
        s += ";\n";
    }
    if (entry.empty()) {
        s += effect.hlslCode;
        return s;
    }
    // Functions reachable from the entry point (overloads share a name and come together).
    std::set<std::string> reached{entry};
    std::vector<std::string> work{entry};
    while (!work.empty()) {
        const std::string name = work.back();
        work.pop_back();
        for (const HlslChunk& c : effect.chunks) {
            if (c.name != name) continue;
            for (const std::string& used : c.uses)
                if (!reached.count(used) &&
                    std::find(effect.functions.begin(), effect.functions.end(), used) != effect.functions.end()) {
                    reached.insert(used);
                    work.push_back(used);
                }
        }
    }
    for (const HlslChunk& c : effect.chunks)
        if (c.name.empty() || reached.count(c.name)) s += c.text;
    return s;
}

} // namespace Platform
