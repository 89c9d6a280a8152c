#include "Game/PWindow.h"

#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Game/LayoutFields.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/NumberText.h"

using namespace LayoutFields;

namespace {

// A texel value over a texture size; a size of 0 gives 0 rather than an infinite coordinate.
float OverSize(float value, float size) { return size != 0.0f ? value / size : 0.0f; }

} // namespace

void SendToInterfaceScripts(const std::string& command, const std::string& params) {
    RouteCommandByCategory("interface", command, params);
}

CPWindow::CPWindow(IPElementOwner* owner) : m_owner(owner) { BuildQuad(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f); }

void CPWindow::BuildQuad(float width, float height, float u, float v, float du, float dv) {
    const float corners[4][4] = {
        {0.0f, 0.0f, u, v}, {width, 0.0f, u + du, v}, {width, height, u + du, v + dv}, {0.0f, height, u, v + dv}};
    for (int i = 0; i < 4; ++i) {
        SPVertex& vertex = m_quad[i];
        vertex = SPVertex{};
        vertex.x = corners[i][0];
        vertex.y = corners[i][1];
        vertex.nz = -1.0f;
        vertex.diffuse = m_colour;
        vertex.tu = corners[i][2];
        vertex.tv = corners[i][3];
    }
    m_width = width;
    m_height = height;
    UpdateScreenCoordinates();
}

void CPWindow::UpdateScreenCoordinates() {
    const float screenWidth = g_screenWidth > 0 ? static_cast<float>(g_screenWidth) : 1.0f;
    const float screenHeight = g_screenHeight > 0 ? static_cast<float>(g_screenHeight) : 1.0f;
    const float right = m_x + m_quad[1].x;
    const float bottom = m_y + m_quad[3].y;
    const float coordinates[4][2] = {{m_x, m_y}, {right, m_y}, {right, bottom}, {m_x, bottom}};
    for (int i = 0; i < 4; ++i) {
        m_quad[i].tu1 = coordinates[i][0] / screenWidth;
        m_quad[i].tv1 = coordinates[i][1] / screenHeight;
    }
}

bool CPWindow::HitTest(float x, float y) const {
    return m_x + m_quad[0].x <= x && x <= m_x + m_quad[1].x && m_y + m_quad[0].y <= y && y <= m_y + m_quad[2].y;
}

bool CPWindow::SetGeometry(const std::string& name, float textureWidth, float textureHeight, float x, float y,
                           float width, float height, float u, float v, float du, float dv) {
    m_name = name;
    m_x = x - 0.5f;
    m_y = y - 0.5f;
    SetVisible(true);
    BuildQuad(width, height, OverSize(u, textureWidth), OverSize(v, textureHeight), OverSize(du, textureWidth),
              OverSize(dv, textureHeight));
    return true;
}

bool CPWindow::Load(CPTextReader& reader, float textureWidth, float textureHeight) {
    std::string line;
    reader.ReadLine(line);
    std::vector<std::string> fields;
    SplitNamedLine(line, m_name, fields);
    const float scale = g_interfaceScale;
    m_x = FieldFloat(fields, 0) * scale - 0.5f + g_interfaceOffsetX;
    m_y = FieldFloat(fields, 1) * scale - 0.5f;
    const float width = FieldFloat(fields, 2) * scale;
    const float height = FieldFloat(fields, 3) * scale;
    const float u = OverSize(FieldFloat(fields, 4), textureWidth);
    const float v = OverSize(FieldFloat(fields, 5), textureHeight);
    const float du = OverSize(FieldFloat(fields, 6), textureWidth);
    const float dv = OverSize(FieldFloat(fields, 7), textureHeight);
    if (fields.size() > 8) SetVisible(fields[8] != "false");
    BuildQuad(width, height, u, v, du, dv);
    return true;
}

void CPWindow::SetPosition(float x, float y) {
    m_x = x;
    m_y = y;
    UpdateScreenCoordinates();
}

