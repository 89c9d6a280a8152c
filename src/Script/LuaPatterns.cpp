#include "Script/LuaPatterns.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace Script {

namespace {

constexpr char kEscape = '%';
constexpr int kMaxCaptures = 32;
constexpr std::ptrdiff_t kCaptureUnfinished = -1;
constexpr std::ptrdiff_t kCapturePosition = -2;
// The characters that make find use the matcher instead of a plain search.
constexpr const char* kSpecials = "^$*+?.([%-";

// Every recursion of the matcher passes one of the characters counted here outside escapes and
// sets, so their number bounds its depth; Lua 5.2 and later refuse beyond 200 as well.
constexpr int kMaxPatternDepth = 200;

bool PatternTooDeep(const char* pattern, std::size_t size) {
    constexpr std::string_view kRecursing = "()?*+-";
    int depth = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = pattern[i];
        if (c == kEscape) {
            ++i; // an escaped character is matched as itself
        } else if (c == '[') {
            // A set is matched in one step whatever it holds; a ']' right after "[" or "[^" is
            // one of its characters.
            ++i;
            if (i < size && pattern[i] == '^') ++i;
            if (i < size && pattern[i] == ']') ++i;
            while (i < size && pattern[i] != ']') i += pattern[i] == kEscape ? 2 : 1;
        } else if (kRecursing.find(c) != std::string_view::npos && ++depth > kMaxPatternDepth) {
            return true;
        }
    }
    return false;
}

// The subject and pattern are Lua strings: a zero byte always follows their last character,
// and the matcher reads it where Lua 5.1's does (a pattern ends at its first zero byte).
struct MatchState {
    const char* sourceStart;
    const char* sourceEnd;
    lua_State* L;
    int level = 0;
    int depth = 0;
    std::size_t stepsLeft;
    struct {
        const char* init;
        std::ptrdiff_t len;
    } capture[kMaxCaptures];

    MatchState(lua_State* state, const char* s, std::size_t length)
        : sourceStart(s), sourceEnd(s + length), L(state),
          stepsLeft(kPatternStepBudget + kPatternStepsPerByte * length) {}

    void Step() {
        if (stepsLeft == 0) luaL_error(L, "pattern too complex");
        --stepsLeft;
    }
};

const char* Match(MatchState& ms, const char* s, const char* p);

int CheckCapture(MatchState& ms, int l) {
    l -= '1';
    if (l < 0 || l >= ms.level || ms.capture[l].len == kCaptureUnfinished)
        return luaL_error(ms.L, "invalid capture index");
    return l;
}

int CaptureToClose(MatchState& ms) {
    int level = ms.level;
    for (level--; level >= 0; level--)
        if (ms.capture[level].len == kCaptureUnfinished) return level;
    return luaL_error(ms.L, "invalid pattern capture");
}

const char* ClassEnd(MatchState& ms, const char* p) {
    switch (*p++) {
    case kEscape:
        if (*p == '\0') luaL_error(ms.L, "malformed pattern (ends with '%%')");
        return p + 1;
    case '[':
        if (*p == '^') p++;
        do { // look for a ']'
            if (*p == '\0') luaL_error(ms.L, "malformed pattern (missing ']')");
            if (*(p++) == kEscape && *p != '\0') p++; // skip escapes (e.g. '%]')
        } while (*p != ']');
        return p + 1;
    default: return p;
    }
}

// The character classes answer as the C library does in the engine's C locale.
bool MatchClass(int c, int cl) {
    bool res;
    switch (std::tolower(cl)) {
    case 'a': res = std::isalpha(c); break;
    case 'c': res = std::iscntrl(c); break;
    case 'd': res = std::isdigit(c); break;
    case 'l': res = std::islower(c); break;
    case 'p': res = std::ispunct(c); break;
    case 's': res = std::isspace(c); break;
    case 'u': res = std::isupper(c); break;
    case 'w': res = std::isalnum(c); break;
    case 'x': res = std::isxdigit(c); break;
    case 'z': res = (c == 0); break;
    default: return cl == c;
    }
    return std::isupper(cl) ? !res : res;
}

// p at the set's '[', ec at its closing ']'.
bool MatchBracketClass(int c, const char* p, const char* ec) {
    bool sig = true;
    if (*(p + 1) == '^') {
        sig = false;
        p++; // skip the '^'
    }
    while (++p < ec) {
        if (*p == kEscape) {
            p++;
            if (MatchClass(c, static_cast<unsigned char>(*p))) return sig;
        } else if (*(p + 1) == '-' && p + 2 < ec) {
            p += 2;
            if (static_cast<unsigned char>(*(p - 2)) <= c && c <= static_cast<unsigned char>(*p)) return sig;
        } else if (static_cast<unsigned char>(*p) == c) {
            return sig;
        }
    }
    return !sig;
}

