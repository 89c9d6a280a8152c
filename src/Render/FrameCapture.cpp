#include "Render/FrameCapture.h"

#include "Framework/PLog.h"
#include "Platform/System/AtomicFile.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

// Static: test programs bring their own copy of the writer.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

std::optional<SPFrameCaptureRequest> g_pending;

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

// The back buffer's pixels, top row first; a multisampled one is resolved into a plain target
// first, as reading it directly is refused.
bool ReadBackBuffer(IDirect3DDevice9* device, std::vector<D3DCOLOR>& pixels, UINT& width, UINT& height,
                    std::string& error) {
    IDirect3DSurface9* back = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) || !back) {
        error = "there is no back buffer";
        return false;
    }
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    IDirect3DSurface9* source = back;
    IDirect3DTexture9* plain = nullptr;
    IDirect3DSurface9* resolved = nullptr;
    if (desc.MultiSampleType != D3DMULTISAMPLE_NONE) {
        if (FAILED(device->CreateTexture(desc.Width, desc.Height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                         D3DPOOL_DEFAULT, &plain, nullptr)) ||
            !plain || FAILED(plain->GetSurfaceLevel(0, &resolved)) || !resolved ||
            FAILED(device->StretchRect(back, nullptr, resolved, nullptr, D3DTEXF_NONE))) {
            if (resolved) resolved->Release();
            if (plain) plain->Release();
            back->Release();
            error = "the multisampled back buffer cannot be resolved";
            return false;
        }
        source = resolved;
    }
    width = desc.Width;
    height = desc.Height;
    pixels.assign(static_cast<std::size_t>(width) * height, 0);
    const HRESULT read = device->ReadRenderTarget(source, pixels.data(), static_cast<UINT>(pixels.size()));
    if (resolved) resolved->Release();
    if (plain) plain->Release();
    back->Release();
    if (FAILED(read) || width == 0 || height == 0) {
        error = "the back buffer cannot be read";
        return false;
    }
    return true;
}

} // namespace

std::optional<SPFrameCaptureRequest> ParseFrameCapture(const char* value, std::string* error) {
    auto fail = [&](const char* why) -> std::optional<SPFrameCaptureRequest> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (!value) return fail("there is no value");
    const std::string_view text(value);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return fail("the form is <seconds>:<file>, and there is no colon");
    const std::string_view number = text.substr(0, colon);
    SPFrameCaptureRequest request;
    const auto [end, status] = std::from_chars(number.data(), number.data() + number.size(), request.seconds);
    if (number.empty() || status != std::errc() || end != number.data() + number.size())
        return fail("the time is not a number of seconds");
    if (!std::isfinite(request.seconds) || request.seconds < 0.0) return fail("the time is not 0 or more seconds");
    request.file = std::string(text.substr(colon + 1));
    if (request.file.empty()) return fail("there is no file name");
    return request;
}

bool ApplyCaptureSwitch(const char* value) {
    if (!value || !*value) {
        g_pending.reset();
        return false;
    }
    std::string error;
    g_pending = ParseFrameCapture(value, &error);
    if (!g_pending)
        CPLog::Instance().Print(0, "Render: %s=\"%s\" is ignored: %s", kCaptureSwitch, value, error.c_str());
    return g_pending.has_value();
}

void SetFrameCapture(std::optional<SPFrameCaptureRequest> request) { g_pending = std::move(request); }

bool IsFrameCapturePending() { return g_pending.has_value(); }

bool CaptureFrameIfDue(IDirect3DDevice9* device, double totalTime) {
    if (!g_pending || !device || totalTime < g_pending->seconds) return false;
    const SPFrameCaptureRequest request = std::move(*g_pending);
    g_pending.reset();

    std::vector<D3DCOLOR> pixels;
    UINT width = 0, height = 0;
    std::string error;
    if (!ReadBackBuffer(device, pixels, width, height, error)) {
        CPLog::Instance().Print(0, "Render: the frame at %g s cannot be captured: %s", totalTime, error.c_str());
        return false;
    }
    // D3DCOLOR is 0xAARRGGBB; the picture is opaque whatever the back buffer's alpha holds.
    std::vector<std::uint8_t> rgb(pixels.size() * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        rgb[i * 3 + 0] = static_cast<std::uint8_t>(pixels[i] >> 16);
        rgb[i * 3 + 1] = static_cast<std::uint8_t>(pixels[i] >> 8);
        rgb[i * 3 + 2] = static_cast<std::uint8_t>(pixels[i]);
    }
    std::vector<std::uint8_t> png;
    if (!stbi_write_png_to_func(AppendBytes, &png, static_cast<int>(width), static_cast<int>(height), 3, rgb.data(),
                                static_cast<int>(width) * 3) ||
        !Platform::AtomicWriteFile(request.file, png.data(), png.size(), &error)) {
        if (error.empty()) error = "the picture cannot be encoded";
        CPLog::Instance().Print(0, "Render: the frame picture \"%s\" cannot be written: %s", request.file.c_str(),
                                error.c_str());
        return false;
    }
    return true;
}
