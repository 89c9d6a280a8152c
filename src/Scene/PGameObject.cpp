#include "Scene/PGameObject.h"

#include <algorithm>

#include "Framework/XmlDocument.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/NumberText.h"
#include "Render/PLight.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PParticleSystem.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"

CPGameObject::CPGameObject(const std::string& name) : m_name(name) {
    D3DXMatrixIdentity(&m_parentWorldMatrix);
    D3DXMatrixIdentity(&m_localMatrix);
    D3DXMatrixIdentity(&m_worldMatrix);
}

CPGameObject::~CPGameObject() {
    // The base behaviour, whatever a derived class made of it.
    CPGameObject::RemoveFromScene();
    if (m_parent) {
        auto& siblings = m_parent->m_children;
        auto it = std::find_if(siblings.begin(), siblings.end(),
                               [this](const CPSmartPtr<CPGameObject>& c) { return c.Get() == this; });
        if (it != siblings.end()) siblings.erase(it);
        // A name entry left behind would be a handle to freed memory.
        auto named = m_parent->m_childNames.find(m_name);
        if (named != m_parent->m_childNames.end() && named->second.Get() == this) m_parent->m_childNames.erase(named);
    }
    for (auto& child : m_children)
        if (child && child->m_parent == this) child->m_parent = nullptr;
    if (m_kind == KindParticles && m_attachment)
        if (auto* system = dynamic_cast<IPTask*>(m_attachment.Get())) system->Stop();
    ForgetAsOwner(m_attachment.Get());
    if (m_physicData) m_physicData->ForgetOwner();
    // Children that outlive this object keep no link to it; the members free the rest.
}

void CPGameObject::ForgetAsOwner(IPMMObject* attachment) {
    // An attachment someone else still holds (a render batch, a script, a copy in flight) keeps
    // only a plain pointer to its owner: it must not outlive this object.
    if (auto* mesh = dynamic_cast<CPRenderObject*>(attachment)) {
        if (mesh->GetOwner() == this) mesh->SetOwner(nullptr);
    } else if (auto* light = dynamic_cast<CPLight*>(attachment)) {
        if (light->GetOwner() == this) light->SetOwner(nullptr);
    } else if (auto* sprite = dynamic_cast<CPSprite*>(attachment)) {
        if (sprite->GetOwner() == this) sprite->SetOwner(nullptr);
    } else if (auto* animated = dynamic_cast<CPAnimatedObject*>(attachment)) {
        if (animated->GetOwner() == this) animated->SetOwner(nullptr);
    } else if (auto* system = dynamic_cast<CPParticleSystem*>(attachment)) {
        if (system->GetOwner() == this) system->SetOwner(nullptr);
    }
}

// ---- the tree --------------------------------------------------------------------------------

void CPGameObject::CollectTree(std::vector<CPSmartPtr<CPGameObject>>& out) {
    out.emplace_back(this);
    for (std::size_t i = 0; i < m_children.size(); ++i)
        if (m_children[i]) m_children[i]->CollectTree(out);
}

void CPGameObject::SetVisible(bool visible) { m_visible = visible; }

void CPGameObject::AppendChild(const CPSmartPtr<CPGameObject>& child) {
    if (!child || child.Get() == this) return;
    child->m_parent = this;
    m_children.push_back(child);
}

void CPGameObject::AddChild(const CPSmartPtr<CPGameObject>& child) {
    if (!child || child.Get() == this) return;
    AppendChild(child);
    m_childNames[child->m_name] = child;
}

CPSmartPtr<CPGameObject> CPGameObject::FindObject(const std::string& name) const {
    auto it = m_childNames.find(name);
    if (it != m_childNames.end()) return it->second;
    for (const auto& child : m_children) {
        if (!child) continue;
        CPSmartPtr<CPGameObject> found = child->FindObject(name);
        if (found) return found;
    }
    return {};
}

CPSmartPtr<CPGameObject> CPGameObject::GetChild(const std::string& name) const {
    // A failed lookup enters nothing: an empty entry would hide the name from every later
    // FindObject on this object.
    auto it = m_childNames.find(name);
    return it != m_childNames.end() ? it->second : CPSmartPtr<CPGameObject>();
}

