#include "Render/PTexture.h"

#include "Framework/PFileReader.h"
#include "Framework/PSettings.h"
#include "Platform/Image/D3DXTexture.h"
#include "Render/PMaterial.h"
#include "Render/PTextureCache.h"
#include "Render/RenderSupport.h"

namespace {

void ReportDXError(int line, HRESULT hr) { ::ReportDXError("Render\\PTexture", line, hr); }

} // namespace

CPTexture::~CPTexture() {
    if (m_texture) m_texture->Release();
    if (m_cubeTexture) m_cubeTexture->Release();
    m_texture = nullptr;
    m_cubeTexture = nullptr;
    if (CPTextureCache* cache = GetTextureCache()) cache->Remove(this);
}

IDirect3DBaseTexture9* CPTexture::GetBaseTexture() const {
    if (m_cube) return m_cubeTexture;
    return m_texture;
}

bool CPTexture::Load(const std::string& request) {
    const SPLoadRequest parsed = SplitLoadRequest(request);
    const std::string& file = parsed.file;
    const bool noMip = parsed.Has("nomip"), cube = parsed.Has("cube");

    // A missing texture is looked for as a JPEG of the same name.
    CPFileReader reader("Data\\Textures\\" + file);
    if (!reader.Find())
        reader = CPFileReader("Data\\Textures\\" + file.substr(0, file.size() >= 3 ? file.size() - 3 : 0) + "jpg");

    m_name = request;
    const UINT mipLevels = noMip ? 1 : D3DX_DEFAULT;

    if (FAILED(reader.Load())) return false;

    IDirect3DDevice9* device = GetMaterialDevice();
    const auto* data = reader.GetData();
    const UINT size = static_cast<UINT>(reader.GetDataSize());
    HRESULT hr;
    D3DSURFACE_DESC desc;
    if (cube) {
        m_cube = true;
        hr = D3DXCreateCubeTextureFromFileInMemoryEx(
            device, data, size, D3DX_DEFAULT, mipLevels, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
            D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, 0, nullptr, nullptr, &m_cubeTexture);
        if (SUCCEEDED(hr)) hr = m_cubeTexture->GetLevelDesc(0, &desc);
    } else {
        hr = D3DXCreateTextureFromFileInMemoryEx(
            device, data, size, D3DX_DEFAULT, D3DX_DEFAULT, mipLevels, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
            D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, 0, nullptr, nullptr, &m_texture);
        if (SUCCEEDED(hr)) {
            if (mipLevels != 1 && g_texlod != -1) m_texture->SetLOD(static_cast<DWORD>(g_texlod));
            hr = m_texture->GetLevelDesc(0, &desc);
        }
    }
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        return false;
    }
    m_width = static_cast<std::int32_t>(desc.Width);
    m_height = static_cast<std::int32_t>(desc.Height);
    return true;
}

CPTextureBlock::CPTextureBlock(const std::vector<CPTexture*>& textures)
    : m_count(static_cast<std::int32_t>(textures.size())) {
    m_textures.reserve(textures.size());
    for (CPTexture* texture : textures) {
        m_textures.emplace_back(texture);
        if (texture) m_name += texture->GetName();
    }
}

CPTextureBlock::~CPTextureBlock() {
    m_textures.clear();
    if (CPTextureCache* cache = GetTextureCache()) cache->RemoveBlock(this);
}

CPTexture* CPTextureBlock::GetTexture(int index) const {
    if (index < 0 || index >= m_count) return nullptr;
    return m_textures[static_cast<std::size_t>(index)].Get();
}

bool CPTextureBlock::Holds(const std::vector<CPTexture*>& textures) const {
    if (textures.size() != m_textures.size()) return false;
    for (std::size_t i = 0; i < textures.size(); ++i)
        if (m_textures[i].Get() != textures[i]) return false;
    return true;
}
