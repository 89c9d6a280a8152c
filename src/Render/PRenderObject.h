#pragma once
// The general mesh renderable: model-space vertices, a world-space copy refreshed only after
// the owner moved, an optional chain of vertex effects run while filling, impact dents, and
// optionally its own static device buffers (static level meshes).

#include <string>
#include <vector>

#include "Render/POrientedBox.h"
#include "Render/PRenderable.h"

class CPVertexEffect;
class IPSceneObject;
struct SPStaticBuffer;

// One dentable region of a deformable mesh (built by the mesh loader).
struct SPVertexReference {
    SPVertex* vertex = nullptr; // the model vertex this record moves
};

struct SPDamagePart {
    std::vector<std::vector<SPVertexReference>> references;
    CPOrientedBox box;
    float damage = 0.0f;
};

class CPRenderObject : public IPRenderable {
public:
    explicit CPRenderObject(IPSceneObject* owner = nullptr);
    ~CPRenderObject() override;
    CPRenderObject(const CPRenderObject&) = delete;
    CPRenderObject& operator=(const CPRenderObject&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPRenderObject)); }
    std::string GetClassName() const override { return "CPRenderObject - " + m_name; }

    bool IsFillSkipped() const override { return m_fillSkipped; }
    void SetFillSkipped(bool skipped) override { m_fillSkipped = skipped; }
    int GetVertexCount() const override { return static_cast<int>(m_modelVertices.size()); }
    int GetIndexCount() const override { return static_cast<int>(m_indices.size()); }
    void FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int unused) override;
    void FillIndices(std::uint16_t* indices, int unused, int& first, int& last) override;
    CPSmartPtr<CPMaterial> GetMaterial() const override { return m_material; }
    virtual void CopyFrom(const CPRenderObject& source);

    // Replaces the material; the name becomes the material's class name.
    void SetEffect(const CPSmartPtr<CPMaterial>& material);
    void UpdateWorldVertices();
    void ApplyImpactDeformation(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, float force);
    // Model positions by the whole matrix, model normals by its 3x3 part (not renormalised).
    void TransformVertices(const D3DXMATRIX& matrix);

    // Replaces the mesh; the world vertices start as a copy of the model vertices.
    void SetMesh(std::vector<SPVertex> vertices, std::vector<std::uint16_t> indices);
    std::vector<SPVertex>& ModelVertices() { return m_modelVertices; }
    std::vector<std::uint16_t>& Indices() { return m_indices; }
    std::vector<SPVertex>& WorldVertices() { return m_worldVertices; }
    const std::vector<SPVertex>& ModelVertices() const { return m_modelVertices; }
    const std::vector<std::uint16_t>& Indices() const { return m_indices; }
    const std::vector<SPVertex>& WorldVertices() const { return m_worldVertices; }

    // Takes ownership of the effect (appended to the chain).
    void AddVertexEffect(CPVertexEffect* effect);
    const std::vector<CPVertexEffect*>& GetVertexEffects() const { return m_vertexEffects; }
    bool HasVertexEffects() const { return !m_vertexEffects.empty(); }

    std::vector<SPDamagePart>& DamageParts() { return m_damageParts; }
    bool IsDeformable() const { return m_deformable; }
    void SetDeformable(bool deformable) { m_deformable = deformable; }

    IPSceneObject* GetOwner() const { return m_owner; }
    void SetOwner(IPSceneObject* owner) { m_owner = owner; }
    const std::string& GetName() const { return m_name; }

    // The world matrix the object is drawn with from its static buffers.
    const D3DXMATRIX& GetWorldMatrix() const { return m_worldMatrix; }
    void SetWorldMatrix(const D3DXMATRIX& m) { m_worldMatrix = m; }
    const std::string& GetStaticBufferName() const { return m_staticBufferName; }
    SPStaticBuffer* GetStaticBuffer() const;
    // Makes (or finds) the renderer's static buffers of that name from this mesh and holds
    // them; false (and no buffers held) when the renderer cannot make them.
    bool SetStaticBuffer(const std::string& name);
    void SetStaticBufferRecord(const std::string& name, SPStaticBuffer* record);

private:
    // World vertices exactly as many as model vertices.
    void MatchWorldVertices();

    IPSceneObject* m_owner;
    std::vector<SPVertex> m_modelVertices;
    std::vector<std::uint16_t> m_indices;
    std::vector<SPVertex> m_worldVertices;
    CPSmartPtr<CPMaterial> m_material;
    std::vector<SPDamagePart> m_damageParts;
    bool m_deformable = false;
    bool m_fillSkipped = false;
    std::string m_name;
    std::vector<CPVertexEffect*> m_vertexEffects;
    D3DXMATRIX m_worldMatrix;
    std::string m_staticBufferName;
    CPSmartPtr<IPMMObject> m_staticBuffer; // an SPStaticBuffer, held counted
};
