// Object descriptions applied to objects built by hand: materials and render keys, shadow and fire
// materials (loose and packed textures), flags, scripts, vertex effects and static buffers.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "DescriptionFixture.h"
#include "Framework/PackFile.h"
#include "Render/PLight.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Scene/PVertexEffects.h"
#include "Script/PScriptManager.h"
#include "support/PackWriter.h"

namespace desctest {
namespace {

using Section = CPAnimationLibrary::Section;

class ObjectDescriptionTest : public DescriptionFixture {
protected:
    static CPSmartPtr<CPGameObject> MeshObject(const std::string& name) {
        CPSmartPtr<CPGameObject> object(new CPGameObject(name));
        CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
        std::vector<SPVertex> vertices{frametest::MakeVertex(0, 0, 0), frametest::MakeVertex(1, 0, 0),
                                       frametest::MakeVertex(0, 1, 0)};
        mesh->SetMesh(vertices, {0, 1, 2});
        object->SetAttachment(CPSmartPtr<IPMMObject>(mesh), IPSceneObject::KindMesh);
        return object;
    }
    static CPSmartPtr<CPGameObject> SpriteObject(const std::string& name) {
        CPSmartPtr<CPGameObject> object(new CPGameObject(name));
        CPSmartPtr<CPSprite> sprite(new CPSprite(1.0f));
        sprite->SetOwner(object.Get());
        object->SetAttachment(CPSmartPtr<IPMMObject>(sprite), IPSceneObject::KindSprite);
        object->SetCastsShadow(false);
        return object;
    }
    static CPRenderObject* Mesh(const CPSmartPtr<CPGameObject>& object) { return object->GetRenderObject(); }
    static CPMaterial* MainMaterial(const CPSmartPtr<CPGameObject>& object) {
        return Mesh(object) ? Mesh(object)->GetMaterial().Get() : nullptr;
    }
    void Apply(const CPSmartPtr<CPGameObject>& object, Section section, int base = 0) {
        library->ApplyObjectDescription(object, section, base);
    }
};

TEST_F(ObjectDescriptionTest, MainMaterialFromKeyEffectAndTextures) {
    struct Case {
        Section section;
        int base;
        RenderKey key;
        std::vector<std::string> textures;
    };
    const Case cases[] = {
        {{{"texturefile1", "wall.tga"}}, 0, 0, {"wall.tga"}},
        {{{"texturefile1", "a.tga"}, {"texturefile3", "c.tga"}}, 0, 0, {"a.tga", "c.tga"}},
        {{{"texturefile1", "a.tga"}, {"texturefile4", "d.tga"}, {"texturefile2", "b.tga"}},
         0,
         0,
         {"a.tga", "b.tga", "d.tga"}},
        {{{"type", "5"}}, 60, 65, {""}},
        {{{"type", "-3"}}, 60, 57, {""}},
        {{{"type", "x"}}, 7, 7, {""}},
        // Sums beyond the int range saturate.
        {{{"type", "2147483647"}}, 10, INT_MAX, {""}},
        {{{"type", "-2147483648"}}, -10, INT_MIN, {""}},
        {{{"type", "99999999999"}}, 1, INT_MAX, {""}},
    };
    for (const Case& c : cases) {
        auto object = MeshObject("box");
        Section section = c.section;
        library->ApplyObjectDescription(object, section, c.base);
        CPMaterial* material = MainMaterial(object);
        ASSERT_NE(material, nullptr);
        EXPECT_EQ(material->GetRenderKey(), c.key);
        EXPECT_EQ(material, Expected(c.key, "", c.textures).Get());
        // Reading the effect, the first texture and the type enters them.
        EXPECT_EQ(section.count("effectfile"), 1u);
        EXPECT_EQ(section.count("texturefile1"), 1u);
        EXPECT_EQ(section.count("type"), 1u);
    }
}

TEST_F(ObjectDescriptionTest, MaterialGoesToTheAttachmentOfEachKind) {
    auto sprite = SpriteObject("glow");
    Apply(sprite, {{"type", "4"}, {"effectfile", "one.fx"}});
    auto* attached = dynamic_cast<CPSprite*>(sprite->GetAttachment().Get());
    ASSERT_TRUE(attached->GetMaterial());
    EXPECT_EQ(attached->GetMaterial()->GetRenderKey(), 4);
    EXPECT_EQ(attached->GetMaterial().Get(), Expected(4, "one.fx", {""}).Get());

    // A light takes no material, and the call leaves it as it is.
    CPSmartPtr<CPGameObject> lamp(new CPGameObject("lamp"));
    CPSmartPtr<CPLight> light(new CPLight());
    lamp->SetAttachment(CPSmartPtr<IPMMObject>(light), IPSceneObject::KindLight);
    Apply(lamp, {{"type", "4"}, {"vertexeffect", "fade 0.5"}});
    EXPECT_EQ(lamp->GetAttachment().Get(), light.Get());

    // No object: nothing happens.
    Section section{{"type", "1"}};
    library->ApplyObjectDescription(CPSmartPtr<CPGameObject>(), section, 0);
    EXPECT_EQ(section.size(), 1u);
}

TEST_F(ObjectDescriptionTest, ShadowMaterial) {
    ASSERT_TRUE(StartRenderer());
    root->Write("Data/Effects/holey.fx", "technique T { pass P0 { } }\n");
    root->Write("Data/Effects/holey_shadow.fx", "technique T { pass P0 { } }\n");

    auto holey = MeshObject("fence");
    Apply(holey, {{"effectfile", "holey.fx"}, {"texturefile1", "fence.tga"}});
    CPMaterial* shadow = holey->GetShadowMaterial().Get();
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow, Expected(16, "holey_shadow.fx", {"fence.tga"}).Get());

