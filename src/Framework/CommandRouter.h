#pragma once
// The way code below the script host sends commands to scripts. The script
// manager installs itself as the router at start-up; until then (and in tests
// that install none) commands are dropped, as commands to a missing script are.

#include <string>

class IPMMObject;

class IPCommandRouter {
public:
    virtual ~IPCommandRouter() = default;
    // Queues the command to the script of that name (exact, case-sensitive).
    virtual void SendCommandByName(const std::string& name, const std::string& command, const std::string& params) = 0;
    // Queues the command to every script listed under the category.
    virtual void SendCommandByCategory(const std::string& category, const std::string& command,
                                       const std::string& params) = 0;
    // Queues the command to the given script object; null or not a script does nothing.
    virtual void SendCommandByObject(IPMMObject* script, const std::string& command, const std::string& params) = 0;
};

// The installed router (not owned), or null.
IPCommandRouter* GetCommandRouter();
void SetCommandRouter(IPCommandRouter* router);

// Convenience senders: silently dropped when no router is installed.
void RouteCommandByName(const std::string& name, const std::string& command, const std::string& params);
void RouteCommandByCategory(const std::string& category, const std::string& command, const std::string& params);
void RouteCommandByObject(IPMMObject* script, const std::string& command, const std::string& params);
