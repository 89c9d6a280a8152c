#pragma once
// A game root with our own effect files, a Recording device installed as the material host,
// and the effect manager with its caches; small writers for the texture files the tests load.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Graphics/D3D9.h"
#include "Platform/Graphics/RecordingDevice.h"
#include "Render/PEffectManager.h"
#include "Render/PMaterial.h"
#include "support/TempDir.h"
#include "support/TestDevices.h"

namespace materialstest {

inline std::string ReadDataFile(const std::string& relative) {
    std::ifstream in(std::string(KX_DATA_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void PutU16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
inline void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// An uncompressed 32-bit TGA of one colour (BGRA bytes).
inline std::string Tga(int width, int height, std::uint32_t argb = 0xFF336699u) {
    std::string out;
    out += '\0';
    out += '\0';
    out += '\2';
    out.append(5, '\0');
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, static_cast<std::uint16_t>(width));
    PutU16(out, static_cast<std::uint16_t>(height));
    out += static_cast<char>(32);
    out += static_cast<char>(8);
    for (int i = 0; i < width * height; ++i) PutU32(out, argb);
    return out;
}

// A DXT1 DDS (one level), a cube map of six faces when asked.
inline std::string DdsDxt1(int edge, bool cube) {
    std::string out = "DDS ";
    PutU32(out, 124);
    PutU32(out, 0x1007);
    PutU32(out, static_cast<std::uint32_t>(edge));
    PutU32(out, static_cast<std::uint32_t>(edge));
    PutU32(out, 0);
    PutU32(out, 0);
    PutU32(out, 1);
    for (int i = 0; i < 11; ++i) PutU32(out, 0);
    PutU32(out, 32);
    PutU32(out, 0x4);
    out += "DXT1";
    for (int i = 0; i < 5; ++i) PutU32(out, 0);
    PutU32(out, 0x1000);
    PutU32(out, cube ? 0xFE00u : 0u);
    PutU32(out, 0);
    PutU32(out, 0);
    PutU32(out, 0);
    const int blocks = ((edge + 3) / 4) * ((edge + 3) / 4);
    for (int f = 0; f < (cube ? 6 : 1); ++f)
        for (int b = 0; b < blocks; ++b) {
            PutU16(out, 0xF800); // red
            PutU16(out, 0x001F); // blue
            PutU32(out, 0);      // every texel the first colour
        }
    return out;
}

// A recording host: hands out the device and keeps the queued materials.
class Host : public IPMaterialHost {
public:
    IDirect3DDevice9* device = nullptr;
    std::vector<CPMaterial*> queued;
    IDirect3DDevice9* GetMaterialDevice() override { return device; }
    void QueueMaterial(CPMaterial* material) override { queued.push_back(material); }
};

class MaterialsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root.Write("Data/Effects/simple.fx", ReadDataFile("Data/Effects/simple.fx"));
        root.Write("Data/Effects/error.fx", ReadDataFile("Data/Effects/error.fx"));
        root.Write("Data/Textures/error.tga", ReadDataFile("Data/Textures/error.tga"));

        d3d = kxtest::RecordingDirect3D();
        ASSERT_NE(d3d, nullptr);
        kxtest::CreateTestDevice(d3d, kxtest::WindowedBackBuffer(64, 48, D3DFMT_A8R8G8B8, D3DFMT_D24S8), &host.device);
        if (HasFatalFailure()) return;
        SetMaterialHost(&host);
        manager = new CPEffectManager();
    }

    void TearDown() override {
        IPMMObject::CollectGarbage();
        delete manager;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        SetMaterialHost(nullptr);
        if (host.device) host.device->Release();
        if (d3d) d3d->Release();
    }

    Platform::IRecordingControl* Recording() { return Platform::RecordingControl(host.device); }

    kxtest::TempGameRoot root;
    IDirect3D9* d3d = nullptr;
    Host host;
    CPEffectManager* manager = nullptr;
};

} // namespace materialstest
