#pragma once
// The one way every script function reads its arguments and returns its results.
//
// Arguments are read by position from 1 with one of six words:
//   Number          lua_tonumber      missing, nil or not a number reads 0
//   RequiredNumber  luaL_checknumber  Lua's argument error; the calling script stops
//   String          lua_tostring      nothing when missing or not a string/number
//   RequiredString  luaL_checkstring  Lua's argument error; the calling script stops
//   Boolean         lua_toboolean     Lua truth: only nil, false and missing are false
//   Object          lua_touserdata    a light userdata carrying an object's handle;
//                                     anything else, a dead handle, or an object of
//                                     another kind is no object (null)
// Results are pushed in order and counted; a function that pushes nothing returns no values.
//
// A function is written either as a plain C++ function of typed words, bound with
// ScriptBind<&Fn, Words...> (the words are read left to right before the body runs), or,
// where the body decides what to read (a required string read only when an object is given),
// as a function taking the ScriptCall itself, bound with ScriptBindCall<&Fn>.
//
// Lua errors unwind as C++ exceptions (the C++ build of Lua), so locals are destroyed
// properly when a required argument is missing.

#include "Framework/PMMObject.h"
#include "Script/Lua.h"
#include "Script/ScriptFunctions.h"
#include "Script/ScriptGuard.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

namespace Script {

// The light-userdata value that stands for a handle (never an address).
inline void* HandleToUserdata(PMMHandle handle) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(handle)); }

// References held on the scripts' behalf. A script gives back only references it took: through
// "AddRef", or with an object a function handed it already referenced (PushReferencedObject).
// So a script that releases once too often cannot free an object the engine still holds (its
// own script task, say); the surplus release does nothing.
void TakeScriptReference(IPMMObject* object);
// Releases one reference the scripts took on the object; false (and nothing changes) when they
// hold none.
bool GiveBackScriptReference(IPMMObject* object);
// How many references the scripts hold on the object.
int ScriptReferenceCount(const IPMMObject* object);

// A double narrowed to a float; finite values beyond the float range saturate rather than
// overflow.
float NarrowToFloat(double value);
// A double truncated toward zero; NaN gives 0 and values beyond the int range saturate.
int TruncateToInt(double value);

class ScriptCall {
public:
    explicit ScriptCall(lua_State* L) : m_L(L) {}

    lua_State* State() const { return m_L; }
    int ArgumentCount() const { return lua_gettop(m_L); }
    int TypeOf(int index) const { return lua_type(m_L, index); }
    bool IsNumber(int index) const { return lua_isnumber(m_L, index) != 0; }

    // The six argument words.
    double Number(int index) const { return lua_tonumber(m_L, index); }
    double RequiredNumber(int index) const { return luaL_checknumber(m_L, index); }
    std::optional<std::string> String(int index) const;
    std::string RequiredString(int index) const;
    bool Boolean(int index) const { return lua_toboolean(m_L, index) != 0; }
    IPMMObject* Object(int index) const { return IPMMObject::FindByHandle(Handle(index)); }
    template <class T>
    T* Object(int index) const {
        return IPMMObject::FindByHandle<T>(Handle(index));
    }
    // The handle a light userdata argument carries; 0 for anything else.
    PMMHandle Handle(int index) const;

    // Conversions of the number words as the engine stores them.
    float Float(int index) const { return NarrowToFloat(Number(index)); }
    int Integer(int index) const { return TruncateToInt(Number(index)); }
    float RequiredFloat(int index) const { return NarrowToFloat(RequiredNumber(index)); }
    int RequiredInteger(int index) const { return TruncateToInt(RequiredNumber(index)); }

