#include "Game/PInterface.h"

#include <algorithm>

#include "Framework/CommandRouter.h"
#include "Game/PFontManager.h"
#include "Input/NInput.h"
#include "Render/PBaseCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"

namespace {

// Made at first use and never destroyed, so interfaces that outlive static destruction find it.
std::vector<CPInterface*>& LiveList() {
    static auto* list = new std::vector<CPInterface*>();
    return *list;
}

} // namespace

const std::vector<CPInterface*>& CPInterface::LiveInterfaces() { return LiveList(); }

CPInterface::CPInterface() : CPGameObject("Interface") {
    LiveList().push_back(this);
    m_batch = CPSmartPtr<CPRenderObject>(new CPRenderObject(this));
    SetAttachment(CPSmartPtr<IPMMObject>(m_batch.Get()), KindMesh);
}

CPInterface::~CPInterface() {
    auto& list = LiveList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    // Scripts may still hold elements (GetWindow, AddRef): they must not reach this object.
    for (auto& element : m_elements)
        if (element) element->DetachOwner();
    for (auto& [name, element] : m_elementMap)
        if (element) element->DetachOwner();
    if (m_batch) m_batch->SetOwner(nullptr);
}

void CPInterface::Activate(int priority) {
    m_active = true;
    int x = 0, y = 0;
    if (CNInput* input = CNInput::GetInstance()) input->GetCursorPosition(&x, &y);
    BroadcastMouseMove(static_cast<float>(x), static_cast<float>(y));
    CPGameObject::AddToScene(priority);
}

void CPInterface::SilentActivate(int priority) {
    m_active = true;
    CPGameObject::AddToScene(priority);
}

void CPInterface::Deactivate() {
    m_active = false;
    CPGameObject::RemoveFromScene();
}

void CPInterface::Render() {
    CPRender* render = GetRender();
    if (!render) return;
    if (m_lightOn) render->AddLight(m_light);
    if (CPSmartPtr<CPRenderBlock> block = render->GetRenderBlock()) block->AddObjectTree(this);
}

void CPInterface::RebuildBatch() {
    if (!m_batch) return;
    // 16-bit indices address at most this many whole quads.
    constexpr std::size_t kMaxQuads = 65536 / 4;
    std::vector<SPVertex> vertices;
    std::vector<std::uint16_t> indices;
    vertices.reserve(m_elements.size() * 4);
    indices.reserve(m_elements.size() * 6);
    for (const auto& element : m_elements) {
        if (!element || !element->IsVisible()) continue;
        if (vertices.size() / 4 >= kMaxQuads) break;
        const auto base = static_cast<std::uint16_t>(vertices.size());
        const SPVertex* quad = element->GetVertices();
        for (int i = 0; i < 4; ++i) {
            SPVertex vertex = quad[i];
            vertex.x += element->GetX();
            vertex.y += element->GetY();
            vertices.push_back(vertex);
        }
        const std::uint16_t* quadIndices = element->GetIndices();
        for (int i = 0; i < 6; ++i) indices.push_back(static_cast<std::uint16_t>(quadIndices[i] + base));
    }
    m_batch->SetMesh(std::move(vertices), std::move(indices));
}

void CPInterface::SendToOwnerScript(const std::string& command, const std::string& params) {
    if (CPLuaScript* script = GetScriptPointer()) RouteCommandByObject(script, command, params);
}

void CPInterface::Move(float dx, float dy) {
    for (auto& [name, element] : m_elementMap) {
        if (!element || name == "cursor") continue;
        element->SetPosition(element->GetX() + dx, element->GetY() + dy);
    }
    for (auto& [name, entry] : m_texts) {
        if (!entry) continue;
        entry->x += dx;
        entry->y += dy;
        ReprintTextEntry(*entry);
    }
}

CPWindow* CPInterface::FindElement(const std::string& name) const {
    auto it = m_elementMap.find(name);
    return it == m_elementMap.end() ? nullptr : it->second.Get();
}

CPEditBox* CPInterface::FindEditBox(const std::string& name) const {
    auto it = m_editBoxes.find(name);
    return it == m_editBoxes.end() ? nullptr : it->second.Get();
}

SPTextEntry* CPInterface::FindText(const std::string& name) const {
    auto it = m_texts.find(name);
    return it == m_texts.end() ? nullptr : it->second.get();
}

bool CPInterface::IsButton(const CPWindow* element) const {
    return element && std::any_of(m_buttons.begin(), m_buttons.end(),
                                  [element](const CPSmartPtr<CPWindow>& button) { return button.Get() == element; });
}

void CPInterface::SetCursor(const std::string& name) {
    if (m_pointerObject) m_pointerObject->SetVisible(false);
    m_pointerObject = m_pointerObjects[name];
    m_pointerName = name;
    if (m_pointerObject) {
        m_pointerObject->SetVisible(true);
        m_pointerObject->SetPosition(m_pointerX, m_pointerY, 0.0f);
        m_pointerObject->UpdateTransform();
    }
}

CPSmartPtr<CPGameObject> CPInterface::MakeMeshChild(const std::string& typeName) {
    CPSmartPtr<CPGameObject> object(new CPGameObject(typeName));
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
    object->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), KindMesh);
    return object;
}

void CPInterface::AddElement(const CPSmartPtr<CPWindow>& element) {
    m_elementMap[element->GetName()] = element;
    m_elements.push_back(element);
}
