// Render descriptions over mesh and animation node files: the parent rules of sprites, lights and
// particle systems, line key points and colour, levels of detail (with cycles), the weather rule,
// static buffers and part animations through a whole load, and descriptions cut at every length.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "DescriptionFixture.h"
#include "Framework/PSettings.h"
#include "Render/PLight.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Scene/PPartAnimation.h"
#include "Scene/PParticleSystem.h"
#include "support/MeshFileWriter.h"

namespace desctest {
namespace {

class MeshDescriptionTest : public DescriptionFixture {
protected:
    // house.msh (plain) and house.p3d: house > roof > chimney, and house > door.
    void WriteHouse() const {
        kxtest::MeshNode house = kxtest::TriangleNode("house");
        kxtest::MeshNode roof = kxtest::TriangleNode("roof");
        roof.children.push_back(kxtest::TriangleNode("chimney"));
        house.children.push_back(roof);
        house.children.push_back(kxtest::TriangleNode("door"));
        root->Write("Data/Meshes/house.msh", kxtest::MeshFileWriter(false).AddNode(house).Build().bytes);
        root->Write("Data/Meshes/house.p3d", kxtest::MeshFileWriter(true).AddNode(house).Build().bytes);
    }
    static std::string ParentName(const CPSmartPtr<CPGameObject>& object) {
        return object && object->GetParentPointer() ? object->GetParentPointer()->GetName() : std::string("<none>");
    }
};

TEST_F(MeshDescriptionTest, ParentRulesOfEachEntry) {
    WriteHouse();
    WriteMeshes("house.rdf", "h = house.msh\n"
                             "sprite = s1, 0, 0, 0, 1\n"
                             "sprite = s2, 0, 0, 0, 1, roof\n"
                             "sprite = s3, 0, 0, 0, 1, nowhere\n"
                             "sprite = s4, 0, 0, 0, 1, chimney\n"
                             "light = l1, house, , 1, 2, 3, 1, 0.5, 0.25, 0.1, 20\n"
                             "light = l2, roof, , 0, 0, 0, 1, 1, 1, 0, 5\n"
                             "light = l3, chimney, , 0, 0, 0, 1, 1, 1, 0, 5\n"
                             "light = l4, nowhere, , 0, 0, 0, 1, 1, 1, 0, 5\n"
                             "light = l5, , , 0, 0, 0, 1, 1, 1, 0, 5\n"
                             "psystem = p1, house, 1, 2, 3, 0.25, smoke, fire\n"
                             "psystem = p2, roof, 0, 0, 0, 0.5\n"
                             "psystem = p3, chimney, 0, 0, 0, 0.5\n"
                             "psystem = p4, nowhere, 0, 0, 0, 0.5\n");
    auto tree = Load("house.rdf");
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->GetName(), "house");
    EXPECT_EQ(tree->GetRenderDescriptionName(), "house.rdf");
    struct Case {
        const char* name;
        const char* parent; // "<none>": not in the tree
    };
    const Case cases[] = {
        {"s1", "house"}, {"s2", "roof"},    {"s3", "house"},  {"s4", "chimney"}, {"l1", "house"},
        {"l2", "roof"},  {"l3", "chimney"}, {"l4", "<none>"}, {"l5", "<none>"},  {"p1", "house"},
        {"p2", "roof"},  {"p3", "<none>"},  {"p4", "<none>"},
    };
    for (const Case& c : cases) EXPECT_EQ(ParentName(Named(tree, c.name)), c.parent) << c.name;

    // Sprites of a mesh file: not static, no shadow, the constructor's bounds.
    auto sprite = Named(tree, "s2");
    EXPECT_FALSE(sprite->IsStatic());
    EXPECT_FALSE(sprite->IsCastsShadow());
    EXPECT_EQ(sprite->GetOwnBox().GetHalfSize(), CPGameObject("x").GetOwnBox().GetHalfSize());

