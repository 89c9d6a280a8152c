#pragma once
// A flat road at z = 0 as the physics task's ground: (n - 1) x (n - 1) squares of 10 units, two
// triangles each, from (origin, origin). Shared by the race world's fixtures and benchmarks.

#include <cstdint>
#include <utility>
#include <vector>

#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "World/PPhysics.h"

namespace kxtest {

inline CPSmartPtr<CPGameObject> MakeFlatGround(CPPhysics& physics, int n, float origin) {
    CPSmartPtr<CPGameObject> ground(new CPGameObject("ground"));
    CPSmartPtr<CPRenderObject> road(new CPRenderObject(ground.Get()));
    std::vector<SPVertex> vertices;
    std::vector<std::uint16_t> indices;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            SPVertex v{};
            v.x = origin + 10.0f * static_cast<float>(i);
            v.y = origin + 10.0f * static_cast<float>(j);
            v.nz = 1.0f;
            vertices.push_back(v);
        }
    for (int j = 0; j + 1 < n; ++j)
        for (int i = 0; i + 1 < n; ++i) {
            const auto a = static_cast<std::uint16_t>(j * n + i);
            const auto b = static_cast<std::uint16_t>(a + 1);
            const auto c = static_cast<std::uint16_t>(a + n);
            const auto d = static_cast<std::uint16_t>(c + 1);
            indices.insert(indices.end(), {a, b, d, a, d, c});
        }
    road->SetMesh(std::move(vertices), std::move(indices));
    ground->SetAttachment(CPSmartPtr<IPMMObject>(road.Get()), IPSceneObject::KindMesh);
    ground->UpdateTransform();
    physics.BuildTerrainGrid(road);
    return ground;
}

} // namespace kxtest
