#include "Game/ScriptInterface.h"

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Game/PInterface.h"
#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Script/ScriptBinding.h"

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptCall;
namespace Arg = Script::Arg;
using Text = std::optional<std::string>;

constexpr int kInterfacePriority = 450;

std::string Value(const Text& text) { return text ? *text : std::string(); }

std::string TextOfKey(const Text& key) {
    CPGameData* data = GetGameData();
    return data ? data->GetText(Value(key)) : std::string();
}

CPWindow* Element(CPInterface* interface, const Text& name) {
    return interface ? interface->FindElement(Value(name)) : nullptr;
}

void CreateInterface(ScriptCall& call, Text name, double layer) {
    auto* interface = new CPInterface();
    interface->LoadLayout(Value(name), Script::TruncateToInt(layer));
    call.PushReferencedObject(interface);
}

void ActivateInterface(ScriptCall&, CPInterface* interface) {
    if (interface) interface->Activate(kInterfacePriority);
    if (CPRender* render = GetRender())
        if (CPSmartPtr<CPRenderBlock> block = render->GetRenderBlock()) block->PurgeUnusedBatches();
}

void SilentActivateInterface(ScriptCall&, CPInterface* interface) {
    if (interface) interface->SilentActivate(kInterfacePriority);
}

void UpdateInterface(ScriptCall&, CPInterface* interface) {
    if (interface) interface->Render();
}

void UpdateInterfaceBuffers(ScriptCall&, CPInterface* interface) {
    if (interface) interface->RebuildBatch();
}

void SetWindowVisible(ScriptCall&, CPInterface* interface, Text name, bool visible) {
    if (CPWindow* element = Element(interface, name)) element->SetVisible(visible);
}

void SetWindowVisibleP(ScriptCall&, CPWindow* element, bool visible) {
    if (element) element->SetVisible(visible);
}

void SetWindowPosition(ScriptCall&, CPInterface* interface, Text name, double x, double y) {
    if (CPWindow* element = Element(interface, name))
        element->SetPosition(static_cast<float>(g_screenWidth * x / 1024.0), static_cast<float>(g_interfaceScale * y));
}

void SetWindowPositionShop(ScriptCall&, CPInterface* interface, Text name, double x, double y) {
    if (CPWindow* element = Element(interface, name))
        element->SetPosition(static_cast<float>(g_screenWidth * (x - 0.5) / 1024.0),
                             static_cast<float>(g_interfaceScale * (y - 0.5)));
}

void SetWindowPosition2(ScriptCall&, CPInterface* interface, Text name, double x, double y) {
    if (CPWindow* element = Element(interface, name))
        element->SetPosition(Script::NarrowToFloat(x), Script::NarrowToFloat(y));
}

void SetWindowPosition2P(ScriptCall&, CPWindow* element, double x, double y) {
    if (element) element->SetPosition(Script::NarrowToFloat(x), Script::NarrowToFloat(y));
}

void SetWindowRotation(ScriptCall&, CPInterface* interface, Text name, double angle) {
    if (CPWindow* element = Element(interface, name)) element->SetRotation(Script::NarrowToFloat(angle));
}

void SetWindowRotationP(ScriptCall&, CPWindow* element, double angle) {
    if (element) element->SetRotation(Script::NarrowToFloat(angle));
}

void SetWindowSize(ScriptCall&, CPInterface* interface, Text name, double width, double height) {
    if (CPWindow* element = Element(interface, name))
        element->SetSize(Script::NarrowToFloat(width), Script::NarrowToFloat(height));
}

void GetWindowPosition(ScriptCall& call, CPInterface* interface, Text name) {
    const CPWindow* element = Element(interface, name);
    call.PushNumber(element ? element->GetX() : -1.0);
    call.PushNumber(element ? element->GetY() : -1.0);
}

// A button's own size is never set: it answers the size of its normal picture, as drawn.
void GetWindowSize(ScriptCall& call, CPInterface* interface, Text name) {
    const CPWindow* element = Element(interface, name);
    if (const auto* button = dynamic_cast<const CPButton*>(element); button && button->GetStateWindow(0))
        element = button->GetStateWindow(0).Get();
    call.PushNumber(element ? element->GetWidth() : -1.0);
    call.PushNumber(element ? element->GetHeight() : -1.0);
}

void GetWindow(ScriptCall& call, CPInterface* interface, Text name) { call.PushObject(Element(interface, name)); }

