#include "Framework/PTaskKernel.h"

#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"

bool g_applicationActive = true;

CPTaskKernel* CPTaskKernel::s_instance = nullptr;

bool IPTask::Start() {
    if (m_running) return false;
    m_kill = false;
    m_running = true;
    return true;
}

void IPTask::Stop() {
    m_kill = true;
    m_running = false;
}

CPTaskKernel::CPTaskKernel() { s_instance = this; }

CPTaskKernel::~CPTaskKernel() {
    m_suspended.clear();
    m_active.clear();
    if (s_instance == this) s_instance = nullptr;
}

bool CPTaskKernel::IsActive(const IPTask* task) const {
    for (const auto& entry : m_active)
        if (entry.Get() == task) return true;
    return false;
}

bool CPTaskKernel::IsSuspended(const IPTask* task) const {
    for (const auto& entry : m_suspended)
        if (entry.Get() == task) return true;
    return false;
}

void CPTaskKernel::InsertByPriority(const CPSmartPtr<IPTask>& task) {
    // A task stopped and started again before the walk removed it keeps its one
    // entry: a second one would run it twice per pass.
    if (IsActive(task.Get())) return;
    auto it = m_active.begin();
    while (it != m_active.end() && (*it)->GetPriority() <= task->GetPriority()) ++it;
    m_active.insert(it, task);
}

void CPTaskKernel::EraseActive(TaskList::iterator it) {
    if (m_walking && it == m_cursor) {
        m_cursor = m_active.erase(it);
        m_cursorMoved = true;
    } else {
        m_active.erase(it);
    }
}

bool CPTaskKernel::AddTask(const CPSmartPtr<IPTask>& task) {
    if (!task) return false;
    CPSmartPtr<IPTask> hold = task; // the caller's handle may be the one being replaced
    if (!hold->Start()) return false;
    InsertByPriority(hold);
    return true;
}

void CPTaskKernel::SuspendTask(const CPSmartPtr<IPTask>& task) {
    if (!task || !IsActive(task.Get())) return;
    CPSmartPtr<IPTask> hold = task;
    hold->OnSuspend();
    for (auto it = m_active.begin(); it != m_active.end();) {
        auto next = std::next(it);
        if (it->Get() == hold.Get()) EraseActive(it);
        it = next;
    }
    m_suspended.push_back(hold);
}

void CPTaskKernel::ResumeTask(const CPSmartPtr<IPTask>& task) {
    if (!task || !IsSuspended(task.Get())) return;
    CPSmartPtr<IPTask> hold = task;
    hold->OnResume();
    m_suspended.remove_if([&](const CPSmartPtr<IPTask>& entry) { return entry.Get() == hold.Get(); });
    InsertByPriority(hold);
}

void CPTaskKernel::KillAllTasks() {
    for (auto& entry : m_active) entry->SetKill(true);
}

void CPTaskKernel::WalkTasks() {
    bool outerWalking = m_walking;
    TaskList::iterator outerCursor = m_cursor;
    m_walking = true;
    m_cursor = m_active.begin();
    while (m_cursor != m_active.end()) {
        CPSmartPtr<IPTask> task = *m_cursor; // alive for the call even if its entry goes
        m_cursorMoved = false;
        if (task->IsKillRequested()) {
            task->Stop();
            if (!m_cursorMoved) m_cursor = m_active.erase(m_cursor);
        } else {
            task->Update();
            if (!m_cursorMoved) ++m_cursor;
        }
    }
    m_walking = outerWalking;
    m_cursor = outerWalking ? outerCursor : m_active.end();
}

bool CPTaskKernel::RunPass() {
    if (m_active.empty() && m_quitSeen) return false;

    if (!m_quitSeen) {
        Platform::MSG msg;
        if (Platform::PeekMessageA(&msg)) {
            if (msg.message == Platform::WM_QUIT) {
                KillAllTasks();
                m_quitSeen = true;
                if (m_active.empty()) return false;
                WalkTasks();
            }
            Platform::TranslateMessage(&msg);
            Platform::DispatchMessageA(&msg);
        }
    }

    if (g_applicationActive) {
        if (m_active.empty()) return false;
        WalkTasks();
    } else {
        g_deltaTime = 0.0f;
    }

    IPMMObject::CollectGarbage();
    return true;
}

void CPTaskKernel::FinishLoop() {
    if (m_loopEndHook) m_loopEndHook();
    if (CPSettings* settings = CPSettings::GetInstance()) settings->ReleaseBindings();
}

int CPTaskKernel::Execute() {
    m_quitSeen = false;
    while (RunPass()) {}
    FinishLoop();
    return 0;
}
