// Mesh files: the root for one node and several, p3d placement and bodies, part records, the
// start-value bounds, the vertex colour, plain nodes and their boxes, the section a node finds,
// and the named-matrix table.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Render/PRenderObject.h"
#include "Scene/Loaders/LoaderTestSupport.h"
#include "support/Near.h"

namespace {

using kxtest::LoaderTest;
using kxtest::MeshFileWriter;
using kxtest::MeshNode;
using kxtest::NodeRecord;
using kxtest::Recorded;
using kxtest::TriangleNode;

using MeshNodeTest = LoaderTest;

CPRenderObject* Mesh(const CPSmartPtr<CPGameObject>& object) { return object->GetRenderObject(); }

NodeRecord Record(int type, float w, float d, float h, D3DXVECTOR3 at, float mass) {
    NodeRecord r;
    r.type = type;
    r.width = w;
    r.depth = d;
    r.height = h;
    r.x = at.x;
    r.y = at.y;
    r.z = at.z;
    r.mass = mass;
    return r;
}

TEST_F(MeshNodeTest, OneNodeIsTheRootItselfAndSeveralHangUnderAnEmptyRootNamedAfterTheDescription) {
    for (bool p3d : {true, false}) {
        SCOPED_TRACE(p3d ? "p3d" : "plain");
        CPSmartPtr<CPGameObject> single =
            LoadMesh(MeshFileWriter(p3d).AddNode(TriangleNode("Body")).Build().bytes, p3d, nullptr, "car.rdf");
        ASSERT_TRUE(single);
        EXPECT_EQ(single->GetName(), "body");
        EXPECT_EQ(single->GetKind(), CPGameObject::KindMesh);
        EXPECT_EQ(single->GetRenderDescriptionName(), "car.rdf");
        EXPECT_TRUE(single->GetChildren().empty());

        const std::string three = MeshFileWriter(p3d)
                                      .AddNode(TriangleNode("a"))
                                      .AddNode(TriangleNode("b"))
                                      .AddNode(TriangleNode("c"))
                                      .Build()
                                      .bytes;
        CPSmartPtr<CPGameObject> several = LoadMesh(three, p3d, nullptr, "car.rdf");
        ASSERT_TRUE(several);
        EXPECT_EQ(several->GetName(), "car.rdf");
        EXPECT_EQ(several->GetKind(), CPGameObject::KindEmpty);
        EXPECT_EQ(several->GetRenderDescriptionName(), "car.rdf");
        ASSERT_EQ(several->GetChildren().size(), 3u);
        const char* names[] = {"a", "b", "c"};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(several->GetChildren()[i]->GetName(), names[i]);
            EXPECT_EQ(several->GetChild(names[i]).Get(), several->GetChildren()[i].Get());
        }

        CPSmartPtr<CPGameObject> none = LoadMesh(MeshFileWriter(p3d).Build().bytes, p3d);
        ASSERT_TRUE(none);
        EXPECT_EQ(none->GetKind(), CPGameObject::KindEmpty);
        EXPECT_TRUE(none->GetChildren().empty());
    }
}

TEST_F(MeshNodeTest, P3dNodeTakesItsPositionAndTheConjugateOfItsStoredRotation) {
    MeshNode node = TriangleNode("door");
    node.position[0] = 1.5f;
    node.position[1] = -2.0f;
    node.position[2] = 3.25f;
    const float stored[4] = {0.0f, 0.0f, 0.7071068f, 0.7071068f};
    std::copy(stored, stored + 4, node.rotation);
    CPSmartPtr<CPGameObject> door = LoadMesh(MeshFileWriter(true).AddNode(node).Build().bytes, true);
    ASSERT_TRUE(door);
    EXPECT_TRUE(kxtest::Near(door->GetPosition(), D3DXVECTOR3(1.5f, -2.0f, 3.25f)));
    EXPECT_TRUE(kxtest::Near(door->GetRotationQuaternion(), D3DXQUATERNION(0.0f, 0.0f, -0.7071068f, 0.7071068f)));
    // The body follows the object.
    kxtest::RecordingPhysicData* body = Recorded(door);
    ASSERT_NE(body, nullptr);
    ASSERT_FALSE(body->positions.empty());
    EXPECT_TRUE(kxtest::Near(body->positions.back(), D3DXVECTOR3(1.5f, -2.0f, 3.25f)));
    ASSERT_FALSE(body->rotations.empty());
    EXPECT_TRUE(kxtest::Near(body->rotations.back(), D3DXQUATERNION(0.0f, 0.0f, -0.7071068f, 0.7071068f)));
}

