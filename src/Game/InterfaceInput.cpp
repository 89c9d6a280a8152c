// Keyboard and pointer input to the interfaces: broadcasts over the live list (newest first),
// the handlers that keep each interface's focused element, and the keyboard focus moves.

#include "Framework/PSettings.h"
#include "Game/PInterface.h"
#include "Input/InterfaceBroadcasts.h"
#include "Platform/System/NumberText.h"

namespace {

// Runs the handler on every live interface, newest first. The index is checked at every step,
// so a list that shrinks during the walk is never read past its end.
template <class Handler>
void ForEachInterface(Handler handler) {
    const auto& list = CPInterface::LiveInterfaces();
    for (std::size_t i = list.size(); i-- > 0;) {
        if (i >= list.size()) continue;
        handler(*list[i]);
    }
}

bool Usable(const CPWindow& element) { return element.IsEnabled() && element.IsVisible(); }

// The topmost (latest added) enabled, visible element under (x, y), or null.
const CPSmartPtr<CPWindow>* TopUsableAt(const std::vector<CPSmartPtr<CPWindow>>& elements, float x, float y) {
    for (auto it = elements.rbegin(); it != elements.rend(); ++it)
        if (it->Get() && Usable(**it) && (*it)->HitTest(x, y)) return &*it;
    return nullptr;
}

class InterfaceBroadcasts : public IPInterfaceBroadcasts {
public:
    void BroadcastMenuDown() override { ::BroadcastMenuDown(); }
    void BroadcastMenuUp() override { ::BroadcastMenuUp(); }
    void BroadcastMenuLeft() override { ::BroadcastMenuLeft(); }
    void BroadcastMenuRight() override { ::BroadcastMenuRight(); }
    void BroadcastEnterDown() override { ::BroadcastEnterDown(); }
    void BroadcastEnterUp() override { ::BroadcastEnterUp(); }
    void BroadcastMouseMove(float x, float y) override { ::BroadcastMouseMove(x, y); }
    void BroadcastMouseDown(int button, float x, float y) override { ::BroadcastMouseDown(button, x, y); }
    void BroadcastMouseUp(int button, float x, float y) override { ::BroadcastMouseUp(button, x, y); }
};

} // namespace

void CPInterface::OnMenuUp() {
    if (m_active) SendToOwnerScript("menu_up", "");
}
void CPInterface::OnMenuDown() {
    if (m_active) SendToOwnerScript("menu_down", "");
}
void CPInterface::OnMenuLeft() {
    if (m_active) SendToOwnerScript("menu_left", "");
}
void CPInterface::OnMenuRight() {
    if (m_active) SendToOwnerScript("menu_right", "");
}

void CPInterface::OnEnterDown() {
    if (!m_active || !m_focus || !IsButton(m_focus.Get())) return;
    CPSmartPtr<CPWindow> focus = m_focus;
    if (focus->OnPress(0, focus->GetX() + 1.0f, focus->GetY() + 1.0f)) RebuildBatch();
}

void CPInterface::OnEnterUp() {
    if (!m_active || !m_focus || !IsButton(m_focus.Get())) return;
    CPSmartPtr<CPWindow> focus = m_focus;
    if (focus->OnRelease(0, focus->GetX() + 1.0f, focus->GetY() + 1.0f)) RebuildBatch();
}

// Mouse buttons reach only active interfaces, as the keys do: a menu that was just closed keeps
// its focused element, and its button must not fire under the next screen.
void CPInterface::OnMouseDown(int button, float x, float y) {
    if (!m_active || !m_focus) return;
    CPSmartPtr<CPWindow> focus = m_focus;
    if (focus->OnPress(button, x, y)) RebuildBatch();
}

void CPInterface::OnMouseUp(int button, float x, float y) {
    if (!m_active || !m_focus) return;
    CPSmartPtr<CPWindow> focus = m_focus;
    if (focus->OnRelease(button, x, y)) RebuildBatch();
}

void CPInterface::OnPointerMove(float x, float y) {
    m_pointerX = x;
    m_pointerY = y;
    if (!m_active || !m_pointerObject) return;
    m_pointerObject->SetPosition(x, y, 0.0f);
    m_pointerObject->UpdateTransform();

    bool rebuild = LeaveFocusIfOutside(x, y);
    // Commands may change the lists; walk copies.
    const std::vector<CPSmartPtr<CPWindow>> elements = m_elements;
    if (const CPSmartPtr<CPWindow>* top = TopUsableAt(elements, x, y)) {
        m_focus = *top;
        rebuild |= (*top)->OnPointerEnter(x, y);
    }
    for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
        CPWindow* element = it->Get();
        if (!element || !Usable(*element) || !element->HitTest(x, y)) continue;
        SendToInterfaceScripts("mouse_window_over2", element->GetName() + "," + GetName());
    }
    if (rebuild) RebuildBatch();
}

