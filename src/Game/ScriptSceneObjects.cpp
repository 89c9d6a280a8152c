// The scene-object functions. An object argument that is missing, not an object or not a scene
// object makes a function do nothing (getters answer the null object).

#include "Game/ScriptSceneObjects.h"

#include <string>
#include <vector>

#include "Game/ScriptApi.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Script/ScriptBinding.h"

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
namespace Arg = Script::Arg;
using SceneObject = Arg::Object<CPGameObject>;

void ActivateObject(ScriptCall&, CPGameObject* object, double priority) {
    if (object) object->AddToScene(Script::TruncateToInt(priority));
}

void DeactivateObject(ScriptCall&, CPGameObject* object) {
    if (object) object->RemoveFromScene();
}

void SetVisible(ScriptCall&, CPGameObject* object, bool visible) {
    if (object) object->SetVisible(visible);
}

void SetCollision(ScriptCall&, CPGameObject* object, bool collision) {
    if (object) object->SetCollision(collision);
}

// The first object of the tree (the object itself included) whose name is exactly the given
// one. The name is read only when an object is given.
void GetChildObject(ScriptCall& call) {
    CPGameObject* object = call.Object<CPGameObject>(1);
    if (!object) {
        call.PushObject(nullptr);
        return;
    }
    const std::string name = call.RequiredString(2);
    std::vector<CPSmartPtr<CPGameObject>> tree;
    object->CollectTree(tree);
    for (const auto& entry : tree) {
        if (entry && entry->GetName() == name) {
            call.PushObject(entry.Get());
            return;
        }
    }
    call.PushObject(nullptr);
}

void GetParentObject(ScriptCall& call, CPGameObject* object) {
    call.PushObject(object ? object->GetParentPointer() : nullptr);
}

// Rotates, then moves: the frame the object's own transform is multiplied by, applied at once.
// An object with a parent keeps it until the parent's next transform update.
void SetPTransformation(ScriptCall&, CPGameObject* object, double x, double y, double z, double yaw, double pitch,
                        double roll) {
    if (!object) return;
    D3DXMATRIX rotation, translation, frame;
    D3DXMatrixRotationYawPitchRoll(&rotation, Script::NarrowToFloat(yaw), Script::NarrowToFloat(pitch),
                                   Script::NarrowToFloat(roll));
    D3DXMatrixTranslation(&translation, Script::NarrowToFloat(x), Script::NarrowToFloat(y), Script::NarrowToFloat(z));
    D3DXMatrixMultiply(&frame, &rotation, &translation);
    object->SetParentWorldMatrix(frame);
    object->UpdateTransform();
}

void DrawDynamicObject(ScriptCall&, CPGameObject* object) {
    if (!object) return;
    CPRender* render = GetRender();
    if (!render) return;
    if (CPSmartPtr<CPRenderBlock> block = render->GetRenderBlock()) block->AddObjectTree(object);
}

// The tree of a render description, handed over with one reference of the script's own. The
// null object when the loader answers none (its mesh or animation files are missing) or there is
// no library: every caller tests the result.
void LoadRenderObject(ScriptCall& call) {
    const std::string name = call.RequiredString(1);
    const int renderKeyBase = call.RequiredInteger(2);
    CPAnimationLibrary* library = CPAnimationLibrary::Instance();
    const CPSmartPtr<CPGameObject> root = library ? library->LoadRenderDescription(name, renderKeyBase) : nullptr;
    if (root)
        call.PushReferencedObject(root.Get());
    else
        call.PushObject(nullptr);
}

} // namespace

void AddSceneObjectFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kFirst[] = {
        {"SetPTransformation", ScriptBind<SetPTransformation, SceneObject, Arg::Number, Arg::Number, Arg::Number,
                                          Arg::Number, Arg::Number, Arg::Number>},
        {"GetChildObject", ScriptBindCall<GetChildObject>},
        {"SetVisible", ScriptBind<SetVisible, SceneObject, Arg::Boolean>},
        {"SetCollision", ScriptBind<SetCollision, SceneObject, Arg::Boolean>},
        {"DrawDynamicObject", ScriptBind<DrawDynamicObject, SceneObject>},
        {"GetParentObject", ScriptBind<GetParentObject, SceneObject>},
        {"ActivateObject", ScriptBind<ActivateObject, SceneObject, Arg::Number>},
        {"DeactivateObject", ScriptBind<DeactivateObject, SceneObject>},
        {"LoadRenderObject", ScriptBindCall<LoadRenderObject>},
    };
    static const Script::ScriptFunction kSecond[] = {
        {"DeactivateInterface", ScriptBind<DeactivateObject, SceneObject>},
    };
    tables.Add(kFirstTable, kFirst);
    tables.Add(kSecondTable, kSecond);
    SetScriptOfObjectFunction(ScriptOfSceneObject);
}

} // namespace ScriptApi
