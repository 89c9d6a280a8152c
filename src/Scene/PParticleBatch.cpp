#include "Scene/PParticleBatch.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PPerspectiveCamera.h"
#include "Scene/PParticlesManager.h"

int TruncateToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0f) return INT_MAX;
    if (value <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

namespace {

// The low eight bits of a colour channel scaled to 0..255 and truncated.
std::uint32_t ChannelBits(float value) { return static_cast<std::uint32_t>(TruncateToInt(value * 255.0f)) & 0xFFu; }

void SetVertex(SPVertex& v, const D3DXVECTOR3& p, D3DCOLOR colour, float u, float t) {
    v.x = p.x;
    v.y = p.y;
    v.z = p.z;
    v.nx = v.ny = v.nz = 0.0f;
    v.diffuse = colour;
    v.specular = 0;
    v.tu = u;
    v.tv = t;
    v.tu1 = v.tv1 = 0.0f;
}

void WriteIndices(std::uint16_t* out, std::uint16_t b, const int (&order)[6]) {
    for (int i = 0; i < 6; ++i) out[i] = static_cast<std::uint16_t>(b + order[i]);
}

constexpr int kBillboardOrder[6] = {0, 2, 1, 0, 3, 2};
constexpr int kQuadOrder[6] = {0, 1, 2, 0, 2, 3};

// The matrix the batches place their quads with: the current view camera's inverse view and
// eye, or the identity and the origin when there is no camera.
void CameraFrame(D3DXMATRIX& inverseView, D3DXVECTOR3& eye) {
    if (const CPPerspectiveCamera* camera = g_currentViewCamera) {
        inverseView = camera->GetInverseView();
        eye = camera->eye;
    } else {
        D3DXMatrixIdentity(&inverseView);
        eye = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    }
}

} // namespace

CPParticleBatch::CPParticleBatch() = default;

CPParticleBatch::~CPParticleBatch() = default;

bool CPParticleBatch::SetAtlas(int columns, int rows, int frameAnimation) {
    const long long frames = static_cast<long long>(columns) * static_cast<long long>(rows);
    if (columns < 1 || rows < 1 || frames == 1 || frames > kMaxAtlasFrames) {
        m_atlasOn = false;
        m_rows = m_columns = 1;
        m_frameCount = 0;
        m_du = m_dv = 1.0f;
        m_u.clear();
        m_v.clear();
        return false;
    }
    m_atlasOn = true;
    m_columns = columns;
    m_rows = rows;
    m_frameAnimation = frameAnimation;
    m_frameCount = static_cast<int>(frames);
    m_du = 1.0f / static_cast<float>(columns);
    m_dv = 1.0f / static_cast<float>(rows);
    m_u.assign(static_cast<std::size_t>(m_frameCount), 0.0f);
    m_v.assign(static_cast<std::size_t>(m_frameCount), 0.0f);
    for (int j = 0; j < rows; ++j)
        for (int k = 0; k < columns; ++k) {
            const std::size_t f = static_cast<std::size_t>(j) * static_cast<std::size_t>(columns) + k;
            m_u[f] = static_cast<float>(k) * m_du;
            m_v[f] = static_cast<float>(j) * m_dv;
        }
    return true;
}

void CPParticleBatch::AddColourKey(const SPColourKey& key) {
    m_keys.push_back(key);
    m_hasKeys = true;
}

int CPParticleBatch::WrapFrame(float frame) const {
    if (m_frameCount <= 0) return 0;
    int f = TruncateToInt(frame) % m_frameCount;
    if (f < 0) f += m_frameCount;
    return f;
}

void CPParticleBatch::FrameCorner(int frame, float& u, float& v) const {
    if (!m_atlasOn || m_frameCount <= 0) {
        u = v = 0.0f;
        return;
    }
    u = m_u[static_cast<std::size_t>(frame)];
    v = m_v[static_cast<std::size_t>(frame)];
}

bool CPParticleBatch::AddParticle(const SPParticle& particle) {
    if (GetParticleCount() >= kMaxParticles) return false;
    m_particles.push_back(particle);
    SPParticle& p = m_particles.back();
    if (m_atlasOn) {
        if (m_frameAnimation != 0)
            // A particle without life shows frame 0 throughout.
            p.frameRate = p.life > 0.0f ? static_cast<float>(m_frameCount) / p.life : 0.0f;
        else
            p.frame = Platform::EngineRand() % m_frameCount;
    }
    p.previousPosition = p.position;
    m_holdsParticles = true;
    return true;
}

void CPParticleBatch::Clear() {
    ++m_clearCount;
    m_particles.clear();
    m_holdsParticles = false;
}

void CPParticleBatch::Update() {
    const float dt = g_deltaTime;
    const unsigned clears = m_clearCount;
    std::size_t write = 0;
    // The size is read afresh on every step: emissions during the walk append particles that
    // this same pass visits.
    for (std::size_t read = 0; read < m_particles.size(); ++read) {
        std::unique_ptr<SPParticleDesc> followUp;
        {
            SPParticle& p = m_particles[read];
            if (p.stretched && p.velocity.x != 0.0f && p.velocity.y != 0.0f && p.velocity.z != 0.0f)
                p.lastVelocity = p.velocity;
            p.velocity += p.acceleration * dt;
            p.position += p.velocity * dt;
            p.size += p.growth * dt;
            if (p.bounce && p.position.z <= p.floor) {
                p.position.z = p.floor;
                p.velocity.z *= -0.5f;
            }
            if (p.followUp && p.age > p.life * 0.5f) {
                followUp = std::move(p.followUp);
                followUp->position += p.position;
            }
        }
        if (followUp) {
            if (CPParticlesManager* manager = GetParticlesManager()) manager->EmitParticle(*followUp);
            followUp.reset();
            if (m_clearCount != clears) return;
        }
        if (m_particles[read].age > m_particles[read].life) continue;
        if (write != read) m_particles[write] = std::move(m_particles[read]);
        SPParticle& p = m_particles[write++];
        p.age += dt;
        if (p.callback) {
            // The callback may emit into this batch, which can move the vector: it gets a record
            // that stays put, which goes back into its place afterwards.
            SPParticle held = std::move(p);
            held.callback(held.user.Get(), &held);
            if (m_clearCount != clears) return;
            m_particles[write - 1] = std::move(held);
        }
    }
    m_particles.erase(m_particles.begin() + static_cast<std::ptrdiff_t>(write), m_particles.end());
    m_holdsParticles = !m_particles.empty();
}

void CPParticleBatch::GetColourAndSize(float t, D3DCOLOR& colour, float& size) const {
    if (m_keys.empty()) {
        colour = 0xFFFFFFFF;
        size = 0.0f;
        return;
    }
    SPColourKey k;
    const std::size_t n = m_keys.size() - 1;
    if (n == 0 || !(t > 0.0f)) {
        k = m_keys.front();
    } else if (t >= 1.0f) {
        k = m_keys.back();
    } else {
        const float scaled = t * static_cast<float>(n);
        std::size_t c = static_cast<std::size_t>(scaled);
        if (c >= n) c = n - 1;
        const float f = scaled - static_cast<float>(c);
        const SPColourKey& a = m_keys[c];
        const SPColourKey& b = m_keys[c + 1];
        k.a = a.a + f * (b.a - a.a);
        k.r = a.r + f * (b.r - a.r);
        k.g = a.g + f * (b.g - a.g);
        k.b = a.b + f * (b.b - a.b);
        k.size = a.size + f * (b.size - a.size);
    }
    colour = ChannelBits(k.a) << 24 | ChannelBits(k.r) << 16 | ChannelBits(k.g) << 8 | ChannelBits(k.b);
    size = k.size;
}

void CPParticleBatch::FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int) {
    D3DXMATRIX view;
    D3DXVECTOR3 eye;
    CameraFrame(view, eye);
    const bool affine = view._14 == 0.0f && view._24 == 0.0f && view._44 == 1.0f;
    const bool advancing = g_deltaTime > 0.0f;
    const std::size_t count = m_particles.size();
    for (std::size_t k = 0; k < count; ++k) {
        SPParticle& p = m_particles[count - 1 - k];
        SPVertex* v = vertices + 4 * k;
        std::uint16_t* idx = indices + 6 * k;
        const std::uint16_t b = static_cast<std::uint16_t>(baseIndex + 4 * k);

        float s = p.size + p.age * p.growth;
        D3DCOLOR colour = 0xFFFFFFFF;
        if (m_hasKeys) {
            GetColourAndSize(p.life > 0.0f ? p.age / p.life : 1.0f, colour, s);
        } else if (p.fade) {
            int alpha = 0;
            if (p.age < p.life) {
                alpha = TruncateToInt((p.life - p.age) * 256.0f / p.life);
                alpha = alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha);
            }
            colour = static_cast<D3DCOLOR>(alpha) << 24 | 0xFFFFFFu;
        }

        float fu = 0.0f, fv = 0.0f, du = 1.0f, dv = 1.0f;
        if (m_atlasOn) {
            const int f =
                m_frameAnimation != 0 ? WrapFrame(p.age * p.frameRate) : WrapFrame(static_cast<float>(p.frame));
            FrameCorner(f, fu, fv);
            du = m_du;
            dv = m_dv;
        }

        if (!p.stretched) {
            // The billboard: the camera's axes through the particle, turned by the spin.
            float r0[4] = {view._11, view._12, view._13, view._14};
            float r1[4] = {view._21, view._22, view._23, view._24};
            if (p.spin != 0.0f) {
                const float c = std::cos(p.spin), sn = std::sin(p.spin);
                for (int i = 0; i < 4; ++i) {
                    const float a = r0[i], bb = r1[i];
                    r0[i] = c * a + sn * bb;
                    r1[i] = -sn * a + c * bb;
                }
            }
            const float cx[4] = {-s, s, s, -s};
            const float cy[4] = {-s, -s, s, s};
            const float tu[4] = {fu, fu + du, fu + du, fu};
            const float tv[4] = {fv, fv, fv + dv, fv + dv};
            for (int i = 0; i < 4; ++i) {
                D3DXVECTOR3 q(cx[i] * r0[0] + cy[i] * r1[0] + p.position.x,
                              cx[i] * r0[1] + cy[i] * r1[1] + p.position.y,
                              cx[i] * r0[2] + cy[i] * r1[2] + p.position.z);
                if (!affine) {
                    const float w = cx[i] * r0[3] + cy[i] * r1[3] + view._44;
                    q = D3DXVECTOR3(q.x / w, q.y / w, q.z / w);
                }
                SetVertex(v[i], q, colour, tu[i], tv[i]);
            }
            WriteIndices(idx, b, kBillboardOrder);
        } else {
            const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
            const bool still = p.velocity == zero;
            const float speed = D3DXVec3Length(still ? &p.lastVelocity : &p.velocity);
            D3DXVECTOR3 d;
            float length, w;
            if (!m_atlasOn) {
                const D3DXVECTOR3 moved = p.position - p.previousPosition;
                D3DXVec3Normalize(&d, &moved);
                length = speed * s;
                w = s;
            } else {
                D3DXVec3Normalize(&d, &p.velocity);
                length = std::fmin(0.5f * speed * s, 4.0f * s);
                w = length * 0.25f;
            }
            const D3DXVECTOR3 back = p.position;
            const D3DXVECTOR3 front = p.position + d * length;
            const D3DXVECTOR3 toBack = back - eye, along = front - back;
            D3DXVECTOR3 side, cross;
            D3DXVec3Cross(&cross, &toBack, &along);
            D3DXVec3Normalize(&side, &cross);
            side *= w;
            SetVertex(v[0], back - side, colour, fu, fv);
            SetVertex(v[1], back + side, colour, fu + du, fv);
            SetVertex(v[2], front + side, colour, fu + du, fv + dv);
            SetVertex(v[3], front - side, colour, fu, fv + dv);
            WriteIndices(idx, b, kQuadOrder);
        }
        if (advancing) p.previousPosition = p.position;
    }
}

