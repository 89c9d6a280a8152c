// Broken and hostile node files: every fixture cut at every length and with each count set to
// -1, the largest int32 and a value just past the file; deep nesting. Each is refused whole
// (an empty handle and a log line naming the file) or read within its bytes, never past them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Scene/Loaders/LoaderTestSupport.h"
#include "Scene/PAnimatedObject.h"

namespace {

using kxtest::AnimatedNode;
using kxtest::BuildAnimationNodeFile;
using kxtest::BuiltFile;
using kxtest::LoaderTest;
using kxtest::MeshFileWriter;
using kxtest::MeshNode;
using kxtest::NodeRecord;

class BadNodeFileTest : public LoaderTest {
protected:
    static MeshNode RichNode(const std::string& name) {
        MeshNode node = kxtest::TriangleNode(name);
        NodeRecord box;
        box.width = 1;
        box.mass = 1;
        NodeRecord cylinder = box;
        cylinder.type = 1;
        node.parts = {box, cylinder};
        node.boxes = {kxtest::PlainBox(), kxtest::PlainBox()};
        node.children = {kxtest::TriangleNode(name + "_a")};
        return node;
    }

    static BuiltFile RichMeshFile(bool p3d, bool table) {
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        MeshFileWriter writer(p3d);
        writer.AddNode(RichNode("one")).AddNode(kxtest::TriangleNode("two"));
        if (table) writer.AddNamedMatrix("m1", identity).AddNamedMatrix("m2", identity);
        return writer.Build();
    }

    static AnimatedNode RichAnimatedNode() {
        AnimatedNode top = kxtest::TriangleAnimatedNode("top");
        top.stream = kxtest::MorphStreamWriter().AddFrames(2, 1);
        top.body.mass = 1;
        NodeRecord box;
        box.mass = 1;
        NodeRecord cylinder = box;
        cylinder.type = 1;
        top.parts = {box, cylinder};
        top.children = {kxtest::TriangleAnimatedNode("left")};
        top.children[0].children.push_back(kxtest::TriangleAnimatedNode("finger"));
        return top;
    }

    // A later file of the set read onto a tree the intact first file built.
    CPSmartPtr<CPGameObject> ReadLater(const std::string& bytes, const CPSmartPtr<CPGameObject>& tree) {
        library.SetCurrentAnimationFile("later.ani");
        auto reader = ReaderOver(bytes);
        CPSmartPtr<CPGameObject> result = library.ReadAnimationNodeFile(*reader, sections, 0, "later", tree);
        EXPECT_LE(reader->GetReadPosition(), reader->GetDataSize());
        return result;
    }

    CPSmartPtr<CPGameObject> ReadFirst(const std::string& bytes) {
        library.SetCurrentAnimationFile("first.ani");
        auto reader = ReaderOver(bytes);
        CPSmartPtr<CPGameObject> result = library.ReadAnimationNodeFile(*reader, sections, 0, "first", nullptr);
        EXPECT_LE(reader->GetReadPosition(), reader->GetDataSize());
        return result;
    }

    // Whether any object of the tree holds the later file's animation.
    static bool AnyLaterAnimation(CPGameObject* object) {
        if (auto* animated = dynamic_cast<CPAnimatedObject*>(object->GetAttachment().Get()))
            if (animated->GetAnimations().count("later")) return true;
        for (const auto& child : object->GetChildren())
            if (AnyLaterAnimation(child.Get())) return true;
        return false;
    }

    // Every count field of the file set to each hostile value.
    static std::vector<std::string> CountVariants(const BuiltFile& file) {
        std::vector<std::string> variants;
        for (const kxtest::CountField& field : file.counts)
            for (std::int32_t value : kxtest::HostileCounts(file.bytes, field))
                variants.push_back(kxtest::OverwriteInt(file.bytes, field.offset, value));
        return variants;
    }

    void ExpectRefusedWithALogLine() {
        ASSERT_FALSE(logLines.empty());
        EXPECT_NE(logLines.back().find("data\\meshes\\node"), std::string::npos) << logLines.back();
        logLines.clear();
    }
};

TEST_F(BadNodeFileTest, MeshFileCutAnywhereInItsNodesIsRefusedAndCutInItsTableStillLoads) {
    for (bool p3d : {true, false}) {
        SCOPED_TRACE(p3d ? "p3d" : "plain");
        const std::size_t nodesEnd = RichMeshFile(p3d, false).bytes.size();
        const std::string bytes = RichMeshFile(p3d, true).bytes;
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            SCOPED_TRACE(length);
            bool table = false;
            CPSmartPtr<CPGameObject> root = LoadMesh(kxtest::Truncated(bytes, length), p3d, &table);
            if (length < nodesEnd) {
                EXPECT_FALSE(root);
                EXPECT_FALSE(table);
                ExpectRefusedWithALogLine();
            } else {
                ASSERT_TRUE(root);
                EXPECT_EQ(root->GetChildren().size(), 2u);
                EXPECT_TRUE(root->FindObject("one_a"));
                EXPECT_EQ(table, length >= nodesEnd + 4);
                EXPECT_TRUE(logLines.empty());
            }
            IPMMObject::CollectGarbage();
        }
    }
}

