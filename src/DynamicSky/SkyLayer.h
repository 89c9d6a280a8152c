#pragma once
// A textured square of the sky that orbits the centre about an axis at a fixed distance and
// always faces it. The sky sets its angle, scale, effect, texture and alpha from its keyframes;
// the first layer is the sun, whose position gives the sun light's direction.

#include <string>
#include <vector>

#include "DynamicSky/VertexObject.h"

class SkyLayer : public VertexObject {
public:
    SkyLayer();

    void SetEffectPaths(const std::string& a, const std::string& b);
    void AddTexture(const std::string& path);
    // Uploads the square of half-size h and loads the current texture and effect B.
    void Build(float halfSize);
    // 0 loads effect A; any other choice means B.
    HRESULT SelectEffect(int choice);
    // Steps to the next texture path (round to the first) and loads it.
    HRESULT NextTexture();
    // Every corner's colour becomes alpha << 24 | 0x000014.
    void SetAlpha(int alpha);
    // Places the square on its orbit facing the centre, uploads and draws it.
    virtual void Update(float step);

    // The orbit's world matrix for the current angle, and the square's world matrix at a centre
    // position (both as the update computes them).
    D3DXMATRIX OrbitMatrix() const;
    D3DXMATRIX FacingMatrix(const D3DXVECTOR3& position) const;
    // Places the square without drawing it: the world position and the drawn vertices.
    void Place();

    D3DXVECTOR3 axis{0.0f, 0.0f, 1.0f};
    D3DXVECTOR3 worldPosition{0.0f, 0.0f, 0.0f};
    float distance = 0.0f;
    float baseAngle = 0.0f;
    float angle = 0.0f;
    float scale = 0.0f;
    D3DXMATRIX baseMatrix;

    int GetEffectChoice() const { return m_effectChoice; }
    int GetTextureIndex() const { return m_textureIndex; }
    const std::vector<std::string>& GetTexturePaths() const { return m_texturePaths; }
    const std::string& GetEffectPathA() const { return m_effectA; }
    const std::string& GetEffectPathB() const { return m_effectB; }

private:
    std::string m_effectA, m_effectB;
    int m_effectChoice = 0;
    std::vector<std::string> m_texturePaths;
    int m_textureIndex = 0;
};
