// Textures loaded from files and drawn by the OpenGL device offscreen: block-compressed data
// reaches the screen as the block decoder reads it.

#include "Platform/Image/D3DXTexture.h"
#include "Platform/Image/ImageDecode.h"
#include "support/Near.h"
#include "support/TestDevices.h"

#include "../Graphics/GraphicsTestUtil.h"
#include "support/ImageFileBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace ImageTest;

namespace {

constexpr UINT W = 16, H = 16;

using GraphicsTest::kScreenFvf;
using GraphicsTest::ScreenVertex;
using kxtest::NearRgb;

// A 4x4 DDS of one block in the given format.
Bytes OneBlockDds(const char* fourcc, const Bytes& block) {
    DdsLayout layout;
    layout.fourCC = Fourcc(fourcc);
    Bytes b = DdsHeader(layout);
    b.insert(b.end(), block.begin(), block.end());
    return b;
}

class D3DXTextureOpenGLTest : public kxtest::OffscreenDeviceTest {
protected:
    void SetUp() override { OpenDevice(kxtest::WindowedBackBuffer(W, H, D3DFMT_X8R8G8B8)); }

    // Draws the texture texel for pixel at the top-left 4x4 pixels and reads them back.
    std::vector<D3DCOLOR> Draw(IDirect3DTexture9* t) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetTexture(0, t);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        const float x0 = -0.5f, y0 = -0.5f, x1 = 3.5f, y1 = 3.5f;
        const ScreenVertex q[4] = {{x1, y0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                   {x1, y1, 0.5f, 1, 0xFFFFFFFF, 1, 1},
                                   {x0, y0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                   {x0, y1, 0.5f, 1, 0xFFFFFFFF, 0, 1}};
        device->SetFVF(kScreenFvf);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(ScreenVertex)), D3D_OK);
        device->EndScene();
        device->SetTexture(0, nullptr);
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(device->ReadRenderTarget(backBuffer, pixels.data(), W * H), D3D_OK);
        return pixels;
    }
};

} // namespace

TEST_F(D3DXTextureOpenGLTest, CompressedBlocksDrawAsTheyDecode) {
    // Colour 0 red, colour 1 blue; rows use indices 0, 1, 2, 3 (the two blends).
    const Bytes dxt1 = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x55, 0xAA, 0xFF};
    Bytes dxt5 = {255, 0, 0, 0, 0, 0, 0, 0}; // opaque alpha
    dxt5.insert(dxt5.end(), dxt1.begin(), dxt1.end());
    struct Case {
        const char* fourcc;
        Bytes block;
        Platform::ImageFormat format;
    } cases[] = {{"DXT1", dxt1, Platform::ImageFormat::DXT1}, {"DXT5", dxt5, Platform::ImageFormat::DXT5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fourcc);
        const Bytes file = OneBlockDds(c.fourcc, c.block);
        IDirect3DTexture9* t = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                                                      D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                      D3DX_DEFAULT, 0, nullptr, nullptr, &t),
                  D3D_OK);
        const std::vector<uint8_t> expected = Platform::DecompressLevel(c.format, 4, 4, c.block.data(), c.block.size());
        const std::vector<D3DCOLOR> p = Draw(t);
        for (UINT y = 0; y < 4; ++y) {
            for (UINT x = 0; x < 4; ++x) {
                D3DCOLOR want;
                std::memcpy(&want, &expected[(y * 4 + x) * 4], 4);
                // Hardware blends of the two colours may round differently by a step.
                EXPECT_TRUE(NearRgb(p[y * W + x], want, 9))
                    << x << "," << y << " " << std::hex << p[y * W + x] << " want " << want;
            }
        }
        t->Release();
    }
}
