#include "Script/ScriptBinding.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <unordered_map>

namespace Script {
namespace {

// Handle -> references the scripts hold. Handles are never reused, so an entry cannot be taken
// over by a later object.
std::unordered_map<PMMHandle, int>& ScriptReferences() {
    static std::unordered_map<PMMHandle, int> references;
    return references;
}

} // namespace

void TakeScriptReference(IPMMObject* object) {
    if (!object) return;
    object->AddRef();
    ++ScriptReferences()[object->GetHandle()];
}

bool GiveBackScriptReference(IPMMObject* object) {
    if (!object) return false;
    auto& references = ScriptReferences();
    auto it = references.find(object->GetHandle());
    if (it == references.end()) return false;
    if (--it->second <= 0) references.erase(it);
    object->Release();
    return true;
}

int ScriptReferenceCount(const IPMMObject* object) {
    if (!object) return 0;
    const auto& references = ScriptReferences();
    auto it = references.find(object->GetHandle());
    return it == references.end() ? 0 : it->second;
}

float NarrowToFloat(double value) {
    if (std::isnan(value) || std::isinf(value)) return static_cast<float>(value);
    if (value > FLT_MAX) return FLT_MAX;
    if (value < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(value);
}

int TruncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

std::optional<std::string> ScriptCall::String(int index) const {
    std::size_t length = 0;
    const char* text = lua_tolstring(m_L, index, &length);
    if (!text) return std::nullopt;
    return std::string(text, length);
}

std::string ScriptCall::RequiredString(int index) const {
    std::size_t length = 0;
    const char* text = luaL_checklstring(m_L, index, &length);
    return std::string(text, length);
}

PMMHandle ScriptCall::Handle(int index) const {
    // Only a light userdata carries a handle; a full userdata (an io file, say) is no object.
    if (lua_type(m_L, index) != LUA_TLIGHTUSERDATA) return 0;
    auto value = reinterpret_cast<std::uintptr_t>(lua_touserdata(m_L, index));
    if (value > UINT32_MAX) return 0;
    return static_cast<PMMHandle>(value);
}

} // namespace Script
