// The demo's cars: three designs of our own, a light and a heavy car the player may choose and
// one for the computer drivers, each a mesh (body with its physics box and part boxes, wheels
// "w0".."w3", the four lamp groups, exhaust and nitro flames, weapon mounts with their muzzle
// flares), a description of how it drives and where its cameras sit, and a skin. The opponents'
// render descriptions, named as the level loader asks for them, all point at the opponent design
// in one of two skins.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "DemoGen.h"
#include "Geometry.h"
#include "support/CarDescriptionWriter.h"

namespace {

using demogen::Description;
using demogen::MeshBuilder;
using demogen::Rgba;
using demogen::Vec3;

struct Design {
    std::string name;
    // Half sizes of the hull; the cabin sits on it.
    float halfWidth, halfLength, hullHeight, cabinHeight;
    float mass;
    float maxSpeed, acceleration, frontFriction, rearFriction, steer;
    float wheelRadius;
};

const Design kLight{"runner", 0.95f, 2.1f, 0.55f, 0.45f, 9.0f, 30.0f, 10.0f, 105.0f, 245.0f, 0.55f, 0.42f};
const Design kHeavy{"hauler", 1.05f, 2.4f, 0.75f, 0.6f, 13.0f, 27.0f, 13.0f, 100.0f, 260.0f, 0.45f, 0.5f};
const Design kOpponent{"raider", 1.0f, 2.2f, 0.6f, 0.5f, 10.0f, 28.0f, 10.0f, 100.0f, 240.0f, 0.5f, 0.45f};

// The body's origin is its centre of mass, where the wheels' springs carry it. The wheels'
// forces act at the ground, so the height of that centre over the road is the lever that
// pitches the nose up under drive (the dampers then turn forward speed into lift) and rolls the
// car in a bend: short wheel rays keep it low, and rays set outward from the wheel nodes give a
// track wide enough that the sideways grip slides the car before it tips it.
constexpr float kRayLength = 0.8f;
constexpr float kRayShiftX = 0.3f;
constexpr float kWheelNodeX = 1.1f;
// The hull and its physics box stand on kBottom, clear of the road over crests.
constexpr float kBottom = -0.35f;
constexpr float kBoxTop = 0.55f;

// The top gear's pull per unit of top speed and drive.
constexpr float kTopGearPull = 0.06f;

// The weapons a car carries, named as the weapon catalog names them; the heavy gun's barrel
// "stvol" turns while it fires.
const char* const kWeapons[] = {"mgun", "hmgun", "rlauncher", "plasma"};

kxtest::MeshNode Child(const std::string& name, const MeshBuilder& mesh, Vec3 at) {
    kxtest::MeshNode node = mesh.Node(name);
    node.position[0] = at.x;
    node.position[1] = at.y;
    node.position[2] = at.z;
    return node;
}

// A flame or glow card: a cross of two quads about the local y axis, so it shows from any side.
MeshBuilder FlameCard(float length, float width) {
    MeshBuilder card;
    card.DoubleQuad({-width, 0, 0}, {width, 0, 0}, {width, length, 0}, {-width, length, 0});
    card.DoubleQuad({0, 0, -width}, {0, 0, width}, {0, length, width}, {0, length, -width});
    return card;
}

MeshBuilder Lamp(float halfWidth) {
    MeshBuilder lamp;
    lamp.Quad({-halfWidth, 0, -0.08f}, {halfWidth, 0, -0.08f}, {halfWidth, 0, 0.08f}, {-halfWidth, 0, 0.08f});
    return lamp;
}

kxtest::MeshNode CarMesh(const Design& d) {
    // The car's front is toward -y; its origin is the middle of the physics box.
    MeshBuilder body;
    const float bottom = kBottom;
    body.Box({0, 0, bottom + d.hullHeight / 2}, {d.halfWidth, d.halfLength, d.hullHeight / 2});
    body.Box({0, 0.2f, bottom + d.hullHeight + d.cabinHeight / 2},
             {d.halfWidth * 0.8f, d.halfLength * 0.5f, d.cabinHeight / 2});
    kxtest::MeshNode node = body.Node("body");
    node.body.type = 0;
    node.body.width = 2 * d.halfWidth;
    node.body.height = 2 * d.halfLength;
    node.body.depth = kBoxTop - kBottom;
    node.body.z = kBottom;
    node.body.mass = d.mass;
    // Part boxes: where hits land (front, back, the two sides).
    const float boxes[4][6] = {
        {0, -d.halfLength * 0.75f, 0, 2 * d.halfWidth, d.halfLength * 0.5f, 0.8f},
        {0, d.halfLength * 0.75f, 0, 2 * d.halfWidth, d.halfLength * 0.5f, 0.8f},
        {-d.halfWidth * 0.75f, 0, 0, d.halfWidth * 0.5f, d.halfLength, 0.8f},
        {d.halfWidth * 0.75f, 0, 0, d.halfWidth * 0.5f, d.halfLength, 0.8f},
    };
    for (const auto& b : boxes) {
        kxtest::NodeRecord part;
        part.type = 0;
        part.x = b[0];
        part.y = b[1];
        part.z = b[2] - 0.4f;
        part.width = b[3];
        part.height = b[4];
        part.depth = b[5];
        node.parts.push_back(part);
    }

    for (int i = 0; i < 4; ++i) {
        MeshBuilder wheel;
        wheel.Wheel({0, 0, 0}, d.wheelRadius, 0.3f, 10);
        const Vec3 at{(i % 2 == 0) ? -kWheelNodeX : kWheelNodeX, (i < 2) ? -1.4f : 1.4f, -0.2f};
        node.children.push_back(Child("w" + std::to_string(i), wheel, at));
    }
    const float back = d.halfLength + 0.01f, lampZ = bottom + d.hullHeight * 0.7f;
    node.children.push_back(Child("stoplights", Lamp(0.25f), {-d.halfWidth + 0.3f, back, lampZ}));
    node.children.push_back(Child("stoplights2", Lamp(0.25f), {d.halfWidth - 0.3f, back, lampZ}));
    node.children.push_back(Child("backlights", Lamp(0.12f), {-d.halfWidth + 0.65f, back, lampZ}));
    node.children.push_back(Child("backlights2", Lamp(0.12f), {d.halfWidth - 0.65f, back, lampZ}));
    // Exhaust flames out of the back (+y), two pipes, each with a short and a long flame.
    const float pipeZ = bottom + 0.2f;
    node.children.push_back(Child("fire_a", FlameCard(0.8f, 0.15f), {-0.4f, back, pipeZ}));
    node.children.push_back(Child("fire_b", FlameCard(0.8f, 0.15f), {0.4f, back, pipeZ}));
    node.children.push_back(Child("fire_aa", FlameCard(1.4f, 0.22f), {-0.4f, back, pipeZ}));
    node.children.push_back(Child("fire_bb", FlameCard(1.4f, 0.22f), {0.4f, back, pipeZ}));
    // The nitro's glow in front.
    node.children.push_back(Child("fire_front", FlameCard(-1.0f, 0.5f), {0, -d.halfLength, 0}));
    node.children.push_back(Child("glare_front", FlameCard(-1.6f, 0.9f), {0, -d.halfLength, 0}));

    // Weapons on the roof, each with four muzzle flares.
    const float roof = bottom + d.hullHeight + d.cabinHeight;
    for (const char* weapon : kWeapons) {
        const std::string name = weapon;
        MeshBuilder mount;
        mount.Box({0, 0, 0.12f}, {0.18f, 0.3f, 0.12f});
        kxtest::MeshNode gun = Child(name, mount, {0, 0.1f, roof});
        MeshBuilder barrel;
        barrel.Box({0, -0.5f, 0}, {0.05f, 0.5f, 0.05f});
        if (name == "hmgun") {
            MeshBuilder spinning;
            for (int k = 0; k < 3; ++k) {
                const float a = 2.0f * 3.14159265f * k / 3.0f;
                spinning.Box({0.07f * std::cos(a), -0.5f, 0.07f * std::sin(a)}, {0.03f, 0.5f, 0.03f});
            }
            gun.children.push_back(Child("stvol", spinning, {0, -0.3f, 0.15f}));
        } else {
            gun.children.push_back(Child(name + "_barrel", barrel, {0, -0.3f, 0.15f}));
        }
        const char* suffixes[4] = {"", "_01", "_02", "_03"};
        for (int k = 0; k < 4; ++k) {
            const float side = (k % 2 == 0) ? -0.06f : 0.06f;
            gun.children.push_back(Child("flare_" + name + suffixes[k], FlameCard(-0.5f, 0.25f), {side, -1.3f, 0.15f}));
        }
        node.children.push_back(gun);
    }
    return node;
}

// The sections every car description shares; the skin is the body's first texture. A car the
// player drives carries the script that turns the keys into its controls; the racer that takes
// the body over starts it.
Description CarDescription(const Design& d, const std::string& skin, bool playerCar = false) {
    Description text;
    text.header = d.name + ".p3d";
    text.lines.push_back("description = " + d.name + ".xml");
    std::vector<std::string> body{"texturefile2 = sky_cube.dds,cube"};
    if (playerCar) body.push_back("script = jeep");
    text.Material("body", "car.fx,shared", skin, body);
    for (int i = 0; i < 4; ++i) text.Material("w" + std::to_string(i), "simple.fx", "wheel.tga");
    for (const char* lamp : {"stoplights", "stoplights2", "backlights", "backlights2"})
        text.Material(lamp, "light_nofog.fx", "lamp.tga");
    for (const char* flame : {"fire_a", "fire_b", "fire_aa", "fire_bb"})
        text.Material(flame, "holey.fx", "flame.tga", {"vertexeffect = anim 4,1,24", "shadow = 0"});
    text.Material("fire_front", "light_nofog.fx", "flame.tga", {"vertexeffect = anim 4,1,24", "shadow = 0"});
    text.Material("glare_front", "light_nofog.fx", "glow.tga", {"vertexeffect = flick 0.05,128,255", "shadow = 0"});
    for (const char* weapon : kWeapons) {
        const std::string name = weapon;
        text.Material(name, "simple.fx", "metal.tga", {"visible = 0"});
        text.Material(name == "hmgun" ? "stvol" : name + "_barrel", "simple.fx", "metal.tga");
        for (const char* suffix : {"", "_01", "_02", "_03"})
            text.Material("flare_" + name + suffix, "light_nofog.fx", "muzzle.tga", {"shadow = 0"});
    }
    return text;
}

std::string CarXml(const Design& d) {
    const auto f = [](float v) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
        return std::string(text);
    };
    kxtest::CarDescriptionWriter w;
    w.Set("physics/geometry/wheels", "count", "4")
        .Set("physics/geometry/wheels", "x", f(kRayShiftX))
        .Set("physics/geometry/wheels", "y", "0")
        .Set("physics/geometry/wheels", "length", f(kRayLength))
        .Set("physics/geometry/wheels", "radius", f(d.wheelRadius + 0.05f))
        // Stiff springs for the mass: the pitch under drive stays a few hundredths of a radian.
        .Set("physics/params/wheels", "spring1", f(80.0f * d.mass))
        .Set("physics/params/wheels", "spring2", f(80.0f * d.mass))
        .Set("physics/params/wheels", "damping", f(10.0f * d.mass))
        .Set("physics/params/speed", "max_front_speed", f(d.maxSpeed))
        .Set("physics/params/speed", "max_rear_speed", "15")
        .Set("physics/params/speed", "angle", f(d.steer))
        .Set("physics/params/friction", "front", f(d.frontFriction))
        .Set("physics/params/friction", "back", f(d.rearFriction))
        .Set("physics/params/friction", "slide", "0.9")
        .Set("physics/params/acceleration", "front", f(d.acceleration))
        .Set("physics/params/acceleration", "back", f(3.0f * d.acceleration))
        .Set("physics/params/acceleration", "brake", "110")
        .Set("physics/params/acceleration", "accel_front", "1")
        .Set("physics/params/acceleration", "accel_back", "1")
        .Set("physics/params/acceleration", "speed_front", "1")
        .Set("physics/params/acceleration", "speed_back", "1")
        .Set("physics/params/inertion", "yaw", "0")
        .Set("physics/params/inertion", "pitch", "0.1")
        .Set("physics/params/supernitro", "speedcoeff", "1.3");
    // The gear box: standing, then five gears, each pulling less. The drive scarcely tires
    // against the air, so the top gear's pull sets the speed the car holds: the design's top speed,
    // which the route's bends allow.
    const float top = kTopGearPull * d.maxSpeed / d.acceleration;
    const float gears[6][5] = {{0, -1, 0, 0, 1},       {1, 1, 3, 3, 1},           {0.6f, 1.5f, 4, 10, 0.8f},
                               {0.3f, 2, 5, 15, 0.6f}, {0.2f, 2.5f, 6, 20, 0.4f}, {top, 3, 9, 25, 0.2f}};
    for (const auto& g : gears)
        w.Gear({{"coeff", f(g[0])}, {"min", f(g[1])}, {"max", f(g[2])}, {"change", f(g[3])}, {"inc", f(g[4])}});
    w.Set("physics/gearbox/backgear", "coeff", "-1")
        .Set("physics/gearbox/backgear", "min", "1")
        .Set("physics/gearbox/backgear", "max", "3")
        .Set("physics/gearbox/enginespeedcoeffs", "inc", "1")
        .Set("physics/gearbox/enginespeedcoeffs", "dec", "5");
    // Behind and above; low behind; on the bonnet.
    w.Set("camera", "distance", "7.5")
        .Set("camera", "height", "2.4")
        .Set("camera", "angle", "0.22")
        .Set("camera", "angle_div", "8")
        .Set("camera", "distance_div", "6")
        .Set("camera", "fov", "60")
        .Set("camera", "fov_div", "40")
        .Set("camera", "min", "5")
        .Set("camera", "max", "11")
        .Set("camera2", "distance", "4.5")
        .Set("camera2", "height", "1.6")
        .Set("camera2", "angle", "0.12")
        .Set("camera2", "angle_div", "6")
        .Set("camera2", "distance_div", "5")
        .Set("camera2", "fov", "66")
        .Set("camera3", "distance", "0.4")
        .Set("camera3", "height", "1.1")
        .Set("render/shadow", "name", "car_shadow.tga");
    return w.Text();
}

