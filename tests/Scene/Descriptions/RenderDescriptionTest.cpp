// Render descriptions that need no mesh file: the line rules, the empty kind with its sprites and
// their parents, the fall-back, headers that name no file, and the lens-flare pools.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DescriptionFixture.h"
#include "Framework/PSettings.h"
#include "Render/PSprite.h"
#include "Scene/LensFlarePools.h"

namespace desctest {
namespace {

using RenderDescriptionTest = DescriptionFixture;

CPSprite* SpriteOf(const CPSmartPtr<CPGameObject>& object) {
    return object ? dynamic_cast<CPSprite*>(object->GetAttachment().Get()) : nullptr;
}

TEST_F(RenderDescriptionTest, KeysAndValuesAreLowerCasedAndSectionsMerge) {
    WriteMeshes("lamps.rdf", "Model = empty\n"
                             "param = before any section\n"
                             "Sprite = Lamp, 1, 2, 3, 0.5\n"
                             "sprite = bare, 0, 0, 0, 1\n"
                             "[LAMP]\n"
                             "Param = Hello World\n"
                             "flametype = 3\n"
                             "[other]\n"
                             "param = x\n"
                             "sprite = inner, 0, 0, 0, 1\n"
                             "[lamp]\n"
                             "param = Second\n");
    auto tree = Load("lamps.rdf");
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->GetName(), "empty");
    EXPECT_EQ(tree->GetKind(), IPSceneObject::KindEmpty);

    auto lamp = tree->GetChild("lamp");
    ASSERT_TRUE(lamp);
    EXPECT_EQ(lamp->GetKind(), IPSceneObject::KindSprite);
    // A repeated section continues; a repeated key keeps its last value.
    EXPECT_EQ(lamp->GetParameterText(), "second");
    EXPECT_EQ(lamp->GetFlameType(), 3);
    EXPECT_EQ(lamp->GetPosition(), D3DXVECTOR3(1.0f, 2.0f, 3.0f));

    // A value before the first section goes nowhere.
    auto bare = tree->GetChild("bare");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->GetParameterText(), "");

    // A file-level key inside a section is still a file-level key.
    EXPECT_TRUE(tree->GetChild("inner"));
    EXPECT_EQ(tree->GetChildren().size(), 3u);
}

TEST_F(RenderDescriptionTest, EmptyKindSpritesHangOnTheirParentOrTheRoot) {
    WriteMeshes("tree.rdf", "h = empty\n"
                            "sprite = a, 0, 0, 0, 1\n"
                            "sprite = b, 0, 0, 0, 1, a\n"
                            "sprite = c, 0, 0, 0, 1, nowhere\n"
                            "sprite = d, 0, 0, 0, 1, empty\n"
                            "sprite = e, 0, 0, 0, 1, b\n");
    auto tree = Load("tree.rdf");
    ASSERT_TRUE(tree);
    struct Case {
        const char* name;
        const char* parent;
    };
    const Case cases[] = {{"a", "empty"}, {"b", "a"}, {"c", "empty"}, {"d", "empty"}, {"e", "b"}};
    for (const Case& c : cases) {
        auto object = Named(tree, c.name);
        ASSERT_TRUE(object) << c.name;
        ASSERT_NE(object->GetParentPointer(), nullptr) << c.name;
        EXPECT_EQ(object->GetParentPointer()->GetName(), c.parent) << c.name;
    }
}

