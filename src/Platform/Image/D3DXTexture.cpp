#include "Platform/Image/D3DXTexture.h"

#include "Platform/Image/ImageDecode.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using Platform::Image;
using Platform::ImageFormat;
using Platform::ImageLevel;
using Platform::ImageLoadOptions;

D3DFORMAT DeviceFormat(ImageFormat f) {
    switch (f) {
    case ImageFormat::DXT1: return D3DFMT_DXT1;
    case ImageFormat::DXT3: return D3DFMT_DXT3;
    case ImageFormat::DXT5: return D3DFMT_DXT5;
    case ImageFormat::BGRA8: break;
    }
    return D3DFMT_A8R8G8B8;
}

bool ImageFormatFor(D3DFORMAT f, ImageFormat& out) {
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: out = ImageFormat::BGRA8; return true;
    case D3DFMT_DXT1: out = ImageFormat::DXT1; return true;
    case D3DFMT_DXT3: out = ImageFormat::DXT3; return true;
    case D3DFMT_DXT5: out = ImageFormat::DXT5; return true;
    default: return false;
    }
}

// Turns every level into the asked format (only between BGRA8 and the block formats).
void Convert(Image& image, ImageFormat target) {
    if (image.format == target) return;
    for (auto& face : image.faces) {
        for (ImageLevel& level : face) {
            std::vector<uint8_t> bgra = Platform::DecompressLevel(image.format, level.width, level.height,
                                                                  level.data.data(), level.data.size());
            level.data = target == ImageFormat::BGRA8
                             ? std::move(bgra)
                             : Platform::CompressLevel(target, level.width, level.height, bgra);
        }
    }
    image.format = target;
}

// Options for the sizes and levels the call asks for; false for sizes it cannot honour.
bool MakeOptions(IDirect3DDevice9* device, UINT width, UINT height, UINT mipLevels, D3DCOLOR colorKey, bool cube,
                 ImageLoadOptions& o) {
    o.cube = cube;
    o.colourKey = colorKey;
    o.roundToPowerOfTwo = !(width == D3DX_DEFAULT_NONPOW2 || width == D3DX_FROM_FILE);
    auto explicitSize = [](UINT v) {
        return v == D3DX_DEFAULT || v == D3DX_DEFAULT_NONPOW2 || v == D3DX_FROM_FILE ? 0u : v;
    };
    o.width = explicitSize(width);
    o.height = explicitSize(height);
    if (o.width > Platform::kMaxImageSide || o.height > Platform::kMaxImageSide) return false;
    if (mipLevels == D3DX_FROM_FILE)
        o.mipLevelsFromFile = true;
    else
        o.mipLevels = mipLevels == D3DX_DEFAULT ? 0 : mipLevels;
    D3DCAPS9 caps;
    if (SUCCEEDED(device->GetDeviceCaps(&caps)) && caps.MaxTextureWidth && caps.MaxTextureHeight)
        o.maxSide = std::min(caps.MaxTextureWidth, caps.MaxTextureHeight);
    return true;
}

void FillInfo(const Image& image, D3DXIMAGE_INFO* info, bool cube) {
    if (!info) return;
    info->Width = image.fileWidth;
    info->Height = image.fileHeight;
    info->Depth = 1;
    info->MipLevels = image.fileMipLevels;
    info->Format = DeviceFormat(image.format);
    info->ResourceType = cube ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE;
    info->ImageFileFormat = static_cast<D3DXIMAGE_FILEFORMAT>(image.fileFormat);
}

// Copies one level into locked memory row by row (block rows for compressed formats).
void CopyLevel(const Image& image, const ImageLevel& level, const D3DLOCKED_RECT& locked) {
    const bool blocks = Platform::IsBlockCompressed(image.format);
    const size_t rowBytes = Platform::ImageLevelBytes(image.format, level.width, blocks ? 4 : 1);
    const size_t rows = blocks ? (level.height + 3) / 4 : level.height;
    for (size_t r = 0; r < rows; ++r)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + r * static_cast<size_t>(locked.Pitch),
                    level.data.data() + r * rowBytes, rowBytes);
}

bool Decode(IDirect3DDevice9* device, const void* data, UINT size, UINT width, UINT height, UINT mipLevels,
            D3DFORMAT format, D3DCOLOR colorKey, bool cube, Image& image) {
    ImageLoadOptions options;
    if (!MakeOptions(device, width, height, mipLevels, colorKey, cube, options)) return false;
    ImageFormat target = ImageFormat::BGRA8;
    if (format != D3DFMT_UNKNOWN && !ImageFormatFor(format, target)) return false;
    std::string error;
    if (!Platform::DecodeImage(data, size, options, image, error)) return false;
    if (format != D3DFMT_UNKNOWN) Convert(image, target);
    return true;
}

} // namespace

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* data, UINT size, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                            DWORD /*filter*/, DWORD /*mipFilter*/, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* info, PALETTEENTRY* /*palette*/,
                                            IDirect3DTexture9** texture) {
    if (!device || !data || !size || !texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    Image image;
    if (!Decode(device, data, size, width, height, mipLevels, format, colorKey, false, image))
        return D3DXERR_INVALIDDATA;
    FillInfo(image, info, false);
    const D3DFORMAT deviceFormat = format == D3DFMT_X8R8G8B8 ? format : DeviceFormat(image.format);
    IDirect3DTexture9* created = nullptr;
    HRESULT hr = device->CreateTexture(image.width, image.height, image.MipLevels(), usage, deviceFormat, pool,
                                       &created, nullptr);
    if (FAILED(hr)) return hr;
    for (UINT level = 0; level < image.MipLevels(); ++level) {
        D3DLOCKED_RECT locked;
        hr = created->LockRect(level, &locked, nullptr, 0);
        if (FAILED(hr)) {
            created->Release();
            return hr;
        }
        CopyLevel(image, image.faces[0][level], locked);
        created->UnlockRect(level);
    }
    *texture = created;
    return D3D_OK;
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, UINT size,
                                          IDirect3DTexture9** texture) {
    return D3DXCreateTextureFromFileInMemoryEx(device, data, size, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                               nullptr, texture);
}

HRESULT D3DXCreateCubeTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* data, UINT size, UINT edge,
                                                UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                DWORD /*filter*/, DWORD /*mipFilter*/, D3DCOLOR colorKey,
                                                D3DXIMAGE_INFO* info, PALETTEENTRY* /*palette*/,
                                                IDirect3DCubeTexture9** texture) {
    if (!device || !data || !size || !texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    Image image;
    if (!Decode(device, data, size, edge, edge, mipLevels, format, colorKey, true, image) ||
        image.width != image.height || image.faces.size() != 6)
        return D3DXERR_INVALIDDATA;
    FillInfo(image, info, true);
    const D3DFORMAT deviceFormat = format == D3DFMT_X8R8G8B8 ? format : DeviceFormat(image.format);
    IDirect3DCubeTexture9* created = nullptr;
    HRESULT hr =
        device->CreateCubeTexture(image.width, image.MipLevels(), usage, deviceFormat, pool, &created, nullptr);
    if (FAILED(hr)) return hr;
    for (UINT face = 0; face < 6; ++face) {
        for (UINT level = 0; level < image.MipLevels(); ++level) {
            D3DLOCKED_RECT locked;
            hr = created->LockRect(static_cast<D3DCUBEMAP_FACES>(face), level, &locked, nullptr, 0);
            if (FAILED(hr)) {
                created->Release();
                return hr;
            }
            CopyLevel(image, image.faces[face][level], locked);
            created->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), level);
        }
    }
    *texture = created;
    return D3D_OK;
}
