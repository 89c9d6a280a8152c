// The demo's tables read through their own readers: the shots (every name the racers and the
// enemies fire, their models, follow-up shots, particle batches and sounds all there), the enemy
// types, the shop catalogs (every weapon a car can mount), the text table (the race's message
// keys), the particle tables (every batch the race world emits), the mission of level one with
// its source on the level, and the turret with its animations and enemy record.
#include <set>

#include "DemoRoot.h"
#include "Framework/CommandRouter.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTaskKernel.h"
#include "Framework/PTextReader.h"
#include "Framework/StartupRegistry.h"
#include "GameData/PGameData.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRenderSeams.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"
#include "World/PAITask.h"
#include "World/PLevel.h"
#include "World/PPhysics.h"
#include "World/PWorldTables.h"
#include "World/RaceWorldStartup.h"
#include "support/RecordingRouter.h"

namespace demotest {
namespace {

// The first field of every meaningful line of a table split at `separator`.
std::set<std::string> FirstFields(const std::string& path, const char* separator) {
    const std::string text = ReadThroughFileLayer(path);
    CPTextReader reader(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
    std::set<std::string> names;
    while (reader.ReadNextLine()) {
        CPStringSplitter splitter(reader.GetLine(), separator, true);
        std::string name;
        splitter.NextToken(name);
        names.insert(name);
    }
    return names;
}

class DemoTables : public DemoRoot {
protected:
    void SetUp() override {
        DemoRoot::SetUp();
        if (HasFatalFailure()) return;
        InstallRaceWorld(registry);
        SetCommandRouter(&router);
    }
    void TearDown() override {
        CPLevel::SetModelLoader(nullptr);
        SetCommandRouter(nullptr);
        SetPhysicDataMaker(nullptr);
        SetEnemyMaker(nullptr);
        SetRaceWorld(nullptr);
        SetPlanarShadowSource(nullptr);
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        DemoRoot::TearDown();
    }
    bool Meshes(const std::string& file) { return !ReadThroughFileLayer("Data/Meshes/" + file).empty(); }

    SPStartupRegistry registry;
    kxtest::RecordingRouter router;
    CPAnimationLibrary library;
};

TEST_F(DemoTables, EveryShotIsCompleteAndEveryFiredNameIsThere) {
    std::vector<SPShotRecord> shots;
    ASSERT_TRUE(ReadShotTable("Data\\shots.dat", shots));
    for (const std::string& line : log) EXPECT_EQ(line.find("skipped"), std::string::npos) << line;
    std::set<std::string> names;
    for (const SPShotRecord& shot : shots) names.insert(shot.name);
    const std::set<std::string> batches = FirstFields("Data/particles.dat", " ");
    for (const SPShotRecord& shot : shots) {
        SCOPED_TRACE(shot.name);
        if (!shot.model.empty()) EXPECT_TRUE(Meshes(shot.model)) << shot.model;
        if (!shot.impact.empty()) EXPECT_EQ(names.count(shot.impact), 1u) << shot.impact;
        if (!shot.launchParticles.empty()) EXPECT_EQ(batches.count(shot.launchParticles), 1u) << shot.launchParticles;
        if (!shot.endParticles.empty()) EXPECT_EQ(batches.count(shot.endParticles), 1u) << shot.endParticles;
        if (shot.sound != "none") EXPECT_FALSE(ReadThroughFileLayer("Data/Sounds/" + shot.sound).empty()) << shot.sound;
    }
    // What the racers' weapons and the enemies spawn by name.
    for (const char* fired :
         {"trasser11", "trasser12", "trasser13", "srocket1", "rocket1", "plazma", "gauss1", "trasser21", "trasser22",
          "trasser23", "plazma_shot2", "srocket2", "rocket_exp2", "gib1", "gib2", "spark_hit"})
        EXPECT_EQ(names.count(fired), 1u) << fired;
}

TEST_F(DemoTables, EveryBatchTheRaceWorldEmitsIsInTheParticleTable) {
    const std::set<std::string> batches = FirstFields("Data/particles.dat", " ");
    for (const char* batch : {"_pil_", "_pil_2", "iskra", "iskra_small", "gilze", "firethrower", "smoke3car", "derbis"})
        EXPECT_EQ(batches.count(batch), 1u) << batch;
}

TEST_F(DemoTables, TheEnemyTypesAndTheCatalogsMatchTheModels) {
    ASSERT_TRUE(LoadEnemyTable("Data\\enemies.dat"));
    ASSERT_EQ(EnemyData().count("turret"), 1u);
    const SPEnemyData& turret = EnemyData()["turret"];
    EXPECT_GT(turret.value1, 0.0f);
    EXPECT_TRUE(Meshes(turret.text1)) << turret.text1;

    CPGameData& data = store.Data();
    ASSERT_TRUE(data.LoadCatalogs());
    ASSERT_FALSE(data.weaponCatalog.items.empty());
    CPSmartPtr<CPGameObject> car = library.LoadRenderDescription("runner.rdf", 20);
    ASSERT_TRUE(car);
    for (const auto& [name, weapon] : data.weaponCatalog.items) {
        EXPECT_TRUE(car->FindObject(name)) << name << " has no mount on the car";
        EXPECT_TRUE(car->FindObject("flare_" + name)) << name;
    }
}

TEST_F(DemoTables, TheTextTableHoldsTheRacesMessages) {
    CPGameData& data = store.Data();
    data.LoadStrings();
    for (const char* key : {"bonus_time", "posledniy_krug!", "krug_proiden!", "checkpoint!", "game_title"})
        EXPECT_FALSE(data.GetText(key).empty()) << key;
    // Every catalog item's name and description is in the table.
    ASSERT_TRUE(data.LoadCatalogs());
    for (const auto& [name, weapon] : data.weaponCatalog.items) {
        EXPECT_FALSE(data.GetText("shop_" + name).empty()) << name;
        EXPECT_FALSE(data.GetText("shop_" + name + "_d").empty()) << name;
    }
}

TEST_F(DemoTables, TheMissionMatchesTheLevel) {
    CPTaskKernel kernel;
    CPSmartPtr<CPPhysics> physics(new CPPhysics());
    CPSmartPtr<AI_Task> drivers(new AI_Task());
    CPLevel::SetModelLoader(
        [this](const std::string& file, int key) { return library.LoadRenderDescription(file, key); });
    {
        CPLevel level;
        ASSERT_TRUE(level.Load("level1", false, false)) << level.GetLoadError();
        CPGameData& data = store.Data();
        ASSERT_TRUE(data.LoadMissionInfo("level1.txt", &level.namedPositions));
        EXPECT_EQ(data.checkpointInfos.size(), level.checkpoints.size());
        for (const SPCheckpointInfo& info : data.checkpointInfos) {
            EXPECT_FALSE(info.enemyKinds.empty());
            EXPECT_FALSE(info.bonusKinds.empty());
            EXPECT_EQ(info.bonusKinds.back().to, 100) << "bonus weights are percentages";
        }
        ASSERT_EQ(data.enemySources.count("turret1"), 1u);
        const SPEnemySource& source = data.enemySources["turret1"].front();
        const auto& position = level.namedPositions["turret"];
        EXPECT_FLOAT_EQ(source.position[0], position[0]);
        EXPECT_FLOAT_EQ(source.position[1], position[1]);
        EXPECT_NE(source.position[0], 0.0f);
        // The kinds the source sends are types of the enemy table.
        ASSERT_TRUE(LoadEnemyTable("Data\\enemies.dat"));
        for (const SPWeightedName& kind : source.enemyKinds) EXPECT_EQ(EnemyData().count(kind.name), 1u) << kind.name;
        level.Stop();
    }
}

TEST_F(DemoTables, TheTurretTurnsThroughItsAnimationsAndIsAnEnemy) {
    CPSmartPtr<CPGameObject> turret = library.LoadRenderDescription("turret.rdf", 0);
    ASSERT_TRUE(turret);
    EXPECT_EQ(turret->GetKind(), IPSceneObject::KindAnimated);
    auto* animated = dynamic_cast<CPAnimatedObject*>(turret->GetAttachment().Get());
    ASSERT_NE(animated, nullptr);
    for (const char* name : {"melee1", "fire_in", "fire", "fire_out", "death1"})
        EXPECT_EQ(animated->GetAnimations().count(name), 1u) << name;
    EXPECT_NE(turret->GetEnemy(), nullptr);
    // Shots find it by its part boxes.
    EXPECT_EQ(turret->PartBoxes().size(), 2u);
}

} // namespace
} // namespace demotest
