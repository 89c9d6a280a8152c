#include "Render/PDeviceListener.h"

namespace {

// Allocated on first use and never freed, so a listener destroyed late during process exit
// never meets a dead list.
std::list<IPDeviceListener*>& Listeners() {
    static auto* listeners = new std::list<IPDeviceListener*>;
    return *listeners;
}

} // namespace

IPDeviceListener::IPDeviceListener() { m_node = Listeners().insert(Listeners().end(), this); }

IPDeviceListener::~IPDeviceListener() { Listeners().erase(m_node); }

// The next node is taken before each call, so a listener that destroys itself in its handler
// does not break the walk; one created during the walk is reached in the same walk.
void IPDeviceListener::BroadcastDeviceLost() {
    auto& list = Listeners();
    for (auto it = list.begin(); it != list.end();) {
        IPDeviceListener* listener = *it++;
        listener->OnDeviceLost();
    }
}

void IPDeviceListener::BroadcastDeviceReset() {
    auto& list = Listeners();
    for (auto it = list.begin(); it != list.end();) {
        IPDeviceListener* listener = *it++;
        listener->OnDeviceReset();
    }
}

std::size_t IPDeviceListener::ListenerCount() { return Listeners().size(); }
