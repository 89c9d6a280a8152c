#include "MaterialsFixture.h"

#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Framework/PackFile.h"
#include "Render/PTexture.h"
#include "Render/PTextureCache.h"
#include "support/PackWriter.h"

using namespace materialstest;

namespace {

class TextureCacheTest : public MaterialsTest {
protected:
    void TearDown() override {
        UnmountPacks();
        g_texlod = -1;
        MaterialsTest::TearDown();
    }
    CPSmartPtr<CPTexture> Get(const std::string& request) {
        CPSmartPtr<CPTexture> texture;
        GetTextureCache()->GetTexture(texture, request);
        return texture;
    }
};

TEST_F(TextureCacheTest, LoadsWithPowerOfTwoSizesAndAFullMipChain) {
    root.Write("Data/Textures/odd.tga", Tga(5, 3));
    CPSmartPtr<CPTexture> texture = Get("odd.tga");
    ASSERT_NE(texture->GetD3DTexture(), nullptr);
    EXPECT_EQ(texture->GetName(), "odd.tga");
    EXPECT_EQ(texture->GetClassName(), "CPTexture - odd.tga");
    EXPECT_EQ(texture->GetWidth(), 8) << "the reported size is the rounded one";
    EXPECT_EQ(texture->GetHeight(), 4);
    EXPECT_EQ(texture->GetD3DTexture()->GetLevelCount(), 4u); // 8x4, 4x2, 2x1, 1x1
    EXPECT_FALSE(texture->IsCube());
    EXPECT_EQ(texture->GetBaseTexture(), texture->GetD3DTexture());
    D3DSURFACE_DESC desc;
    texture->GetD3DTexture()->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);

    // The pixels reached the device.
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->GetD3DTexture()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::uint32_t first = 0;
    std::memcpy(&first, locked.pBits, 4);
    texture->GetD3DTexture()->UnlockRect(0);
    EXPECT_EQ(first, 0xFF336699u);
}

TEST_F(TextureCacheTest, OptionsMakeSeparateEntries) {
    root.Write("Data/Textures/wall.tga", Tga(16, 16));
    CPSmartPtr<CPTexture> plain = Get("wall.tga");
    CPSmartPtr<CPTexture> nomip = Get("wall.tga,nomip");
    EXPECT_NE(plain.Get(), nomip.Get());
    EXPECT_EQ(Get("wall.tga").Get(), plain.Get());
    EXPECT_EQ(plain->GetD3DTexture()->GetLevelCount(), 5u);
    EXPECT_EQ(nomip->GetD3DTexture()->GetLevelCount(), 1u);
    EXPECT_EQ(nomip->GetName(), "wall.tga,nomip");
    EXPECT_EQ(GetTextureCache()->GetEntryCount(), 4u); // with "video" and "video1"
}

TEST_F(TextureCacheTest, MissingMainFileUsesTheJpgAlternative) {
    root.Write("Data/Textures/wall.jpg", Tga(2, 2)); // the decoder goes by content, not by name
    CPSmartPtr<CPTexture> texture = Get("wall.tga");
    ASSERT_NE(texture->GetD3DTexture(), nullptr);
    EXPECT_EQ(texture->GetName(), "wall.tga");
    EXPECT_EQ(texture->GetWidth(), 2);
}

TEST_F(TextureCacheTest, ExistenceTestSeesPacksAndEitherSlash) {
    // Only in a pack: found there, so the loose jpg alternative is not taken.
    kxtest::PackWriter pack;
    pack.AddFile("textures\\sub\\packed.tga", Tga(16, 16));
    root.Write("Data/game1.dat", pack.Build());
    root.Write("Data/Textures/sub/packed.jpg", Tga(2, 2));
    ASSERT_EQ(MountPacks(), S_OK);
    for (const char* request : {"sub\\packed.tga", "sub/packed.tga"}) {
        SCOPED_TRACE(request);
        CPSmartPtr<CPTexture> texture = Get(request);
        ASSERT_NE(texture->GetD3DTexture(), nullptr);
        EXPECT_EQ(texture->GetWidth(), 16);
    }
}