    auto lamp = Named(tree, "l1");
    ASSERT_EQ(lamp->GetKind(), IPSceneObject::KindLight);
    auto* light = dynamic_cast<CPLight*>(lamp->GetAttachment().Get());
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->GetOwner(), lamp.Get());
    const D3DLIGHT9& record = light->Record();
    EXPECT_EQ(record.Type, D3DLIGHT_POINT);
    for (const D3DCOLORVALUE* colour : {&record.Diffuse, &record.Specular, &record.Ambient}) {
        EXPECT_FLOAT_EQ(colour->r, 1.0f);
        EXPECT_FLOAT_EQ(colour->g, 0.5f);
        EXPECT_FLOAT_EQ(colour->b, 0.25f);
        EXPECT_FLOAT_EQ(colour->a, 0.0f);
    }
    EXPECT_FLOAT_EQ(record.Range, 20.0f);
    EXPECT_FLOAT_EQ(record.Attenuation0, 0.0f);
    EXPECT_FLOAT_EQ(record.Attenuation1, 0.1f);
    EXPECT_FLOAT_EQ(record.Attenuation2, 0.0f);
    EXPECT_FLOAT_EQ(record.Falloff, 0.0f);
    EXPECT_EQ(lamp->GetOwnBox().GetHalfSize(), D3DXVECTOR3(20.0f, 20.0f, 20.0f));
    EXPECT_EQ(lamp->GetPosition(), D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    EXPECT_FALSE(lamp->IsCastsShadow());

    auto emitter = Named(tree, "p1");
    ASSERT_EQ(emitter->GetKind(), IPSceneObject::KindParticles);
    auto* system = dynamic_cast<CPParticleSystem*>(emitter->GetAttachment().Get());
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->GetOwner(), emitter.Get());
    EXPECT_FLOAT_EQ(system->GetInterval(), 0.25f);
    EXPECT_EQ(system->GetNames(), (std::vector<std::string>{"smoke", "fire"}));
    EXPECT_EQ(emitter->GetOwnBox().GetHalfSize(), D3DXVECTOR3(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(emitter->GetPosition(), D3DXVECTOR3(1.0f, 2.0f, 3.0f));
}

TEST_F(MeshDescriptionTest, AnimatedSetSpritesNeedAParentThatExists) {
    kxtest::AnimatedNode robot = kxtest::TriangleAnimatedNode("robot");
    robot.children.push_back(kxtest::TriangleAnimatedNode("arm"));
    root->Write("Data/Meshes/robot.anm", kxtest::BuildAnimationNodeFile(robot).bytes);
    WriteMeshes("robot.rdf", "h = anim;run,robot.anm;walk,missing.anm\n"
                             "sprite = s1, 0, 0, 0, 2\n"
                             "sprite = s2, 0, 0, 0, 2, robot\n"
                             "sprite = s3, 0, 0, 0, 2, arm\n"
                             "sprite = s4, 0, 0, 0, 2, nowhere\n");
    auto tree = Load("robot.rdf");
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->GetName(), "robot");
    EXPECT_EQ(tree->GetRenderDescriptionName(), "robot.rdf");
    EXPECT_EQ(library->GetCurrentAnimationFile(), "missing.anm");
    const std::pair<const char*, const char*> cases[] = {
        {"s1", "robot"}, {"s2", "robot"}, {"s3", "arm"}, {"s4", "<none>"}};
    for (const auto& [name, parent] : cases) EXPECT_EQ(ParentName(Named(tree, name)), parent) << name;
    auto sprite = Named(tree, "s3");
    EXPECT_FALSE(sprite->IsStatic());
    EXPECT_FALSE(sprite->IsCastsShadow());
    EXPECT_EQ(sprite->GetOwnBox().GetHalfSize(), D3DXVECTOR3(2.0f, 2.0f, 2.0f));
    ASSERT_FALSE(tree->GetLevelsOfDetail().empty());
    EXPECT_EQ(tree->GetLevelsOfDetail()[0].object, tree.Get());

    // Only missing files: no root, nothing else.
    WriteMeshes("ghost.rdf", "h = anim;run,missing.anm\nsprite = s, 0, 0, 0, 1\n");
    EXPECT_FALSE(Load("ghost.rdf"));
    WriteMeshes("bare.rdf", "h = anim\n");
    EXPECT_FALSE(Load("bare.rdf"));
}

TEST_F(MeshDescriptionTest, AnimatedSetSpritesAfterALevelOfDetailGoWithoutShadowTextures) {
    root->Write("Data/Meshes/robot.anm", kxtest::BuildAnimationNodeFile(kxtest::TriangleAnimatedNode("robot")).bytes);
    root->Write("Data/Textures/shadows/glow_s.tga", "t");
    root->Write("Data/Effects/one_shadow.fx", "technique T { pass P0 { } }\n");
    WriteMeshes("far.rdf", "h = empty\n");
    const char* const body = "shadowtextures = shadows, _s.tga, _shadow.fx\n"
                             "sprite = glow, 0, 0, 0, 1\n"
                             "[glow]\neffectfile = one.fx\ntexturefile1 = glow.tga\n";
    struct Case {
        const char* lods;
        const char* effect;
        std::vector<std::string> textures;
    };
    const Case cases[] = {
        {"", "one_shadow.fx", {"glow.tga", "shadows\\glow_s.tga"}},
        {"lod = far.rdf, 50\n", "one.fx", {"glow.tga"}},
    };
    for (const Case& c : cases) {
        WriteMeshes("robot.rdf", std::string("h = anim;run,robot.anm\n") + c.lods + body);
        auto tree = Load("robot.rdf");
        ASSERT_TRUE(tree);
        auto* sprite = dynamic_cast<CPSprite*>(Named(tree, "glow")->GetAttachment().Get());
        ASSERT_NE(sprite, nullptr);
        EXPECT_EQ(sprite->GetMaterial().Get(), Expected(0, c.effect, c.textures).Get()) << c.lods;
    }
}

TEST_F(MeshDescriptionTest, LineKeyPointsAndColour) {
    WriteHouse();
    struct Case {
        const char* value; // null: no line
        unsigned colour;
    };
    const Case cases[] = {
        {nullptr, CPGameObject::kDefaultLineColour},
        {"ff00ff00", 0xff00ff00u},
        {"0x12", 0x12u},
        {"FFAA", 0xffaau},
        {"zz", CPGameObject::kDefaultLineColour},
        {"", CPGameObject::kDefaultLineColour},
        {"123456789abc", 0xffffffffu},
    };
    for (const Case& c : cases) {
        std::string text = "h = house.msh\nlinekeypoint = 1, 2, 3\nlinekeypoint = 4\n";
        if (c.value) text += std::string("linecolor = ") + c.value + "\n";
        WriteMeshes("line.rdf", text);
        auto tree = Load("line.rdf");
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->GetLineColour(), c.colour) << (c.value ? c.value : "none");
        ASSERT_EQ(tree->LineKeyPoints().size(), 2u);
        EXPECT_EQ(tree->LineKeyPoints()[0], D3DXVECTOR3(1.0f, 2.0f, 3.0f));
        EXPECT_EQ(tree->LineKeyPoints()[1], D3DXVECTOR3(4.0f, 0.0f, 0.0f));
    }
}

