// Sky layers and the vertex objects under them: textures and effects, alpha, the orbit and the
// facing square, the fixed buffers and the draw.
#include <gtest/gtest.h>

#include <cmath>

#include "DynamicSky/SkyFixture.h"
#include "Platform/Math/D3DXMath.h"
#include "support/Near.h"

using namespace skytest;

namespace {

class SkyLayers : public SkyFixture {
protected:
    std::unique_ptr<SkyLayer> MakeLayer(std::vector<std::string> textures = {"data\\textures\\a.tga"}) {
        auto layer = std::make_unique<SkyLayer>();
        layer->SetEffectPaths("data\\effects\\layer_a.fx", "data\\effects\\layer_b.fx");
        for (const std::string& t : textures) layer->AddTexture(t);
        return layer;
    }
};

TEST_F(SkyLayers, BuildMakesTheSquareAndLoadsTheFirstTextureAndEffectB) {
    auto layer = MakeLayer();
    layer->Build(5.0f);
    const std::vector<SPVertex>& v = layer->GetSourceVertices();
    ASSERT_EQ(v.size(), 4u);
    const float corners[4][4] = {{-5, -5, 0, 0}, {5, -5, 1, 0}, {5, 5, 1, 1}, {-5, 5, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, corners[i][0]);
        EXPECT_FLOAT_EQ(v[i].y, 0.0f);
        EXPECT_FLOAT_EQ(v[i].z, corners[i][1]);
        EXPECT_FLOAT_EQ(v[i].tu, corners[i][2]);
        EXPECT_FLOAT_EQ(v[i].tv, corners[i][3]);
        EXPECT_FLOAT_EQ(v[i].nx, 1.0f);
        EXPECT_FLOAT_EQ(v[i].ny, 1.0f);
        EXPECT_FLOAT_EQ(v[i].nz, 1.0f);
        EXPECT_EQ(v[i].diffuse, 0xFF000014u);
        EXPECT_EQ(v[i].specular, 0u);
        EXPECT_FLOAT_EQ(v[i].tu1, 0.0f);
    }
    EXPECT_EQ(layer->GetIndices(), (std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_NE(layer->GetTexture(), nullptr);
    ASSERT_NE(layer->GetEffect(), nullptr);
    UINT passes = 0;
    layer->GetEffect()->Begin(&passes, 0);
    layer->GetEffect()->End();
    EXPECT_EQ(passes, 2u); // effect B
}

TEST_F(SkyLayers, NextTextureStepsRoundThePaths) {
    auto layer = MakeLayer({"data\\textures\\a.tga", "data\\textures\\b.tga", "data\\textures\\c.tga"});
    layer->Build(1.0f);
    std::vector<int> seen{layer->GetTextureIndex()};
    for (int i = 0; i < 3; ++i) {
        IDirect3DTexture9* before = layer->GetTexture();
        layer->NextTexture();
        seen.push_back(layer->GetTextureIndex());
        EXPECT_NE(layer->GetTexture(), nullptr);
        EXPECT_NE(layer->GetTexture(), before);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 0}));
    // Without paths: nothing to load, drawn untextured.
    auto bare = MakeLayer({});
    bare->Build(1.0f);
    EXPECT_EQ(bare->GetTexture(), nullptr);
    bare->NextTexture();
    EXPECT_EQ(bare->GetTextureIndex(), 0);
    render->GetDevice()->BeginScene();
    EXPECT_EQ(bare->Render(), D3D_OK);
    render->GetDevice()->EndScene();
}

TEST_F(SkyLayers, SetAlphaKeepsTheColourPart) {
    auto layer = MakeLayer();
    layer->Build(1.0f);
    const struct {
        int alpha;
        D3DCOLOR colour;
    } cases[] = {{255, 0xFF000014u}, {0, 0x00000014u}, {128, 0x80000014u}};
    for (const auto& c : cases) {
        layer->SetAlpha(c.alpha);
        for (const SPVertex& v : layer->GetDrawnVertices()) EXPECT_EQ(v.diffuse, c.colour) << c.alpha;
    }
    // Colours survive the layer's update, which keeps the drawn vertices.
    layer->SetAlpha(0x40);
    layer->distance = 50.0f;
    layer->scale = 1.0f;
    layer->Update(0.0f);
    EXPECT_EQ(layer->GetDrawnVertices()[2].diffuse, 0x40000014u);
}

TEST_F(SkyLayers, OrbitAngleIsBaseMinusAnglePlusHalfTurn) {
    auto layer = MakeLayer();
    layer->Build(1.0f);
    layer->axis = D3DXVECTOR3(0, 0, 1);
    layer->distance = 10.0f;
    layer->scale = 1.0f;
    const struct {
        float base, angle;
        D3DXVECTOR3 position;
    } cases[] = {
        {0.0f, 0.0f, {-10, 0, 0}}, // equal angles: a half turn, not none
        {1.0f, 1.0f, {-10, 0, 0}},
        {1.5707964f, 0.0f, {0, -10, 0}},
        {0.0f, 1.5707964f, {0, 10, 0}},
    };
    for (const auto& c : cases) {
        layer->baseAngle = c.base;
        layer->angle = c.angle;
        layer->Place();
        EXPECT_TRUE(kxtest::Near(layer->worldPosition, c.position, 1e-4f)) << c.base << " " << c.angle;
    }
}

TEST_F(SkyLayers, TheSquareFacesTheCentre) {
    const D3DXVECTOR3 axes[] = {{0, 1, 0.5f}, {0, 1, 0}, {1, 1, 1}, {0.3f, 0, 1}};
    for (const D3DXVECTOR3& axis : axes) {
        for (float angle : {0.3f, 1.7f, 4.0f}) {
            auto layer = MakeLayer();
            layer->Build(2.0f);
            D3DXVec3Normalize(&layer->axis, &axis);
            layer->distance = 100.0f;
            layer->angle = angle;
            layer->scale = 1.5f;
            layer->Place();
            const std::vector<SPVertex>& v = layer->GetDrawnVertices();
            const D3DXVECTOR3 p0(v[0].x, v[0].y, v[0].z), p1(v[1].x, v[1].y, v[1].z), p3(v[3].x, v[3].y, v[3].z);
            // Centred on the orbit position, still square at the scaled size, and its plane's
            // normal points at the centre.
            const D3DXVECTOR3 centre = (p1 + p3) * 0.5f;
            EXPECT_TRUE(kxtest::Near(centre, layer->worldPosition, 1e-3f));
            D3DXVECTOR3 e1 = p1 - p0, e2 = p3 - p0, normal, toCentre;
            EXPECT_NEAR(D3DXVec3Length(&e1), 6.0f, 1e-3f);
            EXPECT_NEAR(D3DXVec3Length(&e2), 6.0f, 1e-3f);
            D3DXVec3Cross(&normal, &e1, &e2);
            D3DXVec3Normalize(&normal, &normal);
            const D3DXVECTOR3 back = -layer->worldPosition;
            D3DXVec3Normalize(&toCentre, &back);
            EXPECT_NEAR(std::fabs(D3DXVec3Dot(&normal, &toCentre)), 1.0f, 1e-3f);
        }
    }
}

TEST_F(SkyLayers, BuffersAreMadeOnceAndOversizedMeshesRefused) {
    auto layer = MakeLayer();
    Control()->ClearCalls();
    layer->Build(1.0f);
    layer->distance = 10.0f;
    for (int i = 0; i < 3; ++i) layer->Update(0.0f);
    EXPECT_EQ(Count("CreateVertexBuffer"), 1u);
    EXPECT_EQ(Count("CreateIndexBuffer"), 1u);
    const auto vb = CallsNamed("CreateVertexBuffer");
    EXPECT_EQ(vb[0].args[0], 960000);
    EXPECT_EQ(CallsNamed("CreateIndexBuffer")[0].args[0], 120000);

    VertexObject object;
    std::vector<SPVertex> many(VertexObject::kMaxVertices + 1);
    std::vector<std::uint16_t> indices{0, 1, 2};
    logLines.clear();
    EXPECT_EQ(object.Upload(many, indices, false), E_FAIL);
    EXPECT_FALSE(logLines.empty());
    EXPECT_TRUE(object.GetSourceVertices().empty());
    EXPECT_EQ(object.Render(), E_FAIL); // nothing drawn
    std::vector<std::uint16_t> tooManyIndices(VertexObject::kMaxIndices + 3);
    EXPECT_EQ(object.Upload(std::vector<SPVertex>(3), tooManyIndices, false), E_FAIL);
    // At the limits it fits.
    EXPECT_EQ(object.Upload(std::vector<SPVertex>(VertexObject::kMaxVertices),
                            std::vector<std::uint16_t>(VertexObject::kMaxIndices), false),
              D3D_OK);
}

TEST_F(SkyLayers, RenderWithAndWithoutDeviceAndEffect) {
    VertexObject object;
    std::vector<SPVertex> v(3);
    object.Upload(v, {0, 1, 2}, false);
    render->GetDevice()->BeginScene();

    // No effect: one plain draw with the device state in force.
    Control()->ClearCalls();
    EXPECT_EQ(object.Render(), D3D_OK);
    EXPECT_EQ(CallNames(),
              (std::vector<std::string>{"SetFVF", "SetIndices", "SetStreamSource", "DrawIndexedPrimitive"}));
    const auto draw = CallsNamed("DrawIndexedPrimitive")[0];
    EXPECT_EQ(draw.args, (std::vector<std::int64_t>{D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1}));

    // With an effect: tex0 set to the texture, one draw per pass.
    object.LoadEffect("data\\effects\\layer_b.fx");
    object.LoadTexture("data\\textures\\a.tga");
    Control()->ClearCalls();
    EXPECT_EQ(object.Render(), D3D_OK);
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 2u);
    IDirect3DBaseTexture9* bound = nullptr;
    object.GetEffect()->GetTexture("tex0", &bound);
    EXPECT_EQ(bound, object.GetTexture());
    if (bound) bound->Release();