CPParticleQuadBatch::~CPParticleQuadBatch() = default;

bool CPParticleQuadBatch::AddParticle(const SPParticle& particle) {
    if (GetParticleCount() >= kMaxParticles) return false;
    D3DXMATRIX rz, ry, rx, t, w;
    D3DXMatrixRotationZ(&rz, particle.velocity.z);
    D3DXMatrixRotationY(&ry, particle.velocity.y);
    D3DXMatrixRotationX(&rx, particle.velocity.x);
    D3DXMatrixTranslation(&t, particle.position.x, particle.position.y, particle.position.z);
    D3DXMatrixMultiply(&w, &rz, &ry);
    D3DXMatrixMultiply(&w, &w, &rx);
    D3DXMatrixMultiply(&w, &w, &t);

    const float s = particle.size;
    float fu = 0.0f, fv = 0.0f;
    FrameCorner(0, fu, fv);
    const float du = m_atlasOn ? m_du : 1.0f, dv = m_atlasOn ? m_dv : 1.0f;
    const D3DXVECTOR3 corners[4] = {{-s, -s, kLift}, {s, -s, kLift}, {s, s, kLift}, {-s, s, kLift}};
    const float tu[4] = {fu, fu + du, fu + du, fu};
    const float tv[4] = {fv, fv, fv + dv, fv + dv};
    Quad quad;
    for (int i = 0; i < 4; ++i) {
        D3DXVECTOR3 q;
        D3DXVec3TransformCoord(&q, &corners[i], &w);
        SetVertex(quad.v[i], q, 0xFFFFFFFF, tu[i], tv[i]);
        quad.v[i].nz = 1.0f;
    }

    m_particles.push_back(particle);
    SPParticle& p = m_particles.back();
    p.frameRate = (m_atlasOn && p.life > 0.0f) ? static_cast<float>(m_frameCount) / p.life : 0.0f;
    p.previousPosition = p.position;
    m_quads.push_back(quad);
    m_holdsParticles = true;
    return true;
}