void SetInterfacePosition(ScriptCall&, CPInterface* interface, double dx, double dy) {
    if (interface) interface->Move(Script::NarrowToFloat(dx), Script::NarrowToFloat(dy));
}

// Stores the text in the entry and prints it; the printed width.
void StoreAndPrint(ScriptCall& call, CPInterface* interface, const Text& name, const std::string& text) {
    SPTextEntry* entry = interface ? interface->FindText(Value(name)) : nullptr;
    if (!entry) {
        call.PushNumber(0.0);
        return;
    }
    entry->text = text;
    call.PushNumber(PrintIntoEntry(*entry, entry->font, text));
}

void SetText(ScriptCall& call, CPInterface* interface, Text name, Text text) {
    if (g_appClosing) return;
    StoreAndPrint(call, interface, name, Value(text));
}

void SetTextString(ScriptCall& call, CPInterface* interface, Text name, Text key) {
    if (g_appClosing) return;
    StoreAndPrint(call, interface, name, TextOfKey(key));
}

void GetTextString(ScriptCall& call, Text key) { call.PushString(g_appClosing ? std::string() : TextOfKey(key)); }

void SetTextPosition(ScriptCall&, CPInterface* interface, Text name, double x, double y) {
    SPTextEntry* entry = interface ? interface->FindText(Value(name)) : nullptr;
    if (!entry) return;
    entry->x = Script::NarrowToFloat(x);
    entry->y = Script::NarrowToFloat(y);
    ReprintTextEntry(*entry);
}

void GetTextPosition(ScriptCall& call, CPInterface* interface, Text name) {
    const SPTextEntry* entry = interface ? interface->FindText(Value(name)) : nullptr;
    call.PushNumber(entry ? entry->x : -1.0);
    call.PushNumber(entry ? entry->y : -1.0);
}

void SetFont(ScriptCall&, CPInterface* interface, Text name, Text font, Text text) {
    if (const SPTextEntry* entry = interface ? interface->FindText(Value(name)) : nullptr)
        PrintIntoEntry(*entry, Value(font), Value(text));
}

void SetFontString(ScriptCall&, CPInterface* interface, Text name, Text font, Text key) {
    if (const SPTextEntry* entry = interface ? interface->FindText(Value(name)) : nullptr)
        PrintIntoEntry(*entry, Value(font), TextOfKey(key));
}

void SetEditBoxText(ScriptCall&, CPInterface* interface, Text name, Text text) {
    if (CPEditBox* box = interface ? interface->FindEditBox(Value(name)) : nullptr) box->SetText(Value(text));
}

void EditBoxProcessKey(ScriptCall&, CPInterface* interface, Text name, double code) {
    CPEditBox* box = interface ? interface->FindEditBox(Value(name)) : nullptr;
    if (!box) return;
    const int key = Script::TruncateToInt(code);
    const int low = key & 0xff;
    // The two letters the fonts do not draw.
    if (low == 168 || low == 184) return;
    box->ProcessKey(key);
}

void EditBoxTextLength(ScriptCall& call, CPInterface* interface, Text name) {
    if (!interface) return;
    const CPEditBox* box = interface->FindEditBox(Value(name));
    call.PushNumber(box ? static_cast<double>(box->GetText().size()) : 0.0);
}

void GetEditBoxText(ScriptCall& call, CPInterface* interface, Text name) {
    if (!interface) return;
    const CPEditBox* box = interface->FindEditBox(Value(name));
    call.PushString(box ? box->GetText() : std::string());
}

void IMenuRight(ScriptCall&) { BroadcastFocusNext(); }
void IMenuLeft(ScriptCall&) { BroadcastFocusPrevious(); }

void DeselectCurrentButton(ScriptCall&, CPInterface* interface) {
    if (!interface) return;
    CPSmartPtr<CPWindow> focus(interface->GetFocus());
    if (!focus || !interface->IsButton(focus.Get())) return;
    focus->OnPointerLeave(0.0f, 0.0f);
    interface->ClearFocus();
}

void SetCursor(ScriptCall&, CPInterface* interface, std::string name) {
    if (interface) interface->SetCursor(name);
}

void GetCursor(ScriptCall& call, CPInterface* interface) {
    if (interface) call.PushString(interface->GetPointerName());
}

