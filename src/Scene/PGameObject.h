#pragma once
// The node of every scene: a named object placed relative to its parent, with a tree of named
// children, bounding volumes for culling and ray picking, at most one attachment that gives it a
// look (mesh, animated mesh, light, sprite, particle system or nothing), optional part
// animations, an optional script that receives its events, optional physics data and, for
// racers, a car.
//
// Objects are held through CPSmartPtr; the parent link and the attachments' owner links are
// plain pointers, the script link is the script's handle. Events carry the object's handle ("%d"), never its address,
// so a stale or forged event text resolves to no object.
//
// What the animation and particle code adds to an object (part animations, the animated
// attachment, particle systems and flames) lives in its own source files:
// PGameObjectAnimation.cpp and PGameObjectParticles.cpp define the members marked below.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <tinyxml.h>

#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PBoundingBox.h"
#include "Render/PMaterial.h"
#include "Render/POrientedBox.h"
#include "Render/PRenderSeams.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PPartAnimation.h"
#include "Scene/SceneInterfaces.h"

class CPGameObject;
class CPLuaScript;
class CPRenderObject;

// What a ray pick fills; owned by the caller.
struct SPRayPick {
    // This object and its subtree are never hit.
    CPGameObject* excluded = nullptr;
    // The object whose part box gave the nearest hit so far, and its scripted ancestor.
    CPSmartPtr<CPGameObject> hitObject;
    CPSmartPtr<CPGameObject> hitOwner;
    // Filled by the caller from origin, direction and distance after the pick.
    D3DXVECTOR3 hitPoint{0.0f, 0.0f, 0.0f};
    // In: the length of the ray; out: the distance to the nearest hit.
    float distance = 0.0f;
    // The plane (normal, d) of the face that was hit.
    D3DXPLANE hitPlane{0.0f, 0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 origin{0.0f, 0.0f, 0.0f};
    // Unit length.
    D3DXVECTOR3 direction{0.0f, 0.0f, 0.0f};
};

// One level of detail: the object that takes over from the viewing distance on. Entry 0 is the
// object itself and holds no reference; every further entry holds its object counted (or none).
struct SPLevelOfDetail {
    CPGameObject* object = nullptr;
    CPSmartPtr<CPGameObject> held;
    int distance = 0;
};

class CPGameObject : public IPSceneObject, public IPPartAnimationOwner, public IPAnimationHooks {
public:
    static constexpr unsigned kDefaultLineColour = 0xff4e4e4eu;

    explicit CPGameObject(const std::string& name);
    // Leaves the scene, unlinks itself from its parent and its children, stops a particle
    // system, then frees everything it holds (the enemy record too).
    ~CPGameObject() override;
    CPGameObject(const CPGameObject&) = delete;
    CPGameObject& operator=(const CPGameObject&) = delete;

    // ---- engine object -------------------------------------------------------------------
    int GetSize() const override { return static_cast<int>(sizeof(CPGameObject)); }
    std::string GetClassName() const override { return "CPGameObject - " + m_name; }

    // ---- the object's own virtual operations, in order ------------------------------------
    // Appends a counted handle to the object, then each child's tree in order (pre-order).
    virtual void CollectTree(std::vector<CPSmartPtr<CPGameObject>>& out);
    // Stores the flag; no recursion.
    virtual void SetVisible(bool visible);
    // Once: starts the current part animation, a visible particle system and the script as
    // tasks with the priority, activates the children, then sends "add_object". A scripted
    // object takes one reference on itself for its script, which nothing gives back.
    virtual void AddToScene(int priority);
    // Stops the particle system and the part animation, deactivates the children, then sends
    // "delete_object". The script task keeps running.
    virtual void RemoveFromScene();
    // Makes this object a deep copy of the source (children as plain objects, materials
    // shared, physics data without a body); the copy is out of the scene.
    void CopyFrom(const CPGameObject& source);
    // Sends "animation_end" to the script (the current part animation calls it at its end).
    void OnAnimationEnd() override;

