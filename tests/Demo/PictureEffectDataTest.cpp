// The demo's pictures and effects on the Recording device: every picture of the root decodes
// (each stored layout: TGA rows from either end and in packets, DDS compressed and not, with mip
// chains, the cube map, JPEG), every effect builds with a valid technique (the shader ones pick
// their shaders), the shared car effect declares the shared values, and every effect and
// picture a render description names is there, so no stand-in is ever taken.
#include <algorithm>
#include <set>

#include "DemoRoot.h"
#include "Framework/PMMObject.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Platform/Graphics/D3D9.h"
#include "RecordingMaterialHost.h"
#include "Render/PEffect.h"
#include "Render/PEffectCache.h"
#include "Render/PEffectManager.h"
#include "Render/PMaterial.h"
#include "Render/PTexture.h"
#include "support/TestDevices.h"

namespace demotest {
namespace {

class DemoPictures : public DemoRoot {
protected:
    void SetUp() override {
        DemoRoot::SetUp();
        if (HasFatalFailure()) return;
        host.Open();
        if (HasFatalFailure()) return;
        manager = new CPEffectManager();
    }
    void TearDown() override {
        IPMMObject::CollectGarbage();
        delete manager;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        host.Close();
        DemoRoot::TearDown();
    }

    // The loose and packed files under a folder of the root with one of the extensions.
    std::vector<std::string> Files(const std::string& folder, const std::vector<std::string>& extensions) const {
        std::set<std::string> paths;
        const auto wanted = [&](const std::string& path) {
            for (const std::string& e : extensions)
                if (path.size() > e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0) return true;
            return false;
        };
        for (const ManifestEntry& e : manifest)
            if (e.path.rfind(folder, 0) == 0 && wanted(e.path)) paths.insert(e.path.substr(folder.size()));
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(store.Path()) / folder)) {
            const std::string path = fs::relative(entry.path(), fs::path(store.Path()) / folder).generic_string();
            if (entry.is_regular_file() && wanted(path)) paths.insert(path);
        }
        return {paths.begin(), paths.end()};
    }

    RecordingMaterialHost host;
    CPEffectManager* manager = nullptr;
};

TEST_F(DemoPictures, EveryPictureDecodes) {
    const std::vector<std::string> pictures = Files("Data/Textures/", {".tga", ".dds", ".jpg"});
    ASSERT_GT(pictures.size(), 40u);
    for (const std::string& picture : pictures) {
        SCOPED_TRACE(picture);
        // A cube map loads only as one (its caps say so).
        const std::string bytes = ReadThroughFileLayer("Data/Textures/" + picture);
        const bool cube = bytes.size() >= 128 && bytes.compare(0, 4, "DDS ") == 0 && (bytes[113] & 0x02) != 0;
        CPTexture texture;
        ASSERT_TRUE(texture.Load(EnginePath(picture) + (cube ? ",cube" : "")));
        ASSERT_NE(texture.GetBaseTexture(), nullptr);
        EXPECT_GE(texture.GetWidth(), 1);
    }
    // The stored layouts the generator writes, each one at least once.
    std::set<std::string> layouts;
    for (const std::string& picture : pictures) {
        const std::string bytes = ReadThroughFileLayer("Data/Textures/" + picture);
        if (bytes.size() < 18) continue;
        if (picture.size() > 4 && picture.compare(picture.size() - 4, 4, ".tga") == 0) {
            const auto type = static_cast<unsigned char>(bytes[2]), descriptor = static_cast<unsigned char>(bytes[17]);
            layouts.insert(type == 10 ? "tga packets"
                                      : ((descriptor & 0x20) ? "tga from the top" : "tga from the bottom"));
        } else if (bytes.compare(0, 4, "DDS ") == 0 && bytes.size() >= 128) {
            const auto word = [&](std::size_t at) {
                return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
                       (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8);
            };
            if (word(28) > 1) layouts.insert("dds with mips");
            layouts.insert(bytes.compare(84, 4, "DXT1") == 0 ? "dds dxt1" : "dds uncompressed");
        } else if (static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xD8) {
            layouts.insert("jpeg");
        }
    }
    EXPECT_EQ(layouts, (std::set<std::string>{"tga packets", "tga from the top", "tga from the bottom", "dds with mips",
                                              "dds dxt1", "dds uncompressed", "jpeg"}));
    CPTexture cube;
    ASSERT_TRUE(cube.Load("sky_cube.dds,cube"));
    EXPECT_TRUE(cube.IsCube());
}