TEST_F(MeshNodeTest, P3dBodyRecordGivesTheShapeAndABoxRaisedByHalfItsDepth) {
    MeshNode node = TriangleNode("crate");
    node.body = Record(0, 2.0f, 4.0f, 6.0f, D3DXVECTOR3(1.0f, 2.0f, 3.0f), 7.0f);
    node.body.qz = 0.5f;
    CPSmartPtr<CPGameObject> crate = LoadMesh(MeshFileWriter(true).AddNode(node).Build().bytes, true);
    ASSERT_TRUE(crate);
    kxtest::RecordingPhysicData* body = Recorded(crate);
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->calls.size(), 2u);
    EXPECT_EQ(body->calls[0].kind, "shape");
    EXPECT_EQ(body->calls[0].a, 2.0f);
    EXPECT_EQ(body->calls[0].b, 4.0f);
    EXPECT_EQ(body->calls[0].c, 6.0f);
    EXPECT_EQ(body->calls[0].mass, 7.0f);
    EXPECT_EQ(body->calls[1].kind, "box");
    EXPECT_TRUE(kxtest::Near(body->calls[1].point, D3DXVECTOR3(1.0f, 2.0f, 5.0f)));
    // The box geometry takes the rotation as stored.
    EXPECT_TRUE(kxtest::Near(body->calls[1].rotation, D3DXQUATERNION(0.0f, 0.0f, 0.5f, 1.0f)));
    EXPECT_EQ(maker.made, std::vector<std::string>{"crate"});
}

TEST_F(MeshNodeTest, PartRecordsBecomePartBoxesAndCylindersAndUnknownTypesAreSkipped) {
    MeshNode node = TriangleNode("car");
    node.parts.push_back(Record(0, 2.0f, 4.0f, 6.0f, D3DXVECTOR3(1.0f, 2.0f, 3.0f), 1.0f));
    NodeRecord cylinder = Record(1, 9.0f, 0.5f, 9.0f, D3DXVECTOR3(4.0f, 5.0f, 6.0f), 3.0f);
    cylinder.word11 = 0.8f;
    cylinder.qx = 0.6f;
    cylinder.qw = 0.8f;
    node.parts.push_back(cylinder);
    node.parts.push_back(Record(7, 1.0f, 1.0f, 1.0f, D3DXVECTOR3(0, 0, 0), 1.0f));
    node.parts.push_back(Record(-1, 1.0f, 1.0f, 1.0f, D3DXVECTOR3(0, 0, 0), 1.0f));
    CPSmartPtr<CPGameObject> car = LoadMesh(MeshFileWriter(true).AddNode(node).Build().bytes, true);
    ASSERT_TRUE(car);

    ASSERT_EQ(car->PartBoxes().size(), 1u);
    const CPOrientedBox& box = car->PartBoxes()[0];
    EXPECT_TRUE(kxtest::Near(box.GetHalfSize(), D3DXVECTOR3(1.0f, 3.0f, 2.0f)));
    EXPECT_TRUE(kxtest::Near(box.GetCentre(), D3DXVECTOR3(0.0f, 0.0f, 0.0f)));
    const D3DXMATRIX& local = box.GetLocalMatrix();
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(local.m[3][0], local.m[3][1], local.m[3][2]), D3DXVECTOR3(1.0f, 2.0f, 5.0f)));

    // The body's own shape and box, then the cylinder: a p3d box part adds no geometry.
    kxtest::RecordingPhysicData* body = Recorded(car);
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->calls.size(), 3u);
    const kxtest::ShapeCall& c = body->calls[2];
    EXPECT_EQ(c.kind, "cylinder");
    EXPECT_TRUE(kxtest::Near(c.point, D3DXVECTOR3(4.0f, 5.0f, 6.0f)));
    EXPECT_TRUE(kxtest::Near(c.rotation, D3DXQUATERNION(-0.6f, 0.0f, 0.0f, 0.8f)));
    EXPECT_FLOAT_EQ(c.a, 0.8f);
    EXPECT_FLOAT_EQ(c.b, 0.5f);
    EXPECT_FLOAT_EQ(c.mass, 3.0f);
}