CPSmartPtr<CPGameObject> CPGameObject::GetScriptedAncestor() {
    CPGameObject* object = this;
    while (!object->GetScriptPointer() && object->m_parent) object = object->m_parent;
    return CPSmartPtr<CPGameObject>(object);
}

void CPGameObject::ClearChildFlagRecursive() {
    for (auto& child : m_children) {
        if (!child) continue;
        child->m_static = false;
        child->ClearChildFlagRecursive();
    }
}

// ---- levels of detail ------------------------------------------------------------------------

void CPGameObject::AddLevelOfDetail(const CPSmartPtr<CPGameObject>& object, int distance) {
    SPLevelOfDetail entry;
    entry.object = object.Get();
    // Holding itself would keep the object alive for ever.
    if (object.Get() != this) entry.held = object;
    entry.distance = distance;
    m_levelsOfDetail.push_back(std::move(entry));
}

int CPGameObject::GetAttachedCount() const {
    int count = 0;
    for (std::size_t i = 1; i < m_levelsOfDetail.size(); ++i)
        if (m_levelsOfDetail[i].object && m_levelsOfDetail[i].object != this) ++count;
    return count;
}

IPSceneObject* CPGameObject::GetAttached(int index) const {
    if (index < 0) return nullptr;
    for (std::size_t i = 1; i < m_levelsOfDetail.size(); ++i) {
        CPGameObject* object = m_levelsOfDetail[i].object;
        if (!object || object == this) continue;
        if (index-- == 0) return object;
    }
    return nullptr;
}

// ---- transforms and bounds -------------------------------------------------------------------

void CPGameObject::ApplyPosition(const D3DXVECTOR3& position) {
    for (std::size_t i = 1; i < m_levelsOfDetail.size(); ++i)
        if (CPGameObject* object = m_levelsOfDetail[i].object; object && object != this) object->SetPosition(position);
    m_position = position;
    m_animatedLocal = false;
    m_transformChanged = false;
    m_dirty = true;
    if (m_physicData) m_physicData->SetPosition(position);
}

void CPGameObject::SetPosition(const D3DXVECTOR3& position) { ApplyPosition(position); }

void CPGameObject::SetRotation(const D3DXQUATERNION& rotation) {
    for (std::size_t i = 1; i < m_levelsOfDetail.size(); ++i)
        if (CPGameObject* object = m_levelsOfDetail[i].object; object && object != this) object->SetRotation(rotation);
    m_rotation = rotation;
    m_animatedLocal = false;
    m_transformChanged = false;
    m_dirty = true;
    if (m_physicData) m_physicData->SetBodyRotation(rotation);
}

void CPGameObject::SetParentWorldMatrix(const D3DXMATRIX& matrix) {
    m_parentWorldMatrix = matrix;
    m_dirty = true;
}

void CPGameObject::UpdateTransform() {
    if (!m_dirty) return;
    for (std::size_t i = 1; i < m_levelsOfDetail.size(); ++i)
        if (CPGameObject* object = m_levelsOfDetail[i].object; object && object != this) object->UpdateTransform();

    // Turned about its own origin, then moved: the rotation with the position as its last row
    // (the same as rotation x translation, without the multiply). A running part animation's
    // key matrix stands in for both.
    if (!m_animatedLocal) {
        D3DXMatrixRotationQuaternion(&m_localMatrix, &m_rotation);
        m_localMatrix._41 = m_position.x;
        m_localMatrix._42 = m_position.y;
        m_localMatrix._43 = m_position.z;
    }
    D3DXMatrixMultiply(&m_worldMatrix, &m_localMatrix, &m_parentWorldMatrix);

    for (CPOrientedBox& box : m_partBoxes) {
        D3DXMATRIX world;
        D3DXMatrixMultiply(&world, &box.GetLocalMatrix(), &m_worldMatrix);
        box.SetWorldMatrix(world);
        box.Update();
    }
    {
        D3DXMATRIX world;
        D3DXMatrixMultiply(&world, &m_ownBox.GetLocalMatrix(), &m_worldMatrix);
        m_ownBox.SetWorldMatrix(world);
        m_ownBox.Update();
    }
    m_visibleBounds.SetFromOrientedBox(m_ownBox);
    m_pickBounds.FromOrientedBoxes(m_partBoxes);

    for (std::size_t i = 0; i < m_children.size(); ++i) {
        CPGameObject* child = m_children[i].Get();
        if (!child) continue;
        child->m_transformChanged = false;
        child->m_parentWorldMatrix = m_worldMatrix;
        child->m_dirty = true;
        child->UpdateTransform();
        m_pickBounds.Merge(child->m_pickBounds);
        m_visibleBounds.Union(child->m_visibleBounds);
    }
    if (m_castsShadow) m_visibleBounds.Transform();
    m_visibleBounds.UpdateCentre();

    m_transformChanged = true;
    m_dirty = false;
    if (m_kind == KindMesh)
        if (CPRenderObject* mesh = GetRenderObject()) mesh->SetWorldMatrix(m_worldMatrix);
}

