#pragma once
// A particle batch holds every live particle of one particle name and draws them as one
// renderable, four vertices per particle written afresh each frame: camera-facing quads
// (optionally spun), or quads stretched along the motion, coloured by colour keys or a fade,
// with texture-atlas frames. It moves its particles, bounces them on a floor height, releases
// follow-ups halfway through their life and calls their callbacks.
//
// The quad batch draws spots: quads lying on a surface whose geometry is made once when the
// particle arrives; they do not move, fade near the end of their life and go when they are
// far from the point the camera looks at.
//
// Particles sit in one vector in emission order and are walked by index: emission during a walk
// (follow-ups, callbacks that spawn effects) appends to the same vector and is visited in the
// same pass, and no reference to a particle is held across a call that can emit. Expired
// particles are squeezed out in the same walk, so a warmed-up batch allocates nothing per frame.

#include <cstdint>
#include <vector>

#include "Render/PRenderObject.h"
#include "Scene/PParticleDesc.h"

class CPParticleBatch : public CPRenderObject {
public:
    // Four vertices per particle stay within one 16-bit index range.
    static constexpr int kMaxParticles = 16383;
    // The largest atlas a table line may ask for.
    static constexpr int kMaxAtlasFrames = 65536;

    CPParticleBatch();
    ~CPParticleBatch() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPParticleBatch)); }

    bool IsFillSkipped() const override { return false; }
    void SetFillSkipped(bool) override {}
    int GetVertexCount() const override { return 4 * GetParticleCount(); }
    int GetIndexCount() const override { return 6 * GetParticleCount(); }
    void FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int unused) override;
    void FillIndices(std::uint16_t*, int, int&, int&) override {}

    // Moves, ages and expires the particles (dt = the scaled frame time).
    virtual void Update();
    // Copies the particle in; false (and nothing added) when the batch is full.
    virtual bool AddParticle(const SPParticle& particle);
    // Every particle freed; the batch holds none.
    virtual void Clear();

    // The colour (ARGB) and size of the keys at t (0 to 1 over the life).
    void GetColourAndSize(float t, D3DCOLOR& colour, float& size) const;

    // Atlas set-up from a table line: 1 x 1, a side below 1 or more than kMaxAtlasFrames frames
    // leave the atlas off. Answers whether it is on.
    bool SetAtlas(int columns, int rows, int frameAnimation);
    void AddColourKey(const SPColourKey& key);
    void SetReserved(bool reserved) { m_reserved = reserved; }

    bool HoldsParticles() const { return m_holdsParticles; }
    int GetParticleCount() const { return static_cast<int>(m_particles.size()); }
    // The live particles in emission order (tests and the race world's inspection).
    SPParticle& GetParticle(int index) { return m_particles[static_cast<std::size_t>(index)]; }
    const SPParticle& GetParticle(int index) const { return m_particles[static_cast<std::size_t>(index)]; }
    const std::vector<SPColourKey>& GetColourKeys() const { return m_keys; }
    bool HasKeys() const { return m_hasKeys; }
    bool IsAtlasOn() const { return m_atlasOn; }
    int GetAtlasColumns() const { return m_columns; }
    int GetAtlasRows() const { return m_rows; }
    int GetFrameAnimation() const { return m_frameAnimation; }
    int GetFrameCount() const { return m_frameCount; }
    float GetFrameU(int frame) const { return m_u[static_cast<std::size_t>(frame)]; }
    float GetFrameV(int frame) const { return m_v[static_cast<std::size_t>(frame)]; }
    bool IsReserved() const { return m_reserved; }

protected:
    // A frame index inside the atlas for any value (NaN and out-of-range included).
    int WrapFrame(float frame) const;
    // The top-left texture coordinates of an atlas frame, (0, 0) with the atlas off.
    void FrameCorner(int frame, float& u, float& v) const;
    // Counts every Clear, so a walk notices that the particles went under it.
    unsigned m_clearCount = 0;

    std::vector<SPParticle> m_particles;
    bool m_holdsParticles = false;
    bool m_atlasOn = false;
    int m_rows = 1;
    int m_columns = 1;
    int m_frameAnimation = 1;
    std::vector<float> m_u;
    std::vector<float> m_v;
    int m_frameCount = 0;
    float m_du = 1.0f;
    float m_dv = 1.0f;

private:
    std::vector<SPColourKey> m_keys;
    bool m_reserved = false;
    bool m_hasKeys = false;
};

class CPParticleQuadBatch : public CPParticleBatch {
public:
    CPParticleQuadBatch() = default;
    ~CPParticleQuadBatch() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPParticleQuadBatch)); }
    void FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int unused) override;
    void Update() override;
    bool AddParticle(const SPParticle& particle) override;
    void Clear() override;

    // The stored corners of the k-th spot (tests).
    const SPVertex* GetQuad(int index) const { return m_quads[static_cast<std::size_t>(index)].v; }

    // How far (on x or on y) a spot may lie from the camera's target before it goes.
    static constexpr float kKeepDistance = 30.0f;
    // How far the quad floats above the surface it lies on.
    static constexpr float kLift = 0.03f;

private:
    struct Quad {
        SPVertex v[4];
    };
    std::vector<Quad> m_quads;
};

// Float to int with truncation, defined for every value: NaN is 0, values beyond the int range
// saturate.
int TruncateToInt(float value);