    // ---- the tree ------------------------------------------------------------------------
    // Links the parent, appends the child and enters it in the child-name map under its name
    // (a later child of the same name replaces the map entry; both stay children).
    void AddChild(const CPSmartPtr<CPGameObject>& child);
    // Links the parent and appends the child without a child-name map entry: it is walked,
    // collected and drawn but not found by name.
    void AppendChild(const CPSmartPtr<CPGameObject>& child);
    // The own child-name map first (an entry answers even when empty), then each child's
    // search in order. The object's own name is never compared.
    CPSmartPtr<CPGameObject> FindObject(const std::string& name) const;
    // The own child-name map's entry, empty for a name it does not hold; no search below and
    // nothing entered in the map.
    CPSmartPtr<CPGameObject> GetChild(const std::string& name) const;
    using IPSceneObject::GetChild;
    CPSmartPtr<CPGameObject> GetParent() const { return CPSmartPtr<CPGameObject>(m_parent); }
    CPGameObject* GetParentPointer() const { return m_parent; }
    // The object itself when it has a script or no parent, else the parent's answer.
    CPSmartPtr<CPGameObject> GetScriptedAncestor();
    const std::vector<CPSmartPtr<CPGameObject>>& GetChildren() const { return m_children; }
    // Clears the static flag of every descendant (not the object itself).
    void ClearChildFlagRecursive();

    // ---- levels of detail ----------------------------------------------------------------
    // Appends an entry; the object itself is held without a reference, any other object
    // counted, an empty handle gives an entry without an object.
    void AddLevelOfDetail(const CPSmartPtr<CPGameObject>& object, int distance);
    const std::vector<SPLevelOfDetail>& GetLevelsOfDetail() const { return m_levelsOfDetail; }

    // ---- transforms and bounds -----------------------------------------------------------
    // Also on every further level of detail; marks the object dirty and moves (turns) the
    // physics body through its physics data. Matrices wait for UpdateTransform.
    void SetPosition(const D3DXVECTOR3& position);
    void SetPosition(float x, float y, float z) { SetPosition(D3DXVECTOR3(x, y, z)); }
    void SetRotation(const D3DXQUATERNION& rotation);
    // When dirty: recomputes the matrices, boxes and bounds of the object and its subtree.
    void UpdateTransform() override;
    // Takes all the box's data as the own box; the visible bounds follow it.
    void SetBounds(const CPOrientedBox& box);
    // The frame the local transform is multiplied by (the parent's world matrix); marks the
    // object dirty.
    void SetParentWorldMatrix(const D3DXMATRIX& matrix);

    const D3DXVECTOR3& GetPosition() const { return m_position; }
    const D3DXQUATERNION& GetRotationQuaternion() const { return m_rotation; }
    const D3DXMATRIX& GetLocalMatrix() const { return m_localMatrix; }
    const D3DXMATRIX& GetParentWorldMatrix() const { return m_parentWorldMatrix; }
    bool IsDirty() const { return m_dirty; }
    void SetDirty(bool dirty) { m_dirty = dirty; }
    void SetTransformChanged(bool changed) { m_transformChanged = changed; }
    const CPBoundingBox& GetPickBounds() const { return m_pickBounds; }
    const CPOrientedBox& GetOwnBox() const { return m_ownBox; }
    CPOrientedBox& OwnBox() { return m_ownBox; }
    std::vector<CPOrientedBox>& PartBoxes() { return m_partBoxes; }
    const std::vector<CPOrientedBox>& PartBoxes() const { return m_partBoxes; }

    // ---- flags, links and values ---------------------------------------------------------
    bool IsCollision() const { return m_collision; }
    void SetCollision(bool collision) { m_collision = collision; }
    bool IsCastsShadow() const { return m_castsShadow; }
    void SetCastsShadow(bool casts) { m_castsShadow = casts; }
    // The flag of the object and of every further level of detail (not the children).
    void SetStaticRecursive(bool isStatic);
    bool IsInScene() const { return m_inScene; }
    const std::string& GetName() const { return m_name; }

    // An empty handle changes nothing; a script clears the static flag of the whole subtree.
    void SetScript(const CPSmartPtr<CPLuaScript>& script);
    CPSmartPtr<CPLuaScript> GetScript() const;
    // The script while it lives; null when there is none or it was collected.
    CPLuaScript* GetScriptPointer() const;

    const std::string& GetParameterText() const { return m_parameterText; }
    void SetParameterText(const std::string& text) { m_parameterText = text; }
    const std::string& GetDescriptionFile() const { return m_descriptionFile; }
    void SetDescriptionFile(const std::string& file) { m_descriptionFile = file; }
    const std::string& GetRenderDescriptionName() const { return m_renderDescriptionName; }
    void SetRenderDescriptionName(const std::string& name) { m_renderDescriptionName = name; }
    std::vector<D3DXVECTOR3>& LineKeyPoints() { return m_lineKeyPoints; }
    const std::vector<D3DXVECTOR3>& LineKeyPoints() const { return m_lineKeyPoints; }
    unsigned GetLineColour() const { return m_lineColour; }
    void SetLineColour(unsigned colour) { m_lineColour = colour; }
    int GetFlameType() const { return m_flameType; }
    void SetFlameType(int flameType) { m_flameType = flameType; }