    auto plain = MeshObject("wall");
    Apply(plain, {{"effectfile", "one.fx"}});
    ASSERT_TRUE(render->GetShadowMaterial());
    EXPECT_EQ(plain->GetShadowMaterial().Get(), render->GetShadowMaterial().Get());

    // "shadow" 0 clears the flag after the material was chosen.
    auto cleared = MeshObject("fence2");
    Apply(cleared, {{"effectfile", "holey.fx"}, {"shadow", "0"}});
    EXPECT_FALSE(cleared->IsCastsShadow());
    ASSERT_TRUE(cleared->GetShadowMaterial());
    EXPECT_EQ(cleared->GetShadowMaterial()->GetRenderKey(), 16);

    // A sprite does not cast shadows when the material is chosen; "shadow" 1 sets the flag only.
    auto sprite = SpriteObject("glow");
    Apply(sprite, {{"shadow", "1"}});
    EXPECT_TRUE(sprite->IsCastsShadow());
    EXPECT_FALSE(sprite->GetShadowMaterial());
}

TEST_F(ObjectDescriptionTest, NoRendererNoShadowMaterialOfItsOwn) {
    auto plain = MeshObject("wall");
    Apply(plain, {{"effectfile", "one.fx"}});
    EXPECT_FALSE(plain->GetShadowMaterial());
}

TEST_F(ObjectDescriptionTest, FireMaterialFromTheFirstTexturesStem) {
    kxtest::PackWriter pack;
    pack.AddFile("textures\\barrel_fire.tga", "packed");
    root->Write("Data/game1.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    root->Write("Data/Textures/crate_fire.tga", "loose");
    root->Write("Data/Textures/Upper_Fire.TGA", "loose");

    struct Case {
        const char* texture;
        const char* fire; // empty: none
    };
    const Case cases[] = {
        {"crate.old.tga", "crate_fire.tga"}, {"crate", "crate_fire.tga"}, {"barrel.tga", "barrel_fire.tga"},
        {"upper.tga", "upper_fire.tga"},     {"plain.tga", ""},           {"", ""},
    };
    for (const Case& c : cases) {
        auto object = MeshObject("thing");
        Apply(object, {{"texturefile1", c.texture}, {"flametype", "2"}});
        EXPECT_EQ(object->GetFlameType(), 2);
        CPMaterial* fire = object->GetFireMaterial().Get();
        if (*c.fire == '\0') {
            EXPECT_EQ(fire, nullptr) << c.texture;
            continue;
        }
        ASSERT_NE(fire, nullptr) << c.texture;
        EXPECT_EQ(fire, Expected(20, "holey.fx", {c.fire}).Get()) << c.texture;
    }
}

TEST_F(ObjectDescriptionTest, PerObjectShadowTextures) {
    root->Write("Data/Textures/shadows/roof_s.tga", "t");
    root->Write("Data/Effects/one_shadow.fx", "technique T { pass P0 { } }\n");
    // Texture and effect variant kept only in a pack are found too.
    kxtest::PackWriter pack;
    pack.AddFile("textures\\shadows\\gate_s.tga", "t");
    pack.AddFile("effects\\two_shadow.fx", "technique T { pass P0 { } }\n");
    root->Write("Data/game1.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    library->SetShadowTextures("shadows", "_s.tga", "_shadow.fx");
    library->SetShadowTexturesActive(true);

    struct Case {
        const char* object;
        const char* effect;
        const char* expectedEffect;
        std::vector<std::string> textures;
    };
    const Case cases[] = {
        {"roof", "one.fx", "one_shadow.fx", {"wall.tga", "shadows\\roof_s.tga"}},
        {"gate", "two.fx", "two_shadow.fx", {"wall.tga", "shadows\\gate_s.tga"}},
        // No such effect variant: nothing changes.
        {"roof", "simple.fx", "simple.fx", {"wall.tga"}},
        // No texture of the object's name.
        {"door", "one.fx", "one.fx", {"wall.tga"}},
        // An effect name too short to hold ".fx" has no variant.
        {"roof", "fx", "fx", {"wall.tga"}},
        {"roof", "", "", {"wall.tga"}},
    };
    for (const Case& c : cases) {
        auto object = MeshObject(c.object);
        Apply(object, {{"effectfile", c.effect}, {"texturefile1", "wall.tga"}});
        CPMaterial* material = MainMaterial(object);
        ASSERT_NE(material, nullptr);
        EXPECT_EQ(material, Expected(0, c.expectedEffect, c.textures).Get()) << c.object << " " << c.effect;
    }

    // Not active: no shadow texture.
    library->SetShadowTexturesActive(false);
    auto object = MeshObject("roof");
    Apply(object, {{"effectfile", "one.fx"}, {"texturefile1", "wall.tga"}});
    EXPECT_EQ(MainMaterial(object), Expected(0, "one.fx", {"wall.tga"}).Get());
}

TEST_F(ObjectDescriptionTest, FlagsAndParameterText) {
    auto object = MeshObject("gate");
    Apply(object, {{"visible", "0"}, {"collision", "0"}, {"param", "open, 3"}, {"flametype", "4"}});
    EXPECT_FALSE(object->IsVisible());
    EXPECT_FALSE(object->IsCollision());
    EXPECT_EQ(object->GetParameterText(), "open, 3");
    EXPECT_EQ(object->GetFlameType(), 4);

    auto untouched = MeshObject("gate");
    Apply(untouched, {});
    EXPECT_TRUE(untouched->IsVisible());
    EXPECT_TRUE(untouched->IsCollision());
    EXPECT_TRUE(untouched->IsCastsShadow());
    EXPECT_EQ(untouched->GetParameterText(), "");
    EXPECT_EQ(untouched->GetFlameType(), -1);
}

TEST_F(ObjectDescriptionTest, UnknownScriptAttachesNothing) {
    auto object = MeshObject("gate");
    Apply(object, {{"script", "nosuchscript"}});
    EXPECT_FALSE(object->GetScript());

    CPScriptManager scripts;
    auto again = MeshObject("gate");
    Apply(again, {{"script", "nosuchscript"}});
    EXPECT_FALSE(again->GetScript());
    EXPECT_TRUE(again->IsStatic());
}

TEST_F(ObjectDescriptionTest, VertexEffectsInOrderAndNoStaticBuffers) {
    ASSERT_TRUE(StartRenderer());
    library->SetLastMeshFile("house.p3d");
    auto object = MeshObject("roof");
    Apply(object, {{"vertexeffect", "flick 0.5,10,200 ; movingtex 0.1,0.2;nosuch 1;fade"}});
    CPRenderObject* mesh = Mesh(object);
    ASSERT_EQ(mesh->GetVertexEffects().size(), 2u);
    EXPECT_NE(dynamic_cast<CPFlickEffect*>(mesh->GetVertexEffects()[0]), nullptr);
    EXPECT_NE(dynamic_cast<CPMovingTexEffect*>(mesh->GetVertexEffects()[1]), nullptr);
    EXPECT_TRUE(mesh->HasVertexEffects());
    EXPECT_FALSE(object->IsStatic());
    EXPECT_FALSE(mesh->IsFillSkipped());
    EXPECT_EQ(mesh->GetStaticBuffer(), nullptr);

    auto sprite = SpriteObject("glow");
    Apply(sprite, {{"vertexeffect", "fade 0.5"}});
    auto* attached = dynamic_cast<CPSprite*>(sprite->GetAttachment().Get());
    EXPECT_EQ(attached->GetVertexEffects().size(), 1u);
    EXPECT_TRUE(attached->AreEffectsEnabled());

    // A value with no effect that can be made still keeps the buffers away.
    auto none = MeshObject("wall");
    Apply(none, {{"vertexeffect", "nosuch 1"}});
    EXPECT_FALSE(Mesh(none)->HasVertexEffects());
    EXPECT_FALSE(Mesh(none)->IsFillSkipped());
}

TEST_F(ObjectDescriptionTest, StaticBuffersNamedAfterMeshFileAndObject) {
    ASSERT_TRUE(StartRenderer());
    library->SetLastMeshFile("house.p3d");
    auto first = MeshObject("roof");
    Apply(first, {});
    CPRenderObject* mesh = Mesh(first);
    EXPECT_EQ(mesh->GetStaticBufferName(), "house.p3droof");
    ASSERT_NE(mesh->GetStaticBuffer(), nullptr);
    EXPECT_TRUE(mesh->IsFillSkipped());

    // The same object of the same mesh file shares the buffers.
    auto second = MeshObject("roof");
    Apply(second, {});
    EXPECT_EQ(Mesh(second)->GetStaticBuffer(), mesh->GetStaticBuffer());

    // Already fill-skipped: left alone.
    auto skipped = MeshObject("door");
    Mesh(skipped)->SetFillSkipped(true);
    Apply(skipped, {});
    EXPECT_EQ(Mesh(skipped)->GetStaticBuffer(), nullptr);
    EXPECT_EQ(Mesh(skipped)->GetStaticBufferName(), "");
}

TEST_F(ObjectDescriptionTest, WithoutRendererTheMeshStillDraws) {
    library->SetLastMeshFile("house.p3d");
    auto object = MeshObject("roof");
    Apply(object, {});
    EXPECT_EQ(Mesh(object)->GetStaticBuffer(), nullptr);
    EXPECT_FALSE(Mesh(object)->IsFillSkipped());
}

} // namespace
} // namespace desctest
