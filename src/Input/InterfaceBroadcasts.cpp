#include "Input/InterfaceBroadcasts.h"

namespace {
IPInterfaceBroadcasts* g_interfaceBroadcasts = nullptr;
}

IPInterfaceBroadcasts* GetInterfaceBroadcasts() { return g_interfaceBroadcasts; }
void SetInterfaceBroadcasts(IPInterfaceBroadcasts* broadcasts) { g_interfaceBroadcasts = broadcasts; }