bool SingleMatch(int c, const char* p, const char* ep) {
    switch (*p) {
    case '.': return true;
    case kEscape: return MatchClass(c, static_cast<unsigned char>(*(p + 1)));
    case '[': return MatchBracketClass(c, p, ep - 1);
    default: return static_cast<unsigned char>(*p) == c;
    }
}

const char* MatchBalance(MatchState& ms, const char* s, const char* p) {
    if (*p == 0 || *(p + 1) == 0) luaL_error(ms.L, "unbalanced pattern");
    if (*s != *p) return nullptr;
    const int open = *p, close = *(p + 1);
    int count = 1;
    while (++s < ms.sourceEnd) {
        ms.Step();
        if (*s == close) {
            if (--count == 0) return s + 1;
        } else if (*s == open) {
            count++;
        }
    }
    return nullptr; // string ends out of balance
}

const char* MaxExpand(MatchState& ms, const char* s, const char* p, const char* ep) {
    std::ptrdiff_t i = 0; // counts maximum expand for item
    while (s + i < ms.sourceEnd && SingleMatch(static_cast<unsigned char>(*(s + i)), p, ep)) {
        ms.Step();
        i++;
    }
    // Tries with the maximum repetitions, then fewer.
    while (i >= 0) {
        if (const char* res = Match(ms, s + i, ep + 1)) return res;
        i--;
    }
    return nullptr;
}

const char* MinExpand(MatchState& ms, const char* s, const char* p, const char* ep) {
    for (;;) {
        if (const char* res = Match(ms, s, ep + 1)) return res;
        if (s < ms.sourceEnd && SingleMatch(static_cast<unsigned char>(*s), p, ep))
            s++; // try with one more repetition
        else
            return nullptr;
    }
}

const char* StartCapture(MatchState& ms, const char* s, const char* p, std::ptrdiff_t what) {
    const int level = ms.level;
    if (level >= kMaxCaptures) luaL_error(ms.L, "too many captures");
    ms.capture[level].init = s;
    ms.capture[level].len = what;
    ms.level = level + 1;
    const char* res = Match(ms, s, p);
    if (!res) ms.level--; // undo capture
    return res;
}

const char* EndCapture(MatchState& ms, const char* s, const char* p) {
    const int l = CaptureToClose(ms);
    ms.capture[l].len = s - ms.capture[l].init; // close capture
    const char* res = Match(ms, s, p);
    if (!res) ms.capture[l].len = kCaptureUnfinished; // undo capture
    return res;
}

const char* MatchCapture(MatchState& ms, const char* s, int l) {
    l = CheckCapture(ms, l);
    const std::size_t len = static_cast<std::size_t>(ms.capture[l].len);
    if (static_cast<std::size_t>(ms.sourceEnd - s) >= len && std::memcmp(ms.capture[l].init, s, len) == 0)
        return s + len;
    return nullptr;
}

// Keeps the depth count right however Match leaves (a result, no match, or a Lua error).
struct DepthGuard {
    explicit DepthGuard(MatchState& state) : ms(state) {
        if (++ms.depth > kMaxPatternDepth + 8) luaL_error(ms.L, "pattern too complex");
    }
    ~DepthGuard() { --ms.depth; }
    MatchState& ms;
};

const char* Match(MatchState& ms, const char* s, const char* p) {
    DepthGuard guard(ms);
init: // using goto to keep the recursion for what needs it
    ms.Step();
    switch (*p) {
    case '(':
        if (*(p + 1) == ')') return StartCapture(ms, s, p + 2, kCapturePosition);
        return StartCapture(ms, s, p + 1, kCaptureUnfinished);
    case ')': return EndCapture(ms, s, p + 1);
    case kEscape:
        switch (*(p + 1)) {
        case 'b':
            s = MatchBalance(ms, s, p + 2);
            if (!s) return nullptr;
            p += 4;
            goto init;
        case 'f': {
            p += 2;
            if (*p != '[') luaL_error(ms.L, "missing '[' after '%%f' in pattern");
            const char* ep = ClassEnd(ms, p);
            const char previous = (s == ms.sourceStart) ? '\0' : *(s - 1);
            if (MatchBracketClass(static_cast<unsigned char>(previous), p, ep - 1) ||
                !MatchBracketClass(static_cast<unsigned char>(*s), p, ep - 1))
                return nullptr;
            p = ep;
            goto init;
        }
        default:
            if (std::isdigit(static_cast<unsigned char>(*(p + 1)))) { // back reference %0-9
                s = MatchCapture(ms, s, static_cast<unsigned char>(*(p + 1)));
                if (!s) return nullptr;
                p += 2;
                goto init;
            }
            break;
        }
        break;
    case '\0': return s; // end of pattern
    case '$':
        if (*(p + 1) == '\0') return (s == ms.sourceEnd) ? s : nullptr;
        break;
    default: break;
    }
    const char* ep = ClassEnd(ms, p); // points to what is next
    const bool m = s < ms.sourceEnd && SingleMatch(static_cast<unsigned char>(*s), p, ep);
    switch (*ep) {
    case '?':
        if (m) {
            if (const char* res = Match(ms, s + 1, ep + 1)) return res;
        }
        p = ep + 1;
        goto init;
    case '*': return MaxExpand(ms, s, p, ep);
    case '+': return m ? MaxExpand(ms, s + 1, p, ep) : nullptr;
    case '-': return MinExpand(ms, s, p, ep);
    default:
        if (!m) return nullptr;
        s++;
        p = ep;
        goto init;
    }
}

