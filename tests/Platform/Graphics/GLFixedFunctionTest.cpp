// The fixed-function GLSL generator, without OpenGL: the OpenGL device finds a draw's program by
// the generator's key, so a state the text depends on but the key leaves out would draw with a
// stale program. Every single change of a random state must change the key, or leave the text
// as it was.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "GraphicsTestUtil.h"
#include "Platform/Graphics/GLFixedFunction.h"
#include "Platform/Graphics/RecordingDevice.h"

using namespace Platform::GraphicsDetail;

namespace {

struct Generated {
    std::vector<DWORD> lights;
    std::string key;
    FixedFunctionSource source;
};

Generated Generate(const DeviceState& state, DWORD fvf) {
    Generated g;
    ActiveFixedFunctionLights(state, fvf, g.lights);
    FixedFunctionKey(state, fvf, g.lights, g.key);
    g.source = GenerateFixedFunctionSource(state, fvf, g.lights);
    return g;
}

class GLFixedFunctionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::SetRecordingConfig(Platform::RecordingConfig{});
        d3d = kxtest::RecordingDirect3D();
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS pp = GraphicsTest::WindowedParams(64, 64);
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
        ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &flat, nullptr), D3D_OK);
        ASSERT_EQ(device->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
        textures[1] = static_cast<Texture*>(flat);
        textures[2] = static_cast<CubeTexture*>(cube);
    }
    void TearDown() override {
        if (flat) flat->Release();
        if (cube) cube->Release();
        if (device) EXPECT_EQ(device->Release(), 0u);
        if (d3d) d3d->Release();
    }

    DWORD Pick(DWORD n) { return static_cast<DWORD>(rng() % n); }

    // A stage argument: any source, sometimes complemented or alpha-replicated.
    DWORD Argument() { return Pick(8) | (Pick(2) ? D3DTA_COMPLEMENT : 0) | (Pick(2) ? D3DTA_ALPHAREPLICATE : 0); }

    DWORD RandomFvf() {
        DWORD fvf = Pick(2) ? D3DFVF_XYZRHW : D3DFVF_XYZ;
        if (Pick(2)) fvf |= D3DFVF_NORMAL;
        if (Pick(2)) fvf |= D3DFVF_DIFFUSE;
        if (Pick(2)) fvf |= D3DFVF_SPECULAR;
        return fvf | Pick(9) << D3DFVF_TEXCOUNT_SHIFT;
    }

    DeviceState RandomState() {
        DeviceState s;
        s.rs[D3DRS_LIGHTING] = Pick(3) != 0;
        s.rs[D3DRS_COLORVERTEX] = Pick(2);
        for (auto r : {D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE,
                       D3DRS_EMISSIVEMATERIALSOURCE})
            s.rs[r] = Pick(3);
        s.rs[D3DRS_SPECULARENABLE] = Pick(2);
        s.rs[D3DRS_FOGENABLE] = Pick(2);
        s.rs[D3DRS_FOGTABLEMODE] = Pick(4);
        s.rs[D3DRS_FOGVERTEXMODE] = Pick(4);
        s.rs[D3DRS_ALPHATESTENABLE] = Pick(2);
        s.rs[D3DRS_ALPHAFUNC] = Pick(10);
        for (DWORD stage = 0; stage < D3DMaxTextureStages; ++stage) {
            auto& t = s.tss[stage];
            t[D3DTSS_COLOROP] = Pick(4) == 0 ? D3DTOP_DISABLE : 1 + Pick(26);
            t[D3DTSS_ALPHAOP] = Pick(4) == 0 ? D3DTOP_DISABLE : 1 + Pick(26);
            for (auto a : {D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1,
                           D3DTSS_ALPHAARG2, D3DTSS_RESULTARG})
                t[a] = Argument();
            // The high word selects texture-coordinate generation, which is not emulated.
            t[D3DTSS_TEXCOORDINDEX] = Pick(10) | (Pick(4) == 0 ? 0x10000 : 0);
            s.textures[stage] = textures[Pick(3)];
        }
        for (DWORD i = Pick(40); i > 0; --i) {
            D3DLIGHT9 l{};
            l.Type = static_cast<D3DLIGHTTYPE>(1 + Pick(3));
            l.Range = static_cast<float>(Pick(100));
            s.lights[Pick(64)] = l;
        }
        for (const auto& light : s.lights)
            if (Pick(3)) s.enabledLights.insert(light.first);
        return s;
    }

    // Every one-field change of what the generator could read, applied to a copy.
    std::vector<std::pair<DeviceState, DWORD>> SingleChanges(const DeviceState& s, DWORD fvf) {
        std::vector<std::pair<DeviceState, DWORD>> out;
        auto add = [&](auto change) {
            DeviceState c = s;
            DWORD f = fvf;
            change(c, f);
            out.emplace_back(std::move(c), f);
        };
        for (DWORD bit : {DWORD(D3DFVF_NORMAL), DWORD(D3DFVF_DIFFUSE), DWORD(D3DFVF_SPECULAR)})
            add([&](DeviceState&, DWORD& f) { f ^= bit; });
        add([&](DeviceState&, DWORD& f) { f ^= D3DFVF_XYZ ^ D3DFVF_XYZRHW; });
        add([&](DeviceState&, DWORD& f) {
            f = (f & ~D3DFVF_TEXCOUNT_MASK) | ((((f & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT) + 1) % 9)
                                                  << D3DFVF_TEXCOUNT_SHIFT;
        });
        for (auto r : {D3DRS_LIGHTING, D3DRS_COLORVERTEX, D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE,
                       D3DRS_AMBIENTMATERIALSOURCE, D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_SPECULARENABLE, D3DRS_FOGENABLE,
                       D3DRS_FOGTABLEMODE, D3DRS_FOGVERTEXMODE, D3DRS_ALPHATESTENABLE, D3DRS_ALPHAFUNC, D3DRS_AMBIENT,
                       D3DRS_FOGCOLOR, D3DRS_ALPHAREF, D3DRS_TEXTUREFACTOR})
            add([&](DeviceState& c, DWORD&) { c.rs[r] = (c.rs[r] + 1 + Pick(3)) % 10; });
        for (DWORD stage = 0; stage < D3DMaxTextureStages; ++stage) {
            for (auto t : {D3DTSS_COLOROP, D3DTSS_ALPHAOP})
                add([&](DeviceState& c, DWORD&) { c.tss[stage][t] = 1 + (c.tss[stage][t] + Pick(25)) % 26; });
            for (auto t : {D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1,
                           D3DTSS_ALPHAARG2, D3DTSS_RESULTARG})
                add([&](DeviceState& c, DWORD&) { c.tss[stage][t] = Argument(); });
            add([&](DeviceState& c, DWORD&) { c.tss[stage][D3DTSS_TEXCOORDINDEX] = Pick(10); });
            add([&](DeviceState& c, DWORD&) { c.textures[stage] = textures[Pick(3)]; });
        }
        for (const auto& light : s.lights) {
            add([&](DeviceState& c, DWORD&) {
                c.lights[light.first].Type = static_cast<D3DLIGHTTYPE>(1 + light.second.Type % 3);
            });
            add([&](DeviceState& c, DWORD&) {
                if (!c.enabledLights.erase(light.first)) c.enabledLights.insert(light.first);
            });
        }
        return out;
    }

    std::mt19937 rng{20261211};
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DTexture9* flat = nullptr;
    IDirect3DCubeTexture9* cube = nullptr;
    TextureBase* textures[3] = {};
};