TEST_F(TextureCacheTest, UnloadableTexturesBecomeErrorTgaUnderTheirSpec) {
    root.Write("Data/Textures/truncated.tga", Tga(8, 8).substr(0, 10));
    root.Write("Data/Textures/garbage.tga", std::string(300, '\x7f'));
    root.Write("Data/Textures/empty.tga", "");
    root.Write("Data/Textures/flat.tga", Tga(4, 4));
    std::string dds = DdsDxt1(8, false);
    root.Write("Data/Textures/short.dds", dds.substr(0, dds.size() - 5));
    for (const char* request :
         {"missing.tga", "truncated.tga", "garbage.tga", "empty.tga", "short.dds", "flat.tga,cube", "ab"}) {
        SCOPED_TRACE(request);
        CPSmartPtr<CPTexture> texture = Get(request);
        ASSERT_TRUE(texture);
        EXPECT_EQ(texture->GetName(), "error.tga");
        EXPECT_EQ(texture->GetWidth(), 32);
        EXPECT_NE(texture->GetBaseTexture(), nullptr);
        EXPECT_EQ(Get(request).Get(), texture.Get());
    }
}

TEST_F(TextureCacheTest, WhenErrorTgaFailsTooTheTextureBindsNothing) {
    root.Write("Data/Textures/error.tga", "broken");
    std::vector<std::string> log;
    CPLog::Instance().SetSink([&](int, const std::string& line) { log.push_back(line); });
    CPSmartPtr<CPTexture> texture = Get("missing.tga");
    CPLog::Instance().SetSink(nullptr);
    ASSERT_TRUE(texture);
    EXPECT_EQ(texture->GetBaseTexture(), nullptr);
    EXPECT_EQ(texture->GetWidth(), 0);
    bool reported = false;
    for (const std::string& line : log) reported |= line.find("DXError if Render\\PTexture on line") == 0;
    EXPECT_TRUE(reported);
}

TEST_F(TextureCacheTest, EntriesLeaveWithTheirTextureNotByName) {
    CPSmartPtr<CPTexture> a = Get("missing1.tga");
    CPSmartPtr<CPTexture> b = Get("missing2.tga");
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(GetTextureCache()->GetEntryCount(), 4u);
    a = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(GetTextureCache()->GetEntryCount(), 3u);
    root.Write("Data/Textures/missing1.tga", Tga(4, 4));
    EXPECT_EQ(Get("missing1.tga")->GetName(), "missing1.tga") << "a new request loads again";
}

TEST_F(TextureCacheTest, CubeMapsFromCubeDds) {
    root.Write("Data/Textures/sky.dds", DdsDxt1(8, true));
    CPSmartPtr<CPTexture> cube = Get("sky.dds,cube");
    ASSERT_NE(cube->GetCubeTexture(), nullptr);
    EXPECT_TRUE(cube->IsCube());
    EXPECT_EQ(cube->GetD3DTexture(), nullptr);
    EXPECT_EQ(cube->GetBaseTexture(), cube->GetCubeTexture());
    EXPECT_EQ(cube->GetWidth(), 8);
    D3DSURFACE_DESC desc;
    cube->GetCubeTexture()->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    // Asked for as a plain texture, a cube file does not load.
    EXPECT_EQ(Get("sky.dds")->GetName(), "error.tga");
}

TEST_F(TextureCacheTest, BlockCompressionIsKept) {
    root.Write("Data/Textures/color.dds", DdsDxt1(8, false));
    CPSmartPtr<CPTexture> texture = Get("color.dds");
    ASSERT_NE(texture->GetD3DTexture(), nullptr);
    D3DSURFACE_DESC desc;
    texture->GetD3DTexture()->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    EXPECT_EQ(texture->GetD3DTexture()->GetLevelCount(), 4u) << "the chain is completed";
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->GetD3DTexture()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::uint16_t colour0 = 0;
    std::memcpy(&colour0, locked.pBits, 2);
    texture->GetD3DTexture()->UnlockRect(0);
    EXPECT_EQ(colour0, 0xF800) << "the blocks are uploaded as they are";
}