    // Results, in order.
    void PushNumber(double value) {
        lua_pushnumber(m_L, value);
        ++m_results;
    }
    void PushString(std::string_view text) {
        lua_pushlstring(m_L, text.data(), text.size());
        ++m_results;
    }
    void PushBoolean(bool value) {
        lua_pushboolean(m_L, value ? 1 : 0);
        ++m_results;
    }
    // An object as a light userdata of its handle; null gives the null object (not nil).
    void PushObject(const IPMMObject* object) { PushHandle(object ? object->GetHandle() : 0); }
    // An object that the script receives with one reference of its own (which it gives back with
    // "Release"): functions whose objects are referenced for the script push them this way.
    void PushReferencedObject(IPMMObject* object) {
        TakeScriptReference(object);
        PushObject(object);
    }
    void PushHandle(PMMHandle handle) {
        lua_pushlightuserdata(m_L, HandleToUserdata(handle));
        ++m_results;
    }
    // A new table filled from 1 by fill(table-builder); counts as one result.
    template <class Fill>
    void PushTable(Fill&& fill) {
        lua_newtable(m_L);
        TableBuilder builder(m_L);
        fill(builder);
        ++m_results;
    }

    int ResultCount() const { return m_results; }

    // The table is new and has no metatable, so its slots are set raw.
    class TableBuilder {
    public:
        explicit TableBuilder(lua_State* L) : m_L(L) {}
        void AddNumber(double value) {
            lua_pushnumber(m_L, value);
            lua_rawseti(m_L, -2, ++m_next);
        }
        void AddString(std::string_view text) {
            lua_pushlstring(m_L, text.data(), text.size());
            lua_rawseti(m_L, -2, ++m_next);
        }
        void AddBoolean(bool value) {
            lua_pushboolean(m_L, value ? 1 : 0);
            lua_rawseti(m_L, -2, ++m_next);
        }
        void AddObject(const IPMMObject* object) {
            lua_pushlightuserdata(m_L, HandleToUserdata(object ? object->GetHandle() : 0));
            lua_rawseti(m_L, -2, ++m_next);
        }
        int Count() const { return m_next; }

    private:
        lua_State* m_L;
        int m_next = 0;
    };

private:
    lua_State* m_L;
    int m_results = 0;
};

// The argument words as types, for ScriptBind.
namespace Arg {
struct Number {
    using Type = double;
    static Type Read(const ScriptCall& call, int index) { return call.Number(index); }
};
struct RequiredNumber {
    using Type = double;
    static Type Read(const ScriptCall& call, int index) { return call.RequiredNumber(index); }
};
struct String {
    using Type = std::optional<std::string>;
    static Type Read(const ScriptCall& call, int index) { return call.String(index); }
};
struct RequiredString {
    using Type = std::string;
    static Type Read(const ScriptCall& call, int index) { return call.RequiredString(index); }
};
struct Boolean {
    using Type = bool;
    static Type Read(const ScriptCall& call, int index) { return call.Boolean(index); }
};
template <class T = IPMMObject>
struct Object {
    using Type = T*;
    static Type Read(const ScriptCall& call, int index) { return call.template Object<T>(index); }
};
} // namespace Arg

namespace Detail {
template <class... Words, std::size_t... I>
std::tuple<typename Words::Type...> ReadWords(const ScriptCall& call, std::index_sequence<I...>) {
    // A braced list evaluates left to right, so arguments are read (and a required one
    // raises) in position order.
    return std::tuple<typename Words::Type...>{Words::Read(call, static_cast<int>(I) + 1)...};
}
// Marks a bound function as timing its own engine call, once, before main.
template <lua_CFunction F>
struct TimesItself {
    static inline const bool marked = MarkTimesItsEngineCall(F);
};
} // namespace Detail

// A lua_CFunction from `void Fn(ScriptCall&, Words::Type...)`.
template <auto Fn, class... Words>
int ScriptBind(lua_State* L) {
    (void)&Detail::TimesItself<&ScriptBind<Fn, Words...>>::marked;
    ScriptGuard::EngineCall timing(L);
    ScriptCall call(L);
    {
        auto args = Detail::ReadWords<Words...>(call, std::index_sequence_for<Words...>{});
        std::apply([&call](auto&&... a) { Fn(call, std::forward<decltype(a)>(a)...); }, std::move(args));
    }
    return call.ResultCount();
}

// A lua_CFunction from `void Fn(ScriptCall&)`.
template <void (*Fn)(ScriptCall&)>
int ScriptBindCall(lua_State* L) {
    (void)&Detail::TimesItself<&ScriptBindCall<Fn>>::marked;
    ScriptGuard::EngineCall timing(L);
    ScriptCall call(L);
    Fn(call);
    return call.ResultCount();
}

} // namespace Script
