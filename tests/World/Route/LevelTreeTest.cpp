// The level tree and the level's ray and sphere queries: building (empty lists, shared leaves,
// the split axis by material sums), the choice of detail by distance, ray walks and sphere
// collection, and the level's queries around the human racer.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PMaterial.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRenderObject.h"
#include "World/PLevel.h"
#include "World/PLevelBranch.h"
#include "World/PPlayer.h"
#include "support/Near.h"

namespace {

using kxtest::Near;
using Objects = std::vector<CPSmartPtr<CPGameObject>>;

CPOrientedBox LocalBox(const D3DXVECTOR3& halfSize) {
    CPOrientedBox box(D3DXVECTOR3(0, 0, 0), halfSize);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    box.SetLocalMatrix(identity);
    return box;
}

// A placed object at the position whose own box and one part box have the half-size, so its
// world box and its parts box agree.
template <class T = CPGameObject>
CPSmartPtr<T> Place(T* object, const D3DXVECTOR3& position, const D3DXVECTOR3& halfSize = {1, 1, 1}) {
    CPSmartPtr<T> held(object);
    held->OwnBox() = LocalBox(halfSize);
    held->PartBoxes().push_back(LocalBox(halfSize));
    held->SetCastsShadow(false);
    held->SetPosition(position);
    held->UpdateTransform();
    return held;
}

CPSmartPtr<CPGameObject> Placed(const std::string& name, const D3DXVECTOR3& position,
                                const D3DXVECTOR3& halfSize = {1, 1, 1}) {
    return Place(new CPGameObject(name), position, halfSize);
}

CPSmartPtr<CPMaterial> NewMaterial() { return CPSmartPtr<CPMaterial>(new CPMaterial(20, nullptr, nullptr)); }

// A static mesh object drawing with the material.
CPSmartPtr<CPGameObject> Mesh(const std::string& name, const D3DXVECTOR3& position,
                              const CPSmartPtr<CPMaterial>& material) {
    CPSmartPtr<CPGameObject> object = Placed(name, position);
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
    mesh->SetEffect(material);
    object->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
    return object;
}

SPRayPick Ray(const D3DXVECTOR3& origin, const D3DXVECTOR3& direction, float length) {
    SPRayPick pick;
    pick.origin = origin;
    pick.direction = direction;
    pick.distance = length;
    return pick;
}

CPSmartPtr<CPLevelBranch> BuildTree(const Objects& objects) {
    CPSmartPtr<CPLevelBranch> root(new CPLevelBranch());
    root->Init(objects);
    root->Build(0);
    return root;
}

// The leaf that holds the object, or null.
const CPLevelBranch* LeafOf(const CPLevelBranch& branch, const CPGameObject* object) {
    if (branch.IsLeaf()) {
        for (const auto& held : branch.GetObjects())
            if (held.Get() == object) return &branch;
        return nullptr;
    }
    if (const CPLevelBranch* found = LeafOf(*branch.GetFirstChild(), object)) return found;
    return LeafOf(*branch.GetSecondChild(), object);
}

class LevelTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedQuadLevels = g_quadlevels;
        m_savedDistance = g_distance;
        g_quadlevels = 0;
    }
    void TearDown() override {
        g_quadlevels = m_savedQuadLevels;
        g_distance = m_savedDistance;
        for (int i = 0; i < 6; ++i) IPMMObject::CollectGarbage();
    }

private:
    int m_savedQuadLevels = 0;
    int m_savedDistance = 200;
};

// ---- building --------------------------------------------------------------------------------

TEST_F(LevelTreeTest, AnEmptyStaticListGivesALeafThatFindsNothing) {
    CPSmartPtr<CPLevelBranch> root = BuildTree({});
    EXPECT_TRUE(root->IsLeaf());
    EXPECT_FALSE(root->HasBounds());
    EXPECT_TRUE(root->GetObjects().empty());
    EXPECT_EQ(root->GetMaterialCount(), 0);
    SPRayPick pick = Ray({-100, 0, 0}, {1, 0, 0}, 1000);
    EXPECT_FALSE(root->RayWalk(pick));
    EXPECT_EQ(pick.distance, 1000.0f);
    Objects found;
    root->CollectInSphere({0, 0, 0}, 1e6f, found);
    EXPECT_TRUE(found.empty());
    CPPerspectiveCamera camera;
    EXPECT_EQ(root->CollectVisible(&camera, 5), CPLevelBranch::kNoDistance);
    root->RemoveFromScene();
    EXPECT_EQ(root->GetClassName(), "CPLevelBranch");
}

