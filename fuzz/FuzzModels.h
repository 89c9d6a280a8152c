#pragma once
// Models made in code for the fuzz targets that load levels: no model files, only the meshes
// the loaders look at.

#include <string>
#include <utility>
#include <vector>

#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"

namespace kxfuzz {

// A flat square of the given half side about the object's origin, as one mesh of two triangles.
inline CPSmartPtr<CPGameObject> MakeQuad(const std::string& name, float half) {
    CPSmartPtr<CPGameObject> object(new CPGameObject(name));
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
    std::vector<SPVertex> vertices(4);
    const float corners[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
    for (int i = 0; i < 4; ++i) {
        vertices[static_cast<std::size_t>(i)] = SPVertex{};
        vertices[static_cast<std::size_t>(i)].x = corners[i][0];
        vertices[static_cast<std::size_t>(i)].y = corners[i][1];
    }
    mesh->SetMesh(std::move(vertices), {0, 1, 2, 0, 2, 3});
    object->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
    return object;
}

} // namespace kxfuzz
