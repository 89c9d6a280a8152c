#include "Framework/CommandRouter.h"

namespace {
IPCommandRouter* g_commandRouter = nullptr;
}

IPCommandRouter* GetCommandRouter() { return g_commandRouter; }
void SetCommandRouter(IPCommandRouter* router) { g_commandRouter = router; }

void RouteCommandByName(const std::string& name, const std::string& command, const std::string& params) {
    if (g_commandRouter) g_commandRouter->SendCommandByName(name, command, params);
}

void RouteCommandByCategory(const std::string& category, const std::string& command, const std::string& params) {
    if (g_commandRouter) g_commandRouter->SendCommandByCategory(category, command, params);
}

void RouteCommandByObject(IPMMObject* script, const std::string& command, const std::string& params) {
    if (g_commandRouter && script) g_commandRouter->SendCommandByObject(script, command, params);
}