bool CPInterface::LeaveFocusIfOutside(float x, float y) {
    if (!m_focus || m_focus->HitTest(x, y)) return false;
    const CPSmartPtr<CPWindow> left = m_focus;
    const bool changed = left->OnPointerLeave(x, y);
    m_focus = CPSmartPtr<CPWindow>();
    return changed;
}

void CPInterface::MoveFocusTo(float x, float y) {
    const bool rebuild = LeaveFocusIfOutside(x, y);
    const std::vector<CPSmartPtr<CPWindow>> elements = m_elements;
    if (const CPSmartPtr<CPWindow>* top = TopUsableAt(elements, x, y)) {
        m_focus = *top;
        if ((*top)->OnPointerEnter(x, y)) {
            RebuildBatch();
            return;
        }
        // A plain window takes no keyboard focus.
        m_focus = CPSmartPtr<CPWindow>();
    }
    if (rebuild) RebuildBatch();
}

void CPInterface::FocusNextButton() {
    if (!m_active || m_buttons.empty()) return;
    const std::size_t count = m_buttons.size();
    const std::vector<CPSmartPtr<CPWindow>> buttons = m_buttons;
    std::size_t focused = count;
    for (std::size_t i = 0; i < count && m_focus; ++i)
        if (buttons[i].Get() == m_focus.Get()) focused = i;
    if (focused < count) {
        for (std::size_t step = 1; step <= count; ++step) {
            CPWindow* button = buttons[(focused + step) % count].Get();
            if (button && Usable(*button)) {
                MoveFocusTo(button->GetX() + 1.0f, button->GetY() + 1.0f);
                return;
            }
        }
        return;
    }
    if (CPWindow* first = buttons[0].Get(); first && Usable(*first)) {
        MoveFocusTo(first->GetX() + 1.0f, first->GetY() + 1.0f);
        return;
    }
    for (std::size_t i = 1; i < count; ++i) {
        CPWindow* button = buttons[i].Get();
        if (button && Usable(*button)) {
            MoveFocusTo(button->GetX() + 2.0f, button->GetY());
            return;
        }
    }
}

void CPInterface::FocusPreviousButton() {
    if (!m_active || m_buttons.empty()) return;
    const std::size_t count = m_buttons.size();
    const std::vector<CPSmartPtr<CPWindow>> buttons = m_buttons;
    std::size_t focused = count;
    for (std::size_t i = 0; i < count && m_focus; ++i)
        if (buttons[i].Get() == m_focus.Get()) focused = i;
    if (focused < count) {
        for (std::size_t step = 1; step <= count; ++step) {
            CPWindow* button = buttons[(focused + count - step) % count].Get();
            if (button && Usable(*button)) {
                MoveFocusTo(button->GetX() + 1.0f, button->GetY() + 1.0f);
                return;
            }
        }
        return;
    }
    for (std::size_t i = count; i-- > 0;) {
        CPWindow* button = buttons[i].Get();
        if (button && Usable(*button)) {
            MoveFocusTo(button->GetX() + 2.0f, button->GetY());
            return;
        }
    }
}

void BroadcastMenuDown() {
    ForEachInterface([](CPInterface& i) { i.OnMenuDown(); });
}
void BroadcastMenuUp() {
    ForEachInterface([](CPInterface& i) { i.OnMenuUp(); });
}
void BroadcastMenuLeft() {
    ForEachInterface([](CPInterface& i) { i.OnMenuLeft(); });
}
void BroadcastMenuRight() {
    ForEachInterface([](CPInterface& i) { i.OnMenuRight(); });
}
void BroadcastEnterDown() {
    ForEachInterface([](CPInterface& i) { i.OnEnterDown(); });
}
void BroadcastEnterUp() {
    ForEachInterface([](CPInterface& i) { i.OnEnterUp(); });
}

void BroadcastMouseMove(float x, float y) {
    const double width = g_screenWidth != 0 ? g_screenWidth : 1;
    const double height = g_screenHeight != 0 ? g_screenHeight : 1;
    SendToInterfaceScripts("mouse_move", Platform::FormatC("%.2f,%.2f", x / width, y / height));
    ForEachInterface([x, y](CPInterface& i) { i.OnPointerMove(x, y); });
}

void BroadcastMouseDown(int button, float x, float y) {
    ForEachInterface([=](CPInterface& i) { i.OnMouseDown(button, x, y); });
}
void BroadcastMouseUp(int button, float x, float y) {
    ForEachInterface([=](CPInterface& i) { i.OnMouseUp(button, x, y); });
}
void BroadcastFocusNext() {
    ForEachInterface([](CPInterface& i) { i.FocusNextButton(); });
}
void BroadcastFocusPrevious() {
    ForEachInterface([](CPInterface& i) { i.FocusPreviousButton(); });
}

void InstallInterfaceBroadcasts() {
    static InterfaceBroadcasts broadcasts;
    SetInterfaceBroadcasts(&broadcasts);
}
