#include "World/PLightningStrike.h"

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/NumberText.h"
#include "Render/PEffectManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRenderObject.h"
#include "Render/PRenderSeams.h"
#include "World/PCombatQueries.h"
#include "World/PLevel.h"
#include "World/PShot.h"
#include "World/PShotManager.h"

namespace {

// The strike's age at which it is over.
constexpr float kEndAge = 20.0f;

std::string Entry(const std::vector<std::string>& params, std::size_t index) {
    return index < params.size() ? params[index] : std::string();
}

} // namespace

CPLightningStrike::CPLightningStrike(const std::string& name) : CPShot(name) {}

CPLightningStrike::~CPLightningStrike() { ForgetAsOwner(strikeRender.Get()); }

bool CPLightningStrike::ParseParams(const std::vector<std::string>& params) {
    enemyStrike = Entry(params, 0) == "enemy";
    timeScale = Platform::ParseFloat(Entry(params, 1));
    unused2 = Platform::ParseFloat(Entry(params, 2));
    halfWidth = Platform::ParseFloat(Entry(params, 3));
    texture = Entry(params, 4);
    effect = Entry(params, 5);
    renderKey = Platform::ParseInt(Entry(params, 6));
    impactEffect = Entry(params, 7);
    unused8 = Platform::ParseFloat(Entry(params, 8));

    // The strip takes the shot's place as the attachment; the shot's own mesh stays held.
    if (strikeRender) ForgetAsOwner(strikeRender.Get());
    strikeRender = CPSmartPtr<CPRenderObject>(new CPRenderObject(this));
    SetAttachment(CPSmartPtr<IPMMObject>(strikeRender.Get()), KindMesh);
    if (CPEffectManager* effects = GetEffectManager()) {
        CPSmartPtr<CPMaterial> material;
        effects->GetMaterial(material, renderKey, effect, {texture});
        if (material) strikeRender->SetEffect(material);
    }
    static const float kCorners[4][2] = {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}};
    std::vector<SPVertex> vertices(4);
    for (int i = 0; i < 4; ++i) {
        vertices[i] = SPVertex{};
        vertices[i].diffuse = 0xffffffffu;
        vertices[i].tu = kCorners[i][0];
        vertices[i].tv = kCorners[i][1];
    }
    strikeRender->SetMesh(std::move(vertices), {0, 1, 2, 0, 2, 3});
    return CPShot::ParseParams(params);
}

void CPLightningStrike::Launch(const D3DXVECTOR3& position, const D3DXVECTOR3& direction, float launchSpeed,
                               const CPSmartPtr<CPGameObject>& owner, const float* speedReference) {
    (void)speedReference;
    age = 0.0f;
    CPShot::Launch(position, direction, launchSpeed, owner, nullptr);
    startPoint = position;
    if (strikeRender && strikeRender->WorldVertices().size() >= 4) {
        strikeRender->WorldVertices()[1].tu = 1.0f;
        strikeRender->WorldVertices()[2].tu = 1.0f;
    }
}

bool CPLightningStrike::IsAlive() {
    CPSmartPtr<CPGameObject> hit;
    return Update(hit) >= 1;
}

int CPLightningStrike::Update(CPSmartPtr<CPGameObject>& hit) {
    // Scripts may ask at any time: without a level or its camera there is nothing to strike.
    CPPerspectiveCamera* camera = GetRaceWorld().GetViewCamera();
    if (!CPLevel::GetInstance() || !camera) return -1;
    const float step = g_deltaTime * timeScale;
    age += step;
    if (age > kEndAge) return -1;

    // The coming move, exactly: the direction as launched, scaled by the step.
    SPRayPick pick;
    pick.origin = shotPosition;
    pick.direction = shotDirection;
    pick.distance = step;
    if (CombatHitsAnyRacer(pick)) {
        const D3DXVECTOR3 normal(pick.hitPlane.a, pick.hitPlane.b, pick.hitPlane.c);
        if (CPShotManager* manager = CPShotManager::GetInstance())
            manager->Spawn(impactEffect, shotPosition, normal, -1.0f);
        hit = pick.hitOwner ? pick.hitOwner : pick.hitObject;
        return 0;
    }
    shotPosition += shotDirection * step;

    const D3DXVECTOR3 a = shotPosition - startPoint;
    const D3DXVECTOR3 b = camera->eye - startPoint;
    D3DXVECTOR3 cross;
    D3DXVec3Cross(&cross, &a, &b);
    const float length = D3DXVec3Length(&cross);
    // Head, tail and eye in line: the strip keeps its last side.
    if (length > 1e-6f && std::isfinite(length)) side = cross / length;
    if (strikeRender && strikeRender->WorldVertices().size() >= 4) {
        std::vector<SPVertex>& v = strikeRender->WorldVertices();
        const D3DXVECTOR3 offset = side * halfWidth;
        const D3DXVECTOR3 corners[4] = {startPoint + offset, shotPosition + offset, shotPosition - offset,
                                        startPoint - offset};
        for (int i = 0; i < 4; ++i) {
            v[i].x = corners[i].x;
            v[i].y = corners[i].y;
            v[i].z = corners[i].z;
        }
    }
    // The drawn vertices are written here, not made from the base ones by the object's matrix.
    SetTransformChanged(false);
    return 1;
}
