// Animation node files: the first file of a set builds the animated objects, later files add
// named animations to them, the morph animations are shared through the cache, and a node the
// first file did not build is passed over without disturbing the records after it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Scene/Loaders/LoaderTestSupport.h"
#include "Scene/PAnimatedObject.h"
#include "support/Near.h"

namespace {

using kxtest::AnimatedNode;
using kxtest::BuildAnimationNodeFile;
using kxtest::LoaderTest;
using kxtest::NodeRecord;
using kxtest::Recorded;
using kxtest::TriangleAnimatedNode;

class AnimatedNodeTest : public LoaderTest {
protected:
    // Reads a file of the set as the animated-set description does.
    CPSmartPtr<CPGameObject> ReadFile(const AnimatedNode& top, const std::string& animation, const std::string& file,
                                      const CPSmartPtr<CPGameObject>& into = CPSmartPtr<CPGameObject>()) {
        library.SetCurrentAnimationFile(file);
        auto reader = ReaderOver(BuildAnimationNodeFile(top).bytes, file);
        return library.ReadAnimationNodeFile(*reader, sections, 0, animation, into);
    }

    // A top node "man" with children "arm" (itself with "hand") and "leg".
    static AnimatedNode Man(int frames) {
        AnimatedNode man = TriangleAnimatedNode("Man");
        AnimatedNode arm = TriangleAnimatedNode("arm");
        arm.children.push_back(TriangleAnimatedNode("hand"));
        man.children.push_back(arm);
        man.children.push_back(TriangleAnimatedNode("leg"));
        for (AnimatedNode* node : {&man, &man.children[0], &man.children[0].children[0], &man.children[1]})
            node->stream = kxtest::MorphStreamWriter().AddFrames(frames, 1);
        return man;
    }

    static CPAnimatedObject* Animated(CPGameObject* object) {
        return object ? dynamic_cast<CPAnimatedObject*>(object->GetAttachment().Get()) : nullptr;
    }
};

TEST_F(AnimatedNodeTest, FirstFileBuildsAnimatedObjectsPlayingItsAnimation) {
    CPSmartPtr<CPGameObject> man = ReadFile(Man(2), "walk", "man_walk.ani");
    ASSERT_TRUE(man);
    EXPECT_EQ(man->GetName(), "man");
    CPGameObject* arm = man->GetChild("arm").Get();
    ASSERT_NE(arm, nullptr);
    CPGameObject* hand = arm->GetChild("hand").Get();
    CPGameObject* leg = man->GetChild("leg").Get();
    for (CPGameObject* object : {man.Get(), arm, hand, leg}) {
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->GetKind(), CPGameObject::KindAnimated);
        CPAnimatedObject* animated = Animated(object);
        ASSERT_NE(animated, nullptr);
        EXPECT_EQ(animated->GetOwner(), object);
        ASSERT_EQ(animated->GetAnimations().count("walk"), 1u);
        ASSERT_TRUE(animated->GetCurrentAnimation());
        EXPECT_EQ(animated->GetCurrentAnimation().Get(), animated->GetAnimations().at("walk").Get());
        EXPECT_EQ(animated->GetCurrentAnimation()->GetName(), object->GetName() + "&man_walk.ani");
        EXPECT_EQ(animated->GetCurrentAnimation()->GetFrameCount(), 2);
        // Every morph vertex takes the library's colour.
        for (const SPVertex& v : animated->GetCurrentAnimation()->GetFrames()[0].vertices)
            EXPECT_EQ(v.diffuse, CPAnimationLibrary::kDefaultVertexColour);
    }
    EXPECT_EQ(man->GetChildren()[0].Get(), arm);
    EXPECT_EQ(man->GetChildren()[1].Get(), leg);
}

TEST_F(AnimatedNodeTest, LaterFilesAddTheirAnimationsByNameAndTheFirstStaysCurrent) {
    CPSmartPtr<CPGameObject> man = ReadFile(Man(2), "walk", "man_walk.ani");
    ASSERT_TRUE(man);
    CPSmartPtr<CPGameObject> same = ReadFile(Man(5), "run", "man_run.ani", man);
    EXPECT_EQ(same.Get(), man.Get());
    for (CPGameObject* object :
         {man.Get(), man->GetChild("arm").Get(), man->FindObject("hand").Get(), man->GetChild("leg").Get()}) {
        CPAnimatedObject* animated = Animated(object);
        ASSERT_NE(animated, nullptr);
        EXPECT_EQ(animated->GetAnimations().size(), 2u);
        EXPECT_EQ(animated->GetCurrentAnimation().Get(), animated->GetAnimations().at("walk").Get());
        ASSERT_EQ(animated->GetAnimations().count("run"), 1u);
        EXPECT_EQ(animated->GetAnimations().at("run")->GetFrameCount(), 5);
        EXPECT_EQ(animated->GetAnimations().at("run")->GetName(), object->GetName() + "&man_run.ani");
    }
    // The later file built nothing.
    EXPECT_EQ(man->GetChildren().size(), 2u);
}