void CPGameObject::SetBounds(const CPOrientedBox& box) {
    m_ownBox = box;
    m_visibleBounds.SetFromOrientedBox(m_ownBox);
}

// ---- flags and links -------------------------------------------------------------------------

void CPGameObject::SetStaticRecursive(bool isStatic) {
    m_static = isStatic;
    for (std::size_t i = 1; i < m_levelsOfDetail.size(); ++i)
        if (CPGameObject* object = m_levelsOfDetail[i].object; object && object != this)
            object->SetStaticRecursive(isStatic);
}

void CPGameObject::SetScript(const CPSmartPtr<CPLuaScript>& script) {
    if (!script) return;
    m_static = false;
    ClearChildFlagRecursive();
    m_scriptHandle = script->GetHandle();
}

CPSmartPtr<CPLuaScript> CPGameObject::GetScript() const { return CPSmartPtr<CPLuaScript>(GetScriptPointer()); }

CPLuaScript* CPGameObject::GetScriptPointer() const { return IPMMObject::FindByHandle<CPLuaScript>(m_scriptHandle); }

CPSmartPtr<CPMaterial> CPGameObject::GetShadowMaterial() const { return m_shadowMaterial; }
void CPGameObject::SetShadowMaterial(const CPSmartPtr<CPMaterial>& material) { m_shadowMaterial = material; }
CPSmartPtr<CPMaterial> CPGameObject::GetFireMaterial() const { return m_fireMaterial; }
void CPGameObject::SetFireMaterial(const CPSmartPtr<CPMaterial>& material) { m_fireMaterial = material; }

// ---- attachment ------------------------------------------------------------------------------

void CPGameObject::SetAttachment(const CPSmartPtr<IPMMObject>& attachment, int kind) {
    m_attachment = attachment;
    m_kind = kind;
}

CPRenderObject* CPGameObject::GetRenderObject() const {
    return m_kind == KindMesh ? dynamic_cast<CPRenderObject*>(m_attachment.Get()) : nullptr;
}

IPRenderable* CPGameObject::GetRenderable() const {
    if (m_kind != KindMesh && m_kind != KindAnimated && m_kind != KindSprite) return nullptr;
    return dynamic_cast<IPRenderable*>(m_attachment.Get());
}

CPLight* CPGameObject::GetLight() const {
    return m_kind == KindLight ? dynamic_cast<CPLight*>(m_attachment.Get()) : nullptr;
}

IPSceneObject* CPGameObject::GetChild(int index) const {
    if (index < 0 || index >= static_cast<int>(m_children.size())) return nullptr;
    return m_children[static_cast<std::size_t>(index)].Get();
}

IPSceneObject* CPGameObject::GetParentObject() const { return m_parent; }

// ---- scene membership and events -------------------------------------------------------------

void CPGameObject::SendHandleEvent(const char* event) {
    CPScriptManager* manager = GetScriptManager();
    CPLuaScript* script = GetScriptPointer();
    if (!script || !manager) return;
    manager->SendCommandByObject(CPSmartPtr<CPLuaScript>(script), event,
                                 Platform::FormatC("%d", static_cast<int>(GetHandle())));
}

