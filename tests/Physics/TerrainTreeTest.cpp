// The engine's own terrain triangle tree: building, queries against brute force,
// refusals, freeing, and the terrain pass answered from the tree.

#include "PhysicsTestSupport.h"

#include <algorithm>
#include <set>
#include <vector>

namespace {

struct Lcg {
    uint32_t seed;
    float Next() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 16) & 0x7fff) / 32767.0f;
    }
};

struct Soup {
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
};

Soup RandomSoup(uint32_t seed, int count) {
    Lcg r{seed};
    Soup s;
    for (int i = 0; i < count; ++i) {
        RbVector c = RbVec(-40 + 80 * r.Next(), -40 + 80 * r.Next(), -2 + 4 * r.Next());
        RbTriangle t;
        for (int k = 0; k < 3; ++k) {
            s.vertices.push_back(c + RbVec(-2 + 4 * r.Next(), -2 + 4 * r.Next(), -1 + 2 * r.Next()));
            t.vertex[k] = static_cast<int>(s.vertices.size()) - 1;
        }
        s.triangles.push_back(t);
    }
    return s;
}

bool BoxesTouch(const RbVector& aMin, const RbVector& aMax, const RbVector& bMin, const RbVector& bMax) {
    for (int k = 0; k < 3; ++k)
        if (RbComp(aMin, k) > RbComp(bMax, k) || RbComp(aMax, k) < RbComp(bMin, k)) return false;
    return true;
}

std::set<int> TreeAnswer(RbTerrainTree& tree, RbAllocator* allocator, const RbVector& lo, const RbVector& hi) {
    RbArray<const RbTerrainTreeNode*> nodes;
    nodes.Init(allocator, 16, -1);
    tree.Query(nodes, lo, hi);
    std::set<int> found;
    for (int n = 0; n < nodes.Size(); ++n)
        for (int t = 0; t < nodes[n]->triangleCount; ++t)
            found.insert(tree.TriangleIndices()[nodes[n]->firstTriangle + t]);
    return found;
}

} // namespace

TEST(TerrainTree, QueriesFindEveryTriangleBruteForceFinds) {
    RbSimulatorPtr sim = MakeSimulator();
    for (uint32_t seed : {1u, 7u, 99u}) {
        for (int leaf : {1, 4, 16}) {
            Soup soup = RandomSoup(seed, 300);
            ASSERT_TRUE(sim->BuildTerrainTree(soup.vertices.data(), static_cast<int>(soup.vertices.size()),
                                              soup.triangles.data(), static_cast<int>(soup.triangles.size()), leaf));
            RbTerrainTree& tree = sim->GetTerrainTree();
            // Every triangle sits in exactly one leaf of at most `leaf` triangles.
            std::vector<int> seen(soup.triangles.size(), 0);
            for (int n = 0; n < tree.NodeCount(); ++n) {
                const RbTerrainTreeNode& node = tree.Node(n);
                EXPECT_LE(node.triangleCount, leaf);
                for (int t = 0; t < node.triangleCount; ++t) ++seen[tree.TriangleIndices()[node.firstTriangle + t]];
            }
            for (int count : seen) EXPECT_EQ(count, 1);

            Lcg r{seed * 31u + 5u};
            for (int q = 0; q < 200; ++q) {
                RbVector lo = RbVec(-45 + 90 * r.Next(), -45 + 90 * r.Next(), -4 + 8 * r.Next());
                RbVector hi = lo + RbVec(6 * r.Next(), 6 * r.Next(), 3 * r.Next());
                std::set<int> found = TreeAnswer(tree, sim->GetAllocator(), lo, hi);
                for (size_t t = 0; t < soup.triangles.size(); ++t) {
                    RbVector tMin = RbVec(1e9f, 1e9f, 1e9f), tMax = RbVec(-1e9f, -1e9f, -1e9f);
                    for (int32_t v : soup.triangles[t].vertex) {
                        for (int k = 0; k < 3; ++k) {
                            RbSetComp(tMin, k, std::min(RbComp(tMin, k), RbComp(soup.vertices[v], k)));
                            RbSetComp(tMax, k, std::max(RbComp(tMax, k), RbComp(soup.vertices[v], k)));
                        }
                    }
                    if (BoxesTouch(lo, hi, tMin, tMax)) {
                        EXPECT_TRUE(found.count(static_cast<int>(t))) << "triangle " << t << " missed";
                    }
                }
            }
        }
    }
}