void PushOneCapture(MatchState& ms, int i, const char* s, const char* e) {
    if (i >= ms.level) {
        if (i == 0)                                                    // ms.level == 0, too
            lua_pushlstring(ms.L, s, static_cast<std::size_t>(e - s)); // add whole match
        else
            luaL_error(ms.L, "invalid capture index");
        return;
    }
    const std::ptrdiff_t l = ms.capture[i].len;
    if (l == kCaptureUnfinished) luaL_error(ms.L, "unfinished capture");
    if (l == kCapturePosition)
        lua_pushinteger(ms.L, ms.capture[i].init - ms.sourceStart + 1);
    else
        lua_pushlstring(ms.L, ms.capture[i].init, static_cast<std::size_t>(l));
}

int PushCaptures(MatchState& ms, const char* s, const char* e) {
    const int levels = (ms.level == 0 && s) ? 1 : ms.level;
    luaL_checkstack(ms.L, levels, "too many captures");
    for (int i = 0; i < levels; i++) PushOneCapture(ms, i, s, e);
    return levels; // number of strings pushed
}

// A relative string position: negative means back from the end.
std::ptrdiff_t RelativePosition(std::ptrdiff_t pos, std::size_t len) {
    if (pos < 0) pos += static_cast<std::ptrdiff_t>(len) + 1;
    return pos >= 0 ? pos : 0;
}

void RefuseDeepPattern(lua_State* L, const char* p) {
    if (PatternTooDeep(p, std::strlen(p))) luaL_error(L, "pattern too complex");
}

// The library's own function, kept as the first upvalue, does what needs no matcher (find's
// plain search), in this frame so its errors name the function the script called.
int CallLibraryFunction(lua_State* L) { return lua_tocfunction(L, lua_upvalueindex(1))(L); }

int FindOrMatch(lua_State* L, bool find) {
    std::size_t l1 = 0, l2 = 0;
    const char* s = luaL_checklstring(L, 1, &l1);
    const char* p = luaL_checklstring(L, 2, &l2);
    std::ptrdiff_t init = RelativePosition(luaL_optinteger(L, 3, 1), l1) - 1;
    if (init < 0)
        init = 0;
    else if (static_cast<std::size_t>(init) > l1)
        init = static_cast<std::ptrdiff_t>(l1);
    if (find && (lua_toboolean(L, 4) || std::strpbrk(p, kSpecials) == nullptr)) return CallLibraryFunction(L);
    RefuseDeepPattern(L, p);
    MatchState ms(L, s, l1);
    const bool anchor = (*p == '^');
    if (anchor) p++; // skip the anchor character
    const char* s1 = s + init;
    do {
        ms.level = 0;
        if (const char* res = Match(ms, s1, p)) {
            if (find) {
                lua_pushinteger(L, s1 - s + 1); // start
                lua_pushinteger(L, res - s);    // end
                return PushCaptures(ms, nullptr, nullptr) + 2;
            }
            return PushCaptures(ms, s1, res);
        }
    } while (s1++ < ms.sourceEnd && !anchor);
    lua_pushnil(L); // not found
    return 1;
}

int Find(lua_State* L) { return FindOrMatch(L, true); }
int MatchFunction(lua_State* L) { return FindOrMatch(L, false); }

int GmatchStep(lua_State* L) {
    std::size_t ls = 0;
    const char* s = lua_tolstring(L, lua_upvalueindex(1), &ls);
    const char* p = lua_tostring(L, lua_upvalueindex(2));
    MatchState ms(L, s, ls);
    for (const char* src = s + static_cast<std::ptrdiff_t>(lua_tointeger(L, lua_upvalueindex(3))); src <= ms.sourceEnd;
         src++) {
        ms.level = 0;
        if (const char* e = Match(ms, src, p)) {
            lua_Integer newStart = e - s;
            if (e == src) newStart++; // empty match? go at least one position
            lua_pushinteger(L, newStart);
            lua_replace(L, lua_upvalueindex(3));
            return PushCaptures(ms, src, e);
        }
    }
    return 0; // not found
}