void CPWindow::SetRotation(float angle) {
    const float w = m_width, h = m_height;
    D3DXMATRIX toOrigin, rotation, back, product;
    D3DXMatrixTranslation(&toOrigin, -w / 2.0f, -h / 2.0f, 0.0f);
    D3DXMatrixRotationZ(&rotation, angle);
    D3DXMatrixTranslation(&back, w / 2.0f, h / 2.0f, 0.0f);
    D3DXMatrixMultiply(&product, &toOrigin, &rotation);
    D3DXMatrixMultiply(&product, &product, &back);
    const float corners[4][2] = {{0.0f, 0.0f}, {w, 0.0f}, {w, h}, {0.0f, h}};
    for (int i = 0; i < 4; ++i) {
        D3DXVECTOR3 position(corners[i][0], corners[i][1], 0.0f);
        D3DXVec3TransformCoord(&position, &position, &product);
        m_quad[i].x = position.x;
        m_quad[i].y = position.y;
        m_quad[i].z = position.z;
    }
}

void CPWindow::SetSize(float width, float height) {
    const float corners[4][2] = {{0.0f, 0.0f}, {width, 0.0f}, {width, height}, {0.0f, height}};
    for (int i = 0; i < 4; ++i) {
        m_quad[i].x = corners[i][0];
        m_quad[i].y = corners[i][1];
        m_quad[i].z = 0.0f;
    }
    m_width = width;
    m_height = height;
}

void CPWindow::SetColour(D3DCOLOR colour) {
    m_colour = colour;
    for (SPVertex& vertex : m_quad) vertex.diffuse = colour;
}

bool CPWindow::OnPointerEnter(float, float) {
    SendToInterfaceScripts("mouse_window_over", m_name);
    return false;
}

bool CPWindow::OnPointerLeave(float, float) {
    SendToInterfaceScripts("mouse_window_out", m_name);
    return false;
}

bool CPWindow::OnPress(int, float, float) { return false; }

bool CPWindow::OnRelease(int, float x, float y) {
    if (HitTest(x, y) && m_owner)
        m_owner->SendToOwnerScript(
            "window", m_name + Platform::FormatC(",%.2f,%.2f", static_cast<double>(x), static_cast<double>(y)));
    return false;
}

// ---- buttons ---------------------------------------------------------------------------------

const CPWindow* CPButton::Current() const {
    const CPWindow* window = m_states[m_state].Get();
    return window ? window : this;
}

void CPButton::SetEnabled(bool enabled) {
    m_state = Normal;
    if (m_owner) m_owner->RebuildBatch();
    m_enabled = enabled;
}

bool CPButton::HitTest(float x, float y) const {
    const CPWindow* normal = m_states[Normal].Get();
    if (!normal) return CPWindow::HitTest(x, y);
    const SPVertex* quad = normal->GetVertices();
    return m_x + quad[0].x <= x && x <= m_x + quad[1].x && m_y + quad[0].y <= y && y <= m_y + quad[2].y;
}

bool CPButton::Load(CPTextReader& reader, float textureWidth, float textureHeight) {
    m_state = Normal;
    for (auto& state : m_states) {
        state = CPSmartPtr<CPWindow>(new CPWindow(m_owner));
        state->Load(reader, textureWidth, textureHeight);
    }
    SetVisible(m_states[Normal]->IsVisible());
    m_name = m_states[Normal]->GetName();
    m_x = m_states[Normal]->GetX();
    m_y = m_states[Normal]->GetY();
    return true;
}

void CPButton::DetachOwner() {
    CPWindow::DetachOwner();
    for (auto& state : m_states)
        if (state) state->DetachOwner();
}

const SPVertex* CPButton::GetVertices() const { return Current()->GetVertices(); }
const std::uint16_t* CPButton::GetIndices() const { return Current()->GetIndices(); }

void CPButton::SetVisible(bool visible) {
    m_state = Normal;
    m_visible = visible;
}

bool CPButton::OnPointerEnter(float, float) {
    m_state = PointerOver;
    SendToInterfaceScripts("mouse_button_over", m_name);
    return true;
}

bool CPButton::OnPointerLeave(float, float) {
    m_state = Normal;
    SendToInterfaceScripts("mouse_button_out", m_name);
    return true;
}

bool CPButton::OnPress(int button, float, float) {
    if (button != 0) return false;
    m_state = Pressed;
    return true;
}

bool CPButton::OnRelease(int button, float x, float y) {
    if (button != 0) return false;
    if (HitTest(x, y)) {
        m_state = PointerOver;
        if (m_owner) m_owner->SendToOwnerScript("button", m_name);
    } else {
        m_state = Normal;
    }
    return true;
}
