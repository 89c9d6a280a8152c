#pragma once
// The level tree: the placed objects that never move, in a tree of bounding boxes whose
// branches have two children or none. Built once after the level file is read, it serves the
// per-frame culling (with a choice of detail by distance), the level's ray queries and the
// weapons' sphere queries. Every branch holds all the objects below it; only leaves are drawn
// and ray-tested.
//
// Splits are chosen per axis by the number of distinct materials the two halves draw with, so
// the renderer can batch each leaf's meshes by material. There is no depth limit: a branch
// splits as long as one axis separates its objects' centres, so leaves end with the objects
// whose centres coincide.

#include <string>
#include <unordered_map>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PBoundingBox.h"
#include "Render/PMaterial.h"
#include "Scene/PGameObject.h"

class CPPerspectiveCamera;

class CPLevelBranch : public IPMMObject {
public:
    // What CollectVisible answers and hands its children: the distance has no effect.
    static constexpr int kNoDistance = 100000;

    CPLevelBranch() = default;
    ~CPLevelBranch() override = default;
    CPLevelBranch(const CPLevelBranch&) = delete;
    CPLevelBranch& operator=(const CPLevelBranch&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPLevelBranch)); }
    std::string GetClassName() const override { return "CPLevelBranch"; }

    // Takes the objects (held, in order), bounds their world boxes, counts the distinct
    // materials of their static meshes and sorts them into static and dynamic. An empty range
    // leaves the branch without a box: no walk finds anything in it.
    void Init(const std::vector<CPSmartPtr<CPGameObject>>& objects);
    // Splits recursively (depth is passed on and limits nothing). Candidate branches that lose
    // a comparison are released for the regular collection.
    void Build(int depth);
    // Hands the visible leaves' objects to the renderer's render block; answers kNoDistance.
    int CollectVisible(const CPPerspectiveCamera* camera, int distance);
    // Takes this branch's dynamic objects out of the scene; children are not visited.
    void RemoveFromScene();
    // Ray picks the leaf objects whose boxes the ray's segment meets; every pick may shorten the
    // segment, so the record ends with the nearest hit of the walk. Both children are walked.
    bool RayWalk(SPRayPick& pick);
    // Appends each leaf object whose parts box lies within radius of the point (once per leaf
    // that holds it).
    void CollectInSphere(const D3DXVECTOR3& point, float radius, std::vector<CPSmartPtr<CPGameObject>>& out);

    // Which object stands for a static object seen from the squared distance: the object
    // itself with at most one level of detail; none beyond the draw distance (compared
    // squared, so a viewer at exactly that distance still sees it); else the last level of
    // detail whose distance the viewer is beyond, the object itself when it is within them all.
    // A level-of-detail entry without an object draws nothing.
    static CPGameObject* SelectDetail(CPGameObject& object, float squaredDistance, int drawDistance);

    int GetMaterialCount() const { return static_cast<int>(m_materials.size()); }
    bool HasBounds() const { return m_hasBounds; }
    const CPBoundingBox& GetBounds() const { return m_bounds; }
    CPLevelBranch* GetFirstChild() const { return m_firstChild.Get(); }
    CPLevelBranch* GetSecondChild() const { return m_secondChild.Get(); }
    bool IsLeaf() const { return !m_firstChild; }
    const std::vector<CPSmartPtr<CPGameObject>>& GetObjects() const { return m_objects; }
    const std::vector<CPSmartPtr<CPGameObject>>& GetStaticObjects() const { return m_staticObjects; }
    const std::vector<CPSmartPtr<CPGameObject>>& GetDynamicObjects() const { return m_dynamicObjects; }

private:
    void CountMaterials(const std::vector<CPSmartPtr<CPGameObject>>& list);
    void SortObjects();
    void CollectLeaf(const CPPerspectiveCamera* camera);
    void AddMaterial(const CPSmartPtr<CPMaterial>& material);

    // Distinct materials by identity; only their number is read.
    std::unordered_map<const CPMaterial*, CPSmartPtr<CPMaterial>> m_materials{100};
    CPBoundingBox m_bounds;
    bool m_hasBounds = false;
    CPSmartPtr<CPLevelBranch> m_firstChild;
    CPSmartPtr<CPLevelBranch> m_secondChild;
    std::vector<CPSmartPtr<CPGameObject>> m_objects;
    std::vector<CPSmartPtr<CPGameObject>> m_dynamicObjects;
    std::vector<CPSmartPtr<CPGameObject>> m_staticObjects;
};
