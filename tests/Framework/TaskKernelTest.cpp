#include "Framework/PGlobalTimer.h"
#include "Framework/PObjUpdater.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_events;

class LogTask : public IPTask {
public:
    LogTask(std::string name, int priority) : m_name(std::move(name)) { SetPriority(priority); }
    int GetSize() const override { return static_cast<int>(sizeof(LogTask)); }
    std::string GetClassName() const override { return "LogTask"; }
    int GetKind() const override { return 0; }
    void Update() override {
        g_events.push_back(m_name);
        ++updates;
        if (onUpdate) onUpdate();
    }
    void Stop() override {
        g_events.push_back(m_name + ".stop");
        ++stops;
        IPTask::Stop();
    }
    void OnSuspend() override { g_events.push_back(m_name + ".suspend"); }
    void OnResume() override { g_events.push_back(m_name + ".resume"); }

    std::function<void()> onUpdate;
    int updates = 0;
    int stops = 0;

private:
    std::string m_name;
};

using Events = std::vector<std::string>;

int g_dispatched = 0;
Platform::LRESULT CountingProc(Platform::HWND, Platform::UINT message, Platform::WPARAM, Platform::LPARAM) {
    ++g_dispatched;
    g_events.push_back("msg" + std::to_string(message));
    return 0;
}

class TaskKernel : public ::testing::Test {
protected:
    void SetUp() override {
        g_events.clear();
        g_dispatched = 0;
        g_applicationActive = true;
        Platform::SetMessageSource(&source);
        Platform::SetWindowProcedure(&CountingProc);
    }
    void TearDown() override {
        Platform::SetMessageSource(nullptr);
        Platform::SetWindowProcedure(nullptr);
        g_applicationActive = true;
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
    }
    CPSmartPtr<LogTask> Make(const std::string& name, int priority) {
        return CPSmartPtr<LogTask>(new LogTask(name, priority));
    }

    Platform::ScriptedMessageSource source;
    CPTaskKernel kernel;
};

TEST_F(TaskKernel, RunsByPriorityAndEqualPrioritiesInInsertionOrder) {
    struct Case {
        const char* name;
        int priority;
    };
    const Case cases[] = {{"a5", 5}, {"b5", 5}, {"c1", 1}, {"d10", 10}, {"e5", 5}, {"f-3", -3}, {"g10", 10}};
    for (const Case& c : cases) ASSERT_TRUE(kernel.AddTask(Make(c.name, c.priority)));
    ASSERT_TRUE(kernel.RunPass());
    EXPECT_EQ(g_events, (Events{"f-3", "c1", "a5", "b5", "e5", "d10", "g10"}));
}

TEST_F(TaskKernel, AddTaskRefusesEmptyHandlesAndRunningTasks) {
    EXPECT_FALSE(kernel.AddTask(CPSmartPtr<IPTask>()));
    auto t = Make("t", 5);
    EXPECT_TRUE(kernel.AddTask(t));
    EXPECT_TRUE(t->IsRunning());
    EXPECT_FALSE(kernel.AddTask(t));
    EXPECT_EQ(kernel.ActiveTasks().size(), 1u);
}

TEST_F(TaskKernel, StoppedAndStartedAgainInOnePassKeepsOneEntry) {
    // A deactivation and reactivation between two walks must not run the task twice per pass.
    auto t = Make("t", 5);
    ASSERT_TRUE(kernel.AddTask(t));
    t->Stop();
    EXPECT_TRUE(kernel.AddTask(t));
    EXPECT_EQ(kernel.ActiveTasks().size(), 1u);
    g_events.clear();
    kernel.RunPass();
    EXPECT_EQ(g_events, Events{"t"});

    // The same from inside another task's update, behind and in front of the cursor.
    auto front = Make("front", 1);
    auto back = Make("back", 9);
    ASSERT_TRUE(kernel.AddTask(front));
    ASSERT_TRUE(kernel.AddTask(back));
    t->onUpdate = [&] {
        front->Stop();
        kernel.AddTask(front);
        back->Stop();
        kernel.AddTask(back);
    };
    g_events.clear();
    kernel.RunPass();
    EXPECT_EQ(g_events, (Events{"front", "t", "front.stop", "back.stop", "back"}));
    EXPECT_EQ(kernel.ActiveTasks().size(), 3u);
    t->onUpdate = nullptr;
    g_events.clear();
    kernel.RunPass();
    EXPECT_EQ(g_events, (Events{"front", "t", "back"}));
}