TEST_F(BadNodeFileTest, MeshFileWithAHostileCountIsRefusedOrReadWithinItsBytes) {
    for (bool p3d : {true, false}) {
        SCOPED_TRACE(p3d ? "p3d" : "plain");
        const BuiltFile file = RichMeshFile(p3d, true);
        int refused = 0;
        for (const std::string& bytes : CountVariants(file)) {
            logLines.clear();
            CPSmartPtr<CPGameObject> root = LoadMesh(bytes, p3d);
            if (!root) {
                ++refused;
                EXPECT_FALSE(logLines.empty());
            }
            IPMMObject::CollectGarbage();
        }
        EXPECT_GT(refused, 0);
    }
}

TEST_F(BadNodeFileTest, NegativeOrOversizedVertexAndIndexCountsAndStrayIndicesRefuseTheFile) {
    for (bool p3d : {true, false}) {
        SCOPED_TRACE(p3d ? "p3d" : "plain");
        const BuiltFile file = MeshFileWriter(p3d).AddNode(kxtest::TriangleNode("tri")).Build();
        // Counts in order: nodes, vertices, indices, parts or boxes, children.
        ASSERT_EQ(file.counts.size(), 5u);
        for (std::size_t field : {1u, 2u})
            for (std::int32_t value : kxtest::HostileCounts(file.bytes, file.counts[field])) {
                SCOPED_TRACE(value);
                EXPECT_FALSE(LoadMesh(kxtest::OverwriteInt(file.bytes, file.counts[field].offset, value), p3d));
                ExpectRefusedWithALogLine();
            }
        // Index 3 of a three-vertex node.
        MeshNode stray = kxtest::TriangleNode("tri");
        stray.indices = {0, 1, 3};
        EXPECT_FALSE(LoadMesh(MeshFileWriter(p3d).AddNode(stray).Build().bytes, p3d));
        ExpectRefusedWithALogLine();
        // Zero vertices with indices.
        MeshNode bare = kxtest::TriangleNode("tri");
        bare.vertices.clear();
        EXPECT_FALSE(LoadMesh(MeshFileWriter(p3d).AddNode(bare).Build().bytes, p3d));
        ExpectRefusedWithALogLine();
    }
}

TEST_F(BadNodeFileTest, NestingUpToTheLimitLoadsAndOneDeeperIsRefused) {
    const int limit = CPAnimationLibrary::kMaxNodeDepth;
    for (bool p3d : {true, false}) {
        SCOPED_TRACE(p3d ? "p3d" : "plain");
        CPSmartPtr<CPGameObject> deepest =
            LoadMesh(MeshFileWriter(p3d).AddNode(kxtest::NestedMeshNode(limit)).Build().bytes, p3d);
        ASSERT_TRUE(deepest);
        EXPECT_TRUE(deepest->FindObject("level" + std::to_string(limit)));
        EXPECT_FALSE(LoadMesh(MeshFileWriter(p3d).AddNode(kxtest::NestedMeshNode(limit + 1)).Build().bytes, p3d));
        ExpectRefusedWithALogLine();
    }
    CPSmartPtr<CPGameObject> animated = ReadFirst(BuildAnimationNodeFile(kxtest::NestedAnimatedNode(limit)).bytes);
    ASSERT_TRUE(animated);
    EXPECT_TRUE(ReadLater(BuildAnimationNodeFile(kxtest::NestedAnimatedNode(limit)).bytes, animated));
    EXPECT_TRUE(animated->FindObject("level" + std::to_string(limit)));
    EXPECT_FALSE(ReadFirst(BuildAnimationNodeFile(kxtest::NestedAnimatedNode(limit + 1)).bytes));
    ExpectRefusedWithALogLine();
    // A later file may not nest deeper either, whether or not its nodes were built.
    EXPECT_FALSE(ReadLater(BuildAnimationNodeFile(kxtest::NestedAnimatedNode(limit + 1)).bytes, animated));
    ExpectRefusedWithALogLine();
}

TEST_F(BadNodeFileTest, AnimationNodeFileCutAnywhereIsRefusedAsAFirstAndAsALaterFile) {
    const std::string bytes = BuildAnimationNodeFile(RichAnimatedNode()).bytes;
    CPSmartPtr<CPGameObject> tree = ReadFirst(bytes);
    ASSERT_TRUE(tree);
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const std::string cut = kxtest::Truncated(bytes, length);
        EXPECT_FALSE(ReadFirst(cut));
        ExpectRefusedWithALogLine();
        EXPECT_FALSE(ReadLater(cut, tree));
        ExpectRefusedWithALogLine();
        EXPECT_FALSE(AnyLaterAnimation(tree.Get()));
        IPMMObject::CollectGarbage();
    }
    ASSERT_TRUE(ReadLater(bytes, tree));
    EXPECT_TRUE(AnyLaterAnimation(tree.Get()));
}

TEST_F(BadNodeFileTest, AnimationNodeFileWithAHostileCountIsRefusedOrReadWithinItsBytes) {
    const BuiltFile file = BuildAnimationNodeFile(RichAnimatedNode());
    CPSmartPtr<CPGameObject> tree = ReadFirst(file.bytes);
    ASSERT_TRUE(tree);
    int refused = 0;
    for (const std::string& bytes : CountVariants(file)) {
        logLines.clear();
        CPSmartPtr<CPGameObject> first = ReadFirst(bytes);
        if (!first) {
            ++refused;
            EXPECT_FALSE(logLines.empty());
        }
        CPSmartPtr<CPGameObject> later = ReadLater(bytes, tree);
        if (later) EXPECT_EQ(later.Get(), tree.Get());
        IPMMObject::CollectGarbage();
    }
    EXPECT_GT(refused, 0);
}

} // namespace