TEST_F(LevelTreeTest, ObjectsWithCoincidingCentresShareALeafAndOthersGetTheirOwn) {
    const Objects objects = {Placed("a", {0, 0, 0}),  Placed("a2", {0, 0, 0}, {3, 3, 3}), Placed("b", {40, 0, 0}),
                             Placed("c", {0, 40, 0}), Placed("d", {40, 40, 5}),           Placed("e", {-7, 3, 90})};
    CPSmartPtr<CPLevelBranch> root = BuildTree(objects);
    EXPECT_EQ(root->GetObjects().size(), objects.size());
    const CPLevelBranch* shared = LeafOf(*root, objects[0].Get());
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(LeafOf(*root, objects[1].Get()), shared);
    EXPECT_EQ(shared->GetObjects().size(), 2u);
    for (std::size_t i = 2; i < objects.size(); ++i) {
        const CPLevelBranch* leaf = LeafOf(*root, objects[i].Get());
        ASSERT_NE(leaf, nullptr) << i;
        EXPECT_EQ(leaf->GetObjects().size(), 1u) << i;
        for (std::size_t j = 0; j < i; ++j) EXPECT_NE(leaf, LeafOf(*root, objects[j].Get())) << i << " " << j;
    }

    // Every branch holds exactly its children's objects, bounds them, and has two children or
    // none.
    std::function<void(const CPLevelBranch&)> check = [&](const CPLevelBranch& branch) {
        ASSERT_TRUE(branch.HasBounds());
        for (const auto& object : branch.GetObjects()) {
            const CPBoundingBox& box = object->GetVisibleBounds();
            EXPECT_LE(branch.GetBounds().minimum.x, box.minimum.x);
            EXPECT_GE(branch.GetBounds().maximum.z, box.maximum.z);
        }
        if (branch.IsLeaf()) {
            EXPECT_EQ(branch.GetSecondChild(), nullptr);
            return;
        }
        ASSERT_NE(branch.GetSecondChild(), nullptr);
        EXPECT_EQ(branch.GetFirstChild()->GetObjects().size() + branch.GetSecondChild()->GetObjects().size(),
                  branch.GetObjects().size());
        check(*branch.GetFirstChild());
        check(*branch.GetSecondChild());
    };
    check(*root);
}

