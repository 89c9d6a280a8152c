#include "Input/NInput.h"

#include "Framework/CommandRouter.h"
#include "Framework/PLog.h"
#include "Framework/StringUtils.h"
#include "Input/ActionsFile.h"
#include "Input/InterfaceBroadcasts.h"
#include "Input/KeyNames.h"
#include "Platform/Base/DXError.h"
#include "Platform/System/AtomicFile.h"
#include "Platform/System/NumberText.h"
#include "Platform/Window/Messages.h"

#include <algorithm>

CNInput* CNInput::s_instance = nullptr;

namespace {

const std::string kActionListener = "action_listener";

void SendAction(const std::string& command, const std::string& params) {
    RouteCommandByCategory(kActionListener, command, params);
}

IPInterfaceBroadcasts* Broadcasts() { return GetInterfaceBroadcasts(); }

// The keys that steer the menus besides whatever they are bound to: the "standart_action" each
// sends with ",1" on press and ",0" on release (none for up and down), and the interface
// broadcast on press and on release (none where null). The numeric keypad doubles the arrows and
// Enter.
struct MenuKey {
    using Broadcast = void (IPInterfaceBroadcasts::*)();
    int code;
    const char* action;
    Broadcast press;
    Broadcast release;
};

// The interfaces' menus run top to bottom the other way round: Up asks for "menu_down".
constexpr MenuKey kMenuKeys[] = {
    {DIK_ESCAPE, "escape", nullptr, nullptr},
    {DIK_BACK, "backspace", nullptr, nullptr},
    {DIK_RETURN, "enter", &IPInterfaceBroadcasts::BroadcastEnterDown, &IPInterfaceBroadcasts::BroadcastEnterUp},
    {DIK_NUMPADENTER, "enter", &IPInterfaceBroadcasts::BroadcastEnterDown, &IPInterfaceBroadcasts::BroadcastEnterUp},
    {DIK_LEFT, "left", &IPInterfaceBroadcasts::BroadcastMenuLeft, nullptr},
    {DIK_NUMPAD4, "left", &IPInterfaceBroadcasts::BroadcastMenuLeft, nullptr},
    {DIK_RIGHT, "right", &IPInterfaceBroadcasts::BroadcastMenuRight, nullptr},
    {DIK_NUMPAD6, "right", &IPInterfaceBroadcasts::BroadcastMenuRight, nullptr},
    {DIK_UP, nullptr, &IPInterfaceBroadcasts::BroadcastMenuDown, nullptr},
    {DIK_NUMPAD8, nullptr, &IPInterfaceBroadcasts::BroadcastMenuDown, nullptr},
    {DIK_DOWN, nullptr, &IPInterfaceBroadcasts::BroadcastMenuUp, nullptr},
    {DIK_NUMPAD2, nullptr, &IPInterfaceBroadcasts::BroadcastMenuUp, nullptr},
};

const MenuKey* FindMenuKey(int code) {
    for (const MenuKey& key : kMenuKeys)
        if (key.code == code) return &key;
    return nullptr;
}

// The menu key's "standart_action", then its broadcast; other keys send nothing here.
void SendMenuKey(int code, bool pressed) {
    const MenuKey* key = FindMenuKey(code);
    if (!key) return;
    if (key->action) SendAction("standart_action", std::string(key->action) + (pressed ? ",1" : ",0"));
    const MenuKey::Broadcast broadcast = pressed ? key->press : key->release;
    if (broadcast) {
        if (auto* b = Broadcasts()) (b->*broadcast)();
    }
}

// A field as the quoting splitter reads it back: one that holds the separator or a double quote
// goes in double quotes with its own quotes doubled; every other field is written as it is.
// (The key names ";", "," and "Numpad ," would otherwise split into other fields, and so would
// an action name holding a comma in a command's parameters.) A field that starts or ends with
// white space is quoted too: the text reader trims each line and the splitter its whole text,
// so a one-blank field (which the splitter keeps as it is) would lose its blank at the start of
// a line or of a command's parameters.
std::string QuotedField(const std::string& field, char separator) {
    const bool spaceAtAnEnd = !field.empty() && (IsTrimSpace(field.front()) || IsTrimSpace(field.back()));
    if (!spaceAtAnEnd && field.find(separator) == std::string::npos && field.find('"') == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// Two characters the text reader takes for a comment mark ("//", "/*" or "*/").
bool IsCommentPair(char first, char second) {
    return (first == '/' && (second == '/' || second == '*')) || (first == '*' && second == '/');
}

// A field of Actions.cfg. The text reader drops every line holding a comment mark, inside quotes
// too, yet a line can make a field holding one out of quoted and plain pieces ("/"/ reads as
// "//"). Such a field is written with a quote between the two characters of each mark: the
// quoted run closes (or a new one opens) there, and the splitter joins the pieces again.
std::string FileField(const std::string& field) {
    bool hasMark = false;
    for (std::size_t i = 1; i < field.size(); ++i) hasMark = hasMark || IsCommentPair(field[i - 1], field[i]);
    if (!hasMark) return QuotedField(field, ';');
    std::string out = "\"";
    bool inQuotes = true;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (i > 0 && IsCommentPair(field[i - 1], c)) {
            // A mark's second character ('/' or '*') may stand outside quotes.
            out += '"';
            inQuotes = !inQuotes;
        } else if (!inQuotes) {
            out += '"';
            inQuotes = true;
        }
        if (inQuotes && c == '"') out += '"';
        out += c;
    }
    if (inQuotes) out += '"';
    return out;
}

void ReportDXError(int line, HRESULT hr) {
    CPLog::Instance().Print(0, "DXError if %s on line %d\n%s\n%s\n", "Input\\NInput", line, DXGetErrorString9A(hr),
                            DXGetErrorDescription9A(hr));
}

} // namespace

CNActionBinding::CNActionBinding(const std::string& key, const std::string& second, bool isNumber)
    : keyText(key), secondText(second), assigned(true), keyIsNumber(isNumber) {
    code = isNumber ? Platform::ParseInt(key) : Input::KeyCodeFromName(key);
}

void CNActionBinding::Set(const std::string& key, const std::string& second) {
    keyText = key;
    secondText = second;
    assigned = true;
    code = Input::KeyCodeFromName(key);
}

CNInput::CNInput() {
    s_instance = this;
    m_cursorSource = [](float& x, float& y) { Platform::GetCursorClientPosition(x, y); };
}

CNInput::~CNInput() {
    ReleaseDevices();
    if (s_instance == this) s_instance = nullptr;
}

bool CNInput::Start() {
    if (LoadActions("Actions.cfg") < 0) {
        CPLog::Instance().Print(0,
                                "Input: the key bindings file \"Actions.cfg\" cannot be read; the game cannot start");
        return false;
    }
    m_keyboard = Platform::GetKeyboard();
    if (!m_keyboard) {
        // The platform has no keyboard to give: the device cannot be created.
        ReportDXError(__LINE__, E_FAIL);
        return false;
    }
    const HRESULT hr = m_keyboard->Acquire();
    // A window that starts without the keyboard focus gets the keyboard at the next pass's
    // acquire; failing the whole start for it would keep the game from running at all.
    if (FAILED(hr) && hr != DIERR_OTHERAPPHASPRIO) {
        ReportDXError(__LINE__, hr);
        return false;
    }
    return IPTask::Start();
}

void CNInput::SyncAcquire() {
    if (!m_keyboard) return;
    if (g_applicationActive)
        m_keyboard->Acquire();
    else
        m_keyboard->Unacquire();
}

void CNInput::ReleaseDevices() {
    if (m_keyboard) m_keyboard->Unacquire();
    m_keyboard = nullptr;
}

void CNInput::GetCursorPosition(int* x, int* y) const {
    if (x) *x = static_cast<int>(m_cursorX);
    if (y) *y = static_cast<int>(m_cursorY);
}

void CNInput::ReadKeyboard() {
    if (!m_keyboard) {
        m_keyState.fill(0);
        return;
    }
    const HRESULT hr = m_keyboard->GetDeviceState(KeyboardStateSize, m_keyState.data());
    // A lost device is acquired again once; this pass goes on with whatever the buffer holds
    // (the device leaves it as "no key down").
    if (hr == DIERR_INPUTLOST || hr == DIERR_NOTACQUIRED) m_keyboard->Acquire();
}

void CNInput::Update() {
    SyncAcquire();

    // No mouse device is created: the pointer comes from the cursor source and the wheel, which
    // would send "prev_weapon"/"next_weapon", sends nothing.

    const float previousX = m_cursorX;
    const float previousY = m_cursorY;
    if (m_cursorSource) m_cursorSource(m_cursorX, m_cursorY);
    if (m_cursorX != previousX || m_cursorY != previousY) {
        if (auto* b = Broadcasts()) b->BroadcastMouseMove(m_cursorX, m_cursorY);
    }

    ReadKeyboard();

    bool anyChanged = false;
    for (int code = 0; code < kKeyCount; ++code) {
        const bool was = (m_previousKeyState[static_cast<std::size_t>(code)] & 0x80) != 0;
        const bool is = (m_keyState[static_cast<std::size_t>(code)] & 0x80) != 0;
        if (was == is) continue;
        if (is)
            KeyPressed(code);
        else
            KeyReleased(code);
        anyChanged = true;
    }
    m_previousKeyState = m_keyState;
    if (anyChanged) SendAction("any_key", "");
}

void CNInput::KeyReleased(int code) {
    if (keyAssignMode) {
        keyAssignMode = false;
        RouteCommandByCategory("interface", "key_assign", QuotedField(Input::KeyName(code), ',') + ",false");
    }
    const CNActionBinding& binding = m_keyBindings[static_cast<std::size_t>(code)];
    if (actionsEnabled && binding.assigned) SendAction("key_action", QuotedField(binding.secondText, ',') + ",0");
    SendMenuKey(code, false);
}

void CNInput::KeyPressed(int code) {
    const CNActionBinding& binding = m_keyBindings[static_cast<std::size_t>(code)];
    if (actionsEnabled && binding.assigned) SendAction("key_action", QuotedField(binding.secondText, ',') + ",1");
    SendMenuKey(code, true);
}

CNActionBinding& CNInput::ActionEntry(const std::string& action) { return m_actionMap[action]; }

const CNActionBinding* CNInput::FindAction(const std::string& action) const {
    auto it = m_actionMap.find(action);
    return it == m_actionMap.end() ? nullptr : &it->second;
}

int CNInput::LoadActions(const std::string& path) {
    std::vector<Input::ActionLine> lines;
    const int result = Input::ReadActionsFile(path, lines);
    if (result < 0) return result;

    for (auto& binding : m_keyBindings) binding = CNActionBinding();
    m_actionMap.clear();
    m_actionOrder.clear();

    for (const Input::ActionLine& line : lines) {
        if (line.flag == "true") {
            const int n = Platform::ParseInt(line.key);
            // A number outside the table leaves the action unbound rather than writing past it.
            if (n >= 0 && n < kNumberBindingCount) {
                CNActionBinding& number = m_numberBindings[static_cast<std::size_t>(n)];
                number = CNActionBinding();
                number.code = n;
                number.secondText = line.action;
                number.assigned = true;
                number.keyIsNumber = true;
                ActionEntry(line.action) = CNActionBinding(line.key, line.second, true);
            } else {
                CNActionBinding unbound(line.key, line.second, true);
                unbound.assigned = false;
                ActionEntry(line.action) = unbound;
            }
        } else {
            CNActionBinding byName(line.key, line.second, false);
            if (byName.code >= 0) {
                CNActionBinding& key = m_keyBindings[static_cast<std::uint8_t>(byName.code)];
                key = CNActionBinding();
                key.keyText = line.key;
                key.secondText = line.action;
                key.code = byName.code;
                key.assigned = true;
            } else {
                // A name not in the key-name table binds no key.
                byName.assigned = false;
            }
            ActionEntry(line.action) = byName;
        }
        m_actionOrder.push_back(line.action);
    }
    m_actionsLoaded = true;
    return result;
}

std::string CNInput::FormatActions() const {
    std::string text;
    for (const std::string& action : m_actionOrder) {
        const CNActionBinding* binding = FindAction(action);
        if (!binding) continue;
        std::string key = binding->keyText;
        // Number bindings print their code's low byte; one that never bound keeps its text.
        if (binding->keyIsNumber && binding->assigned) key = Platform::FormatC("%d", binding->code & 0xFF);
        text += FileField(action) + ";" + FileField(binding->secondText) + ";" + FileField(key) + ";" +
                (binding->keyIsNumber ? "true" : "false") + "\r\n";
    }
    return text;
}

bool CNInput::SaveActions(const std::string& path) const {
    if (!m_actionsLoaded) {
        CPLog::Instance().Print(0, "Input: no key bindings were read; \"%s\" is left as it is", path.c_str());
        return false;
    }
    const std::string text = FormatActions();
    std::string error;
    if (!Platform::WriteGameFileAtomic(path, text.data(), text.size(), &error)) {
        CPLog::Instance().Print(0, "Input: cannot write \"%s\": %s", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

void CNInput::SetActionKey(const std::string& second, const std::string& keyName) {
    for (auto& entry : m_actionMap) {
        if (entry.second.keyText == keyName) {
            entry.second.code = 0;
            entry.second.keyText = "???";
            entry.second.assigned = true;
            entry.second.keyIsNumber = false;
            break;
        }
    }
    const int code = Input::KeyCodeFromName(keyName);
    if (code < 0) return;
    for (auto& entry : m_actionMap) {
        if (entry.second.secondText == second) {
            entry.second.keyText = keyName;
            entry.second.code = code;
            // Now a key name: written back as a name, not as the old number.
            entry.second.keyIsNumber = false;
            entry.second.assigned = true;
            break;
        }
    }
}
