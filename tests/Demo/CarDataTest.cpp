// The demo's cars load from the game root as the race asks for them: the player's two designs
// by name and the opponents by the names the level loader makes, each with its physics box, the
// children the car and the weapons look up, and its description of driving and cameras.
#include <string>
#include <vector>

#include "DemoRoot.h"
#include "Framework/StartupRegistry.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRenderObject.h"
#include "Render/PRenderSeams.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"
#include "World/PCarDescription.h"
#include "World/PGearBox.h"
#include "World/PPhysicData.h"
#include "World/RaceWorldStartup.h"

#include <tinyxml.h>

namespace demotest {
namespace {

class DemoCars : public DemoRoot {
protected:
    void SetUp() override {
        DemoRoot::SetUp();
        InstallRaceWorld(registry);
    }
    void TearDown() override {
        SetPhysicDataMaker(nullptr);
        SetRaceWorld(nullptr);
        SetPlanarShadowSource(nullptr);
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        DemoRoot::TearDown();
    }
    CPSmartPtr<CPGameObject> Load(const std::string& file) {
        EXPECT_FALSE(ReadThroughFileLayer("Data/Meshes/" + file).empty()) << file << " is missing";
        return library.LoadRenderDescription(file, 20);
    }
    SPStartupRegistry registry;
    CPAnimationLibrary library;
};

const char* const kCars[] = {"runner.rdf",        "hauler.rdf",        "subaru5_enemy.rdf", "subaru4_enemy.rdf",
                             "subaru3_enemy.rdf", "celica5_enemy.rdf", "celica4_enemy.rdf", "celica3_enemy.rdf"};

TEST_F(DemoCars, EveryCarHasItsBodyWheelsLampsFlamesAndWeapons) {
    for (const char* file : kCars) {
        SCOPED_TRACE(file);
        CPSmartPtr<CPGameObject> car = Load(file);
        ASSERT_TRUE(car);
        EXPECT_NE(car->GetName(), "wrong");
        auto* body = dynamic_cast<CPPhysicData*>(car->GetPhysicData().Get());
        ASSERT_NE(body, nullptr);
        EXPECT_GT(body->GetMass(), 0.0f);
        EXPECT_EQ(car->PartBoxes().size(), 4u);
        for (const char* child : {"w0", "w1", "w2", "w3", "stoplights", "stoplights2", "backlights", "backlights2"})
            EXPECT_TRUE(car->GetChild(child)) << child;
        // The front wheels are the first two, ahead (toward -y) of the back ones.
        EXPECT_LT(car->GetChild("w0")->GetPosition().y, car->GetChild("w2")->GetPosition().y);
        for (const char* flame : {"fire_a", "fire_b", "fire_aa", "fire_bb", "fire_front", "glare_front"}) {
            CPSmartPtr<CPGameObject> object = car->FindObject(flame);
            ASSERT_TRUE(object) << flame;
            ASSERT_NE(object->GetRenderObject(), nullptr) << flame;
            EXPECT_FALSE(object->GetRenderObject()->GetVertexEffects().empty()) << flame;
        }
        for (const std::string weapon : {"mgun", "hmgun", "rlauncher", "plasma"}) {
            CPSmartPtr<CPGameObject> gun = car->FindObject(weapon);
            ASSERT_TRUE(gun) << weapon;
            EXPECT_FALSE(gun->IsVisible()) << weapon << " shows only when chosen";
            for (const char* suffix : {"", "_01", "_02", "_03"})
                EXPECT_TRUE(car->FindObject("flare_" + weapon + suffix)) << weapon << suffix;
        }
        ASSERT_TRUE(car->FindObject("hmgun"));
        EXPECT_TRUE(car->FindObject("hmgun")->GetChild("stvol"));
    }
}

TEST_F(DemoCars, DescriptionsDriveAndPlaceTheCameras) {
    for (const char* file : kCars) {
        SCOPED_TRACE(file);
        CPSmartPtr<CPGameObject> car = Load(file);
        ASSERT_TRUE(car);
        const TiXmlDocument& document = car->GetDescription();
        ASSERT_NE(document.FirstChildElement("physics"), nullptr) << car->GetDescriptionFile();
        for (const char* camera : {"camera", "camera2", "camera3"}) {
            const TiXmlElement* element = document.FirstChildElement(camera);
            ASSERT_NE(element, nullptr) << camera;
            double distance = 0;
            EXPECT_EQ(element->QueryDoubleAttribute("distance", &distance), TIXML_SUCCESS);
            EXPECT_GT(distance, 0.0);
        }
        SPCarDescription description;
        SPCarScriptParams script;
        GearBox gears;
        EXPECT_TRUE(ReadCarDescription(document, description, gears, script));
        EXPECT_TRUE(script.present);
        EXPECT_EQ(description.wheelCount, 4);
        EXPECT_GT(description.maxFrontSpeed, 25.0f);
        EXPECT_GE(gears.Gears().size(), 5u);
        EXPECT_EQ(description.shadowName, "car_shadow.tga");
        EXPECT_FALSE(ReadThroughFileLayer("Data/Textures/" + description.shadowName).empty());
    }
}

TEST_F(DemoCars, TheOpponentsShareOneDesignInTwoSkins) {
    std::vector<std::string> skins;
    for (const char* file : {"subaru5_enemy.rdf", "celica5_enemy.rdf"}) {
        const std::string text = ReadThroughFileLayer(std::string("Data/Meshes/") + file);
        EXPECT_EQ(text.rfind("model = raider.p3d", 0), 0u) << text;
        const std::size_t at = text.find("texturefile1 = ", text.find("[body]"));
        ASSERT_NE(at, std::string::npos);
        skins.push_back(text.substr(at, text.find('\n', at) - at));
    }
    EXPECT_NE(skins[0], skins[1]);
}

} // namespace
} // namespace demotest