TEST(TerrainTree, BadInputIsRefusedAndLeavesTheTreeEmpty) {
    RbSimulatorPtr sim = MakeSimulator();
    Soup soup = RandomSoup(3, 10);
    int nv = static_cast<int>(soup.vertices.size());
    ASSERT_TRUE(sim->BuildTerrainTree(soup.vertices.data(), nv, soup.triangles.data(), 10));
    EXPECT_GT(sim->GetTerrainTree().NodeCount(), 0);

    Soup badIndex = soup;
    badIndex.triangles[4].vertex[1] = nv;
    EXPECT_FALSE(sim->BuildTerrainTree(badIndex.vertices.data(), nv, badIndex.triangles.data(), 10));
    EXPECT_EQ(sim->GetTerrainTree().NodeCount(), 0);
    EXPECT_EQ(sim->GetTerrainTree().TriangleCount(), 0);

    Soup badVertex = soup;
    badVertex.vertices[2].y = std::nanf("");
    EXPECT_FALSE(sim->BuildTerrainTree(badVertex.vertices.data(), nv, badVertex.triangles.data(), 10));
    EXPECT_FALSE(sim->BuildTerrainTree(nullptr, 3, soup.triangles.data(), 1));
    EXPECT_FALSE(sim->BuildTerrainTree(soup.vertices.data(), -1, soup.triangles.data(), 0));
    EXPECT_TRUE(sim->BuildTerrainTree(nullptr, 0, nullptr, 0));
    std::set<int> none =
        TreeAnswer(sim->GetTerrainTree(), sim->GetAllocator(), RbVec(-100, -100, -100), RbVec(100, 100, 100));
    EXPECT_TRUE(none.empty());
}

namespace {

struct Field {
    std::vector<RbVector> vertices;
    std::vector<RbTriangle> triangles;
    std::vector<int> all;
};
Field* g_field = nullptr;

Field BumpyField() {
    Field f;
    const int n = 12;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            f.vertices.push_back(RbVec(-12.0f + 2.0f * i, -12.0f + 2.0f * j, 0.2f * std::sin(i * 1.3f) * std::cos(j)));
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            int a = j * (n + 1) + i;
            RbTriangle t1, t2;
            t1.vertex[0] = a, t1.vertex[1] = a + 1, t1.vertex[2] = a + n + 2;
            t2.vertex[0] = a, t2.vertex[1] = a + n + 2, t2.vertex[2] = a + n + 1;
            f.triangles.push_back(t1);
            f.triangles.push_back(t2);
        }
    }
    for (size_t t = 0; t < f.triangles.size(); ++t) f.all.push_back(static_cast<int>(t));
    return f;
}

void AnswerField(const RbVector*, const RbVector*, const int** candidates, const RbTriangle** triangles,
                 const RbVector** vertices, int* candidateCount, int* triangleCount, RbRigidBody*) {
    *candidates = g_field->all.data();
    *candidateCount = static_cast<int>(g_field->all.size());
    *triangles = g_field->triangles.data();
    *triangleCount = static_cast<int>(g_field->triangles.size());
    *vertices = g_field->vertices.data();
}

// The terrain contacts a run reports, step by step: which box, where, which way.
struct TerrainContact {
    int step;
    int box;
    RbVector point;
    RbVector normal;
};
std::vector<TerrainContact>* g_contacts = nullptr;
std::vector<RbRigidBody*>* g_boxes = nullptr;
int g_step = 0;

