#include "Scene/PParticleTables.h"

#include <climits>
#include <cstdint>

#include "Framework/PStringSplitter.h"
#include "Platform/System/NumberText.h"

const char* const kParticlesTablePath = "Data\\particles.dat";
const char* const kSpotsTablePath = "Data\\spots.dat";
const char* const kParticleSystemsTablePath = "Data\\particlesystems.dat";
const char* const kFlamesTablePath = "Data\\flames.dat";

namespace {

// The fields of a line, at most `count`; the missing ones stay empty.
std::vector<std::string> Fields(const std::string& line, const char* separator, std::size_t count, bool quotes) {
    std::vector<std::string> fields(count);
    CPStringSplitter splitter(line, separator, quotes);
    std::string token;
    for (std::size_t i = 0; i < count && splitter.NextToken(token); ++i) fields[i] = token;
    return fields;
}

int Int(const std::string& text) { return Platform::ParseInt(text); }
float Float(const std::string& text) { return Platform::ParseFloat(text); }

SPColourKey ParseKey(const std::string& text) {
    const std::vector<std::string> v = Fields(text, ":", 5, false);
    SPColourKey key;
    key.a = Float(v[0]);
    key.r = Float(v[1]);
    key.g = Float(v[2]);
    key.b = Float(v[3]);
    key.size = Float(v[4]);
    return key;
}

} // namespace

SPParticleBatchLine ParseParticleBatchLine(const std::string& line) {
    const std::vector<std::string> f = Fields(line, " ", 9, true);
    SPParticleBatchLine out;
    out.name = f[0];
    out.texture = f[1];
    out.effect = f[2];
    out.columns = Int(f[3]);
    out.rows = Int(f[4]);
    out.frameAnimation = Int(f[5]);
    out.reserved = Int(f[6]) != 0;
    const std::int64_t key = static_cast<std::int64_t>(Int(f[7])) + 22;
    out.renderKey = static_cast<RenderKey>(key > INT_MAX ? INT_MAX : key);
    if (!f[8].empty())
        for (const std::string& text : SplitTokens(f[8], ",")) out.keys.push_back(ParseKey(text));
    return out;
}

SPParticleSystemDesc ParseParticleSystemLine(const std::string& line, std::string& name) {
    const std::vector<std::string> f = Fields(line, " ", 17, true);
    SPParticleSystemDesc d;
    name = f[0];
    d.particleName = f[1];
    d.life = Float(f[2]);
    d.size = Float(f[3]);
    d.growth = Float(f[4]);
    d.fade = Int(f[5]) != 0;
    d.speed = Float(f[6]);
    d.coneAngle = Int(f[7]);
    d.direction = D3DXVECTOR3(Float(f[8]), Float(f[9]), Float(f[10]));
    d.acceleration = D3DXVECTOR3(Float(f[11]), Float(f[12]), Float(f[13]));
    d.spread = D3DXVECTOR3(Float(f[14]), Float(f[15]), Float(f[16]));
    return d;
}

SPFlameLine ParseFlameLine(const std::string& line) {
    const std::vector<std::string> f = Fields(line, ";", 4, true);
    SPFlameLine out;
    if (!f[0].empty()) out.systemNames = SplitTokens(f[0], ",");
    out.interval = Float(f[1]);
    out.lifetime = Float(f[2]);
    out.damage = Float(f[3]);
    return out;
}