Rgba PaintRunner(float u, float v, int x, int y) {
    const float g = 0.04f * demogen::Grain(x, y, 71);
    const bool stripe = std::fabs(u - 0.5f) < 0.08f;
    return stripe ? Rgba{0.95f, 0.95f, 0.95f, 1} : Rgba{0.1f + g, 0.35f + g, 0.85f - 0.2f * v, 1};
}
Rgba PaintHauler(float u, float v, int x, int y) {
    const float g = 0.04f * demogen::Grain(x, y, 72);
    const bool band = std::fmod(u * 6.0f + v * 6.0f, 1.0f) < 0.2f;
    return band ? Rgba{0.08f, 0.08f, 0.08f, 1} : Rgba{0.25f + g, 0.5f + g, 0.15f, 1};
}
Rgba PaintRaiderA(float u, float v, int x, int y) {
    const float g = 0.04f * demogen::Grain(x, y, 73);
    const bool flash = v > 0.45f && v < 0.55f;
    (void)u;
    return flash ? Rgba{1, 0.85f, 0.1f, 1} : Rgba{0.8f + g, 0.1f + g, 0.1f, 1};
}
Rgba PaintRaiderB(float u, float v, int x, int y) {
    const float g = 0.04f * demogen::Grain(x, y, 74);
    const bool check = (static_cast<int>(u * 8) + static_cast<int>(v * 8)) % 2 == 0;
    return check ? Rgba{0.95f + g, 0.8f + g, 0.1f, 1} : Rgba{0.15f, 0.15f, 0.15f, 1};
}
Rgba PaintWheel(float u, float v, int, int) {
    const float r = std::hypot(u - 0.5f, v - 0.5f);
    return r < 0.25f ? Rgba{0.7f, 0.7f, 0.72f, 1} : Rgba{0.08f, 0.08f, 0.08f, 1};
}
Rgba PaintLamp(float, float v, int, int) { return {1.0f, 0.15f + 0.1f * v, 0.1f, 1}; }
// Four frames of a flame side by side, each narrowing to its tip at the top.
Rgba PaintFlame(float u, float v, int, int) {
    const float frame = std::floor(u * 4.0f), local = u * 4.0f - frame;
    const float width = (0.35f + 0.08f * frame) * v;
    const float a = std::clamp(1.0f - std::fabs(local - 0.5f) / std::max(width, 0.01f), 0.0f, 1.0f);
    return {1.0f, 0.5f + 0.5f * v, 0.2f * v, a};
}
Rgba PaintMuzzle(float u, float v, int, int) {
    const float r = std::hypot(u - 0.5f, v - 0.5f) * 2.0f;
    const float star = std::fabs(std::sin(std::atan2(v - 0.5f, u - 0.5f) * 3.0f));
    const float a = std::clamp(1.0f - r / (0.4f + 0.6f * star), 0.0f, 1.0f);
    return {1.0f, 0.9f, 0.5f, a};
}
Rgba PaintCarShadow(float u, float v, int, int) {
    const float dx = std::fabs(u - 0.5f) * 2.0f, dy = std::fabs(v - 0.5f) * 2.0f;
    const float a = std::clamp((1.0f - std::max(dx, dy)) * 4.0f, 0.0f, 1.0f) * 0.75f;
    return {0, 0, 0, a};
}