TEST_F(TaskKernel, SuspendedTaskIsSkippedAndResumesBehindItsEquals) {
    auto a = Make("a", 5), b = Make("b", 5), c = Make("c", 5);
    kernel.AddTask(a);
    kernel.AddTask(b);
    kernel.AddTask(c);
    kernel.SuspendTask(a);
    kernel.SuspendTask(a); // not active any more: nothing happens
    EXPECT_TRUE(kernel.IsSuspended(a.Get()));
    kernel.RunPass();
    kernel.ResumeTask(a);
    kernel.ResumeTask(a); // not suspended any more: nothing happens
    kernel.RunPass();
    EXPECT_EQ(g_events, (Events{"a.suspend", "b", "c", "a.resume", "b", "c", "a"}));
    EXPECT_TRUE(kernel.SuspendedTasks().empty());
}

TEST_F(TaskKernel, TaskAddedDuringTheWalkBehindRunsNowInFrontWaits) {
    auto mid = Make("mid", 50);
    auto behind = Make("behind", 60);
    auto infront = Make("infront", 40);
    kernel.AddTask(mid);
    mid->onUpdate = [&] {
        kernel.AddTask(behind);
        kernel.AddTask(infront);
        mid->onUpdate = nullptr;
    };
    kernel.RunPass();
    EXPECT_EQ(g_events, (Events{"mid", "behind"}));
    g_events.clear();
    kernel.RunPass();
    EXPECT_EQ(g_events, (Events{"infront", "mid", "behind"}));
}

TEST_F(TaskKernel, TaskSuspendingItselfDuringItsUpdateKeepsTheWalkGoing) {
    auto a = Make("a", 1), b = Make("b", 2), c = Make("c", 3);
    kernel.AddTask(a);
    kernel.AddTask(b);
    kernel.AddTask(c);
    b->onUpdate = [&] { kernel.SuspendTask(b); };
    kernel.RunPass();
    EXPECT_EQ(g_events, (Events{"a", "b", "b.suspend", "c"}));
}

TEST_F(TaskKernel, KillAllTasksFromAnUpdateEndsTheLoopWithoutAMessage) {
    auto a = Make("a", 1), b = Make("b", 2), c = Make("c", 3);
    kernel.AddTask(a);
    kernel.AddTask(b);
    kernel.AddTask(c);
    b->onUpdate = [&] { kernel.KillAllTasks(); };
    EXPECT_EQ(kernel.Execute(), 0);
    // Behind it in the same pass; itself and those before it in the next.
    EXPECT_EQ(g_events, (Events{"a", "b", "c.stop", "a.stop", "b.stop"}));
    EXPECT_TRUE(kernel.ActiveTasks().empty());
    EXPECT_EQ(a->stops + b->stops + c->stops, 3);
}

TEST_F(TaskKernel, QuitStopsEveryTaskOnceAndEndsInTheSamePass) {
    auto a = Make("a", 1), b = Make("b", 2);
    kernel.AddTask(a);
    kernel.AddTask(b);
    Platform::PostQuitMessage(0);
    EXPECT_FALSE(kernel.RunPass());
    EXPECT_EQ(g_events, (Events{"a.stop", "b.stop"}));
    EXPECT_EQ(a->updates + b->updates, 0);
}

TEST_F(TaskKernel, QuitWhileInactiveEndsAtTheTopOfTheNextPass) {
    auto a = Make("a", 1);
    kernel.AddTask(a);
    g_applicationActive = false;
    source.Post(Platform::WM_QUIT);
    source.Post(Platform::WM_CHAR, 'x'); // never taken after the quit
    EXPECT_TRUE(kernel.RunPass());
    EXPECT_EQ(g_events, Events{"a.stop"});
    EXPECT_FALSE(kernel.RunPass());
    EXPECT_EQ(a->stops, 1);
    EXPECT_EQ(source.Pending(), 1u);
}

TEST_F(TaskKernel, QuitWithNoTaskEndsTheLoopAtOnce) {
    source.Post(Platform::WM_QUIT);
    EXPECT_EQ(kernel.Execute(), 0);
    EXPECT_EQ(g_dispatched, 0);
}