TEST_F(AnimatedNodeTest, LoadingTheSameSetTwiceSharesTheMorphAnimationsButBuildsNewObjects) {
    CPSmartPtr<CPGameObject> first = ReadFile(Man(2), "walk", "man_walk.ani");
    CPSmartPtr<CPGameObject> second = ReadFile(Man(2), "walk", "man_walk.ani");
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(Animated(first.Get())->GetCurrentAnimation().Get(), Animated(second.Get())->GetCurrentAnimation().Get());
    EXPECT_EQ(Animated(first->FindObject("hand").Get())->GetCurrentAnimation().Get(),
              Animated(second->FindObject("hand").Get())->GetCurrentAnimation().Get());
    EXPECT_EQ(cache.Find("hand&man_walk.ani"), Animated(first->FindObject("hand").Get())->GetCurrentAnimation().Get());
    // Another file name is another key.
    CPSmartPtr<CPGameObject> third = ReadFile(Man(2), "walk", "man_other.ani");
    ASSERT_TRUE(third);
    EXPECT_NE(Animated(third.Get())->GetCurrentAnimation().Get(), Animated(first.Get())->GetCurrentAnimation().Get());
}

TEST_F(AnimatedNodeTest, ALaterFileNamingAnUnknownNodePassesItsRecordAndReadsTheRest) {
    CPSmartPtr<CPGameObject> man = ReadFile(Man(2), "walk", "man_walk.ani");
    ASSERT_TRUE(man);
    AnimatedNode later = Man(3);
    // An unknown node, with a subtree of its own, before the known ones.
    AnimatedNode stranger = TriangleAnimatedNode("tail");
    stranger.stream = kxtest::MorphStreamWriter().AddFrames(4, 2);
    stranger.parts.push_back(NodeRecord());
    stranger.children.push_back(TriangleAnimatedNode("tip"));
    later.children.insert(later.children.begin(), stranger);
    ASSERT_TRUE(ReadFile(later, "run", "man_run.ani", man));
    for (const char* name : {"arm", "hand", "leg"}) {
        SCOPED_TRACE(name);
        CPAnimatedObject* animated = Animated(man->FindObject(name).Get());
        ASSERT_NE(animated, nullptr);
        ASSERT_EQ(animated->GetAnimations().count("run"), 1u);
        EXPECT_EQ(animated->GetAnimations().at("run")->GetFrameCount(), 3);
    }
    EXPECT_FALSE(man->FindObject("tail"));
    EXPECT_EQ(cache.Find("tail&man_run.ani"), nullptr);
}

TEST_F(AnimatedNodeTest, NodeAnimationsOnAnEmptyObjectSkipTheWholeRecord) {
    AnimatedNode node = Man(2);
    node.parts.push_back(NodeRecord());
    const std::string file = BuildAnimationNodeFile(node).bytes;
    auto reader = ReaderOver(file + "TAIL");
    // Behind the two words and the top record's name.
    reader->ReadBytes(nullptr, 8 + CPAnimationLibrary::kNameFieldBytes);
    library.ReadNodeAnimations(CPSmartPtr<CPGameObject>(), *reader, sections, 0, "run");
    EXPECT_FALSE(reader->IsFailed());
    EXPECT_EQ(reader->GetReadPosition(), static_cast<int>(file.size()));
    EXPECT_EQ(cache.GetEntryCount(), 0u);
}

