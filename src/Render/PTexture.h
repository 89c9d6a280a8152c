#pragma once
// One texture or cube map of "Data\Textures", and the ordered set of textures one material
// binds to its effect's "tex%d" parameters. Both are shared through the texture cache.

#include "Framework/PMMObject.h"
#include "Platform/Graphics/D3D9.h"

#include <cstdint>
#include <string>
#include <vector>

class CPTexture : public IPMMObject {
public:
    CPTexture() = default;
    ~CPTexture() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPTexture)); }
    std::string GetClassName() const override { return "CPTexture - " + m_name; }

    // request: file name under "Data\Textures", optionally followed by comma-separated options:
    // "nomip" (one level) and "cube" (a cube map). When the file is not found, the same name
    // with "jpg" in place of its last three characters is tried. False when nothing loaded.
    bool Load(const std::string& request);

    // What effects bind: the cube map when there is one, else the texture (null when the
    // texture did not load).
    IDirect3DBaseTexture9* GetBaseTexture() const;
    IDirect3DTexture9* GetD3DTexture() const { return m_texture; }
    IDirect3DCubeTexture9* GetCubeTexture() const { return m_cubeTexture; }
    const std::string& GetName() const { return m_name; }
    bool IsCube() const { return m_cube; }
    std::int32_t GetWidth() const { return m_width; }
    std::int32_t GetHeight() const { return m_height; }

private:
    IDirect3DTexture9* m_texture = nullptr;
    IDirect3DCubeTexture9* m_cubeTexture = nullptr;
    std::string m_name;
    bool m_cube = false;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
};

class CPTextureBlock : public IPMMObject {
public:
    explicit CPTextureBlock(const std::vector<CPTexture*>& textures);
    ~CPTextureBlock() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPTextureBlock)); }
    std::string GetClassName() const override { return "CPTextureBlock - " + m_name; }

    std::int32_t GetCount() const { return m_count; }
    // The i-th texture, or null outside 0..count-1.
    CPTexture* GetTexture(int index) const;
    const std::string& GetName() const { return m_name; }
    // Whether the block holds exactly these textures in this order.
    bool Holds(const std::vector<CPTexture*>& textures) const;

private:
    std::vector<CPSmartPtr<CPTexture>> m_textures;
    std::int32_t m_count = 0;
    std::string m_name;
};
