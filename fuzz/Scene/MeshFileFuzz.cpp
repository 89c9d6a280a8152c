// A mesh file as a mesh-file render description reads it, once as p3d node records and once as
// plain ones, with a physics maker that accepts every shape.

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "FuzzSupport.h"
#include "Render/PRenderObject.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class AnyShapes : public IPPhysicData {
public:
    int GetSize() const override { return sizeof(AnyShapes); }
    std::string GetClassName() const override { return "AnyShapes"; }
    void SetShape(float, float, float, float) override {}
    void AddBoxShape(const D3DXVECTOR3&, const D3DXQUATERNION&, float, float, float, float) override {}
    void AddCylinderShape(const D3DXVECTOR3&, const D3DXQUATERNION&, float, float, float) override {}
    void SetPosition(const D3DXVECTOR3&) override {}
    void SetBodyRotation(const D3DXQUATERNION&) override {}
    CPSmartPtr<IPPhysicData> CopyShapesFor(CPGameObject*) const override {
        return CPSmartPtr<IPPhysicData>(new AnyShapes());
    }
};

class AnyShapesMaker : public IPPhysicDataMaker {
public:
    CPSmartPtr<IPPhysicData> Make(CPGameObject*) override { return CPSmartPtr<IPPhysicData>(new AnyShapes()); }
};

// What must hold for every tree that loaded: each mesh's indices below its vertex count, its
// world vertices a copy of its model vertices, and no deeper nesting than the readers allow.
void CheckTree(const CPGameObject& object, int depth) {
    if (depth > CPAnimationLibrary::kMaxNodeDepth + 1) std::abort();
    if (CPRenderObject* mesh = object.GetRenderObject()) {
        for (std::uint16_t index : mesh->Indices())
            if (index >= mesh->ModelVertices().size()) std::abort();
        if (mesh->WorldVertices().size() != mesh->ModelVertices().size()) std::abort();
        for (const SPVertex& v : mesh->ModelVertices())
            if (v.diffuse != 0xFFFFFFFFu) std::abort();
    }
    for (const auto& child : object.GetChildren()) CheckTree(*child, depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink([](int, const std::string&) {});
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("data/meshes/thing.p3d", data, size);
    AnyShapesMaker maker;
    SetPhysicDataMaker(&maker);
    {
        CPAnimationLibrary library;
        for (bool p3d : {true, false}) {
            CPFileReader reader("Data\\Meshes\\thing.p3d");
            if (FAILED(reader.Load())) std::abort();
            CPAnimationLibrary::Sections sections;
            bool table = false;
            CPSmartPtr<CPGameObject> tree = library.ReadMeshFile(reader, sections, 0, "thing.rdf", p3d, table);
            if (reader.GetReadPosition() > reader.GetDataSize()) std::abort();
            // A tree is only ever read whole; a refused file has no table.
            if (static_cast<bool>(tree) == reader.IsFailed()) std::abort();
            if (tree) CheckTree(*tree, 0);
            if (!tree && table) std::abort();
        }
    }
    SetPhysicDataMaker(nullptr);
    // A tree frees level by level: each pass collects what the one before let go.
    for (int pass = 0; pass < 2 * CPAnimationLibrary::kMaxNodeDepth + 8 && IPMMObject::LiveCount() != 0; ++pass)
        IPMMObject::CollectGarbage();
    if (IPMMObject::LiveCount() != 0) std::abort();
    return 0;
}