void CPParticleQuadBatch::Clear() {
    CPParticleBatch::Clear();
    m_quads.clear();
}

void CPParticleQuadBatch::Update() {
    const float dt = g_deltaTime;
    const CPPerspectiveCamera* camera = g_currentViewCamera;
    std::size_t write = 0;
    for (std::size_t read = 0; read < m_particles.size(); ++read) {
        SPParticle& p = m_particles[read];
        // Without a camera there is no point of interest to measure from.
        if (camera && (std::fabs(p.position.x - camera->target.x) > kKeepDistance ||
                       std::fabs(p.position.y - camera->target.y) > kKeepDistance))
            continue;
        if (p.age > p.life) continue;
        p.age += dt;
        if (write != read) {
            m_particles[write] = std::move(p);
            m_quads[write] = m_quads[read];
        }
        ++write;
    }
    m_particles.erase(m_particles.begin() + static_cast<std::ptrdiff_t>(write), m_particles.end());
    m_quads.resize(write);
    m_holdsParticles = !m_particles.empty();
}

void CPParticleQuadBatch::FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int) {
    const std::size_t count = m_particles.size();
    for (std::size_t k = 0; k < count; ++k) {
        const SPParticle& p = m_particles[k];
        Quad& quad = m_quads[k];
        D3DCOLOR colour = 0xFFFFFFFF;
        if (p.fade) {
            if (p.age <= 0.6f * p.life) {
                colour = 0xFFFFFFFF;
            } else if (p.age < p.life) {
                // Darkens and clears together over the last part of the life.
                const std::uint32_t c =
                    static_cast<std::uint32_t>(TruncateToInt((p.life - p.age) * 256.0f / p.life * 2.5f)) & 0xFFu;
                colour = c * 0x01010101u;
            } else {
                colour = 0;
            }
        }
        for (SPVertex& v : quad.v) v.diffuse = colour;
        if (m_atlasOn) {
            float fu = 0.0f, fv = 0.0f;
            FrameCorner(WrapFrame(p.frameRate * p.age), fu, fv);
            const float tu[4] = {fu, fu + m_du, fu + m_du, fu};
            const float tv[4] = {fv, fv, fv + m_dv, fv + m_dv};
            for (int i = 0; i < 4; ++i) {
                quad.v[i].tu = tu[i];
                quad.v[i].tv = tv[i];
            }
        }
        std::memcpy(vertices + 4 * k, quad.v, sizeof(quad.v));
        WriteIndices(indices + 6 * k, static_cast<std::uint16_t>(baseIndex + 4 * k), kQuadOrder);
    }
}
