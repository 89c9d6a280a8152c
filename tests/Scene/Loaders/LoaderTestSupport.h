#pragma once
// What the loader tests share: a game root to write node files into, the library and the
// animation cache for the test's life, and physics data that records every shape it is given.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Scene/PAnimation.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"
#include "support/MeshFileWriter.h"
#include "support/TempDir.h"

namespace kxtest {

struct ShapeCall {
    std::string kind;
    D3DXVECTOR3 point{0, 0, 0};
    D3DXQUATERNION rotation{0, 0, 0, 1};
    float a = 0, b = 0, c = 0;
    float mass = 0;
};

class RecordingPhysicData : public IPPhysicData {
public:
    explicit RecordingPhysicData(CPGameObject* owner) : owner(owner) {}
    int GetSize() const override { return sizeof(RecordingPhysicData); }
    std::string GetClassName() const override { return "RecordingPhysicData"; }

    void SetShape(float a, float b, float c, float mass) override { calls.push_back({"shape", {}, {}, a, b, c, mass}); }
    void AddBoxShape(const D3DXVECTOR3& point, const D3DXQUATERNION& rotation, float a, float b, float c,
                     float mass) override {
        calls.push_back({"box", point, rotation, a, b, c, mass});
    }
    void AddCylinderShape(const D3DXVECTOR3& point, const D3DXQUATERNION& rotation, float diameter, float height,
                          float mass) override {
        calls.push_back({"cylinder", point, rotation, diameter, height, 0, mass});
    }
    void SetPosition(const D3DXVECTOR3& p) override { positions.push_back(p); }
    void SetBodyRotation(const D3DXQUATERNION& q) override { rotations.push_back(q); }
    CPSmartPtr<IPPhysicData> CopyShapesFor(CPGameObject* newOwner) const override {
        return CPSmartPtr<IPPhysicData>(new RecordingPhysicData(newOwner));
    }
    void ForgetOwner() override { owner = nullptr; }

    CPGameObject* owner;
    std::vector<ShapeCall> calls;
    std::vector<D3DXVECTOR3> positions;
    std::vector<D3DXQUATERNION> rotations;
};

class RecordingPhysicDataMaker : public IPPhysicDataMaker {
public:
    CPSmartPtr<IPPhysicData> Make(CPGameObject* owner) override {
        made.push_back(owner->GetName());
        return CPSmartPtr<IPPhysicData>(new RecordingPhysicData(owner));
    }
    std::vector<std::string> made;
};

inline RecordingPhysicData* Recorded(const CPSmartPtr<CPGameObject>& object) {
    return dynamic_cast<RecordingPhysicData*>(object->GetPhysicData().Get());
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        IPMMObject::CollectGarbage();
        CPLog::Instance().SetSink([this](int, const std::string& text) { logLines.push_back(text); });
        SetPhysicDataMaker(&maker);
    }
    void TearDown() override {
        SetPhysicDataMaker(nullptr);
        CPLog::Instance().SetSink(nullptr);
        IPMMObject::CollectGarbage();
    }

    // A loaded reader over the bytes, written as a loose file under Data\Meshes (the file is
    // read whole at once, so one name serves every load).
    std::unique_ptr<CPFileReader> ReaderOver(const std::string& bytes, const std::string& name = std::string()) {
        const std::string file = name.empty() ? "node.bin" : name;
        root.Write("Data/Meshes/" + file, bytes);
        auto reader = std::make_unique<CPFileReader>("Data\\Meshes\\" + file);
        EXPECT_EQ(reader->Load(), S_OK);
        return reader;
    }

    // The whole mesh file read as a mesh-file description would.
    CPSmartPtr<CPGameObject> LoadMesh(const std::string& bytes, bool p3d, bool* table = nullptr,
                                      const std::string& description = "thing.rdf") {
        auto reader = ReaderOver(bytes);
        bool hasTable = false;
        CPSmartPtr<CPGameObject> rootObject = library.ReadMeshFile(*reader, sections, 10, description, p3d, hasTable);
        if (table) *table = hasTable;
        return rootObject;
    }

    TempGameRoot root;
    CPAnimationLibrary library;
    // The process's cache (a test may take it away).
    std::unique_ptr<CPAnimationCache> cacheHolder{new CPAnimationCache()};
    CPAnimationCache& cache{*cacheHolder};
    RecordingPhysicDataMaker maker;
    CPAnimationLibrary::Sections sections;
    std::vector<std::string> logLines;
};

} // namespace kxtest