TEST_F(MeshDescriptionTest, LevelsOfDetail) {
    WriteHouse();
    WriteMeshes("far.rdf", "h = house.msh\n");
    WriteMeshes("near.rdf", "h = house.msh\nlod = null, 300\nlod = far.rdf, 100\nlod = missing.p3d.rdf, 50\n");
    WriteMeshes("wrong.rdf", "h = empty\n");
    auto tree = Load("near.rdf");
    ASSERT_TRUE(tree);
    const auto& lods = tree->GetLevelsOfDetail();
    ASSERT_EQ(lods.size(), 4u);
    EXPECT_EQ(lods[0].object, tree.Get());
    EXPECT_FALSE(lods[0].held);
    EXPECT_EQ(lods[0].distance, 0);
    EXPECT_EQ(lods[1].object, nullptr);
    EXPECT_EQ(lods[1].distance, 300);
    ASSERT_NE(lods[2].object, nullptr);
    EXPECT_EQ(lods[2].object->GetRenderDescriptionName(), "far.rdf");
    EXPECT_EQ(lods[2].distance, 100);
    // A missing description stands in with the fall-back.
    ASSERT_NE(lods[3].object, nullptr);
    EXPECT_EQ(lods[3].object->GetName(), "empty");
}

TEST_F(MeshDescriptionTest, LevelOfDetailCyclesGiveEntriesWithoutObject) {
    WriteHouse();
    WriteMeshes("self.rdf", "h = house.msh\nlod = SELF.rdf, 10\n");
    WriteMeshes("a.rdf", "h = house.msh\nlod = b.rdf, 10\n");
    WriteMeshes("b.rdf", "h = house.msh\nlod = a.rdf, 20\n");

    auto self = Load("self.rdf");
    ASSERT_TRUE(self);
    ASSERT_EQ(self->GetLevelsOfDetail().size(), 2u);
    EXPECT_EQ(self->GetLevelsOfDetail()[1].object, nullptr);
    EXPECT_EQ(self->GetLevelsOfDetail()[1].distance, 10);

    auto a = Load("a.rdf");
    ASSERT_TRUE(a);
    ASSERT_EQ(a->GetLevelsOfDetail().size(), 2u);
    CPGameObject* b = a->GetLevelsOfDetail()[1].object;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetRenderDescriptionName(), "b.rdf");
    ASSERT_EQ(b->GetLevelsOfDetail().size(), 2u);
    EXPECT_EQ(b->GetLevelsOfDetail()[1].object, nullptr);
    EXPECT_TRUE(library->LoadChain().empty());
}