TEST_F(RenderDescriptionTest, FullSpriteEntryFields) {
    struct Case {
        const char* entry;
        float halfHeight;
        D3DXVECTOR3 direction;
        float cone;
        float vShift;
    };
    const D3DXVECTOR3 none(0.0f, 0.0f, 0.0f);
    const Case cases[] = {
        {"s, 0, 0, 0, 2", 2.0f, none, 0.0f, 0.0f},
        // Fields 7 to 10 empty: the default direction and cone (always visible).
        {"s, 0, 0, 0, 2, , , , , , 0.5, 0.25", 1.0f, none, 0.0f, 0.25f},
        {"s, 0, 0, 0, 2, , 0, 0, 1, 0.3", 2.0f, D3DXVECTOR3(0.0f, 0.0f, 1.0f), 0.3f, 0.0f},
        // A direction without a cone is not used.
        {"s, 0, 0, 0, 2, , 0, 1, 0, ", 2.0f, none, 0.0f, 0.0f},
        {"s, 0, 0, 0, 2, , 1, 0, 0, -0.5, 3", 6.0f, D3DXVECTOR3(1.0f, 0.0f, 0.0f), -0.5f, 0.0f},
    };
    for (const Case& c : cases) {
        WriteMeshes("sprite.rdf", std::string("h = empty\nsprite = ") + c.entry + "\n");
        auto tree = Load("sprite.rdf");
        ASSERT_TRUE(tree) << c.entry;
        auto object = tree->GetChild("s");
        CPSprite* sprite = SpriteOf(object);
        ASSERT_NE(sprite, nullptr) << c.entry;
        EXPECT_EQ(sprite->GetOwner(), object.Get()) << c.entry;
        EXPECT_FLOAT_EQ(sprite->GetHalfWidth(), 2.0f) << c.entry;
        EXPECT_FLOAT_EQ(sprite->GetHalfHeight(), c.halfHeight) << c.entry;
        EXPECT_EQ(sprite->GetDirection(), c.direction) << c.entry;
        EXPECT_FLOAT_EQ(sprite->GetConeAngle(), c.cone) << c.entry;
        EXPECT_FLOAT_EQ(sprite->GetVShift(), c.vShift) << c.entry;
        // The empty kind's sprites get bounds of their size and keep their static flag.
        EXPECT_EQ(object->GetOwnBox().GetHalfSize(), D3DXVECTOR3(2.0f, 2.0f, 2.0f)) << c.entry;
        EXPECT_TRUE(object->IsStatic()) << c.entry;
        EXPECT_FALSE(object->IsCastsShadow()) << c.entry;
    }
}

TEST_F(RenderDescriptionTest, MissingDescriptionFallsBackOnceWithTheSameBase) {
    WriteMeshes("wrong.rdf", "h = empty\nsprite = w, 0, 0, 0, 1\n[w]\ntype = 5\n");
    auto tree = Load("missing.rdf", 60);
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->GetName(), "empty");
    CPSprite* sprite = SpriteOf(tree->GetChild("w"));
    ASSERT_NE(sprite, nullptr);
    ASSERT_TRUE(sprite->GetMaterial());
    EXPECT_EQ(sprite->GetMaterial()->GetRenderKey(), 65);
    EXPECT_FALSE(library->IsInFallback());
}

TEST_F(RenderDescriptionTest, MissingFallbackAnswersEmpty) {
    EXPECT_FALSE(Load("missing.rdf"));
    EXPECT_FALSE(Load("wrong.rdf"));
    EXPECT_FALSE(Load("WRONG.RDF"));
    EXPECT_FALSE(library->IsInFallback());
    EXPECT_TRUE(library->LoadChain().empty());
}

TEST_F(RenderDescriptionTest, HeadersThatNameNoFile) {
    const char* const headers[] = {"", "h", "h =", "h = ab", "h = p3d", "[section]", "h = \"\"", "= = ="};
    for (const char* header : headers) {
        WriteMeshes("odd.rdf", std::string(header) + "\nsprite = s, 0, 0, 0, 1\n");
        EXPECT_FALSE(Load("odd.rdf")) << header;
        EXPECT_FALSE(library->IsShadowTexturesActive()) << header;
    }
    // The header's letter case is kept for the file name; the last mesh file is lower-cased.
    WriteMeshes("house.rdf", "h = House.P3D\n");
    EXPECT_FALSE(Load("house.rdf"));
    EXPECT_EQ(library->GetLastMeshFile(), "house.p3d");
}

TEST_F(RenderDescriptionTest, EmptyFileAnswersEmpty) {
    WriteMeshes("blank.rdf", "");
    EXPECT_FALSE(Load("blank.rdf"));
    WriteMeshes("comment.rdf", "// nothing here\n");
    EXPECT_FALSE(Load("comment.rdf"));
}

TEST_F(RenderDescriptionTest, ShadowTexturesHoldOnlyDuringTheLoad) {
    WriteMeshes("shadowed.rdf", "h = empty\nshadowtextures = Shadows, _S.tga, _shadow.fx\n");
    ASSERT_TRUE(Load("shadowed.rdf"));
    EXPECT_FALSE(library->IsShadowTexturesActive());
    EXPECT_EQ(library->GetShadowTextureFolder(), "shadows");
    EXPECT_EQ(library->GetShadowTextureSuffix(), "_s.tga");
    EXPECT_EQ(library->GetShadowEffectSuffix(), "_shadow.fx");

    WriteMeshes("short.rdf", "h = empty\nshadowtextures = only\n");
    ASSERT_TRUE(Load("short.rdf"));
    EXPECT_EQ(library->GetShadowTextureFolder(), "only");
    EXPECT_EQ(library->GetShadowTextureSuffix(), "");
    EXPECT_EQ(library->GetShadowEffectSuffix(), "");
}

