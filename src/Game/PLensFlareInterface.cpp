#include "Game/PLensFlareInterface.h"

#include <algorithm>
#include <cmath>

#include "Game/InterfaceKeys.h"
#include "Game/LayoutFields.h"

#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Platform/System/NumberText.h"
#include "Render/PEffectManager.h"
#include "Render/PRenderObject.h"
#include "Script/PLuaScript.h"

namespace {

constexpr std::size_t kMaxFlareLines = 1024;

// A file value times the screen height over 320, truncated; saturates instead of overflowing.
int ScaledToScreen(int value, int screenHeight) {
    const double scaled = static_cast<double>(value) * screenHeight * 0.003125;
    return static_cast<int>(std::clamp(std::trunc(scaled), -2147483648.0, 2147483647.0));
}

// A float truncated to an int; NaN gives 0 and values beyond the int range saturate.
int Truncate(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
}

class LensFlareOverlayMaker : public IPLensFlareOverlayMaker {
public:
    CPSmartPtr<IPLensFlareOverlay> Make(const std::string& flareName) override {
        auto* overlay = new CPLensFlareInterface();
        overlay->LoadLayout(flareName, 1);
        return CPSmartPtr<IPLensFlareOverlay>(overlay);
    }
};

} // namespace

std::vector<SPFlare> ParseLensFlareLayout(const std::vector<std::string>& lines, int screenHeight) {
    std::vector<SPFlare> flares;
    for (const std::string& line : lines) {
        const std::vector<std::string> fields = SplitTokens(line, "\t");
        SPFlare flare;
        flare.texture = LayoutFields::Field(fields, 0);
        flare.position = Platform::ParseInt(LayoutFields::Field(fields, 1));
        flare.sizeX = Platform::ParseFloat(LayoutFields::Field(fields, 2)) / 2.0f;
        flare.sizeY = Platform::ParseFloat(LayoutFields::Field(fields, 3)) / 2.0f;
        flare.colour = static_cast<D3DCOLOR>(Platform::ParseInt(LayoutFields::Field(fields, 4)));
        flare.cellWidth = ScaledToScreen(Platform::ParseInt(LayoutFields::Field(fields, 5)), screenHeight);
        flare.cellHeight = ScaledToScreen(Platform::ParseInt(LayoutFields::Field(fields, 6)), screenHeight);
        flare.column = ScaledToScreen(Platform::ParseInt(LayoutFields::Field(fields, 7)), screenHeight);
        flare.row = ScaledToScreen(Platform::ParseInt(LayoutFields::Field(fields, 8)), screenHeight);
        flares.push_back(flare);
    }
    return flares;
}

bool CPLensFlareInterface::LoadLayout(const std::string& name, int layer) {
    m_name = name;
    std::vector<std::string> lines;
    const bool read = ReadTextFileLines("Data\\Interface\\" + name + ".int", lines, kMaxFlareLines);
    LoadFlares(ParseLensFlareLayout(lines, g_screenHeight), layer);
    return read;
}

void CPLensFlareInterface::LoadFlares(std::vector<SPFlare> flares, int layer) {
    SetAttachment(CPSmartPtr<IPMMObject>(m_batch.Get()), KindMesh);
    SetDirty(false);
    SetScript(CPSmartPtr<CPLuaScript>());
    m_flares = std::move(flares);
    // Without a line there is no texture to draw with: no material, nothing drawn.
    if (!m_flares.empty()) {
        if (CPEffectManager* effects = GetEffectManager()) {
            CPSmartPtr<CPMaterial> material;
            effects->GetMaterial(material, LayerKey(kBatchKeyBase, layer), "lensflare.fx",
                                 {m_flares[0].texture, "window.tga"});
            m_batch->SetEffect(material);
        }
    }
    const float screenHeight = static_cast<float>(g_screenHeight);
    for (std::size_t i = 0; i < m_flares.size(); ++i) {
        SPFlare& flare = m_flares[i];
        const int w = Truncate(static_cast<double>(flare.cellWidth) * flare.sizeX);
        const int h = Truncate(static_cast<double>(flare.cellHeight) * flare.sizeY);
        const int u = Truncate(static_cast<double>(flare.column) * flare.sizeX);
        const int v = Truncate(static_cast<double>(flare.row) * flare.sizeY);
        flare.halfWidth = w / 2;
        flare.halfHeight = h / 2;
        CPSmartPtr<CPWindow> window(new CPWindow(this));
        window->SetGeometry(std::to_string(i), screenHeight * flare.sizeX * 1.6f, screenHeight * flare.sizeY * 1.6f,
                            0.0f, 0.0f, static_cast<float>(w), static_cast<float>(h), static_cast<float>(u),
                            static_cast<float>(v), static_cast<float>(w), static_cast<float>(h));
        window->SetColour(flare.colour);
        window->SetPosition(0.0f, 0.0f);
        AddElement(window);
    }
    RebuildBatch();
}

void CPLensFlareInterface::Update(float milliseconds) {
    const float step = kFadeRatePerMillisecond * std::max(0.0f, milliseconds);
    m_fade = m_flareVisible ? std::min(255.0f, m_fade + step) : std::max(0.0f, m_fade - step);
    if (!(m_fade >= 0.0f)) m_fade = 0.0f;
    m_drawnAlpha = static_cast<unsigned char>(static_cast<int>(m_alpha) * static_cast<int>(m_fade) / 255);

    const int screenWidth = g_screenWidth;
    const int screenHeight = g_screenHeight;
    const std::size_t count = std::min(m_flares.size(), m_elements.size());
    for (std::size_t i = 0; i < count; ++i) {
        const SPFlare& flare = m_flares[i];
        CPWindow* window = m_elements[i].Get();
        if (!window) continue;
        window->SetColour((flare.colour & 0x00ffffffu) | (static_cast<D3DCOLOR>(m_drawnAlpha) << 24));
        const int w = Truncate(static_cast<double>(flare.cellWidth) * flare.sizeX * m_scale);
        const int h = Truncate(static_cast<double>(m_scale) * (static_cast<double>(flare.cellHeight) * flare.sizeY));
        window->SetSize(static_cast<float>(w), static_cast<float>(h));
        // In 64 bits: a source far off the screen must not overflow the offset.
        const long long dx =
            static_cast<long long>(flare.position) * (screenWidth / 2 - static_cast<long long>(m_sourceX)) / 50;
        const long long dy =
            static_cast<long long>(flare.position) * (screenHeight / 2 - static_cast<long long>(m_sourceY)) / 50;
        const int x = Truncate(static_cast<double>(dx) * m_scale + m_sourceX - Truncate(m_scale * flare.halfWidth));
        const int y = Truncate(m_scale * static_cast<double>(dy) + m_sourceY - Truncate(m_scale * flare.halfHeight));
        window->SetPosition(static_cast<float>(x), static_cast<float>(y));
    }
    RebuildBatch();
}

void CPLensFlareInterface::Render() {
    // Unscaled, so slow motion does not slow the fade.
    Update(g_deltaTime2 * 1000.0f);
    CPInterface::Render();
}

void InstallLensFlareOverlayMaker() {
    static LensFlareOverlayMaker maker;
    SetLensFlareOverlayMaker(&maker);
}