    CPSmartPtr<CPMaterial> GetShadowMaterial() const;
    void SetShadowMaterial(const CPSmartPtr<CPMaterial>& material);
    CPSmartPtr<CPMaterial> GetFireMaterial() const;
    void SetFireMaterial(const CPSmartPtr<CPMaterial>& material);

    // ---- attachment ----------------------------------------------------------------------
    // Sets the attachment and its kind together; the caller links the attachment's owner.
    void SetAttachment(const CPSmartPtr<IPMMObject>& attachment, int kind);
    const CPSmartPtr<IPMMObject>& GetAttachment() const { return m_attachment; }
    // The mesh attachment, null for other kinds.
    CPRenderObject* GetRenderObject() const;

    // ---- physics, car, enemy -------------------------------------------------------------
    const CPSmartPtr<IPPhysicData>& GetPhysicData() const { return m_physicData; }
    void SetPhysicData(const CPSmartPtr<IPPhysicData>& data) { m_physicData = data; }
    CPSmartPtr<IPMMObject> GetCar() const { return m_car; }
    void SetCar(const CPSmartPtr<IPMMObject>& car) { m_car = car; }
    // The object owns the record; a new one replaces (and deletes) the old one.
    void SetEnemy(std::unique_ptr<IPEnemyHooks> enemy) { m_enemy = std::move(enemy); }
    IPEnemyHooks* GetEnemy() const { return m_enemy.get(); }
    // Called by the animated attachment after its own events; handed to the enemy record.
    void OnAnimationStopped() override;
    void OnAnimationReport() override;

    // ---- picking, damage, description ----------------------------------------------------
    // Nearest hit over the subtree; objects without collision, and the excluded one, hide
    // their subtree.
    bool RayPick(SPRayPick& pick);
    // This object only, gated by the visible flag; stops at the first box that is hit.
    bool RayPickSelf(SPRayPick& pick);
    // "damage" with the amount ("%.2f") unless silent, then the enemy record's handler.
    void NotifyDamage(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, float amount, bool noEffect, bool silent);
    // Puts the fire material on a mesh or animated attachment, then the same on every child.
    void ApplyFireMaterial();
    // Reads "Data\Descriptions\<description file>" into the description document; on success
    // the installed enemy maker may give the object a record. A missing or broken file
    // answers false and leaves the document empty.
    bool LoadDescription();
    const TiXmlDocument& GetDescription() const { return m_description; }
    TiXmlDocument& Description() { return m_description; }

    // ---- part animations (PGameObjectAnimation.cpp) --------------------------------------
    // Enters the animation under the name (replacing an earlier one); "idle" also becomes the
    // current one and loops. Clears the static flag.
    void AddPartAnimation(const std::string& name, const CPSmartPtr<IPTask>& animation);
    bool HasPartAnimations() const { return m_hasPartAnimations; }
    const std::unordered_map<std::string, CPSmartPtr<IPTask>>& GetPartAnimations() const { return m_partAnimations; }
    const CPSmartPtr<IPTask>& GetCurrentPartAnimation() const { return m_currentPartAnimation; }
    // Applies the request to an animated attachment, then passes it to every child.
    void SetAnimation(const SPAnimationRequest& request, bool restart);
    // A running part animation's key matrix: the local matrix in place of rotation and position
    // until the object is next moved or turned.
    void SetAnimatedLocalMatrix(const D3DXMATRIX& matrix) override;
    bool HasAnimatedLocalMatrix() const { return m_animatedLocal; }

    // ---- particles (PGameObjectParticles.cpp) --------------------------------------------
    // Hangs a clone of the flame type's particle system under the object once, then the same
    // on every child.
    void StartFlame();

