#include "Platform/Image/D3DXTexture.h"
#include "support/TestDevices.h"

#include "support/ImageFileBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace ImageTest;

namespace {

// An uncompressed 32-bit TGA, top row first, every pixel the given BGRA.
Bytes Tga(uint16_t w, uint16_t h, uint32_t argb) {
    Bytes b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(b, w);
    Put16(b, h);
    b.push_back(32);
    b.push_back(8 | 0x20);
    for (int i = 0; i < w * h; ++i) Put32(b, argb);
    return b;
}

Bytes Dds(uint32_t w, uint32_t h, uint32_t mips, bool cube, const char* fourcc, const Bytes& payload) {
    DdsLayout layout;
    layout.width = w;
    layout.height = h;
    layout.mips = mips;
    layout.cube = cube;
    layout.fourCC = fourcc ? Fourcc(fourcc) : 0;
    Bytes b = DdsHeader(layout);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

class D3DXTextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d = kxtest::RecordingDirect3D();
        ASSERT_NE(d3d, nullptr);
        kxtest::CreateTestDevice(d3d, kxtest::WindowedBackBuffer(64, 48, D3DFMT_X8R8G8B8), &device);
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) d3d->Release();
    }

    HRESULT Load(const Bytes& file, UINT mips, IDirect3DTexture9** t, D3DXIMAGE_INFO* info = nullptr) {
        return D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                                                   D3DX_DEFAULT, mips, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                   D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, 0, info, nullptr, t);
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

} // namespace

TEST_F(D3DXTextureTest, DefaultSizeIsRoundedUpAndTheChainIsFull) {
    const Bytes tga = Tga(3, 2, 0xFF204080);
    IDirect3DTexture9* t = nullptr;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(Load(tga, D3DX_DEFAULT, &t, &info), D3D_OK);
    D3DSURFACE_DESC d;
    ASSERT_EQ(t->GetLevelDesc(0, &d), D3D_OK);
    EXPECT_EQ(d.Width, 4u); // the reported size is the rounded one
    EXPECT_EQ(d.Height, 2u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(t->GetLevelCount(), 3u); // 4x2, 2x1, 1x1
    EXPECT_EQ(info.Width, 3u);         // the file's own size
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->LockRect(2, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    uint32_t texel;
    std::memcpy(&texel, r.pBits, 4);
    EXPECT_EQ(texel, 0xFF204080u);
    t->UnlockRect(2);
    t->Release();

    ASSERT_EQ(Load(tga, 1, &t), D3D_OK); // "nomip"
    EXPECT_EQ(t->GetLevelCount(), 1u);
    t->Release();
}

TEST_F(D3DXTextureTest, BlockCompressedFilesStayCompressed) {
    Bytes blocks;
    for (int i = 0; i < 4; ++i) { // 8x8: four DXT1 blocks, then one for 4x4
        Put32(blocks, 0x001FF800);
        Put32(blocks, 0x11223344u + static_cast<uint32_t>(i));
    }
    Put32(blocks, 0x001FF800);
    Put32(blocks, 0);
    const Bytes dds = Dds(8, 8, 2, false, "DXT1", blocks);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(Load(dds, D3DX_DEFAULT, &t), D3D_OK);
    D3DSURFACE_DESC d;
    t->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Format, D3DFMT_DXT1);
    EXPECT_EQ(t->GetLevelCount(), 4u);
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->LockRect(0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    // Block row 0: blocks 0 and 1 as the file has them.
    EXPECT_EQ(std::memcmp(r.pBits, blocks.data(), 16), 0);
    EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(r.pBits) + r.Pitch, blocks.data() + 16, 16), 0);
    t->UnlockRect(0);
    t->Release();
}

TEST_F(D3DXTextureTest, CubeMapsComeFromCubeDds) {
    Bytes faces;
    for (uint32_t f = 0; f < 6; ++f) Put32(faces, 0xFF000000u | f);
    const Bytes dds = Dds(1, 1, 1, true, nullptr, faces);
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(device, dds.data(), static_cast<UINT>(dds.size()), D3DX_DEFAULT,
                                                      D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                      D3DX_DEFAULT, 0, nullptr, nullptr, &cube),
              D3D_OK);
    D3DLOCKED_RECT r;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    uint32_t texel;
    std::memcpy(&texel, r.pBits, 4);
    EXPECT_EQ(texel, 0xFF000005u);
    cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0);
    cube->Release();

    // A 2D file asked for as a cube, and a cube file asked for as 2D, both fail.
    const Bytes tga = Tga(2, 2, 0xFFFFFFFF);
    EXPECT_EQ(D3DXCreateCubeTextureFromFileInMemoryEx(device, tga.data(), static_cast<UINT>(tga.size()), D3DX_DEFAULT,
                                                      D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                      D3DX_DEFAULT, 0, nullptr, nullptr, &cube),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(cube, nullptr);
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(Load(dds, D3DX_DEFAULT, &t), D3DXERR_INVALIDDATA);
}

TEST_F(D3DXTextureTest, BadFilesCreateNothing) {
    const Bytes tga = Tga(4, 4, 0xFFFFFFFF);
    const Bytes tga8x8 = Tga(8, 8, 0xFF00FF00); // 274 bytes; cut to 40, the pixels are missing
    ASSERT_EQ(tga8x8.size(), 274u);
    const Bytes truncatedDds = Dds(8, 8, 1, false, "DXT5", Bytes(40, 0));
    const Bytes cases[] = {Bytes(tga.begin(), tga.begin() + 10), Bytes(tga8x8.begin(), tga8x8.begin() + 40),
                           Bytes(tga8x8.begin(), tga8x8.end() - 1), truncatedDds, Bytes{'n', 'o', 'p', 'e'}};
    for (const Bytes& file : cases) {
        IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(1);
        EXPECT_EQ(Load(file, D3DX_DEFAULT, &t), D3DXERR_INVALIDDATA);
        EXPECT_EQ(t, nullptr);
    }
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, nullptr, 0, &t), D3DERR_INVALIDCALL);
}
