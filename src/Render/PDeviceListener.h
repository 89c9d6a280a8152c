#pragma once
// Objects that hold default-pool device resources (dynamic buffers, render targets, effect
// state) derive from IPDeviceListener, alongside IPMMObject. The renderer's device reset tells
// every listener, in construction order, that the device is lost, resets it, and then tells
// them that it was reset.

#include <list>

class IPDeviceListener {
public:
    IPDeviceListener();
    IPDeviceListener(const IPDeviceListener&) = delete;
    IPDeviceListener& operator=(const IPDeviceListener&) = delete;

    // Release the default-pool resources.
    virtual void OnDeviceLost() = 0;
    // Recreate them.
    virtual void OnDeviceReset() = 0;
    virtual ~IPDeviceListener();

    // Call OnDeviceLost / OnDeviceReset of every listener alive, in construction order.
    static void BroadcastDeviceLost();
    static void BroadcastDeviceReset();

    // Number of listeners alive (diagnostics and tests).
    static std::size_t ListenerCount();

private:
    std::list<IPDeviceListener*>::iterator m_node;
};