TEST_F(MeshNodeTest, PartBoxTurnsByTheNormalisedConjugateBeforeItMoves) {
    MeshNode node = TriangleNode("flap");
    NodeRecord part = Record(0, 2.0f, 2.0f, 2.0f, D3DXVECTOR3(1.0f, 0.0f, 0.0f), 1.0f);
    // A quarter turn about z, stored at twice unit length.
    part.qz = 2.0f * 0.7071068f;
    part.qw = 2.0f * 0.7071068f;
    node.parts.push_back(part);
    CPSmartPtr<CPGameObject> flap = LoadMesh(MeshFileWriter(true).AddNode(node).Build().bytes, true);
    ASSERT_TRUE(flap);
    ASSERT_EQ(flap->PartBoxes().size(), 1u);
    const D3DXMATRIX& m = flap->PartBoxes()[0].GetLocalMatrix();
    // R(conjugate) first, then the translation (1, 0, 1): the rows are the turned axes.
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(m.m[0][0], m.m[0][1], m.m[0][2]), D3DXVECTOR3(0.0f, -1.0f, 0.0f), 1e-5f));
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(m.m[1][0], m.m[1][1], m.m[1][2]), D3DXVECTOR3(1.0f, 0.0f, 0.0f), 1e-5f));
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(m.m[3][0], m.m[3][1], m.m[3][2]), D3DXVECTOR3(1.0f, 0.0f, 1.0f)));
}

TEST_F(MeshNodeTest, BoundsSpanTheVerticesAndAnEmptyNodeKeepsTheStartValues) {
    MeshNode node;
    node.name = "box";
    for (D3DXVECTOR3 p : {D3DXVECTOR3(-1, 2, 3), D3DXVECTOR3(5, -4, 1), D3DXVECTOR3(0, 0, 9)}) {
        kxtest::MorphVertex v;
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
        node.vertices.push_back(v);
    }
    node.indices = {0, 1, 2};
    CPSmartPtr<CPGameObject> box = LoadMesh(MeshFileWriter(true).AddNode(node).Build().bytes, true);
    ASSERT_TRUE(box);
    EXPECT_TRUE(kxtest::Near(box->GetOwnBox().GetCentre(), D3DXVECTOR3(2.0f, -1.0f, 5.0f)));
    EXPECT_TRUE(kxtest::Near(box->GetOwnBox().GetHalfSize(), D3DXVECTOR3(3.0f, 3.0f, 4.0f)));

    MeshNode empty;
    empty.name = "nothing";
    CPSmartPtr<CPGameObject> nothing = LoadMesh(MeshFileWriter(true).AddNode(empty).Build().bytes, true);
    ASSERT_TRUE(nothing);
    EXPECT_TRUE(kxtest::Near(nothing->GetOwnBox().GetCentre(), D3DXVECTOR3(2250000.0f, 0.0f, 2250000.0f)));
    EXPECT_TRUE(kxtest::Near(nothing->GetOwnBox().GetHalfSize(), D3DXVECTOR3(-2750000.0f, -5000000.0f, -2750000.0f)));
    ASSERT_NE(Mesh(nothing), nullptr);
    EXPECT_EQ(Mesh(nothing)->GetVertexCount(), 0);
}

TEST_F(MeshNodeTest, EveryVertexTakesTheLibrarysColourAndTheWorldVerticesStartAsACopy) {
    for (bool p3d : {true, false}) {
        for (D3DCOLOR colour : {CPAnimationLibrary::kDefaultVertexColour, D3DCOLOR(0x80112233u)}) {
            SCOPED_TRACE(colour);
            library.SetVertexColour(colour);
            MeshNode node = TriangleNode("tri");
            node.children.push_back(TriangleNode("under"));
            CPSmartPtr<CPGameObject> tri = LoadMesh(MeshFileWriter(p3d).AddNode(node).Build().bytes, p3d);
            ASSERT_TRUE(tri);
            for (CPGameObject* object : {tri.Get(), tri->GetChild("under").Get()}) {
                ASSERT_NE(object, nullptr);
                CPRenderObject* mesh = object->GetRenderObject();
                ASSERT_NE(mesh, nullptr);
                ASSERT_EQ(mesh->ModelVertices().size(), 3u);
                EXPECT_EQ(mesh->Indices(), (std::vector<std::uint16_t>{0, 1, 2}));
                ASSERT_EQ(mesh->WorldVertices().size(), 3u);
                for (int i = 0; i < 3; ++i) {
                    EXPECT_EQ(mesh->ModelVertices()[i].diffuse, colour);
                    EXPECT_EQ(mesh->ModelVertices()[i].x, static_cast<float>(i));
                    EXPECT_EQ(mesh->WorldVertices()[i].x, mesh->ModelVertices()[i].x);
                    EXPECT_EQ(mesh->WorldVertices()[i].diffuse, colour);
                }
                EXPECT_EQ(mesh->GetOwner(), object);
            }
        }
    }
}

