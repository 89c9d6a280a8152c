#pragma once
// One game script: a kernel task with its own Lua state whose chunk runs on a coroutine,
// resumed once per pass. It keeps running only while it yields through the engine's "Update";
// a chunk that returns (or yields anything else) stays in the kernel without running, and one
// that fails leaves the kernel. The engine speaks to it only through its command queue.
// The state is held to its bounds (memory, time between two Updates, a quit request) by its
// guard; a script stopped by one leaves the kernel and its state is closed at once, giving its
// memory back.

#include "Framework/PTaskKernel.h"
#include "Script/Lua.h"
#include "Script/SPCommand.h"
#include "Script/ScriptGuard.h"

#include <deque>
#include <string>

// The panic function of every script state: the report goes to the log.
int ScriptPanicHandler(lua_State* L);

class CPLuaScript : public IPTask {
public:
    enum Kind { KindNone = 0, KindLevel = 1, KindInterface = 2, KindSystem = 3 };

    CPLuaScript();
    ~CPLuaScript() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPLuaScript)); }
    std::string GetClassName() const override { return "CPLuaScript-" + m_name; }
    bool Start() override;
    void Update() override;
    int GetKind() const override { return m_kind; }

    // Reads "Data\Scripts\<name>.lua" and prepares the coroutine. Negative when the file cannot
    // be read (only the name changes); 0 when the chunk does not compile (the script then fails
    // on its first resume); otherwise the file layer's non-negative result.
    int Load(const std::string& name);
    // Builds the main state (libraries, panic handler, "Update", the script functions) and the
    // thread. False when the state cannot be built; the script then has no state.
    bool CreateState();

    void SetKind(int kind) { m_kind = kind; }
    const std::string& GetName() const { return m_name; }
    bool IsFinished() const { return m_finished; }
    lua_State* GetMainState() const { return m_state; }
    lua_State* GetThread() const { return m_thread; }
    const Script::ScriptGuard& Guard() const { return m_guard; }

    // The command queue: senders insert at the front, the script consumes at the back. The
    // current command, when there is one, is the back element.
    void QueueCommand(const SPCommand& command) { m_queue.push_front(command); }
    // Inserts "release_all" whether or not the script runs.
    void SendReleaseAll();
    // Drops the current command (if any) and makes the oldest remaining one current; true when
    // there is a current command afterwards.
    bool SetNextCommand();
    // The current command, or null.
    const SPCommand* GetCurrentCommand() const { return m_hasCurrent ? &m_queue.back() : nullptr; }
    const std::deque<SPCommand>& Queue() const { return m_queue; }

private:
    void CloseState();
    // A script its guard stopped: logged (unless its error was), out of the kernel, state closed.
    void LeaveStopped(bool logReason);

    int m_kind = KindNone;
    std::string m_name;
    // Declared before the state: the state allocates through it and is closed first.
    Script::ScriptGuard m_guard;
    lua_State* m_state = nullptr;
    lua_State* m_thread = nullptr;
    bool m_finished = true;
    // The chunk ran to its end: the coroutine is dead and cannot be resumed again.
    bool m_chunkReturned = false;
    std::deque<SPCommand> m_queue;
    // A flag rather than a pointer: the current command is always the back element, and a
    // deque's push_front keeps references to it valid anyway.
    bool m_hasCurrent = false;
};