TEST_F(AnimatedNodeTest, BodyAndBoxRecordsCountOnlyWithMassAboveZero) {
    AnimatedNode heavy = TriangleAnimatedNode("heavy");
    heavy.body.width = 2;
    heavy.body.depth = 4;
    heavy.body.height = 6;
    heavy.body.mass = 3;
    heavy.box.width = 2;
    heavy.box.depth = 4;
    heavy.box.height = 6;
    heavy.box.x = 1;
    heavy.box.y = 2;
    heavy.box.z = 3;
    heavy.box.mass = 1;
    NodeRecord boxPart;
    boxPart.width = 1;
    boxPart.depth = 2;
    boxPart.height = 3;
    boxPart.z = 1;
    boxPart.qz = 0.6f;
    boxPart.qw = 0.8f;
    boxPart.mass = 5;
    NodeRecord cylinder;
    cylinder.type = 1;
    cylinder.depth = 0.25f;
    cylinder.word11 = 0.5f;
    cylinder.mass = 2;
    NodeRecord unknown;
    unknown.type = 2;
    heavy.parts = {boxPart, cylinder, unknown};
    AnimatedNode light = heavy;
    light.name = "light";
    light.body.mass = 0;
    light.box.mass = 0;
    light.stream = kxtest::MorphStreamWriter().AddFrame(kxtest::TriangleFrame(1, 10.0f));
    heavy.children.push_back(light);

    CPSmartPtr<CPGameObject> object = ReadFile(heavy, "idle", "heavy.ani");
    ASSERT_TRUE(object);
    kxtest::RecordingPhysicData* body = Recorded(object);
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->calls.size(), 3u);
    EXPECT_EQ(body->calls[0].kind, "shape");
    EXPECT_EQ(body->calls[0].a, 2.0f);
    EXPECT_EQ(body->calls[0].b, 4.0f);
    EXPECT_EQ(body->calls[0].c, 6.0f);
    EXPECT_EQ(body->calls[0].mass, 3.0f);
    EXPECT_EQ(body->calls[1].kind, "box");
    EXPECT_TRUE(kxtest::Near(body->calls[1].point, D3DXVECTOR3(0, 0, 2)));
    EXPECT_TRUE(kxtest::Near(body->calls[1].rotation, D3DXQUATERNION(0, 0, 0.6f, 0.8f)));
    EXPECT_EQ(body->calls[1].mass, 5.0f);
    EXPECT_EQ(body->calls[2].kind, "cylinder");
    EXPECT_EQ(body->calls[2].a, 0.5f);
    EXPECT_EQ(body->calls[2].b, 0.25f);
    // The box record B is the object's bounding box: half-size (1, 3, 2) at (1, 2, 5).
    EXPECT_TRUE(kxtest::Near(object->GetOwnBox().GetHalfSize(), D3DXVECTOR3(1, 3, 2)));
    const D3DXMATRIX& local = object->GetOwnBox().GetLocalMatrix();
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(local.m[3][0], local.m[3][1], local.m[3][2]), D3DXVECTOR3(1, 2, 5)));
    EXPECT_EQ(object->PartBoxes().size(), 1u);

    // Without mass: no body, no geometry, the box part still there, the bounds from the morph
    // animation.
    CPSmartPtr<CPGameObject> weightless = object->GetChild("light");
    ASSERT_TRUE(weightless);
    EXPECT_FALSE(weightless->GetPhysicData());
    EXPECT_EQ(maker.made, std::vector<std::string>{"heavy"});
    EXPECT_EQ(weightless->PartBoxes().size(), 1u);
    CPAnimatedObject* animated = Animated(weightless.Get());
    ASSERT_NE(animated, nullptr);
    EXPECT_TRUE(
        kxtest::Near(weightless->GetOwnBox().GetCentre(), animated->GetCurrentAnimation()->GetBounds().GetCentre()));
    EXPECT_TRUE(kxtest::Near(weightless->GetOwnBox().GetHalfSize(),
                             animated->GetCurrentAnimation()->GetBounds().GetHalfSize()));
    EXPECT_TRUE(kxtest::Near(weightless->GetOwnBox().GetCentre(), D3DXVECTOR3(11.0f, 0.0f, 0.5f)));
}

TEST_F(AnimatedNodeTest, ABrokenLaterFileAddsNoneOfItsAnimations) {
    CPSmartPtr<CPGameObject> man = ReadFile(Man(2), "walk", "man_walk.ani");
    ASSERT_TRUE(man);
    const std::string later = BuildAnimationNodeFile(Man(3)).bytes;
    library.SetCurrentAnimationFile("man_run.ani");
    // Cut inside the last node's stream: the first nodes' animations were read already.
    auto reader = ReaderOver(later.substr(0, later.size() - 12), "man_run.ani");
    EXPECT_FALSE(library.ReadAnimationNodeFile(*reader, sections, 0, "run", man));
    for (const char* name : {"arm", "hand", "leg"})
        EXPECT_EQ(Animated(man->FindObject(name).Get())->GetAnimations().count("run"), 0u) << name;
    EXPECT_EQ(Animated(man.Get())->GetAnimations().count("run"), 0u);
    ASSERT_FALSE(logLines.empty());
    EXPECT_NE(logLines.back().find("man_run.ani"), std::string::npos);
}

TEST_F(AnimatedNodeTest, WithoutACacheTheStreamsAreStillReadUnshared) {
    cacheHolder.reset();
    ASSERT_EQ(CPAnimationCache::Instance(), nullptr);
    CPSmartPtr<CPGameObject> first = ReadFile(Man(2), "walk", "man_walk.ani");
    CPSmartPtr<CPGameObject> second = ReadFile(Man(2), "walk", "man_walk.ani");
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(Animated(first.Get())->GetCurrentAnimation().Get(), Animated(second.Get())->GetCurrentAnimation().Get());
    EXPECT_EQ(Animated(first->FindObject("hand").Get())->GetCurrentAnimation()->GetFrameCount(), 2);
}

} // namespace
