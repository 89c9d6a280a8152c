#pragma once
// The owner of every game script and the one router of commands to them. Scripts are created
// and loaded from "Data\Scripts\list.dat" and kept by name and under each of their categories;
// commands are queued to a script by name, to every script of a category, or to one script by
// object. A command for a script that is missing or not running is dropped silently.

#include "Framework/CommandRouter.h"
#include "Framework/LegacyHashMap.h"
#include "Framework/PMMObject.h"
#include "Script/PLuaScript.h"
#include "Script/SPCommand.h"

#include <string>
#include <vector>

class CPScriptManager : public IPCommandRouter {
public:
    CPScriptManager();
    // Queues "release_all" to every script, empties the categories, then releases the scripts.
    ~CPScriptManager() override;
    CPScriptManager(const CPScriptManager&) = delete;
    CPScriptManager& operator=(const CPScriptManager&) = delete;

    static CPScriptManager* GetInstance() { return s_instance; }

    // Reads the list and loads every script it names. False when the list cannot be read or a
    // script file is missing (the list ends at that line; the scripts before it stay).
    bool LoadScriptList();

    void SendCommandByName(const std::string& name, const std::string& command, const std::string& params) override;
    void SendCommandByCategory(const std::string& category, const std::string& command,
                               const std::string& params) override;
    // Queues to the given script; null, or an object that is not a script, does nothing.
    void SendCommandByObject(IPMMObject* script, const std::string& command, const std::string& params) override;
    void SendCommandByObject(CPSmartPtr<CPLuaScript> script, const std::string& command, const std::string& params);

    // A new counted handle to the script of that name, or an empty one.
    CPSmartPtr<CPLuaScript> GetScript(const std::string& name) const;
    // The scripts of a category in list order (empty when there is no such category).
    std::vector<CPLuaScript*> GetCategory(const std::string& category) const;

    // The command a parameter text makes: tokens split at commas, quotes honoured, trimmed.
    static SPCommand MakeCommand(const std::string& command, const std::string& params);

private:
    static void Deliver(CPLuaScript* script, const SPCommand& command);
    // Takes a released script out of every category list.
    void ForgetInCategories(const CPLuaScript* script);

    static CPScriptManager* s_instance;

    LegacyHashMap<CPSmartPtr<CPLuaScript>> m_scripts{100};
    LegacyHashMap<std::vector<CPLuaScript*>> m_categories{100};
};

// The script manager, or null before it exists.
inline CPScriptManager* GetScriptManager() { return CPScriptManager::GetInstance(); }