TEST_F(TextureCacheTest, TexLodSkipsTopLevelsUnlessNoMip) {
    root.Write("Data/Textures/wall.tga", Tga(16, 16));
    g_texlod = 1;
    CPSmartPtr<CPTexture> mipped = Get("wall.tga");
    CPSmartPtr<CPTexture> nomip = Get("wall.tga,nomip");
    EXPECT_EQ(mipped->GetD3DTexture()->GetLOD(), 1u);
    EXPECT_EQ(nomip->GetD3DTexture()->GetLOD(), 0u);
    EXPECT_EQ(mipped->GetWidth(), 16) << "the size is still the top level's";
    EXPECT_EQ(Recording()->CountCalls("SetLOD"), 1u);

    g_texlod = -1;
    CPSmartPtr<CPTexture> other = Get("wall.tga,x");
    EXPECT_EQ(other->GetD3DTexture()->GetLOD(), 0u);
    EXPECT_EQ(Recording()->CountCalls("SetLOD"), 1u);
}

TEST_F(TextureCacheTest, BlocksAreSharedByTextureIdentityAndOrder) {
    root.Write("Data/Textures/a.tga", Tga(4, 4));
    root.Write("Data/Textures/b.tga", Tga(8, 8));
    CPTextureCache* cache = GetTextureCache();
    CPSmartPtr<CPTextureBlock> ab, ab2, ba, empty, empty2;
    cache->GetTextureBlock(ab, {"a.tga", "b.tga"});
    cache->GetTextureBlock(ab2, {"a.tga", "b.tga"});
    cache->GetTextureBlock(ba, {"b.tga", "a.tga"});
    cache->GetTextureBlock(empty, {});
    cache->GetTextureBlock(empty2, {});
    EXPECT_EQ(ab.Get(), ab2.Get());
    EXPECT_NE(ab.Get(), ba.Get());
    EXPECT_EQ(empty.Get(), empty2.Get());
    EXPECT_EQ(empty->GetCount(), 0);
    EXPECT_EQ(ab->GetCount(), 2);
    EXPECT_EQ(ab->GetName(), "a.tgab.tga");
    EXPECT_EQ(ab->GetClassName(), "CPTextureBlock - a.tgab.tga");
    EXPECT_EQ(ab->GetTexture(2), nullptr);
    EXPECT_EQ(ab->GetTexture(-1), nullptr);

    // Two missing names both resolve to error textures, but to different ones: different blocks.
    CPSmartPtr<CPTextureBlock> m1, m2;
    cache->GetTextureBlock(m1, {"missing1.tga"});
    cache->GetTextureBlock(m2, {"missing2.tga"});
    EXPECT_NE(m1.Get(), m2.Get());

    // The block holds its textures; when it goes, it leaves the cache's list.
    const std::size_t blocks = cache->GetBlockCount();
    ba = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(cache->GetBlockCount(), blocks - 1);
    EXPECT_EQ(ab->GetTexture(0)->GetRefCount(), 1);
}

TEST_F(TextureCacheTest, VideoTexturesExistFromTheStartWithoutImages) {
    CPSmartPtr<CPTexture> video = Get("video");
    CPSmartPtr<CPTexture> video1 = Get("video1");
    ASSERT_TRUE(video && video1);
    EXPECT_NE(video.Get(), video1.Get());
    EXPECT_EQ(video->GetName(), "");
    EXPECT_EQ(video->GetBaseTexture(), nullptr);
    IPMMObject::CollectGarbage();
    EXPECT_EQ(Get("video").Get(), video.Get()) << "the cache holds them itself";
}

TEST_F(TextureCacheTest, DumpReportsEveryTexture) {
    root.Write("Data/Textures/a.tga", Tga(4, 4));
    CPSmartPtr<CPTexture> a = Get("a.tga");
    std::vector<std::string> log;
    CPLog::Instance().SetSink([&](int, const std::string& line) { log.push_back(line); });
    GetTextureCache()->DumpTextures();
    CPLog::Instance().SetSink(nullptr);
    EXPECT_EQ(log.size(), 3u);
}

} // namespace
