#pragma once
// A camera-facing textured quad (billboard) attached to a scene object. It can be limited to a
// cone of view directions, fading towards the cone's edge; a sprite with a name is also a
// lens-flare source that reports itself to the level once in every frame it is visible.
//
// Visibility is worked out once a frame: the first of GetVertexCount, GetIndexCount and
// FillVertices computes it, and the fill clears it again for the next frame.

#include <string>
#include <vector>

#include "Platform/Math/D3DXTypes.h"
#include "Render/PRenderable.h"

class CPVertexEffect;
class IPSceneObject;

class CPSprite : public IPRenderable {
public:
    // Half-width and half-height both equal size.
    explicit CPSprite(float size);
    ~CPSprite() override;
    CPSprite(const CPSprite&) = delete;
    CPSprite& operator=(const CPSprite&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPSprite)); }
    std::string GetClassName() const override { return "CPSprite"; }

    bool IsFillSkipped() const override { return false; }
    void SetFillSkipped(bool) override {}
    int GetVertexCount() const override { return UpdateVisibility() ? 4 : 0; }
    int GetIndexCount() const override { return UpdateVisibility() ? 6 : 0; }
    // Four vertices and six indices (baseIndex + 0, 2, 1, 0, 3, 2) when visible, nothing
    // otherwise; either way the frame's visibility is cleared for the next frame.
    void FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int unused) override;
    // The indices are written with the vertices.
    void FillIndices(std::uint16_t*, int, int&, int&) override {}
    CPSmartPtr<CPMaterial> GetMaterial() const override { return m_material; }

    // This frame's visibility, worked out at most once between two fills. Without a current
    // view camera or an owner a sprite is never visible: the quad cannot be placed.
    bool UpdateVisibility() const;

    // Takes over size, material, parameters, flare name and clones of the vertex effects;
    // neither the owner nor this frame's state.
    void CopyFrom(const CPSprite& source);

    // The owner is a plain back-link: the sprite holds no reference to it.
    void SetOwner(IPSceneObject* owner) { m_owner = owner; }
    IPSceneObject* GetOwner() const { return m_owner; }
    void SetMaterial(const CPSmartPtr<CPMaterial>& material) { m_material = material; }

    // Takes ownership of the effect, appends it and switches the effects on.
    void AddVertexEffect(CPVertexEffect* effect);
    const std::vector<CPVertexEffect*>& GetVertexEffects() const { return m_vertexEffects; }
    bool AreEffectsEnabled() const { return m_effectsEnabled; }
    void SetEffectsEnabled(bool enabled) { m_effectsEnabled = enabled; }

    float GetHalfWidth() const { return m_halfWidth; }
    float GetHalfHeight() const { return m_halfHeight; }
    void SetHalfHeight(float halfHeight) { m_halfHeight = halfHeight; }
    float GetRotation() const { return m_rotation; }
    void SetRotation(float radians) { m_rotation = radians; }
    float GetVShift() const { return m_vShift; }
    void SetVShift(float shift) { m_vShift = shift; }
    D3DCOLOR GetColour() const { return m_colour; }
    void SetColour(D3DCOLOR colour) { m_colour = colour; }
    void SetTextureRange(float uStart, float vStart, float uEnd) {
        m_uStart = uStart;
        m_vStart = vStart;
        m_uEnd = uEnd;
    }
    float GetUStart() const { return m_uStart; }
    float GetVStart() const { return m_vStart; }
    float GetUEnd() const { return m_uEnd; }

    // The facing direction, in the frame of the owner's topmost ancestor, and the cone angle
    // (radians): 0 always visible; above 0 visible within that cone, fading to its edge; -0.1
    // or below always visible at the fixed brightness -angle; between -0.1 and 0 never visible.
    void SetCone(const D3DXVECTOR3& direction, float coneAngle) {
        m_direction = direction;
        m_coneAngle = coneAngle;
    }
    const D3DXVECTOR3& GetDirection() const { return m_direction; }
    float GetConeAngle() const { return m_coneAngle; }

    // A non-empty name makes the sprite a lens-flare source under that name.
    void SetName(const std::string& name) { m_name = name; }
    const std::string& GetName() const { return m_name; }

    // This frame's state.
    bool IsComputed() const { return m_computed; }
    bool IsFlareReported() const { return m_flareReported; }
    std::uint8_t GetIntensity() const { return m_intensity; }

private:
    // Hands this frame's flare record to the level (nothing without one).
    void ReportFlare(IPSceneObject* root) const;

    bool m_effectsEnabled = false;
    std::vector<CPVertexEffect*> m_vertexEffects;
    IPSceneObject* m_owner = nullptr;
    CPSmartPtr<CPMaterial> m_material;
    float m_halfWidth;
    float m_halfHeight;
    float m_rotation = 0.0f;
    float m_vShift = 0.0f;
    // The cone fade writes the colour while the counts are asked for, hence mutable like the
    // rest of the frame's state.
    mutable D3DCOLOR m_colour = 0xFFFFFFFF;
    float m_uStart = 0.0f;
    float m_vStart = 0.0f;
    float m_uEnd = 1.0f;
    D3DXVECTOR3 m_direction{0.0f, 0.0f, 0.0f};
    float m_coneAngle = 0.0f;
    mutable bool m_computed = false;
    mutable bool m_visible = true;
    mutable bool m_flareReported = false;
    mutable std::uint8_t m_intensity = 0;
    std::string m_name;
};
