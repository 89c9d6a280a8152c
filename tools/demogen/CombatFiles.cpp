// The demo's combat models: the shots' tracer, rocket and plasma ball, the explosion, the gibs
// of a destroyed enemy, the bonus crate with its crack picture, and the turret that guards the
// level's source, turning through its animated set ("melee1", "fire_in", "fire", "fire_out",
// "death1") with the enemy record of its description.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DemoGen.h"
#include "Geometry.h"
#include "support/DdsWriter.h"
#include "support/MeshFileWriter.h"

namespace {

using demogen::Description;
using demogen::MeshBuilder;
using demogen::Rgba;
using demogen::Vec3;

constexpr float kPi = 3.14159265358979323846f;

bool SimpleModel(const std::filesystem::path& root, const std::string& name, const MeshBuilder& mesh,
                 const std::string& effect, const std::string& texture, const std::vector<std::string>& extra = {}) {
    Description d;
    d.header = name + ".p3d";
    d.Material(name, effect, texture, extra);
    return demogen::WriteModel(root, name + ".rdf", d, name + ".p3d", {mesh.Node(name)});
}

// One pose of the turret: a squat base, a head turned by `yaw` about z, its twin barrels raised
// by `pitch`, pushed back by `recoil`, the whole sunk by `sink` as it dies.
kxtest::MorphFrame TurretPose(float yaw, float pitch, float recoil, float sink) {
    MeshBuilder mesh;
    mesh.Prism({0, 0, -sink}, 1.4f, 1.2f, 8);
    const float c = std::cos(yaw), s = std::sin(yaw);
    const auto turn = [&](Vec3 p) { return Vec3{p.x * c - p.y * s, p.x * s + p.y * c, p.z - sink}; };
    MeshBuilder head;
    head.Box({0, 0, 1.7f}, {0.9f, 0.9f, 0.5f});
    for (float side : {-0.35f, 0.35f}) {
        // A barrel along -y from the head, raised about the head's front edge.
        const float length = 2.2f;
        const float cy = -0.9f - length / 2 + recoil, cz = 1.8f;
        const float dy = cy + 0.9f;
        const float py = -0.9f + dy * std::cos(pitch), pz = cz + -dy * std::sin(pitch);
        head.Box({side, py, pz}, {0.12f, length / 2, 0.12f});
    }
    for (kxtest::MorphVertex& v : head.vertices) {
        const Vec3 p = turn({v.x, v.y, v.z + sink});
        const Vec3 n{v.nx * c - v.ny * s, v.nx * s + v.ny * c, v.nz};
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
        v.nx = n.x;
        v.ny = n.y;
        v.nz = n.z;
    }
    const auto base = static_cast<std::uint16_t>(mesh.vertices.size());
    mesh.vertices.insert(mesh.vertices.end(), head.vertices.begin(), head.vertices.end());
    for (std::uint16_t i : head.indices) mesh.indices.push_back(static_cast<std::uint16_t>(base + i));
    kxtest::MorphFrame frame;
    frame.vertices = mesh.vertices;
    frame.indices = mesh.indices;
    return frame;
}

struct Animation {
    const char* name;
    std::vector<kxtest::MorphFrame> frames;
};

bool WriteTurret(const std::filesystem::path& root) {
    std::vector<Animation> animations;
    // Looking about while idle and swiping with its barrels when a car comes close.
    animations.push_back({"melee1", {}});
    for (int k = 0; k < 6; ++k)
        animations.back().frames.push_back(TurretPose(0.5f * std::sin(kPi * k / 3.0f), 0.2f, 0, 0));
    animations.push_back({"fire_in", {}});
    for (int k = 0; k < 3; ++k) animations.back().frames.push_back(TurretPose(0, 0.1f * k, 0, 0));
    animations.push_back({"fire", {}});
    for (int k = 0; k < 4; ++k) animations.back().frames.push_back(TurretPose(0, 0.2f, k % 2 ? 0.3f : 0, 0));
    animations.push_back({"fire_out", {}});
    for (int k = 0; k < 3; ++k) animations.back().frames.push_back(TurretPose(0, 0.2f - 0.1f * k, 0, 0));
    animations.push_back({"death1", {}});
    for (int k = 0; k < 6; ++k) animations.back().frames.push_back(TurretPose(0.3f * k, -0.15f * k, 0, 0.25f * k));

    std::string header = "anim";
    for (const Animation& a : animations) {
        kxtest::AnimatedNode node;
        node.name = "turret";
        // No mass: it stands where the scripts put it.
        node.body.type = 0;
        node.body.width = 2.8f;
        node.body.height = 2.8f;
        node.body.depth = 2.2f;
        node.body.z = 0.0f;
        node.body.mass = 0.0f;
        // Where shots hit it: the base and the head.
        kxtest::NodeRecord base, head;
        base.width = base.height = 2.8f;
        base.depth = 1.2f;
        head.width = head.height = 1.8f;
        head.depth = 1.0f;
        head.z = 1.2f;
        node.parts = {base, head};
        node.stream = kxtest::MorphStreamWriter(240.0f);
        for (const kxtest::MorphFrame& frame : a.frames) node.stream.AddFrame(frame);
        const std::string file = std::string("turret_") + a.name + ".ani";
        demogen::AddToPack(1, "Meshes/" + file, kxtest::BuildAnimationNodeFile(node).bytes);
        header += std::string(";") + a.name + "," + file;
    }
    Description d;
    d.header = header;
    d.lines.push_back("description = turret.xml");
    d.Material("turret", "simple.fx", "metal.tga", {"script = turret"});
    bool ok = demogen::WriteIfChanged(root, "Data/Meshes/turret.rdf", d.Text());
    const std::string xml =
        "<?xml version=\"1.0\"?>\n"
        "<enemy name=\"turret\" kind=\"hmgun\" health=\"120\" reward=\"50\" effect=\"spark_hit\"\n"
        "       gibs=\"0\" gibheight=\"1.5\" fireframe=\"2\" muzzle=\"0,-3,1.8\" facing=\"0,-1,0\"\n"
        "       hit1=\"hit1.wav\" hit2=\"hit2.wav\">\n"
        "  <melee frame=\"3\" reach=\"0,-4,0\" push=\"0,-1,0.3\" impulse=\"6\" damage=\"8\"/>\n"
        "  <state number=\"0\" value=\"0\"/>\n"
        "  <state number=\"1\" value=\"1\"/>\n"
        "  <state number=\"2\" value=\"2\"/>\n"
        "  <state number=\"3\" value=\"3\"/>\n"
        "  <state number=\"4\" value=\"4\"/>\n"
        "</enemy>\n";
    return demogen::WriteIfChanged(root, "Data/Descriptions/turret.xml", xml) && ok;
}

Rgba Tracer(float u, float v, int, int) {
    const float across = 1.0f - std::fabs(u - 0.5f) * 2.0f;
    return {1.0f, 0.9f, 0.5f, across * (1.0f - v * 0.6f)};
}
Rgba Plasma(float u, float v, int, int) {
    const float r = std::hypot(u - 0.5f, v - 0.5f) * 2.0f;
    const float a = std::clamp(1.0f - r, 0.0f, 1.0f);
    return {0.5f + 0.5f * a, 0.8f, 1.0f, a};
}
Rgba Fireball(float u, float v, int x, int y) {
    const float r = std::hypot(u - 0.5f, v - 0.5f) * 2.0f;
    const float g = demogen::Grain(x / 2, y / 2, 91);
    const float a = std::clamp((1.0f - r) * 2.0f, 0.0f, 1.0f) * (0.6f + 0.4f * g);
    return {1.0f, 0.4f + 0.5f * (1 - r), 0.1f, a};
}
Rgba Wood(float u, float v, int x, int y) {
    const float g = 0.05f * demogen::Grain(x, y, 93);
    const bool plank = std::fmod(v * 5.0f, 1.0f) < 0.08f;
    const bool edge = u < 0.06f || u > 0.94f || v < 0.06f || v > 0.94f;
    if (edge || plank) return {0.35f + g, 0.22f + g, 0.1f, 1};
    return {0.65f + g, 0.48f + g, 0.25f, 1};
}
// Cracks spreading from a point, dark on clear, for what breaks on impact.
Rgba Cracks(float u, float v, int, int) {
    const float a = std::atan2(v - 0.45f, u - 0.55f);
    const float r = std::hypot(u - 0.55f, v - 0.45f);
    const float ray = std::fabs(std::sin(a * 7.0f + r * 6.0f));
    const bool crack = ray < 0.06f + 0.04f * (1 - r) || std::fabs(r - 0.3f) < 0.01f;
    return crack ? Rgba{0.1f, 0.1f, 0.1f, 0.9f} : Rgba{0, 0, 0, 0};
}

bool WriteCombatFiles(const std::filesystem::path& root) {
    bool ok = true;
    {
        MeshBuilder tracer;
        tracer.DoubleQuad({-0.05f, -1.5f, 0}, {0.05f, -1.5f, 0}, {0.05f, 1.5f, 0}, {-0.05f, 1.5f, 0});
        tracer.DoubleQuad({0, -1.5f, -0.05f}, {0, -1.5f, 0.05f}, {0, 1.5f, 0.05f}, {0, 1.5f, -0.05f});
        ok = SimpleModel(root, "tracer", tracer, "light_nofog.fx", "tracer.tga", {"shadow = 0"}) && ok;
    }
    {
        MeshBuilder rocket;
        rocket.Box({0, 0, 0}, {0.1f, 0.5f, 0.1f});
        rocket.Box({0, 0.45f, 0}, {0.25f, 0.05f, 0.02f});
        ok = SimpleModel(root, "rocket", rocket, "simple.fx", "metal.tga") && ok;
    }
    {
        MeshBuilder ball;
        ball.DoubleQuad({-0.6f, 0, -0.6f}, {0.6f, 0, -0.6f}, {0.6f, 0, 0.6f}, {-0.6f, 0, 0.6f});
        ball.DoubleQuad({0, -0.6f, -0.6f}, {0, 0.6f, -0.6f}, {0, 0.6f, 0.6f}, {0, -0.6f, 0.6f});
        ok = SimpleModel(root, "plasma_ball", ball, "light_nofog.fx", "plasma.tga", {"shadow = 0"}) && ok;
    }
    {
        MeshBuilder blast;
        for (int k = 0; k < 3; ++k) {
            const float a = kPi * k / 3.0f, c = 3.0f * std::cos(a), s = 3.0f * std::sin(a);
            blast.DoubleQuad({-c, -s, -3}, {c, s, -3}, {c, s, 3}, {-c, -s, 3});
        }
        blast.DoubleQuad({-3, -3, 0}, {3, -3, 0}, {3, 3, 0}, {-3, 3, 0});
        ok = SimpleModel(root, "explosion", blast, "light_nofog.fx", "fireball.tga",
                         {"shadow = 0", "vertexeffect = fade 1.5"}) &&
             ok;
    }
    for (int g = 1; g <= 2; ++g) {
        MeshBuilder gib;
        gib.Box({0, 0, 0}, {0.3f * g, 0.2f, 0.15f});
        ok = SimpleModel(root, "gib" + std::to_string(g), gib, "simple.fx", "metal.tga") && ok;
    }
    {
        MeshBuilder crate;
        crate.Box({0, 0, 0.6f}, {0.6f, 0.6f, 0.6f});
        Description d;
        d.header = "crate.p3d";
        d.Material("crate", "simple.fx", "crate.tga", {"texturefile2 = razlom.dds"});
        ok = demogen::WriteModel(root, "crate.rdf", d, "crate.p3d", {crate.Node("crate")}) && ok;
    }
    ok = WriteTurret(root) && ok;

    demogen::AddTexture("tracer.tga", 16, 64, demogen::Paint(16, 64, Tracer));
    demogen::AddTexture("plasma.tga", 32, 32, demogen::Paint(32, 32, Plasma));
    demogen::AddTexture("fireball.tga", 64, 64, demogen::Paint(64, 64, Fireball));
    demogen::AddTexture("crate.tga", 64, 64, demogen::Paint(64, 64, Wood), {true, false});
    const std::vector<std::uint8_t> cracks =
        kxtest::EncodeDds(64, 64, demogen::Paint(64, 64, Cracks), {kxtest::DdsPixels::Dxt1, true});
    demogen::AddToPack(2, "Textures/razlom.dds", std::string(cracks.begin(), cracks.end()));
    return ok;
}

} // namespace

DEMOGEN_FAMILY("combat", WriteCombatFiles);