int Gmatch(lua_State* L) {
    luaL_checkstring(L, 1);
    luaL_checkstring(L, 2);
    RefuseDeepPattern(L, lua_tostring(L, 2));
    lua_settop(L, 2);
    lua_pushinteger(L, 0);
    lua_pushcclosure(L, GmatchStep, 3);
    return 1;
}

void AddString(MatchState& ms, luaL_Buffer* b, const char* s, const char* e) {
    std::size_t l = 0;
    const char* news = lua_tolstring(ms.L, 3, &l);
    for (std::size_t i = 0; i < l; i++) {
        if (news[i] != kEscape) {
            luaL_addchar(b, news[i]);
            continue;
        }
        i++; // skip the escape; at the end this reads the string's closing zero, as Lua 5.1 does
        if (!std::isdigit(static_cast<unsigned char>(news[i]))) {
            luaL_addchar(b, news[i]);
        } else if (news[i] == '0') {
            luaL_addlstring(b, s, static_cast<std::size_t>(e - s));
        } else {
            PushOneCapture(ms, news[i] - '1', s, e);
            luaL_addvalue(b); // add capture to accumulated result
        }
    }
}

void AddValue(MatchState& ms, luaL_Buffer* b, const char* s, const char* e) {
    lua_State* L = ms.L;
    switch (lua_type(L, 3)) {
    case LUA_TNUMBER:
    case LUA_TSTRING: AddString(ms, b, s, e); return;
    case LUA_TFUNCTION: {
        lua_pushvalue(L, 3);
        const int n = PushCaptures(ms, s, e);
        lua_call(L, n, 1);
        break;
    }
    case LUA_TTABLE:
        PushOneCapture(ms, 0, s, e);
        lua_gettable(L, 3);
        break;
    default: break;
    }
    if (!lua_toboolean(L, -1)) { // nil or false?
        lua_pop(L, 1);
        lua_pushlstring(L, s, static_cast<std::size_t>(e - s)); // keep original text
    } else if (!lua_isstring(L, -1)) {
        luaL_error(L, "invalid replacement value (a %s)", luaL_typename(L, -1));
    }
    luaL_addvalue(b); // add result to accumulator
}

int Gsub(lua_State* L) {
    std::size_t srcl = 0;
    const char* src = luaL_checklstring(L, 1, &srcl);
    const char* p = luaL_checkstring(L, 2);
    const int tr = lua_type(L, 3);
    const int maxS = luaL_optint(L, 4, static_cast<int>(srcl) + 1);
    luaL_argcheck(L, tr == LUA_TNUMBER || tr == LUA_TSTRING || tr == LUA_TFUNCTION || tr == LUA_TTABLE, 3,
                  "string/function/table expected");
    RefuseDeepPattern(L, p);
    const bool anchor = (*p == '^');
    if (anchor) p++; // skip the anchor character
    int n = 0;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    MatchState ms(L, src, srcl);
    while (n < maxS) {
        ms.level = 0;
        const char* e = Match(ms, src, p);
        if (e) {
            n++;
            AddValue(ms, &b, src, e);
        }
        if (e && e > src) // non-empty match?
            src = e;      // skip it
        else if (src < ms.sourceEnd)
            luaL_addchar(&b, *src++);
        else
            break;
        if (anchor) break;
    }
    luaL_addlstring(&b, src, static_cast<std::size_t>(ms.sourceEnd - src));
    luaL_pushresult(&b);
    lua_pushinteger(L, n); // number of substitutions
    return 2;
}

} // namespace

void InstallPatternFunctions(lua_State* L) {
    lua_getfield(L, LUA_GLOBALSINDEX, "string");
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return;
    }
    struct Replacement {
        const char* name;
        lua_CFunction function;
    };
    for (const Replacement& r :
         {Replacement{"find", Find}, Replacement{"match", MatchFunction}, Replacement{"gmatch", Gmatch},
          Replacement{"gfind", Gmatch}, Replacement{"gsub", Gsub}}) {
        lua_getfield(L, -1, r.name);
        if (!lua_tocfunction(L, -1)) {
            lua_pop(L, 1);
            continue;
        }
        lua_pushcclosure(L, r.function, 1); // the library's function, for find's plain search
        lua_setfield(L, -2, r.name);
    }
    lua_pop(L, 1);
}

} // namespace Script
