#include "DynamicSky/SkyFixture.h"

#include <sstream>

#include "Platform/System/Random.h"
#include "support/TgaWriter.h"

namespace skytest {

namespace {

std::string Vec(const D3DXVECTOR3& v) {
    std::ostringstream out;
    out << v.x << ' ' << v.y << ' ' << v.z;
    return out.str();
}

} // namespace

std::string SkySpec::Text() const {
    std::ostringstream o;
    o << "timescale " << timeScale << "\nstart " << startKeyframe << "\nradius " << radius << "\nheight " << heightScale
      << "\nsegments " << segments << "\ncentre " << Vec(centre) << "\ntexture " << sphereTexture << "\neffect "
      << sphereEffect << "\nstops " << stopCount << "\nkeyframes "
      << (keyframeCount < 0 ? static_cast<int>(keys.size()) : keyframeCount) << "\nlayers "
      << (layerCount < 0 ? static_cast<int>(layers.size()) : layerCount) << "\neffect_a " << effectA << "\neffect_b "
      << effectB << "\ncloudsets " << (cloudSetCount < 0 ? static_cast<int>(cloudSets.size()) : cloudSetCount)
      << "\nweather " << weather << "\n";
    for (const SkyKeySpec& k : keys) {
        o << "duration " << k.duration << "\nalpha " << k.alpha << "\nrotation " << k.rotationDegrees << "\nchannel "
          << k.overcastChannel << "\n";
        for (const D3DXVECTOR3& s : k.stops) o << "stop " << Vec(s) << "\n";
        o << "sun " << Vec(k.sun) << "\nambient " << Vec(k.ambient) << "\nc3 1 2 3\nc4 4 5 6\nfog " << Vec(k.fog)
          << "\nfogstart " << k.fogStart << "\nfogend " << k.fogEnd << "\nvalue 7\nbrighten " << k.brighten << "\n";
        for (std::size_t i = 0; i < k.angles.size(); ++i)
            o << "angle " << k.angles[i] << "\nchoice " << k.effects[i] << "\nscale " << k.scales[i] << "\nadvance "
              << k.advance[i] << "\n";
    }
    for (const SkyLayerSpec& l : layers) {
        o << "axis " << Vec(l.axis) << "\nhalf " << l.halfSize << "\ndistance " << l.distance << "\nbase "
          << l.baseAngleDegrees << "\ntextures " << l.textures.size() << "\n";
        for (const std::string& t : l.textures) o << "tex " << t << "\n";
    }
    for (const std::string& s : cloudSets) o << "set " << s << "\n";
    return o.str();
}

std::string WeatherText(const std::vector<PhaseSpec>& phases, int count) {
    std::ostringstream o;
    o << "phases " << (count == kAsGiven ? static_cast<int>(phases.size()) : count) << "\n";
    for (const PhaseSpec& p : phases)
        o << "transition " << p.transition << "\nmean " << p.mean << "\nvariation " << p.variation << "\nset "
          << p.cloudSet << "\nk 1\nk 2\nk 3.5\nk 4.5\nk 5\nk 6.5\nk 7\nhook " << p.hook << "\novercast " << p.overcast
          << "\nprobability " << p.probability << "\nk 8\n";
    return o.str();
}

D3DCOLOR Argb(int a, int r, int g, int b) {
    return static_cast<D3DCOLOR>(a & 0xFF) << 24 | static_cast<D3DCOLOR>(r & 0xFF) << 16 |
           static_cast<D3DCOLOR>(g & 0xFF) << 8 | static_cast<D3DCOLOR>(b & 0xFF);
}

void SkyFixture::SetUp() {
    RenderFixture::SetUp();
    SetRaceWorld(&sunWorld);
    const std::string plain = "texture tex0;\ntechnique T { pass P0 { Lighting = false; Texture[0] = <tex0>; } }\n";
    root->Write("Data/Effects/sphere.fx", plain);
    root->Write("Data/Effects/layer_a.fx", plain);
    root->Write("Data/Effects/layer_b.fx",
                "texture tex0;\ntechnique T { pass P0 { Lighting = false; } pass P1 { Lighting = false; } }\n");
    root->Write("Data/Effects/skyscape_light.fx", plain);
    root->Write("Data/Effects/volume_cloud.fx", plain);
    root->Write("Data/Textures/a.tga", kxtest::SolidTga(4, 4, 0x20 * 0x01010101u));
    root->Write("Data/Textures/b.tga", kxtest::SolidTga(4, 4, 0x40 * 0x01010101u));
    root->Write("Data/Textures/c.tga", kxtest::SolidTga(4, 4, 0x60 * 0x01010101u));
    root->Write("Data/Textures/cloud.tga", kxtest::SolidTga(4, 4, 0x80 * 0x01010101u));
    ASSERT_TRUE(StartRenderer());
    sunWorld.level = true;
    Platform::EngineSeed(1);
}

void SkyFixture::TearDown() {
    SetRaceWorld(&world);
    RenderFixture::TearDown();
}

void SkyFixture::WriteCloudFile(const std::string& name, const std::string& text) {
    root->Write("Data/Clouds/" + name, text);
}

std::unique_ptr<CPDynamicSky> SkyFixture::LoadSky(const SkySpec& spec, const std::string& name) {
    WriteCloudFile(name, spec.Text());
    if (!root->Exists("Data/Clouds/" + spec.weather)) WriteCloudFile(spec.weather, WeatherText({PhaseSpec()}));
    auto sky = std::make_unique<CPDynamicSky>();
    sky->Load(name);
    return sky;
}

} // namespace skytest