    // ---- the seam the renderer reads -----------------------------------------------------
    bool IsVisible() const override { return m_visible; }
    bool IsStatic() const override { return m_static; }
    void SetStatic(bool isStatic) override { m_static = isStatic; }
    int GetKind() const override { return m_kind; }
    IPRenderable* GetRenderable() const override;
    CPLight* GetLight() const override;
    int GetChildCount() const override { return static_cast<int>(m_children.size()); }
    IPSceneObject* GetChild(int index) const override;
    // The levels of detail after the object itself that hold an object.
    int GetAttachedCount() const override;
    IPSceneObject* GetAttached(int index) const override;
    const D3DXMATRIX& GetWorldMatrix() const override { return m_worldMatrix; }
    bool IsTransformChanged() const override { return m_transformChanged; }
    void ClearTransformChanged() override { m_transformChanged = false; }
    D3DXVECTOR3 GetPickHalfSize() const override { return m_pickBounds.halfSize; }
    IPSceneObject* GetParentObject() const override;
    D3DXVECTOR3 GetRelativePosition() const override { return m_position; }
    D3DXQUATERNION GetRotation() const override { return m_rotation; }
    const CPBoundingBox& GetVisibleBounds() const override { return m_visibleBounds; }

protected:
    // Clears the attachment's plain pointer to this object when it still points here.
    void ForgetAsOwner(IPMMObject* attachment);
    // The script's event with the object's handle.
    void SendHandleEvent(const char* event);
    // Moves the other levels of detail and the physics body; marks the object dirty.
    void ApplyPosition(const D3DXVECTOR3& position);
    // A new sprite copied from the source's; owner = this.
    void CopySpriteFrom(const CPGameObject& source);
    // The installed enemy maker's record, when it answers one (replacing an earlier record).
    void GiveEnemyRecord();

    // Members the animation and particle code defines (PGameObjectAnimation.cpp,
    // PGameObjectParticles.cpp).
    // The part animations of the source, copied for this object.
    void CopyPartAnimationsFrom(const CPGameObject& source);
    // A new animated attachment copied from the source's; owner = this.
    void CopyAnimatedAttachmentFrom(const CPGameObject& source);
    // The fire material as the animated attachment's material.
    void ApplyFireMaterialToAnimated();
    // A clone of the source's particle system; owner = this.
    void CopyParticleSystemFrom(const CPGameObject& source);

    std::vector<SPLevelOfDetail> m_levelsOfDetail;
    TiXmlDocument m_description;
    int m_flameType = -1;
    bool m_inScene = false;
    bool m_hasPartAnimations = false;
    std::unordered_map<std::string, CPSmartPtr<IPTask>> m_partAnimations;
    CPSmartPtr<IPTask> m_currentPartAnimation;
    CPBoundingBox m_pickBounds;
    CPBoundingBox m_visibleBounds;
    CPOrientedBox m_ownBox;
    std::vector<CPOrientedBox> m_partBoxes;
    D3DXMATRIX m_parentWorldMatrix;
    D3DXMATRIX m_localMatrix;
    D3DXMATRIX m_worldMatrix;
    D3DXVECTOR3 m_position{0.0f, 0.0f, 0.0f};
    D3DXQUATERNION m_rotation{0.0f, 0.0f, 0.0f, 1.0f};
    bool m_dirty = true;
    // Set while a part animation's key matrix stands for rotation and position.
    bool m_animatedLocal = false;
    std::vector<CPSmartPtr<CPGameObject>> m_children;
    std::unordered_map<std::string, CPSmartPtr<CPGameObject>> m_childNames;
    CPGameObject* m_parent = nullptr;
    std::string m_name;
    bool m_visible = true;
    bool m_static = true;
    // The script is kept alive by the script manager, not by the object; the link is its
    // handle so an object that outlives its script sends nothing rather than touch freed memory.
    PMMHandle m_scriptHandle = 0;
    bool m_collision = true;
    std::string m_parameterText;
    std::string m_descriptionFile;
    std::unique_ptr<IPEnemyHooks> m_enemy;
    CPSmartPtr<CPMaterial> m_shadowMaterial;
    CPSmartPtr<CPMaterial> m_fireMaterial;
    std::vector<D3DXVECTOR3> m_lineKeyPoints;
    unsigned m_lineColour = kDefaultLineColour;
    std::string m_renderDescriptionName;
    bool m_transformChanged = true;
    bool m_castsShadow = true;
    CPSmartPtr<IPMMObject> m_attachment;
    int m_kind = KindEmpty;
    CPSmartPtr<IPPhysicData> m_physicData;
    CPSmartPtr<IPMMObject> m_car;
};

// The scene object's script, for the command functions given an object that is not a script;
// null for anything else.
CPLuaScript* ScriptOfSceneObject(IPMMObject* object);
