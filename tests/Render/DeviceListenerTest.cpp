#include "Render/PDeviceListener.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Framework/PMMObject.h"

namespace {

std::vector<std::string> g_calls;

class Recorder : public IPDeviceListener {
public:
    explicit Recorder(std::string name) : m_name(std::move(name)) {}
    void OnDeviceLost() override { g_calls.push_back(m_name + " lost"); }
    void OnDeviceReset() override { g_calls.push_back(m_name + " reset"); }

private:
    std::string m_name;
};

// How the engine's listeners look: a counted object that is also a listener.
class CountedRecorder : public IPMMObject, public IPDeviceListener {
public:
    int GetSize() const override { return static_cast<int>(sizeof(CountedRecorder)); }
    std::string GetClassName() const override { return "CountedRecorder"; }
    void OnDeviceLost() override { g_calls.push_back("counted lost"); }
    void OnDeviceReset() override { g_calls.push_back("counted reset"); }
};

class DeviceListenerTest : public ::testing::Test {
protected:
    void SetUp() override { g_calls.clear(); }
    void TearDown() override { g_calls.clear(); }
};

TEST_F(DeviceListenerTest, CalledInConstructionOrder) {
    const std::size_t before = IPDeviceListener::ListenerCount();
    Recorder b("b");
    auto a = std::make_unique<Recorder>("a");
    Recorder c("c");
    EXPECT_EQ(IPDeviceListener::ListenerCount(), before + 3);
    IPDeviceListener::BroadcastDeviceLost();
    IPDeviceListener::BroadcastDeviceReset();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"b lost", "a lost", "c lost", "b reset", "a reset", "c reset"}));
}

TEST_F(DeviceListenerTest, DestroyedListenerIsNotCalled) {
    const std::size_t before = IPDeviceListener::ListenerCount();
    Recorder a("a");
    auto b = std::make_unique<Recorder>("b");
    Recorder c("c");
    b.reset();
    EXPECT_EQ(IPDeviceListener::ListenerCount(), before + 2);
    IPDeviceListener::BroadcastDeviceLost();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"a lost", "c lost"}));
}

TEST_F(DeviceListenerTest, ListenerCreatedBetweenTheBroadcastsGetsOnlyTheReset) {
    Recorder a("a");
    IPDeviceListener::BroadcastDeviceLost();
    Recorder late("late");
    IPDeviceListener::BroadcastDeviceReset();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"a lost", "a reset", "late reset"}));
}

TEST_F(DeviceListenerTest, CollectedObjectLeavesTheList) {
    const std::size_t before = IPDeviceListener::ListenerCount();
    CPSmartPtr<CountedRecorder> held(new CountedRecorder);
    Recorder tail("tail");
    IPDeviceListener::BroadcastDeviceLost();
    held = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(IPDeviceListener::ListenerCount(), before + 1);
    IPDeviceListener::BroadcastDeviceReset();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"counted lost", "tail lost", "tail reset"}));
}

// A listener may drop itself while it is being told (the walk has already moved on).
class SelfDestroying : public IPDeviceListener {
public:
    explicit SelfDestroying(std::unique_ptr<SelfDestroying>* owner) : m_owner(owner) {}
    void OnDeviceLost() override {
        g_calls.push_back("self lost");
        m_owner->reset();
    }
    void OnDeviceReset() override { g_calls.push_back("self reset"); }

private:
    std::unique_ptr<SelfDestroying>* m_owner;
};

TEST_F(DeviceListenerTest, ListenerDestroyedDuringTheWalk) {
    std::unique_ptr<SelfDestroying> self;
    self = std::make_unique<SelfDestroying>(&self);
    Recorder after("after");
    IPDeviceListener::BroadcastDeviceLost();
    IPDeviceListener::BroadcastDeviceReset();
    EXPECT_EQ(self, nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"self lost", "after lost", "after reset"}));
}

} // namespace
