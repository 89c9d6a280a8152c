// The object tree: children by name, lookups, the scripted ancestor, the pre-order walk and
// what destruction leaves behind.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "Render/PLight.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PParticleSystem.h"

#include "Scene/PGameObject.h"
#include "SceneObjectTestSupport.h"
#include "Script/PLuaScript.h"

namespace {

using kxtest::SceneObjectTest;

class TreeTest : public SceneObjectTest {};

TEST_F(TreeTest, ConstructionState) {
    auto object = Make("crate");
    EXPECT_EQ(object->GetName(), "crate");
    EXPECT_EQ(object->GetClassName(), "CPGameObject - crate");
    EXPECT_TRUE(object->IsVisible());
    EXPECT_TRUE(object->IsStatic());
    EXPECT_TRUE(object->IsCollision());
    EXPECT_TRUE(object->IsCastsShadow());
    EXPECT_TRUE(object->IsDirty());
    EXPECT_TRUE(object->IsTransformChanged());
    EXPECT_FALSE(object->IsInScene());
    EXPECT_EQ(object->GetKind(), IPSceneObject::KindEmpty);
    EXPECT_EQ(object->GetFlameType(), -1);
    EXPECT_EQ(object->GetLineColour(), 0xff4e4e4eu);
    EXPECT_FALSE(object->GetParent());
    EXPECT_FALSE(object->GetScript());
    EXPECT_FALSE(object->GetCar());
    EXPECT_EQ(object->GetChildCount(), 0);
    EXPECT_TRUE(object->GetLevelsOfDetail().empty());
}

TEST_F(TreeTest, AddChildLinksParentAndName) {
    auto root = Make("root");
    auto wheel = Make("wheel");
    root->AddChild(wheel);
    EXPECT_EQ(wheel->GetParent().Get(), root.Get());
    EXPECT_EQ(wheel->GetParentObject(), root.Get());
    ASSERT_EQ(root->GetChildCount(), 1);
    EXPECT_EQ(root->GetChild(0), wheel.Get());
    EXPECT_EQ(root->GetChild("wheel").Get(), wheel.Get());
    EXPECT_EQ(root->GetChild(1), nullptr);
    EXPECT_EQ(root->GetChild(-1), nullptr);
}

TEST_F(TreeTest, Lookups) {
    // root -> a -> deep ; root -> b -> deep (a second "deep", found later in child order)
    auto root = Make("root");
    auto a = Make("a");
    auto b = Make("b");
    auto deepA = Make("deep");
    auto deepB = Make("deep");
    root->AddChild(a);
    root->AddChild(b);
    a->AddChild(deepA);
    b->AddChild(deepB);

    struct Case {
        const char* name;
        CPGameObject* want;
    };
    const Case cases[] = {
        {"a", a.Get()},                        // the own map first
        {"deep", deepA.Get()},                 // depth first in child order
        {"root", nullptr},                     // an object never finds itself
        {"missing", nullptr},  {"A", nullptr}, // byte for byte
    };
    for (const Case& c : cases) EXPECT_EQ(root->FindObject(c.name).Get(), c.want) << c.name;
    // A direct child's name wins over a deeper object of the same name.
    auto shallow = Make("deep");
    root->AddChild(shallow);
    EXPECT_EQ(root->FindObject("deep").Get(), shallow.Get());
}

TEST_F(TreeTest, FailedGetChildDoesNotHideDeeperObjects) {
    auto root = Make("root");
    auto middle = Make("middle");
    auto leaf = Make("leaf");
    root->AddChild(middle);
    middle->AddChild(leaf);
    EXPECT_FALSE(root->GetChild("leaf"));
    EXPECT_EQ(root->FindObject("leaf").Get(), leaf.Get());
    EXPECT_FALSE(root->GetChild("leaf"));
}

TEST_F(TreeTest, DuplicateNamesKeepBothChildrenAndMapTheLater) {
    auto root = Make("root");
    auto first = Make("door");
    auto second = Make("door");
    root->AddChild(first);
    root->AddChild(second);
    EXPECT_EQ(root->GetChildCount(), 2);
    EXPECT_EQ(root->GetChild("door").Get(), second.Get());
    EXPECT_EQ(root->FindObject("door").Get(), second.Get());
    EXPECT_EQ(first->GetParent().Get(), root.Get());
}

TEST_F(TreeTest, AppendedChildIsWalkedButNotFoundByName) {
    auto root = Make("root");
    auto text = Make("text");
    root->AppendChild(text);
    EXPECT_EQ(text->GetParent().Get(), root.Get());
    EXPECT_EQ(root->GetChildCount(), 1);
    EXPECT_FALSE(root->GetChild("text"));
    EXPECT_FALSE(root->FindObject("text"));
    std::vector<CPSmartPtr<CPGameObject>> tree;
    root->CollectTree(tree);
    ASSERT_EQ(tree.size(), 2u);
    EXPECT_EQ(tree[1].Get(), text.Get());
}

TEST_F(TreeTest, CollectTreeIsPreOrderAndCounted) {
    auto root = Make("root");
    auto a = Make("a");
    auto a1 = Make("a1");
    auto b = Make("b");
    root->AddChild(a);
    a->AddChild(a1);
    root->AddChild(b);
    const int before = a1->GetRefCount();
    std::vector<CPSmartPtr<CPGameObject>> tree;
    root->CollectTree(tree);
    ASSERT_EQ(tree.size(), 4u);
    EXPECT_EQ(tree[0].Get(), root.Get());
    EXPECT_EQ(tree[1].Get(), a.Get());
    EXPECT_EQ(tree[2].Get(), a1.Get());
    EXPECT_EQ(tree[3].Get(), b.Get());
    EXPECT_EQ(a1->GetRefCount(), before + 1);
}

TEST_F(TreeTest, ScriptedAncestor) {
    auto root = Make("root");
    auto middle = Make("middle");
    auto leaf = Make("leaf");
    root->AddChild(middle);
    middle->AddChild(leaf);
    // No script anywhere: the root.
    EXPECT_EQ(leaf->GetScriptedAncestor().Get(), root.Get());
    CPSmartPtr<CPLuaScript> script(new CPLuaScript());
    middle->SetScript(script);
    EXPECT_EQ(leaf->GetScriptedAncestor().Get(), middle.Get());
    EXPECT_EQ(middle->GetScriptedAncestor().Get(), middle.Get());
    EXPECT_EQ(root->GetScriptedAncestor().Get(), root.Get());
}

TEST_F(TreeTest, SetScriptClearsStaticOfSubtreeOnly) {
    auto root = Make("root");
    auto child = Make("child");
    auto grandchild = Make("grandchild");
    auto lod = Make("lod");
    root->AddChild(child);
    child->AddChild(grandchild);
    root->AddLevelOfDetail(root, 0);
    root->AddLevelOfDetail(lod, 100);

    root->SetScript(CPSmartPtr<CPLuaScript>());
    EXPECT_TRUE(root->IsStatic());
    EXPECT_FALSE(root->GetScript());

    CPSmartPtr<CPLuaScript> script(new CPLuaScript());
    root->SetScript(script);
    EXPECT_EQ(root->GetScript().Get(), script.Get());
    EXPECT_FALSE(root->IsStatic());
    EXPECT_FALSE(child->IsStatic());
    EXPECT_FALSE(grandchild->IsStatic());
    EXPECT_TRUE(lod->IsStatic());
    // An empty handle keeps the earlier script.
    root->SetScript(CPSmartPtr<CPLuaScript>());
    EXPECT_EQ(root->GetScript().Get(), script.Get());
}

TEST_F(TreeTest, SetStaticRecursiveFollowsLevelsOfDetailNotChildren) {
    auto root = Make("root");
    auto child = Make("child");
    auto lod = Make("lod");
    root->AddChild(child);
    root->AddLevelOfDetail(root, 0);
    root->AddLevelOfDetail(lod, 50);
    root->AddLevelOfDetail(CPSmartPtr<CPGameObject>(), 300);
    root->SetStaticRecursive(false);
    EXPECT_FALSE(root->IsStatic());
    EXPECT_FALSE(lod->IsStatic());
    EXPECT_TRUE(child->IsStatic());
}

TEST_F(TreeTest, LevelOfDetailZeroHoldsNoReference) {
    auto root = Make("root");
    auto lod = Make("lod");
    const int rootCount = root->GetRefCount();
    const int lodCount = lod->GetRefCount();
    root->AddLevelOfDetail(root, 0);
    root->AddLevelOfDetail(lod, 120);
    root->AddLevelOfDetail(CPSmartPtr<CPGameObject>(), 300);
    EXPECT_EQ(root->GetRefCount(), rootCount);
    EXPECT_EQ(lod->GetRefCount(), lodCount + 1);
    ASSERT_EQ(root->GetLevelsOfDetail().size(), 3u);
    EXPECT_EQ(root->GetLevelsOfDetail()[2].object, nullptr);
    EXPECT_EQ(root->GetLevelsOfDetail()[2].distance, 300);
    // The attached objects are the entries after the object itself that hold one.
    ASSERT_EQ(root->GetAttachedCount(), 1);
    EXPECT_EQ(root->GetAttached(0), lod.Get());
    EXPECT_EQ(root->GetAttached(1), nullptr);
}

TEST_F(TreeTest, DestructionUnlinksParentAndChildren) {
    CPSmartPtr<CPGameObject> parent = Make("parent");
    CPSmartPtr<CPGameObject> kept = Make("kept");
    auto* middle = new CPGameObject("middle");
    parent->AddChild(CPSmartPtr<CPGameObject>(middle));
    middle->AddChild(kept);
    ASSERT_EQ(parent->GetChildCount(), 1);
    // The middle object dies although its parent still lists it (a reference given back once
    // too often): the parent's vector and name map lose it, its child loses the link.
    middle->Release();
    middle->Release();
    IPMMObject::CollectGarbage();
    EXPECT_EQ(parent->GetChildCount(), 0);
    EXPECT_FALSE(parent->GetChild("middle"));
    EXPECT_FALSE(kept->GetParent());
}

TEST_F(TreeTest, ParentDeathClearsChildLinks) {
    CPSmartPtr<CPGameObject> child = Make("child");
    {
        CPSmartPtr<CPGameObject> parent = Make("parent");
        parent->AddChild(child);
    }
    IPMMObject::CollectGarbage();
    EXPECT_FALSE(child->GetParent());
    EXPECT_EQ(child->GetParentObject(), nullptr);
}

// An attachment that someone else still holds when its object dies keeps no pointer to the dead
// object, whatever its kind (AddressSanitizer would see a later read through it).
TEST_F(TreeTest, AnAttachmentHeldElsewhereForgetsItsDeadOwner) {
    struct Kind {
        const char* name;
        int kind;
        std::function<CPSmartPtr<IPMMObject>(CPGameObject*)> make;
        std::function<const void*(IPMMObject*)> owner;
    };
    const std::vector<Kind> kinds = {
        {"mesh", IPSceneObject::KindMesh, [](CPGameObject* o) { return CPSmartPtr<IPMMObject>(new CPRenderObject(o)); },
         [](IPMMObject* a) -> const void* { return static_cast<CPRenderObject*>(a)->GetOwner(); }},
        {"light", IPSceneObject::KindLight,
         [](CPGameObject* o) {
             CPSmartPtr<CPLight> light(new CPLight());
             light->SetOwner(o);
             return CPSmartPtr<IPMMObject>(light.Get());
         },
         [](IPMMObject* a) -> const void* { return static_cast<CPLight*>(a)->GetOwner(); }},
        {"sprite", IPSceneObject::KindSprite,
         [](CPGameObject* o) {
             CPSmartPtr<CPSprite> sprite(new CPSprite(1.0f));
             sprite->SetOwner(o);
             return CPSmartPtr<IPMMObject>(sprite.Get());
         },
         [](IPMMObject* a) -> const void* { return static_cast<CPSprite*>(a)->GetOwner(); }},
        {"animated", IPSceneObject::KindAnimated,
         [](CPGameObject* o) {
             CPSmartPtr<CPAnimatedObject> animated(new CPAnimatedObject());
             animated->SetOwner(o);
             return CPSmartPtr<IPMMObject>(animated.Get());
         },
         [](IPMMObject* a) -> const void* { return static_cast<CPAnimatedObject*>(a)->GetOwner(); }},
        {"particles", IPSceneObject::KindParticles,
         [](CPGameObject* o) { return CPSmartPtr<IPMMObject>(new CPParticleSystem(o, {})); },
         [](IPMMObject* a) -> const void* { return static_cast<CPParticleSystem*>(a)->GetOwner(); }},
    };
    for (const Kind& k : kinds) {
        CPSmartPtr<IPMMObject> held;
        {
            CPSmartPtr<CPGameObject> object = Make(k.name);
            held = k.make(object.Get());
            object->SetAttachment(held, k.kind);
            ASSERT_EQ(k.owner(held.Get()), object.Get()) << k.name;
        }
        IPMMObject::CollectGarbage();
        EXPECT_EQ(k.owner(held.Get()), nullptr) << k.name;
    }
}

} // namespace