TEST_F(MeshDescriptionTest, NestedLoadsOfOneLoadAreBounded) {
    WriteHouse();
    // 20 + 400 + 8,000 loads if every entry were loaded.
    const std::pair<const char*, const char*> files[] = {{"a.rdf", "b.rdf"}, {"b.rdf", "c.rdf"}, {"c.rdf", "d.rdf"}};
    for (const auto& [file, next] : files) {
        std::string text = "h = house.msh\n";
        for (int i = 0; i < 20; ++i) text += std::string("lod = ") + next + ", " + std::to_string(i) + "\n";
        WriteMeshes(file, text);
    }
    WriteMeshes("d.rdf", "h = house.msh\n");
    for (int run = 0; run < 2; ++run) {
        auto tree = Load("a.rdf");
        ASSERT_TRUE(tree);
        int loaded = 0;
        std::vector<CPGameObject*> pending{tree.Get()};
        while (!pending.empty()) {
            CPGameObject* object = pending.back();
            pending.pop_back();
            const auto& lods = object->GetLevelsOfDetail();
            for (std::size_t i = 1; i < lods.size(); ++i)
                if (lods[i].object) {
                    ++loaded;
                    pending.push_back(lods[i].object);
                }
        }
        EXPECT_EQ(loaded, 256) << "run " << run;
        // Every entry is there, with or without its object.
        EXPECT_EQ(tree->GetLevelsOfDetail().size(), 21u);
        ASSERT_NE(tree->GetLevelsOfDetail()[1].object, nullptr);
    }
}

TEST_F(MeshDescriptionTest, WeatherSkipsOnlyTheSnowSystems) {
    WriteHouse();
    WriteMeshes("weather.rdf", "h = house.msh\n"
                               "psystem = snow, house, 0, 0, 0, 1\n"
                               "psystem = snow2, house, 0, 0, 0, 1\n"
                               "psystem = snow3, house, 0, 0, 0, 1\n"
                               "psystem = snow4, house, 0, 0, 0, 1\n"
                               "psystem = rain, house, 0, 0, 0, 1\n");
    for (int weather : {0, 1}) {
        g_weather = weather;
        auto tree = Load("weather.rdf");
        ASSERT_TRUE(tree);
        for (const char* name : {"snow", "snow2", "snow3"})
            EXPECT_EQ(static_cast<bool>(tree->GetChild(name)), weather == 1) << name << " weather " << weather;
        for (const char* name : {"snow4", "rain"}) {
            auto system = tree->GetChild(name);
            ASSERT_TRUE(system) << name << " weather " << weather;
            EXPECT_EQ(system->GetKind(), IPSceneObject::KindParticles);
        }
    }
}

TEST_F(MeshDescriptionTest, MissingMeshFileAnswersEmpty) {
    WriteMeshes("wrong.rdf", "h = empty\n");
    WriteMeshes("nomesh.rdf", "h = gone.p3d\nsprite = s, 0, 0, 0, 1\nlight = l, , , 0, 0, 0, 1, 1, 1, 0, 1\n"
                              "psystem = p, , 0, 0, 0, 1\nlod = wrong.rdf, 5\n");
    EXPECT_FALSE(Load("nomesh.rdf"));
    EXPECT_EQ(library->GetLastMeshFile(), "gone.p3d");
}

