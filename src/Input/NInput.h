#pragma once
// The input task: reads the keyboard once per pass as a 256-byte state by scan code and turns
// key changes into commands for the scripts ("key_action", "standart_action", "any_key",
// "key_assign"), drives the interfaces' keyboard navigation and pointer movement, and keeps the
// action bindings of Actions.cfg.

#include "Framework/LegacyHashMap.h"
#include "Framework/PTaskKernel.h"
#include "Platform/Window/Keyboard.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// One binding: a key (by name or number) and the text that goes with it.
struct CNActionBinding {
    // A scan code for key-name bindings, the number itself for number bindings; -1 when a name
    // is not in the key-name table.
    int code = 0;
    std::string keyText;
    std::string secondText;
    bool assigned = false;
    bool keyIsNumber = false;

    CNActionBinding() = default;
    // Assigned; the code is the decimal value of the key text for a number, else the key
    // text's index in the key-name table.
    CNActionBinding(const std::string& key, const std::string& second, bool isNumber);
    // Both texts, assigned, the code looked up by name.
    void Set(const std::string& key, const std::string& second);
};

class CNInput : public IPTask {
public:
    static constexpr int kKeyCount = 256;
    static constexpr int kNumberBindingCount = 128;
    // A lost keyboard is acquired at most this often per pass: once at the start, once after a
    // failed read. Nothing loops on a device that keeps refusing.
    static constexpr int kMaxAcquiresPerPass = 2;

    CNInput();
    ~CNInput() override;

    static CNInput* GetInstance() { return s_instance; }

    int GetSize() const override { return static_cast<int>(sizeof(CNInput)); }
    std::string GetClassName() const override { return "CNInput"; }
    int GetKind() const override { return 3; }
    bool Start() override;
    void Update() override;

    // Reads a bindings file. Negative when it cannot be read (the tables are then unchanged);
    // otherwise 0.
    int LoadActions(const std::string& path);
    // Writes the bindings in the Actions.cfg format, atomically. Refused (false) while no
    // bindings file was ever read, so a failed start never overwrites the user's file with
    // empty bindings.
    bool SaveActions(const std::string& path = "Actions.cfg") const;
    // The text SaveActions writes.
    std::string FormatActions() const;
    // Rebinds in the action map only; the key table follows when the file is written and read.
    void SetActionKey(const std::string& second, const std::string& keyName);

    void GetCursorPosition(int* x, int* y) const;
    void SyncAcquire();
    void ReleaseDevices();

    // Fields the actions family of the script API reads and writes.
    bool actionsEnabled = true;
    bool keyAssignMode = false;
    bool mouseButtonDown = false;

    using ActionMap = LegacyHashMap<CNActionBinding>;
    const ActionMap& GetActionMap() const { return m_actionMap; }
    const std::vector<std::string>& GetActionOrder() const { return m_actionOrder; }
    // The binding of an action in the map, or null.
    const CNActionBinding* FindAction(const std::string& action) const;
    const CNActionBinding& GetKeyBinding(int scanCode) const {
        return m_keyBindings[static_cast<std::uint8_t>(scanCode)];
    }
    const CNActionBinding& GetNumberBinding(int number) const {
        return m_numberBindings[static_cast<std::size_t>(number) % kNumberBindingCount];
    }
    bool HasLoadedActions() const { return m_actionsLoaded; }

    // Where the pointer position comes from (window-rectangle pixels); by default the window's.
    void SetCursorSource(std::function<void(float&, float&)> source) { m_cursorSource = std::move(source); }

private:
    CNActionBinding& ActionEntry(const std::string& action);
    void ReadKeyboard();
    void KeyPressed(int code);
    void KeyReleased(int code);

    static CNInput* s_instance;

    Platform::IKeyboard* m_keyboard = nullptr;
    float m_cursorX = 0;
    float m_cursorY = 0;
    KeyboardState m_keyState{};
    KeyboardState m_previousKeyState{};
    std::array<CNActionBinding, kKeyCount> m_keyBindings;
    std::array<CNActionBinding, kNumberBindingCount> m_numberBindings;
    // First-match lookups follow the map's own order, which scripts can observe.
    ActionMap m_actionMap;
    std::vector<std::string> m_actionOrder;
    bool m_actionsLoaded = false;
    std::function<void(float&, float&)> m_cursorSource;
};