TEST_F(LevelTreeTest, TheSplitAxisIsTheOneWithTheFewestMaterialsAndTiesKeepTheEarlierAxis) {
    const CPSmartPtr<CPMaterial> m1 = NewMaterial(), m2 = NewMaterial(), m3 = NewMaterial();
    struct Case {
        const char* name;
        // Objects at (x, y, z) with a material index into {m1, m2, m3}.
        std::vector<std::pair<D3DXVECTOR3, int>> layout;
        // The objects the first child (centres above the middle on the chosen axis) holds.
        std::vector<int> first;
    };
    const Case cases[] = {
        // One material everywhere: every candidate sums 2; x stays.
        {"ties keep x", {{{-10, -10, 0}, 0}, {{10, -10, 0}, 0}, {{-10, 10, 0}, 0}, {{10, 10, 0}, 0}}, {1, 3}},
        // Split in x each half draws both materials (4); in y one each (2).
        {"y with fewer materials",
         {{{-10, -10, 0}, 0}, {{10, -10, 0}, 0}, {{-10, 10, 0}, 1}, {{10, 10, 0}, 1}},
         {2, 3}},
        // x 4, y 4, z 2.
        {"z with fewer materials",
         {{{-10, -10, -5}, 0},
          {{10, -10, -5}, 0},
          {{-10, 10, 5}, 1},
          {{10, 10, 5}, 1},
          {{0, 12, -5}, 0},
          {{0, -12, 5}, 1}},
         {2, 3, 5}},
        // x splits off a third material: x 1 + 2 = 3; y 2 + 2 = 4.
        {"x with fewer materials", {{{10, 0, 0}, 2}, {{-10, -10, 0}, 0}, {{-10, 10, 0}, 1}, {{10, 5, 0}, 2}}, {0, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CPSmartPtr<CPMaterial> materials[] = {m1, m2, m3};
        Objects objects;
        for (std::size_t i = 0; i < c.layout.size(); ++i)
            objects.push_back(Mesh("o" + std::to_string(i), c.layout[i].first, materials[c.layout[i].second]));
        CPSmartPtr<CPLevelBranch> root = BuildTree(objects);
        ASSERT_FALSE(root->IsLeaf());
        std::vector<int> first;
        for (const auto& object : root->GetFirstChild()->GetObjects())
            for (std::size_t i = 0; i < objects.size(); ++i)
                if (objects[i].Get() == object.Get()) first.push_back(static_cast<int>(i));
        EXPECT_EQ(first, c.first);
    }

    // The eight corners of a box, materials by the parity of their corner number: every axis
    // sums 4, so x stays.
    Objects corners;
    for (int i = 0; i < 8; ++i) {
        const int parity = ((i & 1) + ((i >> 1) & 1) + ((i >> 2) & 1)) % 2;
        const D3DXVECTOR3 at((i & 1) ? 10.0f : -10.0f, (i & 2) ? 10.0f : -10.0f, (i & 4) ? 5.0f : -5.0f);
        corners.push_back(Mesh("corner" + std::to_string(i), at, parity ? m1 : m2));
    }
    CPSmartPtr<CPLevelBranch> root = BuildTree(corners);
    ASSERT_FALSE(root->IsLeaf());
    EXPECT_EQ(root->GetFirstChild()->GetMaterialCount() + root->GetSecondChild()->GetMaterialCount(), 4);
    for (const auto& object : root->GetFirstChild()->GetObjects()) EXPECT_GT(object->GetPosition().x, 0.0f);
}

TEST_F(LevelTreeTest, MaterialsCountOnlyStaticMeshesOfTheWholeTreesWithTheirShadows) {
    const CPSmartPtr<CPMaterial> a = NewMaterial(), b = NewMaterial(), shadow = NewMaterial(), child = NewMaterial();
    CPSmartPtr<CPGameObject> one = Mesh("one", {0, 0, 0}, a);
    CPSmartPtr<CPGameObject> same = Mesh("same", {5, 0, 0}, a);
    // Not static: its material is not counted, and it is sorted as dynamic.
    CPSmartPtr<CPGameObject> moving = Mesh("moving", {10, 0, 0}, b);
    moving->SetStatic(false);
    // The shadow material counts beside the mesh's.
    CPSmartPtr<CPGameObject> shaded = Mesh("shaded", {15, 0, 0}, a);
    shaded->SetShadowMaterial(shadow);
    // A child's mesh counts; a parent that is no mesh does not.
    CPSmartPtr<CPGameObject> parent = Placed("parent", {20, 0, 0});
    parent->AddChild(Mesh("leaf", {0, 0, 1}, child));
    parent->UpdateTransform();

    CPSmartPtr<CPLevelBranch> branch(new CPLevelBranch());
    branch->Init({one, same, moving, shaded, parent});
    EXPECT_EQ(branch->GetMaterialCount(), 3);
    EXPECT_EQ(branch->GetStaticObjects().size(), 4u);
    ASSERT_EQ(branch->GetDynamicObjects().size(), 1u);
    EXPECT_EQ(branch->GetDynamicObjects()[0].Get(), moving.Get());
}

// ---- detail by distance ----------------------------------------------------------------------

TEST_F(LevelTreeTest, DetailIsChosenByDistanceUpToTheDrawDistance) {
    CPSmartPtr<CPGameObject> s = Placed("s", {0, 0, 0});
    CPSmartPtr<CPGameObject> v1 = Placed("v1", {0, 0, 0});
    CPSmartPtr<CPGameObject> v2 = Placed("v2", {0, 0, 0});
    s->AddLevelOfDetail(s, 7);
    s->AddLevelOfDetail(v1, 50);
    s->AddLevelOfDetail(v2, 120);
    struct Case {
        float distance;
        CPGameObject* drawn;
    };
    const Case cases[] = {
        {40, s.Get()}, {60, v1.Get()}, {130, v2.Get()}, {200, v2.Get()}, {201, nullptr}, {0, s.Get()}, {50, s.Get()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPLevelBranch::SelectDetail(*s, c.distance * c.distance, 200), c.drawn) << c.distance;

    // The entry of highest index below the viewer wins, whatever the order of the distances.
    CPSmartPtr<CPGameObject> t = Placed("t", {0, 0, 0});
    t->AddLevelOfDetail(t, 0);
    t->AddLevelOfDetail(v2, 120);
    t->AddLevelOfDetail(v1, 50);
    EXPECT_EQ(CPLevelBranch::SelectDetail(*t, 130.0f * 130.0f, 200), v1.Get());

    // With one entry or none the object is drawn at any distance.
    CPSmartPtr<CPGameObject> single = Placed("single", {0, 0, 0});
    EXPECT_EQ(CPLevelBranch::SelectDetail(*single, 1e12f, 200), single.Get());
    single->AddLevelOfDetail(single, 0);
    EXPECT_EQ(CPLevelBranch::SelectDetail(*single, 1e12f, 200), single.Get());

    // A large draw distance does not overflow.
    EXPECT_EQ(CPLevelBranch::SelectDetail(*s, 1e9f, 100000), v2.Get());
}

// ---- walks -----------------------------------------------------------------------------------

TEST_F(LevelTreeTest, RayWalkVisitsBothChildrenAndEndsWithTheNearestHit) {
    // Split in x: the first child holds the far object (x > middle), walked first.
    CPSmartPtr<CPGameObject> nearObject = Placed("near", {-10, 0, 0});
    CPSmartPtr<CPGameObject> farObject = Placed("far", {10, 0, 0});
    CPSmartPtr<CPLevelBranch> root = BuildTree({nearObject, farObject});
    ASSERT_FALSE(root->IsLeaf());
    ASSERT_EQ(root->GetFirstChild()->GetObjects()[0].Get(), farObject.Get());

    SPRayPick pick = Ray({-100, 0, 0}, {1, 0, 0}, 1000);
    EXPECT_TRUE(root->RayWalk(pick));
    EXPECT_EQ(pick.hitObject.Get(), nearObject.Get());
    EXPECT_NEAR(pick.distance, 89.0f, 1e-3f);

    // A ray that passes beside both boxes leaves the record alone.
    SPRayPick miss = Ray({-100, 5, 0}, {1, 0, 0}, 1000);
    EXPECT_FALSE(root->RayWalk(miss));
    EXPECT_EQ(miss.distance, 1000.0f);
    EXPECT_EQ(miss.hitObject.Get(), nullptr);
    // Too short to reach.
    SPRayPick shortRay = Ray({-100, 0, 0}, {1, 0, 0}, 50);
    EXPECT_FALSE(root->RayWalk(shortRay));
}

TEST_F(LevelTreeTest, SphereCollectionListsTheLeafObjectsWhosePartsBoxesReachTheSphere) {
    CPSmartPtr<CPGameObject> a = Placed("a", {0, 0, 0});
    CPSmartPtr<CPGameObject> b = Placed("b", {10, 0, 0});
    CPSmartPtr<CPGameObject> c = Placed("c", {100, 0, 0});
    CPSmartPtr<CPLevelBranch> root = BuildTree({a, b, c});
    Objects found;
    root->CollectInSphere({5, 0, 0}, 4.0f, found);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE((found[0].Get() == a.Get() && found[1].Get() == b.Get()) ||
                (found[0].Get() == b.Get() && found[1].Get() == a.Get()));
    // Appended, not replaced.
    root->CollectInSphere({100, 0, 3}, 2.0f, found);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[2].Get(), c.Get());
    // Just out of reach: the box's face is 4 away.
    Objects none;
    root->CollectInSphere({5, 0, 0}, 3.9f, none);
    EXPECT_TRUE(none.empty());
}

// ---- the level's queries ---------------------------------------------------------------------

class LevelQueryTest : public LevelTreeTest {
protected:
    void SetUp() override {
        LevelTreeTest::SetUp();
        level = std::make_unique<CPLevel>();
        human = Place(new CPPlayer(), {0, 0, 0}, {2, 1, 1});
        level->humanRacer = human;
        level->player = human.Get();
    }
    void TearDown() override {
        level.reset();
        human = nullptr;
        LevelTreeTest::TearDown();
    }

    std::unique_ptr<CPLevel> level;
    CPSmartPtr<CPPlayer> human;
};

TEST_F(LevelQueryTest, TheNearRacerSquareDecidesWhetherActiveObjectsAreTested) {
    struct Case {
        float side;
        bool tested;
    };
    for (const Case& c : {Case{29.0f, true}, Case{31.0f, false}, Case{-29.0f, true}, Case{-31.0f, false}}) {
        SCOPED_TRACE(c.side);
        level->activeObjects.clear();
        CPSmartPtr<CPGameObject> barrel = Placed("barrel", {0, c.side, 0});
        level->activeObjects.push_back(barrel);
        SPRayPick pick = Ray({-200, c.side, 0}, {1, 0, 0}, 400);
        EXPECT_EQ(CPLevel::IsRayNearRacer(pick, human->GetPosition()), c.tested);
        EXPECT_EQ(level->CrossPlayerRay(pick), c.tested);
        EXPECT_EQ(pick.hitObject.Get(), c.tested ? barrel.Get() : nullptr);
    }
    // Heights are not compared; a diagonal ray is tested along its length.
    EXPECT_TRUE(CPLevel::IsRayNearRacer(Ray({-200, 0, 500}, {1, 0, 0}, 400), {0, 0, 0}));
    const float s = 0.70710678f;
    EXPECT_TRUE(CPLevel::IsRayNearRacer(Ray({-100, -100, 0}, {s, s, 0}, 300), {20, -20, 0}));
    EXPECT_FALSE(CPLevel::IsRayNearRacer(Ray({-100, -100, 0}, {s, s, 0}, 300), {40, -40, 0}));
    // A ray that ends before the square.
    EXPECT_FALSE(CPLevel::IsRayNearRacer(Ray({-200, 0, 0}, {1, 0, 0}, 100), {0, 0, 0}));
}

TEST_F(LevelQueryTest, CrossPlayerRayNeverHitsTheHumanWhileRayTestCan) {
    SPRayPick cross = Ray({-50, 0, 0}, {1, 0, 0}, 100);
    EXPECT_FALSE(level->CrossPlayerRay(cross));
    EXPECT_EQ(cross.hitObject.Get(), nullptr);
    EXPECT_EQ(cross.distance, 100.0f);
    // A miss leaves the end of the ray as the hit point.
    EXPECT_TRUE(Near(cross.hitPoint, {50, 0, 0}));

    SPRayPick test = Ray({-50, 0, 0}, {1, 0, 0}, 100);
    EXPECT_TRUE(level->RayTest(test));
    EXPECT_EQ(test.hitObject.Get(), human.Get());
    EXPECT_NEAR(test.distance, 48.0f, 1e-3f);
    EXPECT_TRUE(Near(test.hitPoint, {-2, 0, 0}, 1e-3f));

    // An active object in front of the human is the nearer hit of RayTest.
    CPSmartPtr<CPGameObject> barrel = Placed("barrel", {-10, 0, 0});
    level->activeObjects.push_back(barrel);
    SPRayPick both = Ray({-50, 0, 0}, {1, 0, 0}, 100);
    EXPECT_TRUE(level->RayTest(both));
    EXPECT_EQ(both.hitObject.Get(), barrel.Get());
}

TEST_F(LevelQueryTest, RaysSeeTheTreeUnlessTheQuadTreeServes) {
    CPSmartPtr<CPGameObject> wall = Placed("wall", {100, 500, 0}, {1, 10, 10});
    CPSmartPtr<CPGameObject> post = Placed("post", {200, 500, 0});
    level->levelTree = BuildTree({wall, post});
    // Far from the human: only the tree can hit.
    SPRayPick pick = Ray({0, 500, 0}, {1, 0, 0}, 1000);
    EXPECT_TRUE(level->RayTest(pick));
    EXPECT_EQ(pick.hitObject.Get(), wall.Get());
    EXPECT_TRUE(Near(pick.hitPoint, {99, 500, 0}, 1e-3f));

    g_quadlevels = 2;
    SPRayPick skipped = Ray({0, 500, 0}, {1, 0, 0}, 1000);
    EXPECT_FALSE(level->RayTest(skipped));
    EXPECT_TRUE(Near(skipped.hitPoint, {1000, 500, 0}));
    Objects found;
    level->RayQuery({100, 500, 0}, 5.0f, found);
    EXPECT_TRUE(found.empty());
}

TEST_F(LevelQueryTest, RayQueryListsTreeObjectsTheHumanAndNearbyActiveObjects) {
    CPSmartPtr<CPGameObject> rock = Placed("rock", {-300, 0, 0});
    level->levelTree = BuildTree({rock});
    CPSmartPtr<CPGameObject> close = Placed("close", {10, 0, 0});
    CPSmartPtr<CPGameObject> away = Placed("away", {40, 0, 0});
    level->activeObjects = {close, away};

    struct Case {
        const char* name;
        D3DXVECTOR3 point;
        float radius;
        std::vector<CPGameObject*> want;
    };
    const Case cases[] = {
        {"10 units from the human", {10, 0, 0}, 5.0f, {close.Get()}},
        {"40 units from the human in x", {40, 0, 0}, 5.0f, {}},
        {"at the human", {0, 0, 0}, 1.0f, {human.Get()}},
        {"the human and the close barrel", {5, 0, 0}, 4.0f, {human.Get(), close.Get()}},
        {"the tree", {-300, 0, 0}, 1.0f, {rock.Get()}},
    };
    for (const Case& c : cases) {
        Objects found;
        level->RayQuery(c.point, c.radius, found);
        std::vector<CPGameObject*> got;
        for (const auto& o : found) got.push_back(o.Get());
        EXPECT_EQ(got, c.want) << c.name;
    }
    // Nothing is cleared first.
    Objects found = {rock};
    level->RayQuery({10, 0, 0}, 5.0f, found);
    EXPECT_EQ(found.size(), 2u);
}

TEST_F(LevelQueryTest, HitsAnyRacerTestsTheOpponentsInOrderBeforeThePlayer) {
    CPSmartPtr<CPPlayer> first = Place(new CPPlayer(), {30, 0, 0});
    CPSmartPtr<CPPlayer> second = Place(new CPPlayer(), {20, 0, 0});
    level->opponents = {first, second};

    // The player and the second opponent are nearer, but the first opponent ends the query.
    SPRayPick pick = Ray({-50, 0, 0}, {1, 0, 0}, 200);
    pick.hitPoint = D3DXVECTOR3(7, 7, 7);
    EXPECT_TRUE(level->HitsAnyRacer(pick));
    EXPECT_EQ(pick.hitObject.Get(), first.Get());
    EXPECT_TRUE(Near(pick.hitPoint, {7, 7, 7}));

    // No opponent in the way: the player's pick decides.
    SPRayPick low = Ray({-50, 0, 0}, {1, 0, 0}, 60);
    EXPECT_TRUE(level->HitsAnyRacer(low));
    EXPECT_EQ(low.hitObject.Get(), human.Get());
    SPRayPick miss = Ray({-50, 9, 0}, {1, 0, 0}, 200);
    EXPECT_FALSE(level->HitsAnyRacer(miss));

    // Without a player only the opponents are tested.
    level->player = nullptr;
    SPRayPick alone = Ray({-50, 0, 0}, {1, 0, 0}, 60);
    EXPECT_FALSE(level->HitsAnyRacer(alone));
}

TEST_F(LevelQueryTest, WithoutAHumanRacerOnlyTheTreeAnswers) {
    CPSmartPtr<CPGameObject> barrel = Placed("barrel", {10, 0, 0});
    level->activeObjects.push_back(barrel);
    level->levelTree = BuildTree({Placed("rock", {30, 0, 0})});
    level->humanRacer = nullptr;
    level->player = nullptr;
    SPRayPick pick = Ray({-50, 0, 0}, {1, 0, 0}, 200);
    EXPECT_TRUE(level->RayTest(pick));
    EXPECT_EQ(pick.hitObject->GetName(), "rock");
    Objects found;
    level->RayQuery({10, 0, 0}, 5.0f, found);
    EXPECT_TRUE(found.empty());
}

TEST_F(LevelTreeTest, RemoveFromSceneTakesOutOnlyTheRootsDynamicObjects) {
    CPSmartPtr<CPGameObject> fixed = Placed("fixed", {0, 0, 0});
    CPSmartPtr<CPGameObject> moving = Placed("moving", {10, 0, 0});
    moving->SetStatic(false);
    fixed->AddToScene(200);
    moving->AddToScene(200);
    CPSmartPtr<CPLevelBranch> root = BuildTree({fixed, moving});
    root->RemoveFromScene();
    EXPECT_TRUE(fixed->IsInScene());
    EXPECT_FALSE(moving->IsInScene());
}

} // namespace