void LockButton(ScriptCall&, CPInterface* interface, Text name) {
    CPSmartPtr<CPWindow> element(Element(interface, name));
    if (!element) return;
    element->SetEnabled(false);
    if (interface->GetFocus() == element.Get()) {
        element->OnPointerLeave(0.0f, 0.0f);
        interface->ClearFocus();
    }
}

void UnlockButton(ScriptCall&, CPInterface* interface, Text name) {
    if (CPWindow* element = Element(interface, name)) element->SetEnabled(true);
}

using Interface = Arg::Object<CPInterface>;
using ElementArg = Arg::Object<CPWindow>;

} // namespace

void AddInterfaceFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kFirst[] = {
        {"LockButton", ScriptBind<LockButton, Interface, Arg::String>},
        {"UnlockButton", ScriptBind<UnlockButton, Interface, Arg::String>},
    };
    static const Script::ScriptFunction kSecond[] = {
        {"UpdateInterface", ScriptBind<UpdateInterface, Interface>},
        {"CreateInterface", ScriptBind<CreateInterface, Arg::String, Arg::Number>},
        {"ActivateInterface", ScriptBind<ActivateInterface, Interface>},
        {"SilentActivateInterface", ScriptBind<SilentActivateInterface, Interface>},
        {"SetWindowVisible", ScriptBind<SetWindowVisible, Interface, Arg::String, Arg::Boolean>},
        {"SetWindowVisibleP", ScriptBind<SetWindowVisibleP, ElementArg, Arg::Boolean>},
        {"SetWindowPosition", ScriptBind<SetWindowPosition, Interface, Arg::String, Arg::Number, Arg::Number>},
        {"SetWindowPosition2", ScriptBind<SetWindowPosition2, Interface, Arg::String, Arg::Number, Arg::Number>},
        {"SetWindowPosition2P", ScriptBind<SetWindowPosition2P, ElementArg, Arg::Number, Arg::Number>},
        {"SetWindowPositionShop", ScriptBind<SetWindowPositionShop, Interface, Arg::String, Arg::Number, Arg::Number>},
        {"SetWindowRotation", ScriptBind<SetWindowRotation, Interface, Arg::String, Arg::Number>},
        {"SetWindowRotationP", ScriptBind<SetWindowRotationP, ElementArg, Arg::Number>},
        {"SetWindowSize", ScriptBind<SetWindowSize, Interface, Arg::String, Arg::Number, Arg::Number>},
        {"GetWindowSize", ScriptBind<GetWindowSize, Interface, Arg::String>},
        {"GetWindow", ScriptBind<GetWindow, Interface, Arg::String>},
        {"SetInterfacePosition", ScriptBind<SetInterfacePosition, Interface, Arg::Number, Arg::Number>},
        {"SetText", ScriptBind<SetText, Interface, Arg::String, Arg::String>},
        {"SetTextString", ScriptBind<SetTextString, Interface, Arg::String, Arg::String>},
        {"GetTextString", ScriptBind<GetTextString, Arg::String>},
        {"SetTextPosition", ScriptBind<SetTextPosition, Interface, Arg::String, Arg::Number, Arg::Number>},
        {"GetTextPosition", ScriptBind<GetTextPosition, Interface, Arg::String>},
        {"SetFont", ScriptBind<SetFont, Interface, Arg::String, Arg::String, Arg::String>},
        {"SetFontString", ScriptBind<SetFontString, Interface, Arg::String, Arg::String, Arg::String>},
        {"SetEditBoxText", ScriptBind<SetEditBoxText, Interface, Arg::String, Arg::String>},
        {"EditBoxProcessKey", ScriptBind<EditBoxProcessKey, Interface, Arg::String, Arg::Number>},
        {"EditBoxTextLength", ScriptBind<EditBoxTextLength, Interface, Arg::String>},
        {"GetEditBoxText", ScriptBind<GetEditBoxText, Interface, Arg::String>},
        {"IMenuRight", ScriptBind<IMenuRight>},
        {"IMenuLeft", ScriptBind<IMenuLeft>},
        {"DeselectCurrentButton", ScriptBind<DeselectCurrentButton, Interface>},
        {"UpdateInterfaceBuffers", ScriptBind<UpdateInterfaceBuffers, Interface>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"SetCursor", ScriptBind<SetCursor, Interface, Arg::RequiredString>},
        {"GetCursor", ScriptBind<GetCursor, Interface>},
        {"GetWindowPosition", ScriptBind<GetWindowPosition, Interface, Arg::String>},
    };
    tables.Add(kFirstTable, kFirst);
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