TEST_F(MeshNodeTest, PlainNodesHaveNoTransformOrBodyAndTakeTheirBoxesAsStored) {
    MeshNode node = TriangleNode("Hut");
    kxtest::PlainBox stored;
    stored.centre[0] = 1.0f;
    stored.centre[1] = 2.0f;
    stored.centre[2] = 3.0f;
    stored.halfSize[0] = 4.0f;
    stored.halfSize[1] = 5.0f;
    stored.halfSize[2] = 6.0f;
    stored.matrix[12] = 7.0f;
    stored.matrix[13] = 8.0f;
    stored.matrix[14] = 9.0f;
    node.boxes = {stored, kxtest::PlainBox()};
    node.children.push_back(TriangleNode("door"));
    CPSmartPtr<CPGameObject> hut = LoadMesh(MeshFileWriter(false).AddNode(node).Build().bytes, false);
    ASSERT_TRUE(hut);
    EXPECT_EQ(hut->GetName(), "hut");
    EXPECT_FALSE(hut->GetPhysicData());
    EXPECT_TRUE(maker.made.empty());
    EXPECT_TRUE(kxtest::Near(hut->GetPosition(), D3DXVECTOR3(0, 0, 0)));
    ASSERT_EQ(hut->PartBoxes().size(), 2u);
    EXPECT_TRUE(kxtest::Near(hut->PartBoxes()[0].GetCentre(), D3DXVECTOR3(1, 2, 3)));
    EXPECT_TRUE(kxtest::Near(hut->PartBoxes()[0].GetHalfSize(), D3DXVECTOR3(4, 5, 6)));
    const D3DXMATRIX& m = hut->PartBoxes()[0].GetLocalMatrix();
    EXPECT_EQ(m.m[3][0], 7.0f);
    EXPECT_EQ(m.m[3][1], 8.0f);
    EXPECT_EQ(m.m[3][2], 9.0f);
    EXPECT_EQ(m.m[0][0], 1.0f);
    ASSERT_TRUE(hut->GetChild("door"));
    EXPECT_EQ(hut->GetChild("door")->GetKind(), CPGameObject::KindMesh);
}

struct SectionCase {
    std::vector<std::string> present;
    std::string node;
    std::string used;
};

TEST_F(MeshNodeTest, ANodeUsesItsOwnSectionElseItsNameWithoutTrailingDigitsElseWithoutDigitsAndUnderscores) {
    const SectionCase cases[] = {
        {{"wheel12", "wheel"}, "wheel12", "wheel12"},
        {{"wheel"}, "wheel12", "wheel"},
        {{"rim_2", "rim_", "rim"}, "rim_2", "rim_2"},
        {{"rim_", "rim"}, "rim_2", "rim_"},
        {{"rim"}, "rim_2", "rim"},
        {{"door_left", "door"}, "door_left2", "door_left"},
        {{"door"}, "door_left2", "door_left2"},
        {{"a_1"}, "a_1_2", "a_1_2"},
        {{"a"}, "a_1_2", "a"},
        {{"lamp"}, "lamp", "lamp"},
        {{}, "wheel12", "wheel12"},
    };
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.node);
        CPAnimationLibrary::Sections table;
        for (const std::string& name : c.present) table[name]["tag"] = name;
        CPAnimationLibrary::Section& section = CPAnimationLibrary::FindNodeSection(table, c.node);
        EXPECT_EQ(&section, &table[c.used]);
        // Only a node that finds no section makes one.
        const bool made = std::find(c.present.begin(), c.present.end(), c.used) == c.present.end();
        EXPECT_EQ(table.size(), c.present.size() + (made ? 1u : 0u));
    }
}

