#pragma once
// A quad-tree over the ground plane (x and y; height is never divided) that sorts a level's
// objects into square cells once, at load, so that each frame only the cells inside the view
// volume and within the draw distance hand their objects to the render block.
//
// The level builds one root (SetBounds, then Build with all its objects at depth 0), calls
// CollectVisible on it with the current view camera once a frame and deletes it at unload.
// Objects stay in the cell they were sorted into, whatever they do later.

#include <array>
#include <memory>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PBoundingBox.h"

class CPPerspectiveCamera;
class IPSceneObject;

class CPQuadTreeNode {
public:
    // The deepest tree Build makes: 4^8 leaves.
    static constexpr int kMaxLevels = 8;

    CPQuadTreeNode() = default;
    virtual ~CPQuadTreeNode();
    CPQuadTreeNode(const CPQuadTreeNode&) = delete;
    CPQuadTreeNode& operator=(const CPQuadTreeNode&) = delete;

    // A new box of that centre and half-size (minimum and maximum derived) replaces the old.
    void SetBounds(const D3DXVECTOR3& centre, const D3DXVECTOR3& halfSize);
    // Slot 0 to 3; a child already there is deleted; the node owns the new one (null empties
    // the slot). Other slots are ignored and the child deleted.
    void SetChild(int index, CPQuadTreeNode* child);
    void AddObject(const CPSmartPtr<IPSceneObject>& object);

    // Splits the node's cell into four down to the depth of the setting "quadlevels" (taken
    // as 0 to 8) and sorts the objects into the leaves by their x and y. Cells are half-open:
    // an object on a dividing line goes to the higher side, and one outside the node's square
    // to the nearest cell, so no object is left out. Leaves then bound their objects' visible
    // extents (an empty leaf keeps its cell) and inner nodes the union of their children.
    void Build(const std::vector<CPSmartPtr<IPSceneObject>>& objects, int depth);

    // Walks the children whose bounds the camera may see; a leaf with objects whose bounds
    // centre lies closer to the eye than the setting "distance" hands them to the renderer's
    // render block, adding their number to its count of submitted objects. Without a camera
    // or a renderer nothing is handed over.
    void CollectVisible(const CPPerspectiveCamera* camera) const;

    CPQuadTreeNode* GetChild(int index) const;
    bool IsLeaf() const;
    const std::vector<CPSmartPtr<IPSceneObject>>& GetObjects() const { return m_objects; }
    // Null until SetBounds.
    const CPBoundingBox* GetBounds() const { return m_bounds.get(); }

    // Child order of the cells: lower x and y, higher x and y, higher x and lower y, lower x
    // and higher y. The cell an (x, y) goes to among a node's four around centre (cx, cy).
    static int CellOf(float x, float y, float cx, float cy);

private:
    std::array<std::unique_ptr<CPQuadTreeNode>, 4> m_children;
    std::vector<CPSmartPtr<IPSceneObject>> m_objects;
    std::unique_ptr<CPBoundingBox> m_bounds;
};
