#pragma once
// What the script-function fuzz targets share: reading an input byte by byte, and pushing one
// hostile argument onto a Lua stack as the input chooses (nil, booleans, picked and raw
// numbers, any bytes or picked names as text, tables, handles of live, dead and made-up
// objects, and made-up pointers).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Framework/PMMObject.h"
#include "Script/Lua.h"
#include "Script/ScriptBinding.h"

namespace kxfuzz {

// An input read from the front; past its end every byte reads 0 and every run is short.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_position >= m_size; }
    std::uint8_t Byte() { return m_position < m_size ? m_data[m_position++] : 0; }
    std::string Bytes(std::size_t n) {
        n = std::min(n, m_size - std::min(m_position, m_size));
        std::string out(reinterpret_cast<const char*>(m_data) + m_position, n);
        m_position += n;
        return out;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

// The arguments one target offers. Each target keeps its own lists, so its corpus keeps
// reaching the same values.
struct ArgumentKinds {
    const double* numbers;
    std::size_t numberCount;
    const char* const* texts;
    std::size_t textCount;
    // Texts of any bytes are shorter than this.
    std::size_t textLimit;
    // A table may hold one entry (one more byte read).
    bool tableMayHoldEntry;
    // The last kind is a made-up pointer of four bytes; otherwise it is a handle too.
    bool madeUpPointers;
};

template <std::size_t N, std::size_t M>
ArgumentKinds MakeArgumentKinds(const double (&numbers)[N], const char* const (&texts)[M], std::size_t textLimit,
                                bool tableMayHoldEntry, bool madeUpPointers) {
    return ArgumentKinds{numbers, N, texts, M, textLimit, tableMayHoldEntry, madeUpPointers};
}

// Pushes one argument: [kind byte][its bytes]. A handle byte of 0xF0 or more is taken as the
// handle itself (dead or made up); below that it picks one of `handles`.
inline void PushArgument(lua_State* L, Input& in, const ArgumentKinds& kinds, const std::vector<PMMHandle>& handles) {
    const int kind = in.Byte() % 10;
    switch (kind) {
    case 0: lua_pushnil(L); break;
    case 1: lua_pushboolean(L, 0); break;
    case 2: lua_pushboolean(L, 1); break;
    case 3: lua_pushnumber(L, kinds.numbers[in.Byte() % kinds.numberCount]); break;
    case 4: {
        const std::string bits = in.Bytes(8);
        double value = 0;
        std::memcpy(&value, bits.data(), bits.size());
        lua_pushnumber(L, value);
        break;
    }
    case 5: {
        const std::string text = in.Bytes(in.Byte() % kinds.textLimit);
        lua_pushlstring(L, text.data(), text.size());
        break;
    }
    case 6: lua_pushstring(L, kinds.texts[in.Byte() % kinds.textCount]); break;
    case 7:
        lua_newtable(L);
        if (kinds.tableMayHoldEntry && (in.Byte() & 1)) {
            lua_pushnumber(L, 1);
            lua_rawseti(L, -2, 1);
        }
        break;
    default:
        if (kind == 8 || !kinds.madeUpPointers) {
            const std::uint8_t which = in.Byte();
            const PMMHandle handle = handles.empty() ? 0 : handles[which % handles.size()];
            lua_pushlightuserdata(L, Script::HandleToUserdata(which >= 0xF0 ? PMMHandle(which) : handle));
        } else {
            std::uint32_t value = 0;
            const std::string bits = in.Bytes(4);
            std::memcpy(&value, bits.data(), bits.size());
            lua_pushlightuserdata(L, reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)));
        }
        break;
    }
}

// One call of the input: [function byte][control byte][arguments...]. The function byte picks
// a global function by name, the control byte's low three bits (modulo `argumentLimit`) count
// its arguments; what it leaves on the stack is dropped. Answers the control byte, whose other
// bits the target reads as it likes.
inline std::uint8_t CallOne(lua_State* L, Input& in, const std::vector<std::string>& names, int argumentLimit,
                            int results, const ArgumentKinds& kinds, const std::vector<PMMHandle>& handles) {
    const std::string& name = names[in.Byte() % names.size()];
    const std::uint8_t control = in.Byte();
    const int base = lua_gettop(L);
    lua_getglobal(L, name.c_str());
    const int argc = (control & 7) % argumentLimit;
    for (int i = 0; i < argc; ++i) PushArgument(L, in, kinds, handles);
    lua_pcall(L, argc, results, 0);
    lua_settop(L, base);
    return control;
}

} // namespace kxfuzz
