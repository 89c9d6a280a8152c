#pragma once
// The elements of an interface: CPWindow, a textured rectangle of the screen, and CPButton, a
// window with three pictures (normal, pointer over it, pressed) that reports clicks. Elements
// send their commands through their owner, the interface that made them.

#include <string>

#include "Framework/PMMObject.h"
#include "Render/SPVertex.h"

class CPTextReader;

// What an element needs of the interface that owns it.
class IPElementOwner {
public:
    // Sends the command to the owner's script (nowhere when it has none).
    virtual void SendToOwnerScript(const std::string& command, const std::string& params) = 0;
    virtual void RebuildBatch() = 0;

protected:
    ~IPElementOwner() = default;
};

// Sends the command to every script of category "interface".
void SendToInterfaceScripts(const std::string& command, const std::string& params);

class CPWindow : public IPMMObject {
public:
    explicit CPWindow(IPElementOwner* owner);
    int GetSize() const override { return static_cast<int>(sizeof(CPWindow)); }
    std::string GetClassName() const override { return "CPWindow"; }

    virtual void SetEnabled(bool enabled) { m_enabled = enabled; }
    // Inside the quad's rectangle at the window's position, edges included.
    virtual bool HitTest(float x, float y) const;
    // Pixels as given, no scale or offset; texture coordinates divided by the texture size.
    virtual bool SetGeometry(const std::string& name, float textureWidth, float textureHeight, float x, float y,
                             float width, float height, float u, float v, float du, float dv);
    // Reads one window line of a layout, scaled to the screen.
    virtual bool Load(CPTextReader& reader, float textureWidth, float textureHeight);
    virtual const SPVertex* GetVertices() const { return m_quad; }
    virtual const std::uint16_t* GetIndices() const { return m_indices; }
    virtual void SetVisible(bool visible) { m_visible = visible; }
    // The results tell the owner that the element's picture changed.
    virtual bool OnPointerEnter(float x, float y);
    virtual bool OnPointerLeave(float x, float y);
    virtual bool OnPress(int button, float x, float y);
    virtual bool OnRelease(int button, float x, float y);

    // Stores the position and sets the second texture coordinates to the quad's screen rectangle
    // over the screen size.
    void SetPosition(float x, float y);
    // Turns the quad about its centre (radians); texture coordinates and size stay.
    void SetRotation(float angle);
    // A new quad of that size; texture coordinates stay, so the picture stretches.
    void SetSize(float width, float height);
    // The colour of the window and of its four vertices.
    void SetColour(D3DCOLOR colour);

    const std::string& GetName() const { return m_name; }
    bool IsVisible() const { return m_visible; }
    bool IsEnabled() const { return m_enabled; }
    float GetX() const { return m_x; }
    float GetY() const { return m_y; }
    float GetWidth() const { return m_width; }
    float GetHeight() const { return m_height; }
    D3DCOLOR GetColour() const { return m_colour; }
    IPElementOwner* GetOwner() const { return m_owner; }
    // The owner is going: later commands and rebuilds go nowhere (a script may still hold the
    // element).
    virtual void DetachOwner() { m_owner = nullptr; }

protected:
    void BuildQuad(float width, float height, float u, float v, float du, float dv);
    void UpdateScreenCoordinates();

    IPElementOwner* m_owner;
    SPVertex m_quad[4];
    std::uint16_t m_indices[6] = {0, 1, 2, 0, 2, 3};
    std::string m_name;
    bool m_visible = true;
    bool m_enabled = true;
    float m_x = 0.0f, m_y = 0.0f;
    D3DCOLOR m_colour = 0xffffffffu;
    float m_width = 0.0f, m_height = 0.0f;
};

class CPButton : public CPWindow {
public:
    enum State { Normal = 0, PointerOver = 1, Pressed = 2 };

    explicit CPButton(IPElementOwner* owner) : CPWindow(owner) {}
    int GetSize() const override { return static_cast<int>(sizeof(CPButton)); }
    std::string GetClassName() const override { return "CPButton"; }

    // Back to normal, the owner rebuilds its batch, then the flag.
    void SetEnabled(bool enabled) override;
    // The normal window's quad at the button's own position, so a moved button answers where it
    // is drawn.
    bool HitTest(float x, float y) const override;
    // Three window lines: normal, pointer over, pressed.
    bool Load(CPTextReader& reader, float textureWidth, float textureHeight) override;
    const SPVertex* GetVertices() const override;
    const std::uint16_t* GetIndices() const override;
    void SetVisible(bool visible) override;
    bool OnPointerEnter(float x, float y) override;
    bool OnPointerLeave(float x, float y) override;
    bool OnPress(int button, float x, float y) override;
    bool OnRelease(int button, float x, float y) override;

    void DetachOwner() override;

    int GetState() const { return m_state; }
    const CPSmartPtr<CPWindow>& GetStateWindow(int state) const { return m_states[state]; }

private:
    const CPWindow* Current() const;

    CPSmartPtr<CPWindow> m_states[3];
    int m_state = Normal;
};