TEST_F(MeshNodeTest, ReadingANodeWithoutASectionMakesItsSectionEmpty) {
    sections["wheel"]["type"] = "3";
    MeshNode node = TriangleNode("chassis");
    node.children.push_back(TriangleNode("wheel12"));
    ASSERT_TRUE(LoadMesh(MeshFileWriter(true).AddNode(node).Build().bytes, true));
    EXPECT_EQ(sections.size(), 2u);
    ASSERT_EQ(sections.count("chassis"), 1u);
    // Made empty: whatever the description step looked up in it reads as absent.
    for (const auto& [key, value] : sections["chassis"]) EXPECT_TRUE(value.empty()) << key;
    EXPECT_EQ(sections.count("wheel12"), 0u);
    EXPECT_EQ(sections["wheel"]["type"], "3");
}

TEST_F(MeshNodeTest, TheNamedMatrixTableIsPresentWhenACountFollowsTheNodesAndChangesNoObject) {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const std::string without = MeshFileWriter(true).AddNode(TriangleNode("a")).Build().bytes;
    const std::string with =
        MeshFileWriter(true).AddNode(TriangleNode("a")).AddNamedMatrix("dummy", identity).Build().bytes;
    const std::string empty = MeshFileWriter(true).AddNode(TriangleNode("a")).WithEmptyMatrixTable().Build().bytes;
    struct Case {
        const char* what;
        std::string bytes;
        bool table;
    } cases[] = {
        {"none", without, false},
        {"one matrix", with, true},
        {"count 0", empty, true},
        // Cut inside the table: still there.
        {"cut table", with.substr(0, with.size() - 10), true},
        {"only a count", without + std::string("\x05\x00\x00\x00", 4), true},
        {"three stray bytes", without + "abc", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool table = !c.table;
        CPSmartPtr<CPGameObject> a = LoadMesh(c.bytes, true, &table);
        ASSERT_TRUE(a);
        EXPECT_EQ(table, c.table);
        EXPECT_EQ(a->GetName(), "a");
        EXPECT_TRUE(a->GetChildren().empty());
    }
}

TEST_F(MeshNodeTest, NameFieldEndsAtItsFirstZeroOrAtItsEnd) {
    MeshNode longName = TriangleNode(std::string(260, 'X'));
    CPSmartPtr<CPGameObject> full = LoadMesh(MeshFileWriter(true).AddNode(longName).Build().bytes, true);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->GetName(), std::string(260, 'x'));

    MeshNode embedded = TriangleNode(std::string("Lamp\0junk", 9));
    CPSmartPtr<CPGameObject> lamp = LoadMesh(MeshFileWriter(false).AddNode(embedded).Build().bytes, false);
    ASSERT_TRUE(lamp);
    EXPECT_EQ(lamp->GetName(), "lamp");
}

TEST_F(MeshNodeTest, WithoutAPhysicsMakerP3dNodesLoadWithoutBodies) {
    SetPhysicDataMaker(nullptr);
    MeshNode node = TriangleNode("crate");
    node.parts.push_back(Record(1, 1, 1, 1, D3DXVECTOR3(0, 0, 0), 1));
    CPSmartPtr<CPGameObject> crate = LoadMesh(MeshFileWriter(true).AddNode(node).Build().bytes, true);
    ASSERT_TRUE(crate);
    EXPECT_FALSE(crate->GetPhysicData());
}

TEST_F(MeshNodeTest, SingleNodeReadersLeaveTheReaderBehindTheRecord) {
    for (bool p3d : {true, false}) {
        MeshNode node = TriangleNode("one");
        node.children.push_back(TriangleNode("two"));
        const std::string file = MeshFileWriter(p3d).AddNode(node).Build().bytes;
        auto reader = ReaderOver(file + "TAIL");
        reader->ReadBytes(nullptr, 8);
        CPSmartPtr<CPGameObject> one =
            p3d ? library.ReadMeshNode(*reader, sections, 0) : library.ReadPlainMeshNode(*reader, sections, 0);
        ASSERT_TRUE(one);
        EXPECT_EQ(reader->GetReadPosition(), static_cast<int>(file.size()));
        EXPECT_FALSE(reader->IsFailed());
        EXPECT_TRUE(one->GetChild("two"));
    }
}

} // namespace
