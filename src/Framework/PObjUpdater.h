#pragma once
// A task bound to one member function of one object, so that an object which is
// not a task (the level) can run its update as a task.

#include "Framework/PTaskKernel.h"

#include <functional>

// A task that calls one member function of another object every pass. The
// owner keeps the target alive for as long as the task may run.
class CPObjUpdater : public IPTask {
public:
    template <class T>
    CPObjUpdater(T* target, void (T::*member)(), int kind = 0)
        : m_kind(kind), m_call([target, member] { (target->*member)(); }) {}

    int GetSize() const override { return static_cast<int>(sizeof(CPObjUpdater)); }
    std::string GetClassName() const override { return "CPObjUpdater"; }
    int GetKind() const override { return m_kind; }
    void Update() override {
        if (m_call) m_call();
    }

private:
    int m_kind;
    std::function<void()> m_call;
};