void CPGameObject::AddToScene(int priority) {
    if (m_inScene) return;
    m_inScene = true;
    CPTaskKernel* kernel = CPTaskKernel::GetInstance();
    if (m_currentPartAnimation) {
        m_currentPartAnimation->SetPriority(priority);
        if (kernel) kernel->AddTask(m_currentPartAnimation);
    }
    if (m_kind == KindParticles && m_visible) {
        if (auto* system = dynamic_cast<IPTask*>(m_attachment.Get()); system && !system->IsRunning()) {
            system->SetPriority(priority);
            if (kernel) kernel->AddTask(CPSmartPtr<IPTask>(system));
        }
    }
    // A child may leave the vector while its siblings activate (its destructor erases it).
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        CPSmartPtr<CPGameObject> child = m_children[i];
        if (child) child->AddToScene(priority);
    }
    if (CPLuaScript* script = GetScriptPointer()) {
        script->SetPriority(priority);
        if (kernel) kernel->AddTask(CPSmartPtr<IPTask>(script));
        // Held on behalf of the script, which names the object by its handle; never given back.
        AddRef();
        SendHandleEvent("add_object");
    }
}

void CPGameObject::RemoveFromScene() {
    if (!m_inScene) return;
    if (m_kind == KindParticles)
        if (auto* system = dynamic_cast<IPTask*>(m_attachment.Get())) system->Stop();
    m_inScene = false;
    if (m_currentPartAnimation) m_currentPartAnimation->Stop();
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        CPSmartPtr<CPGameObject> child = m_children[i];
        if (child) child->RemoveFromScene();
    }
    SendHandleEvent("delete_object");
}

void CPGameObject::OnAnimationEnd() { SendHandleEvent("animation_end"); }

void CPGameObject::OnAnimationStopped() {
    if (m_enemy) m_enemy->OnAnimationStopped();
}

void CPGameObject::OnAnimationReport() {
    if (m_enemy) m_enemy->OnAnimationReport();
}

// ---- copies ----------------------------------------------------------------------------------

void CPGameObject::CopyFrom(const CPGameObject& source) {
    if (&source == this) return;
    m_ownBox = source.m_ownBox;
    m_visibleBounds = source.m_visibleBounds;
    m_kind = source.m_kind;
    m_description = source.m_description;

    m_attachment = nullptr;
    switch (source.m_kind) {
    case KindMesh:
        if (auto* from = dynamic_cast<CPRenderObject*>(source.m_attachment.Get())) {
            CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(this));
            mesh->CopyFrom(*from);
            mesh->SetOwner(this);
            m_attachment = mesh;
        }
        m_shadowMaterial = source.m_shadowMaterial;
        break;
    case KindAnimated: CopyAnimatedAttachmentFrom(source); break;
    case KindLight:
        if (auto* from = dynamic_cast<CPLight*>(source.m_attachment.Get())) {
            CPSmartPtr<CPLight> light(new CPLight());
            light->SetOwner(this);
            light->Record() = from->Record();
            m_attachment = light;
        }
        break;
    case KindSprite: CopySpriteFrom(source); break;
    case KindParticles: CopyParticleSystemFrom(source); break;
    default: break;
    }

    m_partBoxes = source.m_partBoxes;
    CopyPartAnimationsFrom(source);

    for (const auto& sourceChild : source.m_children) {
        if (!sourceChild) continue;
        CPSmartPtr<CPGameObject> child(new CPGameObject(sourceChild->m_name));
        child->m_parent = this;
        child->CopyFrom(*sourceChild);
        AddChild(child);
    }

    m_shadowMaterial = source.m_shadowMaterial;
    m_fireMaterial = source.m_fireMaterial;

    m_flameType = source.m_flameType;
    m_position = source.m_position;
    m_rotation = source.m_rotation;
    m_parentWorldMatrix = source.m_parentWorldMatrix;
    m_localMatrix = source.m_localMatrix;
    m_worldMatrix = source.m_worldMatrix;
    m_name = source.m_name;
    m_visible = source.m_visible;
    m_static = source.m_static;
    m_castsShadow = source.m_castsShadow;
    m_scriptHandle = source.m_scriptHandle;

    m_transformChanged = false;
    m_dirty = true;

    if (source.m_physicData) m_physicData = source.m_physicData->CopyShapesFor(this);

    // A copy of a described object gets an enemy record of its own.
    if (m_description.FirstChild()) GiveEnemyRecord();

    UpdateTransform();
}