bool WriteCar(const std::filesystem::path& root, const Design& d, const std::string& skin) {
    demogen::AddToPack(1, "Meshes/" + d.name + ".p3d", [&] {
        kxtest::MeshFileWriter writer(true);
        writer.AddNode(CarMesh(d));
        return writer.Build().bytes;
    }());
    bool ok = demogen::WriteIfChanged(root, "Data/Descriptions/" + d.name + ".xml", CarXml(d));
    const bool playerCar = d.name != kOpponent.name;
    return demogen::WriteIfChanged(root, "Data/Meshes/" + d.name + ".rdf", CarDescription(d, skin, playerCar).Text()) &&
           ok;
}

bool WriteCarFiles(const std::filesystem::path& root) {
    bool ok = WriteCar(root, kLight, "runner.tga");
    ok = WriteCar(root, kHeavy, "hauler.tga") && ok;
    ok = WriteCar(root, kOpponent, "raider_a.tga") && ok;
    // The opponents as the level loader names them: the first family in one skin, the second
    // in the other.
    for (const char* family : {"subaru", "celica"})
        for (int n = 1; n <= 5; ++n) {
            const std::string file = std::string(family) + std::to_string(n) + "_enemy.rdf";
            const std::string skin = std::string(family) == "subaru" ? "raider_a.tga" : "raider_b.tga";
            ok = demogen::WriteIfChanged(root, "Data/Meshes/" + file, CarDescription(kOpponent, skin).Text()) && ok;
        }
    // Skins in the three stored layouts of the format: rows from the bottom, from the top, and
    // in run-length packets.
    demogen::AddTexture("runner.tga", 128, 128, demogen::Paint(128, 128, PaintRunner));
    demogen::AddTexture("hauler.tga", 128, 128, demogen::Paint(128, 128, PaintHauler), {false, true});
    demogen::AddTexture("raider_a.tga", 128, 128, demogen::Paint(128, 128, PaintRaiderA), {true, false});
    demogen::AddTexture("raider_b.tga", 128, 128, demogen::Paint(128, 128, PaintRaiderB), {true, false});
    demogen::AddTexture("wheel.tga", 32, 32, demogen::Paint(32, 32, PaintWheel));
    demogen::AddTexture("lamp.tga", 8, 8, demogen::Paint(8, 8, PaintLamp), {true, false});
    demogen::AddTexture("flame.tga", 128, 32, demogen::Paint(128, 32, PaintFlame));
    demogen::AddTexture("muzzle.tga", 32, 32, demogen::Paint(32, 32, PaintMuzzle));
    demogen::AddTexture("car_shadow.tga", 32, 64, demogen::Paint(32, 64, PaintCarShadow));
    return ok;
}

} // namespace

DEMOGEN_FAMILY("cars", WriteCarFiles);