TEST_F(RenderDescriptionTest, DescriptionFileIsLoadedIntoTheRoot) {
    root->Write("Data/Descriptions/monster.xml", "<?xml version=\"1.0\"?>\n<enemy name=\"grunt\"/>\n");
    WriteMeshes("monster.rdf", "h = empty\ndescription = Monster.xml\n");
    auto tree = Load("monster.rdf");
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->GetDescriptionFile(), "monster.xml");
    ASSERT_NE(tree->GetDescription().RootElement(), nullptr);
    EXPECT_STREQ(tree->GetDescription().RootElement()->Attribute("name"), "grunt");
}

// ---- lens-flare pools ------------------------------------------------------------------------

const char* const kFlares = "h = empty\n"
                            "sprite = one, 0, 0, 0, 1, , , , , , , , sun\n"
                            "sprite = two, 0, 0, 0, 1, , , , , , , , sun\n"
                            "sprite = three, 0, 0, 0, 1\n";

TEST_F(RenderDescriptionTest, FlareSpritesShareOnePoolOfTheirName) {
    FakeOverlayMaker maker;
    FakePoolSink sink;
    SetLensFlareOverlayMaker(&maker);
    SetLensFlarePoolSink(&sink);
    g_lensflare = 1;
    WriteMeshes("flares.rdf", kFlares);
    auto tree = Load("flares.rdf");
    ASSERT_TRUE(tree);
    EXPECT_EQ(SpriteOf(tree->GetChild("one"))->GetName(), "sun");
    EXPECT_EQ(SpriteOf(tree->GetChild("two"))->GetName(), "sun");
    EXPECT_EQ(SpriteOf(tree->GetChild("three"))->GetName(), "");
    ASSERT_EQ(sink.pools.size(), 1u);
    ASSERT_EQ(sink.pools["sun"].size(), static_cast<std::size_t>(kLensFlarePoolSize));
    EXPECT_EQ(kLensFlarePoolSize, 24);
    EXPECT_EQ(maker.asked.size(), 24u);
    for (const auto& overlay : maker.made) {
        EXPECT_EQ(overlay->flareName, "sun");
        EXPECT_EQ(overlay->references, 1);
    }
    // A second load finds the pool made.
    ASSERT_TRUE(Load("flares.rdf"));
    EXPECT_EQ(maker.asked.size(), 24u);
    sink.pools.clear();
    for (const auto& overlay : maker.made) EXPECT_EQ(overlay->references, 0);
}

TEST_F(RenderDescriptionTest, NoFlaresWhenSwitchedOffAndNoPoolWithoutALevel) {
    FakeOverlayMaker maker;
    FakePoolSink sink;
    SetLensFlareOverlayMaker(&maker);
    WriteMeshes("flares.rdf", kFlares);

    // No sink: the sprites are flare sources, but no level holds a pool.
    g_lensflare = 1;
    auto tree = Load("flares.rdf");
    ASSERT_TRUE(tree);
    EXPECT_EQ(SpriteOf(tree->GetChild("one"))->GetName(), "sun");
    EXPECT_TRUE(maker.asked.empty());

    // Switched off: no names and no pools, even with a level.
    SetLensFlarePoolSink(&sink);
    g_lensflare = 0;
    tree = Load("flares.rdf");
    ASSERT_TRUE(tree);
    EXPECT_EQ(SpriteOf(tree->GetChild("one"))->GetName(), "");
    EXPECT_TRUE(sink.pools.empty());
    EXPECT_TRUE(maker.asked.empty());
}

TEST_F(RenderDescriptionTest, PoolIsCompleteOrNotMade) {
    FakeOverlayMaker maker;
    FakePoolSink sink;
    SetLensFlarePoolSink(&sink);
    // Without a maker nothing is made, and a later call with one still makes the pool.
    EnsureLensFlarePool("sun");
    EXPECT_TRUE(sink.pools.empty());

    SetLensFlareOverlayMaker(&maker);
    maker.failAfter = 10;
    EnsureLensFlarePool("sun");
    EXPECT_TRUE(sink.pools.empty());
    for (const auto& overlay : maker.made) EXPECT_EQ(overlay->references, 0);

    maker.failAfter = -1;
    maker.made.clear();
    EnsureLensFlarePool("sun");
    EnsureLensFlarePool("moon");
    EnsureLensFlarePool("sun");
    ASSERT_EQ(sink.pools.size(), 2u);
    EXPECT_EQ(sink.pools["sun"].size(), 24u);
    EXPECT_EQ(sink.pools["moon"].size(), 24u);
    EXPECT_EQ(maker.made.size(), 48u);
    sink.pools.clear();
}

} // namespace
} // namespace desctest