TEST_F(TaskKernel, InactivePassesRunNoTaskZeroTheFrameTimeAndTakeOneMessageEach) {
    auto a = Make("a", 1);
    kernel.AddTask(a);
    source.Post(Platform::WM_CHAR, 'a');
    source.Post(Platform::WM_CHAR, 'b');
    source.Post(Platform::WM_CHAR, 'c');
    g_applicationActive = false;
    for (int pass = 0; pass < 2; ++pass) {
        g_deltaTime = 0.25f;
        EXPECT_TRUE(kernel.RunPass());
        EXPECT_EQ(g_deltaTime, 0.0f);
    }
    EXPECT_EQ(a->updates, 0);
    EXPECT_EQ(g_dispatched, 2);
    EXPECT_EQ(source.Pending(), 1u);
    g_applicationActive = true;
    EXPECT_TRUE(kernel.RunPass());
    EXPECT_EQ(a->updates, 1);
    EXPECT_EQ(g_dispatched, 3);
}

TEST_F(TaskKernel, EmptyListInAnActivePassEndsTheLoop) { EXPECT_FALSE(kernel.RunPass()); }

TEST_F(TaskKernel, CollectorRunsAtTheEndOfEveryPass) {
    static int deleted = 0;
    struct Loose : IPMMObject {
        ~Loose() override { ++deleted; }
        int GetSize() const override { return 1; }
        std::string GetClassName() const override { return "Loose"; }
    };
    deleted = 0;
    auto a = Make("a", 1);
    kernel.AddTask(a);
    a->onUpdate = [] { new Loose; };
    kernel.RunPass();
    EXPECT_EQ(deleted, 1);
    kernel.RunPass();
    EXPECT_EQ(deleted, 2);
}

TEST_F(TaskKernel, RemovedTaskIsCollectedOnceNoHandleHoldsIt) {
    static bool gone = false;
    struct Once : LogTask {
        Once() : LogTask("once", 1) {}
        ~Once() override { gone = true; }
    };
    gone = false;
    kernel.AddTask(CPSmartPtr<IPTask>(new Once));
    kernel.RunPass();
    EXPECT_FALSE(gone);
    kernel.KillAllTasks();
    kernel.RunPass();
    EXPECT_TRUE(gone);
}

TEST_F(TaskKernel, LoopEndRunsTheHookAndReleasesTheSettingsBindings) {
    CPSettings settings;
    CPDator* aniso = settings.GetBinder("aniso");
    CPDator* bloom = settings.GetBinder("bloom");
    ASSERT_TRUE(aniso && bloom);
    EXPECT_EQ(bloom->GetRefCount(), 2);
    bool hookRan = false;
    kernel.SetLoopEndHook([&] { hookRan = true; });
    EXPECT_EQ(kernel.Execute(), 0);
    EXPECT_TRUE(hookRan);
    EXPECT_EQ(bloom->GetRefCount(), 1);
    EXPECT_EQ(aniso->GetRefCount(), 2) << "the aniso binder keeps its global handle";
}

class Driven {
public:
    void Tick() { ++ticks; }
    int ticks = 0;
};

TEST_F(TaskKernel, ObjUpdaterCallsItsMemberEveryPass) {
    Driven level;
    CPSmartPtr<IPTask> updater(new CPObjUpdater(&level, &Driven::Tick, 0));
    updater->SetPriority(500);
    EXPECT_EQ(updater->GetClassName(), "CPObjUpdater");
    EXPECT_EQ(updater->GetKind(), 0);
    CPSmartPtr<IPTask> clone;
    updater->Clone(clone);
    EXPECT_FALSE(clone);
    kernel.AddTask(updater);
    kernel.RunPass();
    kernel.RunPass();
    EXPECT_EQ(level.ticks, 2);
}

TEST(TaskKernelGlobal, KernelStoresItselfInItsGlobal) {
    EXPECT_EQ(CPTaskKernel::GetInstance(), nullptr);
    {
        CPTaskKernel kernel;
        EXPECT_EQ(CPTaskKernel::GetInstance(), &kernel);
    }
    EXPECT_EQ(CPTaskKernel::GetInstance(), nullptr);
}

} // namespace
