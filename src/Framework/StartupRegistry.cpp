#include "Framework/StartupRegistry.h"

namespace {
SPStartupRegistry g_registry;
} // namespace

SPStartupRegistry& GetStartupRegistry() { return g_registry; }

void ResetStartupRegistry() { g_registry = SPStartupRegistry(); }
