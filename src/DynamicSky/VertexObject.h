#pragma once
// A small self-drawing mesh of the sky: it keeps its vertices and indices in memory, one managed
// vertex buffer and one managed index buffer of fixed size, a texture and up to two effects, and
// draws itself at once through the sky device with whatever transforms are in force. The sky
// sphere, the sky layers and the volume cloud are vertex objects.

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Effects/D3DXEffect.h"
#include "Platform/Graphics/D3D9.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PDeviceListener.h"
#include "Render/SPVertex.h"

class VertexObject : public IPDeviceListener {
public:
    // The buffers are made once at these sizes and never grown.
    static constexpr UINT kVertexBufferBytes = 960000;
    static constexpr UINT kIndexBufferBytes = 120000;
    static constexpr std::size_t kMaxVertices = kVertexBufferBytes / sizeof(SPVertex);
    static constexpr std::size_t kMaxIndices = kIndexBufferBytes / sizeof(std::uint16_t);

    VertexObject() = default;
    ~VertexObject() override;

    void OnDeviceLost() override;
    void OnDeviceReset() override;

    // Replaces the texture by the picture in that file; answers the creation result, or 0 when
    // the file cannot be read (no texture then, and nothing logged).
    HRESULT LoadTexture(const std::string& path);
    // Replaces the effect (or the light effect) by the one in that file, on its first valid
    // technique.
    HRESULT LoadEffect(const std::string& path);
    HRESULT LoadLightEffect(const std::string& path);
    // Moves the drawn positions to the source positions transformed by the matrix.
    HRESULT TransformVertices(const D3DXMATRIX& matrix);
    // Keeps copies of the vertices and indices (and, unless keepDrawn, makes the drawn vertices
    // the same) and copies them into the buffers, which the first call creates. More vertices
    // or indices than the buffers hold are refused: logged, nothing kept, nothing drawn.
    HRESULT Upload(const std::vector<SPVertex>& vertices, const std::vector<std::uint16_t>& indices, bool keepDrawn);
    // Draws the indexed triangles through the sky device, with the effect's every pass when there
    // is an effect (its "tex0" set to the texture), else once with the device state in force.
    virtual HRESULT Render(float unused = 0.0f);

    const std::vector<SPVertex>& GetDrawnVertices() const { return m_drawn; }
    const std::vector<SPVertex>& GetSourceVertices() const { return m_source; }
    const std::vector<std::uint16_t>& GetIndices() const { return m_indices; }
    IDirect3DTexture9* GetTexture() const { return m_texture; }
    ID3DXEffect* GetEffect() const { return m_effect; }
    ID3DXEffect* GetLightEffect() const { return m_lightEffect; }
    IDirect3DVertexBuffer9* GetVertexBuffer() const { return m_vertexBuffer; }
    IDirect3DIndexBuffer9* GetIndexBuffer() const { return m_indexBuffer; }

protected:
    std::vector<SPVertex> m_drawn;
    std::vector<SPVertex> m_source;
    std::vector<std::uint16_t> m_indices;

private:
    HRESULT LoadEffectInto(const std::string& path, ID3DXEffect*& target);
    // Creates both buffers when one is missing; false when that failed.
    bool EnsureBuffers();
    // Whether the buffers hold what is kept in memory (the last upload was accepted and copied).
    bool m_uploaded = false;

    IDirect3DTexture9* m_texture = nullptr;
    ID3DXEffect* m_effect = nullptr;
    ID3DXEffect* m_lightEffect = nullptr;
    bool m_useLightEffect = false;
    IDirect3DVertexBuffer9* m_vertexBuffer = nullptr;
    IDirect3DIndexBuffer9* m_indexBuffer = nullptr;
};
