#include "Script/PScriptManager.h"

#include "Framework/PTextReader.h"
#include "Framework/StringUtils.h"
#include "Script/ScriptText.h"

#include <algorithm>

CPScriptManager* CPScriptManager::s_instance = nullptr;

CPScriptManager::CPScriptManager() {
    s_instance = this;
    SetCommandRouter(this);
}

CPScriptManager::~CPScriptManager() {
    for (auto& entry : m_scripts)
        if (entry.second) entry.second->SendReleaseAll();
    m_categories.clear();
    m_scripts.clear();
    if (GetCommandRouter() == this) SetCommandRouter(nullptr);
    if (s_instance == this) s_instance = nullptr;
}

bool CPScriptManager::LoadScriptList() {
    std::vector<std::string> lines;
    if (!ReadTextFileLines("Data\\Scripts\\list.dat", lines)) return false;

    for (const std::string& line : lines) {
        std::vector<std::string> tokens = Script::SplitText(line, " ");
        std::string name = tokens.empty() ? std::string() : tokens[0];
        const std::string kindWord = tokens.size() > 1 ? tokens[1] : std::string();
        std::vector<std::string> categories;
        for (std::size_t i = 2; i < tokens.size(); ++i) categories.push_back(Lowered(Trimmed(tokens[i])));
        Trim(name);
        ToLower(name);

        CPSmartPtr<CPLuaScript> script(new CPLuaScript());
        if (kindWord == "t_level")
            script->SetKind(CPLuaScript::KindLevel);
        else if (kindWord == "t_interface")
            script->SetKind(CPLuaScript::KindInterface);
        else if (kindWord == "t_system")
            script->SetKind(CPLuaScript::KindSystem);

        // A missing script file ends the list; the scripts entered so far stay.
        if (script->Load(name) < 0) return false;

        auto existing = m_scripts.find(name);
        if (existing != m_scripts.end()) {
            // The earlier script of this name is released: its category entries must go with it.
            CPLuaScript* old = existing->second.Get();
            if (old != script.Get()) ForgetInCategories(old);
            existing->second = script;
        } else {
            m_scripts.insert(name, script);
        }
        for (const std::string& category : categories) m_categories[category].push_back(script.Get());
    }
    return true;
}

void CPScriptManager::ForgetInCategories(const CPLuaScript* script) {
    for (auto& entry : m_categories) {
        auto& list = entry.second;
        list.erase(std::remove(list.begin(), list.end(), script), list.end());
    }
}

SPCommand CPScriptManager::MakeCommand(const std::string& command, const std::string& params) {
    return SPCommand{command, Script::SplitText(params, ",")};
}

void CPScriptManager::Deliver(CPLuaScript* script, const SPCommand& command) {
    if (script && script->IsRunning()) script->QueueCommand(command);
}

void CPScriptManager::SendCommandByName(const std::string& name, const std::string& command,
                                        const std::string& params) {
    auto it = m_scripts.find(name);
    if (it == m_scripts.end()) return;
    Deliver(it->second.Get(), MakeCommand(command, params));
}

void CPScriptManager::SendCommandByCategory(const std::string& category, const std::string& command,
                                            const std::string& params) {
    auto it = m_categories.find(category);
    if (it == m_categories.end()) return;
    const SPCommand built = MakeCommand(command, params);
    // Delivering only queues the command (no script runs from here), so the list cannot change
    // under the walk.
    for (CPLuaScript* script : it->second) Deliver(script, built);
}

void CPScriptManager::SendCommandByObject(IPMMObject* script, const std::string& command, const std::string& params) {
    SendCommandByObject(CPSmartPtr<CPLuaScript>(dynamic_cast<CPLuaScript*>(script)), command, params);
}

void CPScriptManager::SendCommandByObject(CPSmartPtr<CPLuaScript> script, const std::string& command,
                                          const std::string& params) {
    if (!script) return;
    Deliver(script.Get(), MakeCommand(command, params));
}

CPSmartPtr<CPLuaScript> CPScriptManager::GetScript(const std::string& name) const {
    auto it = m_scripts.find(name);
    if (it == m_scripts.end()) return CPSmartPtr<CPLuaScript>();
    return it->second;
}

std::vector<CPLuaScript*> CPScriptManager::GetCategory(const std::string& category) const {
    auto it = m_categories.find(category);
    if (it == m_categories.end()) return {};
    return it->second;
}