    // An effect without passes draws nothing and says so.
    root->Write("Data/Effects/empty.fx", "technique T { }\n");
    if (SUCCEEDED(object.LoadEffect("data\\effects\\empty.fx")) && object.GetEffect()) {
        Control()->ClearCalls();
        EXPECT_EQ(object.Render(), E_FAIL);
        EXPECT_EQ(Count("DrawIndexedPrimitive"), 0u);
    }

    // Without the sky device nothing is drawn.
    IDirect3DDevice9* device = g_skyDevice;
    g_skyDevice = nullptr;
    EXPECT_EQ(object.Render(), E_FAIL);
    g_skyDevice = device;
    render->GetDevice()->EndScene();
}

TEST_F(SkyLayers, LoadFailuresLeaveNoResource) {
    VertexObject object;
    root->Write("Data/Textures/broken.tga", "not a picture");
    root->Write("Data/Effects/broken.fx", "technique { pass {");
    logLines.clear();
    EXPECT_EQ(object.LoadTexture("data\\textures\\missing.tga"), S_OK); // unreadable: quietly nothing
    EXPECT_EQ(object.GetTexture(), nullptr);
    EXPECT_TRUE(logLines.empty());
    EXPECT_TRUE(FAILED(object.LoadTexture("data\\textures\\broken.tga")));
    EXPECT_EQ(object.GetTexture(), nullptr);
    EXPECT_FALSE(logLines.empty());
    EXPECT_TRUE(FAILED(object.LoadEffect("data\\effects\\missing.fx")));
    EXPECT_TRUE(FAILED(object.LoadEffect("data\\effects\\broken.fx")));
    EXPECT_EQ(object.GetEffect(), nullptr);
    bool named = false;
    for (const std::string& line : logLines)
        named = named || line.find("DynamicSky\\VertexObject") != std::string::npos;
    EXPECT_TRUE(named);
    // Device loss and reset reach the effects without harm.
    object.LoadEffect("data\\effects\\layer_a.fx");
    object.LoadLightEffect("data\\effects\\layer_b.fx");
    object.OnDeviceLost();
    object.OnDeviceReset();
    EXPECT_NE(object.GetLightEffect(), nullptr);
}

} // namespace