void RecordTerrainContact(RbCollisionInfo* info) {
    if (!g_contacts || info->typeB != 0) return;
    int box = static_cast<int>(std::find(g_boxes->begin(), g_boxes->end(), info->bodyA) - g_boxes->begin());
    g_contacts->push_back({g_step, box, info->pointAWorld, info->normal});
}

std::vector<RbVector> DropBoxes(RbSimulator* sim, int steps, std::vector<TerrainContact>* contacts = nullptr) {
    std::vector<RbRigidBody*> boxes;
    Lcg r{42};
    for (int i = 0; i < 12; ++i) {
        RbRigidBody* b = MakeBoxBody(sim, 0.6f + 0.6f * r.Next(), 0.6f + 0.6f * r.Next(), 0.6f + 0.6f * r.Next(),
                                     RbVec(-8 + 16 * r.Next(), -8 + 16 * r.Next(), 1.0f + 2.0f * r.Next()));
        b->SetRotation(RbNormalizeQuaternion(RbQuaternion{r.Next() - 0.5f, r.Next() - 0.5f, 0.2f, 1.0f}));
        boxes.push_back(b);
    }
    if (contacts) {
        g_contacts = contacts;
        g_boxes = &boxes;
        sim->GetResponseTable()->Set(0, -1, 3);
        sim->SetCollisionCallback(RecordTerrainContact);
    }
    for (int i = 0; i < steps; ++i) {
        g_step = i;
        sim->Advance(kStep, 1, nullptr);
    }
    g_contacts = nullptr;
    g_boxes = nullptr;
    std::vector<RbVector> where;
    for (RbRigidBody* b : boxes) where.push_back(b->GetPosition());
    return where;
}

} // namespace

TEST(TerrainTree, TerrainPassFromTheTreeMatchesACallbackWithTheSameTriangles) {
    Field field = BumpyField();
    g_field = &field;
    RbSimulatorPtr withTree = MakeSimulator();
    ASSERT_TRUE(withTree->BuildTerrainTree(field.vertices.data(), static_cast<int>(field.vertices.size()),
                                           field.triangles.data(), static_cast<int>(field.triangles.size()), 4));
    RbSimulatorPtr withQuery = MakeSimulator();
    withQuery->SetTerrainQuery(AnswerField);
    std::vector<TerrainContact> fromTree, fromQuery;
    std::vector<RbVector> a = DropBoxes(withTree.get(), 240, &fromTree);
    std::vector<RbVector> b = DropBoxes(withQuery.get(), 240, &fromQuery);
    // The same contacts, step by step: the tree's candidates hold every triangle
    // that can touch a box.
    ASSERT_FALSE(fromTree.empty());
    ASSERT_EQ(fromTree.size(), fromQuery.size());
    for (size_t i = 0; i < fromTree.size(); ++i) {
        SCOPED_TRACE(i);
        const TerrainContact& t = fromTree[i];
        const TerrainContact& q = fromQuery[i];
        ASSERT_EQ(t.step, q.step);
        ASSERT_EQ(t.box, q.box);
        EXPECT_VEC_NEAR(t.point, q.point.x, q.point.y, q.point.z, 1e-4f);
        EXPECT_VEC_NEAR(t.normal, q.normal.x, q.normal.y, q.normal.z, 1e-4f);
    }
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_GT(a[i].z, 0.0f) << i; // landed, not fallen through
        EXPECT_NEAR(a[i].x, b[i].x, 1e-3f) << i;
        EXPECT_NEAR(a[i].y, b[i].y, 1e-3f) << i;
        EXPECT_NEAR(a[i].z, b[i].z, 1e-3f) << i;
    }

    // Freed, the tree answers nothing: without a callback the boxes fall.
    withTree->FreeTerrainTree();
    RbRigidBody* box = MakeBoxBody(withTree.get(), 1, 1, 1, RbVec(10.5f, 10.5f, 0.6f));
    for (int i = 0; i < 30; ++i) withTree->Advance(kStep, 1, nullptr);
    EXPECT_LT(box->GetPosition().z, 0.0f);
    g_field = nullptr;
}
