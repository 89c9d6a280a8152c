#pragma once
// Tasks and the one task scheduler with its main loop.
//
// Tasks run once per pass in ascending priority; equal priorities keep the
// order in which they were added or resumed. Each pass takes at most one window
// message, walks the tasks (or, while the application is inactive, sets the
// frame time to 0 and runs none) and then runs the object collector.

#include "Framework/PMMObject.h"
#include "Platform/Window/Messages.h"

#include <functional>
#include <list>

// Whether the application takes part in the game (the main window's procedure
// keeps it); while false the main loop runs no task. True at start.
extern bool g_applicationActive;

class IPTask : public IPMMObject {
public:
    IPTask() = default;

    // Answers false when already running; otherwise clears the kill flag, sets running.
    virtual bool Start();
    virtual void OnSuspend() {}
    virtual void Update() = 0;
    virtual void OnResume() {}
    // Asks to be removed: kill flag set, running cleared.
    virtual void Stop();
    virtual int GetKind() const = 0;
    // A new copy of the task; the base has none and answers an empty handle.
    virtual void Clone(CPSmartPtr<IPTask>& out) { out = nullptr; }

    bool IsRunning() const { return m_running; }
    void SetRunning(bool running) { m_running = running; }
    bool IsKillRequested() const { return m_kill; }
    void SetKill(bool kill) { m_kill = kill; }
    int GetPriority() const { return m_priority; }
    // Set by the owner before the task is added.
    void SetPriority(int priority) { m_priority = priority; }

protected:
    bool m_running = false;
    bool m_kill = false;
    int m_priority = 5000;
};

class CPTaskKernel {
public:
    CPTaskKernel();
    ~CPTaskKernel();
    CPTaskKernel(const CPTaskKernel&) = delete;
    CPTaskKernel& operator=(const CPTaskKernel&) = delete;

    static CPTaskKernel* GetInstance() { return s_instance; }

    // Calls Start; false for an empty handle or a refused start. A task that is
    // already listed is never listed twice.
    bool AddTask(const CPSmartPtr<IPTask>& task);
    void SuspendTask(const CPSmartPtr<IPTask>& task);
    void ResumeTask(const CPSmartPtr<IPTask>& task);
    // Flags every active task to be killed; the walk stops and removes them.
    void KillAllTasks();
    // The main loop; answers 0 when no task is left.
    int Execute();

    // One pass of the main loop; false once the loop is to end. Execute repeats it.
    bool RunPass();
    // What Execute does after the loop: the loop-end hook, then the settings bindings are released.
    void FinishLoop();

    // Run once when the main loop has ended, before the settings drop their bindings
    // (the renderer installs the release of its materials here).
    void SetLoopEndHook(std::function<void()> hook) { m_loopEndHook = std::move(hook); }

    Platform::HWND GetMainWindow() const { return m_mainWindow; }
    void SetMainWindow(Platform::HWND window) { m_mainWindow = window; }
    void* GetInstanceHandle() const { return m_instanceHandle; }
    void SetInstanceHandle(void* instance) { m_instanceHandle = instance; }

    // Inspection for tests and the script API.
    const std::list<CPSmartPtr<IPTask>>& ActiveTasks() const { return m_active; }
    const std::list<CPSmartPtr<IPTask>>& SuspendedTasks() const { return m_suspended; }
    bool IsActive(const IPTask* task) const;
    bool IsSuspended(const IPTask* task) const;

private:
    using TaskList = std::list<CPSmartPtr<IPTask>>;
    void InsertByPriority(const CPSmartPtr<IPTask>& task);
    void EraseActive(TaskList::iterator it);
    void WalkTasks();

    static CPTaskKernel* s_instance;

    Platform::HWND m_mainWindow = nullptr;
    void* m_instanceHandle = nullptr;
    std::list<CPSmartPtr<IPTask>> m_active;
    std::list<CPSmartPtr<IPTask>> m_suspended;
    bool m_quitSeen = false;
    // The walk's position; entries removed under it (a task suspending itself) move it on.
    bool m_walking = false;
    bool m_cursorMoved = false;
    TaskList::iterator m_cursor;
    std::function<void()> m_loopEndHook;
};