TEST_F(DemoPictures, EveryEffectBuildsWithAValidTechnique) {
    const std::vector<std::string> effects = Files("Data/Effects/", {".fx"});
    ASSERT_GT(effects.size(), 20u);
    for (const std::string& name : effects) {
        SCOPED_TRACE(name);
        const std::size_t before = log.size();
        CPSmartPtr<CPEffect> effect;
        GetEffectCache()->GetEffect(effect, name);
        ASSERT_TRUE(effect);
        ID3DXEffect* fx = effect->GetD3DXEffect();
        ASSERT_NE(fx, nullptr);
        D3DXHANDLE technique = nullptr;
        EXPECT_EQ(fx->FindNextValidTechnique(nullptr, &technique), D3D_OK);
        EXPECT_NE(technique, nullptr);
        // No compile report: every technique of our files builds.
        for (std::size_t i = before; i < log.size(); ++i) EXPECT_EQ(log[i].find(name), std::string::npos) << log[i];
        UINT passes = 0;
        ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
        EXPECT_GE(passes, 1u);
        fx->End();
    }
    // The shader techniques come first and are the ones chosen.
    for (const char* name : {"road.fx", "car.fx"}) {
        CPSmartPtr<CPEffect> effect;
        GetEffectCache()->GetEffect(effect, name);
        D3DXHANDLE technique = nullptr;
        ASSERT_EQ(effect->GetD3DXEffect()->FindNextValidTechnique(nullptr, &technique), D3D_OK);
        EXPECT_EQ(technique, effect->GetD3DXEffect()->GetTechnique(0)) << name;
    }
}

TEST_F(DemoPictures, TheSharedCarEffectCarriesTheSceneValues) {
    CPSmartPtr<CPEffect> car;
    GetEffectCache()->GetEffect(car, "car.fx,shared");
    ASSERT_TRUE(car);
    EXPECT_TRUE(car->IsPooled());
    ASSERT_EQ(GetEffectCache()->GetSharedEffect(), car.Get());
    const SPSharedEffectHandles& h = GetEffectCache()->GetSharedHandles();
    EXPECT_NE(h.viewInv, nullptr);
    EXPECT_NE(h.light, nullptr);
    EXPECT_NE(h.lightColor, nullptr);
    EXPECT_NE(h.ambient, nullptr);
    EXPECT_NE(h.cameraPos, nullptr);
}

TEST_F(DemoPictures, EveryDescriptionNamesEffectsAndPicturesThatAreThere) {
    const std::vector<std::string> descriptions = Files("Data/Meshes/", {".rdf"});
    ASSERT_GT(descriptions.size(), 30u);
    for (const std::string& rdf : descriptions) {
        SCOPED_TRACE(rdf);
        const std::string text = ReadThroughFileLayer("Data/Meshes/" + rdf);
        CPTextReader reader(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
        while (reader.ReadNextLine()) {
            const std::string line = reader.GetLine();
            const std::size_t equals = line.find('=');
            if (equals == std::string::npos) continue;
            std::string key = line.substr(0, equals), value = line.substr(equals + 1);
            key.erase(key.find_last_not_of(' ') + 1);
            value.erase(0, value.find_first_not_of(' '));
            // Load options (",shared", ",cube") follow the file name.
            const std::string file = value.substr(0, value.find(','));
            if (key == "effectfile")
                EXPECT_FALSE(ReadThroughFileLayer("Data/Effects/" + file).empty()) << file;
            else if (key.rfind("texturefile", 0) == 0)
                EXPECT_FALSE(ReadThroughFileLayer("Data/Textures/" + file).empty()) << file;
            else if (key == "description")
                EXPECT_FALSE(ReadThroughFileLayer("Data/Descriptions/" + file).empty()) << file;
        }
    }
}

} // namespace
} // namespace demotest
