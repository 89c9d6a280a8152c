#include <gtest/gtest.h>
#include <tinyxml.h>

#include "Framework/CommandRouter.h"
#include "Scene/PGameObject.h"
#include "World/PCar.h"
#include "World/PCarDescription.h"
#include "World/PGearBox.h"
#include "support/CarDescriptionWriter.h"
#include "support/RecordingRouter.h"

namespace {

struct Read {
    SPCarDescription d;
    GearBox box;
    SPCarScriptParams script;
    bool foundGear = false;

    explicit Read(const std::string& text) {
        TiXmlDocument document;
        document.Parse(text.c_str());
        box.Reset();
        foundGear = ReadCarDescription(document, d, box, script);
    }
};

TEST(CarDescription, AnEmptyDocumentKeepsEveryDefault) {
    Read r("");
    const SPCarDescription defaults;
    EXPECT_FALSE(r.foundGear);
    EXPECT_EQ(r.d.wheelCount, 4);
    EXPECT_EQ(r.d.wheelLength, 1.5f);
    EXPECT_EQ(r.d.wheelRadius, 0.5f);
    EXPECT_EQ(r.d.frontSpring, 140.0f);
    EXPECT_EQ(r.d.rearSpring, 150.0f);
    EXPECT_EQ(r.d.damping, 150.0f);
    EXPECT_EQ(r.d.frontFriction, 100.0f);
    EXPECT_EQ(r.d.rearFriction, 240.0f);
    EXPECT_EQ(r.d.frontAcceleration, 100.0f);
    EXPECT_EQ(r.d.backAcceleration, 100.0f);
    EXPECT_EQ(r.d.pitchInertion, 0.1f);
    EXPECT_EQ(r.d.steerFactor, 0.5f);
    EXPECT_FALSE(r.d.pinMin);
    EXPECT_FALSE(r.d.pinMax);
    EXPECT_FALSE(r.d.debugLines);
    EXPECT_FALSE(r.script.present);
    EXPECT_TRUE(r.box.Gears().empty());
}

TEST(CarDescription, FixedAndDebugAttributes) {
    struct Case {
        const char* fixed; // null: attribute missing
        bool pinMin, pinMax;
    };
    for (const Case c : {Case{"MAX", false, true}, Case{"min", true, false}, Case{"Min", true, false},
                         Case{"none", false, false}, Case{nullptr, false, false}}) {
        kxtest::CarDescriptionWriter w;
        w.Element("physics/geometry/wheels");
        if (c.fixed) w.Set("physics/geometry/wheels", "fixed", c.fixed);
        Read r(w.Text());
        EXPECT_EQ(r.d.pinMin, c.pinMin) << (c.fixed ? c.fixed : "(missing)");
        EXPECT_EQ(r.d.pinMax, c.pinMax) << (c.fixed ? c.fixed : "(missing)");
    }
    EXPECT_TRUE(Read(kxtest::CarDescriptionWriter().Set("physics", "debug", "true").Text()).d.debugLines);
    EXPECT_FALSE(Read(kxtest::CarDescriptionWriter().Set("physics", "debug", "TRUE").Text()).d.debugLines);
}

TEST(CarDescription, WheelCountIsTruncatedAndLimitedToTheArrays) {
    struct Case {
        const char* text;
        int count;
    };
    for (const Case c : {Case{"10", 8}, Case{"3.9", 3}, Case{"-2", 0}, Case{"1e300", 8}, Case{"-1e300", 0},
                         Case{"nan", 4}, Case{"1e999", 4}, Case{"six", 4}, Case{" 6", 6}}) {
        Read r(kxtest::CarDescriptionWriter().Set("physics/geometry/wheels", "count", c.text).Text());
        EXPECT_EQ(r.d.wheelCount, c.count) << c.text;
    }
}

TEST(CarDescription, TextThatIsNotAFiniteFloatLeavesTheField) {
    for (const char* text : {"nan", "NaN", "inf", "-inf", "1e999", "1e39", "-4e38", "", "abc", "infinity"}) {
        Read r(kxtest::CarDescriptionWriter().Set("physics/params/wheels", "spring1", text).Text());
        EXPECT_EQ(r.d.frontSpring, 140.0f) << '"' << text << '"';
    }
    Read r(kxtest::CarDescriptionWriter().Set("physics/params/wheels", "spring1", "-12.5e1").Text());
    EXPECT_EQ(r.d.frontSpring, -125.0f);
}

TEST(CarDescription, GearsStartAtTheFirstGearAndTakeEverySiblingAfterIt) {
    kxtest::CarDescriptionWriter w;
    w.Gear({{"coeff", "9"}}, "step")
        .Gear({{"coeff", "1"}, {"min", "2"}, {"max", "3"}, {"change", "4"}, {"inc", "5"}})
        .Gear({{"coeff", "6"}}, "step")
        .Gear({{"max", "7"}});
    Read r(w.Text());
    EXPECT_TRUE(r.foundGear);
    ASSERT_EQ(r.box.Gears().size(), 3u);
    EXPECT_EQ(r.box.Gears()[0].coefficient, 1.0f);
    // A missing value keeps the previous gear's.
    EXPECT_EQ(r.box.Gears()[1].coefficient, 6.0f);
    EXPECT_EQ(r.box.Gears()[1].maximum, 3.0f);
    EXPECT_EQ(r.box.Gears()[2].coefficient, 6.0f);
    EXPECT_EQ(r.box.Gears()[2].maximum, 7.0f);
    EXPECT_EQ(r.box.Gears()[2].rise, 5.0f);
}

TEST(CarDescription, AFirstGearsMissingValuesComeFromTheDefaultFirstGear) {
    Read r(kxtest::CarDescriptionWriter().Gear({{"coeff", "2"}}).Text());
    ASSERT_EQ(r.box.Gears().size(), 1u);
    const SPGear& g = r.box.Gears()[0];
    EXPECT_EQ(g.coefficient, 2.0f);
    EXPECT_EQ(g.minimum, -1.0f);
    EXPECT_EQ(g.maximum, 0.0f);
    EXPECT_EQ(g.changeSpeed, 0.0f);
    EXPECT_EQ(g.rise, 1.0f);
    // Without its own elements the box keeps the default reverse gear and factors.
    EXPECT_EQ(r.box.ReverseGear().coefficient, -1.0f);
    EXPECT_EQ(r.box.ReverseGear().maximum, 3.0f);
    EXPECT_EQ(r.box.GetRiseFactor(), 1.0f);
    EXPECT_EQ(r.box.GetFallFactor(), 5.0f);
}

TEST(CarDescription, ReverseGearAndFactorsReplaceOnlyWhenPresent) {
    kxtest::CarDescriptionWriter w;
    w.Set("physics/gearbox/backgear", "coeff", "-2").Set("physics/gearbox/enginespeedcoeffs", "inc", "3");
    Read r(w.Text());
    EXPECT_EQ(r.box.ReverseGear().coefficient, -2.0f);
    EXPECT_EQ(r.box.ReverseGear().minimum, 1.0f);
    EXPECT_EQ(r.box.GetRiseFactor(), 3.0f);
    EXPECT_EQ(r.box.GetFallFactor(), 5.0f);
}

TEST(CarDescription, ScriptParametersNeedTheSteerAngle) {
    kxtest::CarDescriptionWriter w;
    w.Set("physics/params/speed", "angle", "0.75")
        .Set("physics/params/acceleration", "accel_front", "1.5")
        .Set("physics/params/acceleration", "speed_back", "nan")
        .Set("camera", "fov_div", "2");
    Read r(w.Text());
    EXPECT_TRUE(r.script.present);
    EXPECT_EQ(r.d.steerFactor, 0.75f);
    EXPECT_EQ(r.script.FirstText(), "0.75,2.00,1.50,0.00");
    EXPECT_EQ(r.script.SecondText(), "0.00,0.00");

    Read without(kxtest::CarDescriptionWriter().Set("physics/params/speed", "max_front_speed", "40").Text());
    EXPECT_FALSE(without.script.present);
    EXPECT_EQ(without.d.steerFactor, 0.5f);
    EXPECT_EQ(without.d.maxFrontSpeed, 40.0f);
}

TEST(CarDescription, ShadowName) {
    Read r(kxtest::CarDescriptionWriter().Set("render/shadow", "name", "shadow_car").Text());
    EXPECT_EQ(r.d.shadowName, "shadow_car");
}

// The car's own reading: only the human car sends its parameters, and only with "angle".
TEST(CarDescriptionCommands, OnlyTheHumanCarWithAnAngleSendsTheDriveScriptItsParameters) {
    kxtest::RecordingRouter router;
    IPCommandRouter* old = GetCommandRouter();
    SetCommandRouter(&router);
    struct Case {
        bool human;
        bool angle;
        size_t sent;
    };
    for (const Case c : {Case{true, true, 2}, Case{false, true, 0}, Case{true, false, 0}}) {
        router.sent.clear();
        CPSmartPtr<CPGameObject> racer(new CPGameObject("racer"));
        kxtest::CarDescriptionWriter w;
        w.Set("physics/params/speed", c.angle ? "angle" : "max_front_speed", "0.5");
        racer->Description().Parse(w.Text().c_str());
        CPSmartPtr<CPCar> car(new CPCar(racer.Get()));
        car->Init(nullptr, c.human);
        ASSERT_EQ(router.sent.size(), c.sent);
        if (c.sent == 2) {
            EXPECT_EQ(router.sent[0],
                      (kxtest::SentCommand{kxtest::Route::Name, "jeep", "set_car_params", "0.50,0.00,0.00,0.00"}));
            EXPECT_EQ(router.sent[1],
                      (kxtest::SentCommand{kxtest::Route::Name, "jeep", "set_car_params2", "0.00,0.00"}));
        }
        // No description gear: the default box.
        EXPECT_EQ(car->GetGearBox()->Gears().size(), 6u);
        EXPECT_EQ(car->GetGearBox()->IsPlayerBox(), c.human);
    }
    SetCommandRouter(old);
}

} // namespace