TEST_F(GLFixedFunctionTest, KeyChangesWheneverTheGeneratedTextDoes) {
    int sameKey = 0, differentKey = 0;
    for (int round = 0; round < 25; ++round) {
        const DeviceState state = RandomState();
        const DWORD fvf = RandomFvf();
        const Generated base = Generate(state, fvf);
        for (const auto& [changed, changedFvf] : SingleChanges(state, fvf)) {
            const Generated other = Generate(changed, changedFvf);
            if (other.key != base.key) {
                ++differentKey;
                continue;
            }
            ++sameKey;
            ASSERT_EQ(other.source.vertex, base.source.vertex) << "round " << round;
            ASSERT_EQ(other.source.fragment, base.source.fragment) << "round " << round;
            ASSERT_EQ(other.lights.size(), base.lights.size());
        }
    }
    // Both kinds of change must have been met for the check to mean anything.
    EXPECT_GT(sameKey, 100);
    EXPECT_GT(differentKey, 100);
}

TEST_F(GLFixedFunctionTest, ActiveLightsAreTheEnabledOnesInIndexOrderUpToTheCap) {
    DeviceState state;
    state.rs[D3DRS_LIGHTING] = TRUE;
    for (DWORD i = 0; i < 40; ++i) {
        state.lights[39 - i] = D3DLIGHT9{};
        state.enabledLights.insert(39 - i);
    }
    std::vector<DWORD> lights;
    ActiveFixedFunctionLights(state, D3DFVF_XYZ | D3DFVF_NORMAL, lights);
    ASSERT_EQ(lights.size(), D3DMaxActiveLights);
    for (DWORD i = 0; i < D3DMaxActiveLights; ++i) EXPECT_EQ(lights[i], i);

    // Lighting off, or vertices already transformed: no light takes part.
    ActiveFixedFunctionLights(state, D3DFVF_XYZRHW, lights);
    EXPECT_TRUE(lights.empty());
    state.rs[D3DRS_LIGHTING] = FALSE;
    ActiveFixedFunctionLights(state, D3DFVF_XYZ | D3DFVF_NORMAL, lights);
    EXPECT_TRUE(lights.empty());
}

} // namespace
