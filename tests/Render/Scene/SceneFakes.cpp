#include "Render/Scene/SceneFakes.h"

#include "Platform/Math/D3DXMath.h"

namespace scenetest {

int FakeVertexEffect::live = 0;

void SceneObject::Place(const D3DXVECTOR3& p, float h) {
    D3DXMatrixTranslation(&world, p.x, p.y, p.z);
    relative = p;
    bounds.minimum = p - D3DXVECTOR3(h, h, h);
    bounds.maximum = p + D3DXVECTOR3(h, h, h);
    bounds.UpdateCentre();
}

CPSmartPtr<SceneObject> MakeSceneObject(const D3DXVECTOR3& p, float h) {
    CPSmartPtr<SceneObject> object(new SceneObject());
    object->Place(p, h);
    return object;
}

CPSmartPtr<CPPerspectiveCamera> MakeCamera(const D3DXVECTOR3& eye, const D3DXVECTOR3& target) {
    CPSmartPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
    camera->eye = eye;
    camera->target = target;
    camera->up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    camera->fieldOfView = 1.0f;
    camera->nearDistance = 1.0f;
    camera->farDistance = 1000.0f;
    camera->viewDirty = camera->projectionDirty = true;
    camera->Update();
    return camera;
}

void FakeVertexEffect::Apply(SPVertex* destination, const SPVertex* source, int count) {
    ++applied;
    lastCount = count;
    for (int i = 0; i < count; ++i) {
        destination[i] = source[i];
        destination[i].tu = (source[i].tu + add) * scale;
    }
}

} // namespace scenetest