TEST_F(MeshDescriptionTest, StaticBuffersThroughAWholeLoad) {
    ASSERT_TRUE(StartRenderer());
    WriteHouse();
    WriteMeshes("house.rdf", "h = House.p3d\n[door]\nvertexeffect = fade 0.5\n");
    auto first = Load("house.rdf");
    ASSERT_TRUE(first);
    CPRenderObject* roof = Named(first, "roof")->GetRenderObject();
    ASSERT_NE(roof, nullptr);
    EXPECT_EQ(roof->GetStaticBufferName(), "house.p3droof");
    ASSERT_NE(roof->GetStaticBuffer(), nullptr);
    EXPECT_TRUE(roof->IsFillSkipped());
    CPRenderObject* door = Named(first, "door")->GetRenderObject();
    EXPECT_FALSE(door->IsFillSkipped());
    EXPECT_EQ(door->GetStaticBuffer(), nullptr);

    auto second = Load("house.rdf");
    ASSERT_TRUE(second);
    EXPECT_EQ(Named(second, "roof")->GetRenderObject()->GetStaticBuffer(), roof->GetStaticBuffer());
}

TEST_F(MeshDescriptionTest, IdleTrackOfItsOwnOnEveryMatchingObject) {
    kxtest::MeshNode car = kxtest::TriangleNode("car");
    kxtest::MeshNode axle = kxtest::TriangleNode("axle");
    axle.children.push_back(kxtest::TriangleNode("wheel"));
    car.children.push_back(kxtest::TriangleNode("wheel"));
    car.children.push_back(axle);
    car.children.push_back(kxtest::TriangleNode("body"));
    root->Write("Data/Meshes/car.msh", kxtest::MeshFileWriter(false).AddNode(car).Build().bytes);
    kxtest::PartKey a, b, c;
    b.time = 0.5f;
    c.time = 1.0f;
    root->Write("Data/Animations/wheels.anm",
                kxtest::BuildPartAnimationFile({{"WHEEL", {a, b, c}}, {"axle", {a, b, c}}, {"nosuch", {a}}}).bytes);
    WriteMeshes("car.rdf", "h = car.msh\n[car]\nanimation = idle, wheels.anm; spin, missing.anm\n");

    auto tree = Load("car.rdf");
    ASSERT_TRUE(tree);
    std::vector<CPSmartPtr<CPGameObject>> all;
    tree->CollectTree(all);
    std::set<const IPTask*> tracks;
    int animated = 0;
    for (const auto& object : all) {
        const bool matches = object->GetName() == "wheel" || object->GetName() == "axle";
        EXPECT_EQ(object->HasPartAnimations(), matches) << object->GetName();
        if (!matches) continue;
        ++animated;
        auto* track = dynamic_cast<CPPartAnimation*>(object->GetCurrentPartAnimation().Get());
        ASSERT_NE(track, nullptr) << object->GetName();
        EXPECT_EQ(track->GetOwner(), static_cast<IPPartAnimationOwner*>(object.Get()));
        EXPECT_TRUE(track->IsLooping());
        EXPECT_EQ(track->GetKeys().size(), 3u);
        EXPECT_EQ(object->GetPartAnimations().size(), 1u);
        tracks.insert(track);
    }
    EXPECT_EQ(animated, 3);
    EXPECT_EQ(tracks.size(), 3u);
}

TEST_F(MeshDescriptionTest, DescriptionCutAtEveryLength) {
    WriteHouse();
    WriteMeshes("wrong.rdf", "h = empty\n");
    WriteMeshes("far.rdf", "h = house.msh\n");
    const std::string full = "h = house.p3d\n"
                             "shadowtextures = shadows, _s.tga, _shadow.fx\n"
                             "sprite = s, 1, 2, 3, 1, roof, 0, 0, 1, 0.5, 2, 0.1, sun\n"
                             "light = l, roof, , 0, 0, 0, 1, 1, 1, 0, 5\n"
                             "psystem = p, house, 0, 0, 0, 0.5, smoke\n"
                             "lod = far.rdf, 100\nlod = null, 300\n"
                             "linekeypoint = 1, 2, 3\nlinecolor = ff00ff00\n"
                             "[roof]\ntype = 3\nvertexeffect = flick 0.5,10,200\n"
                             "[\"house\"]\nanimation = idle, part.anm\nscript = none\n";
    for (std::size_t length = 0; length <= full.size(); ++length) {
        WriteMeshes("cut.rdf", full.substr(0, length));
        auto tree = Load("cut.rdf");
        EXPECT_FALSE(library->IsShadowTexturesActive()) << length;
        EXPECT_FALSE(library->IsInFallback()) << length;
        EXPECT_TRUE(library->LoadChain().empty()) << length;
    }
}

} // namespace
} // namespace desctest