void CPGameObject::CopySpriteFrom(const CPGameObject& source) {
    auto* from = dynamic_cast<CPSprite*>(source.m_attachment.Get());
    if (!from) return;
    CPSmartPtr<CPSprite> sprite(new CPSprite(from->GetHalfWidth()));
    sprite->CopyFrom(*from);
    sprite->SetOwner(this);
    m_attachment = sprite;
}

void CPGameObject::GiveEnemyRecord() {
    IPEnemyMaker* maker = GetEnemyMaker();
    if (!maker) return;
    if (std::unique_ptr<IPEnemyHooks> record = maker->Make(*this)) m_enemy = std::move(record);
}

// ---- picking ---------------------------------------------------------------------------------

bool CPGameObject::RayPick(SPRayPick& pick) {
    if (!m_collision || this == pick.excluded) return false;
    if (!m_pickBounds.IntersectSegment(pick.origin, pick.direction, pick.distance)) return false;
    bool hit = false;
    for (const CPOrientedBox& box : m_partBoxes)
        if (box.IntersectRay(pick.origin, pick.direction, pick.distance, pick.hitPlane)) hit = true;
    if (hit) {
        pick.hitObject = this;
        pick.hitOwner = GetScriptedAncestor();
    }
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        CPSmartPtr<CPGameObject> child = m_children[i];
        if (child && child->RayPick(pick)) hit = true;
    }
    return hit;
}

bool CPGameObject::RayPickSelf(SPRayPick& pick) {
    if (!m_visible || this == pick.excluded) return false;
    if (!m_pickBounds.IntersectSegment(pick.origin, pick.direction, pick.distance)) return false;
    for (const CPOrientedBox& box : m_partBoxes) {
        if (box.IntersectRay(pick.origin, pick.direction, pick.distance, pick.hitPlane)) {
            pick.hitObject = this;
            pick.hitOwner = GetScriptedAncestor();
            return true;
        }
    }
    return false;
}

// ---- damage, fire, description ---------------------------------------------------------------

void CPGameObject::NotifyDamage(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, float amount, bool noEffect,
                                bool silent) {
    CPLuaScript* script = GetScriptPointer();
    if (script && !silent) {
        if (CPScriptManager* manager = GetScriptManager())
            manager->SendCommandByObject(CPSmartPtr<CPLuaScript>(script), "damage",
                                         Platform::FormatC("%.2f", static_cast<double>(amount)));
    }
    if (m_enemy) m_enemy->OnDamage(point, direction, amount, noEffect, silent);
}

void CPGameObject::ApplyFireMaterial() {
    if (m_fireMaterial) {
        if (m_kind == KindMesh) {
            if (CPRenderObject* mesh = GetRenderObject()) mesh->SetEffect(m_fireMaterial);
        } else if (m_kind == KindAnimated) {
            ApplyFireMaterialToAnimated();
        }
    }
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        CPSmartPtr<CPGameObject> child = m_children[i];
        if (child) child->ApplyFireMaterial();
    }
}

bool CPGameObject::LoadDescription() {
    const std::string path = "Data\\Descriptions\\" + m_descriptionFile;
    if (!LoadXmlDocument(m_description, path.c_str())) {
        // Nothing half-read stays behind for the race world to find.
        m_description.Clear();
        return false;
    }
    GiveEnemyRecord();
    return true;
}

CPLuaScript* ScriptOfSceneObject(IPMMObject* object) {
    auto* sceneObject = dynamic_cast<CPGameObject*>(object);
    return sceneObject ? sceneObject->GetScriptPointer() : nullptr;
}
