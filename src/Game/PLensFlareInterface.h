#pragma once
// The chain of lens-flare pictures a light source of the level throws across the screen: an
// interface with a layout of its own, one tab-separated line per picture. The level positions
// and draws it every frame through IPLensFlareOverlay; the pictures fade in while the source is
// seen and out while it is not.

#include <string>
#include <vector>

#include "Game/PInterface.h"
#include "Scene/SceneInterfaces.h"

struct SPFlare {
    std::string texture;
    // 0 at the source, 50 at the screen centre, 100 opposite the source.
    int position = 0;
    // Half the file's values.
    float sizeX = 0.0f, sizeY = 0.0f;
    D3DCOLOR colour = 0;
    // The file's values scaled with the screen height (divided by 320), truncated.
    int cellWidth = 0, cellHeight = 0, column = 0, row = 0;
    int halfWidth = 0, halfHeight = 0;
};

// The flares of a lens-flare layout's lines, for a screen of that height.
std::vector<SPFlare> ParseLensFlareLayout(const std::vector<std::string>& lines, int screenHeight);

class CPLensFlareInterface : public CPInterface, public IPLensFlareOverlay {
public:
    static constexpr float kFadeRatePerMillisecond = 0.05f;

    CPLensFlareInterface() = default;
    int GetSize() const override { return static_cast<int>(sizeof(CPLensFlareInterface)); }

    void AddRef() override { IPMMObject::AddRef(); }
    void Release() override { IPMMObject::Release(); }

    // Drives the fade; the scene object's own visible flag stays as it is.
    void SetVisible(bool visible) override { m_flareVisible = visible; }
    // Reads "Data\Interface\<name>.int"; false when it cannot be read (no flares then).
    bool LoadLayout(const std::string& name, int layer) override;
    // Fades by the unscaled frame time, places the pictures for the source, then draws.
    void Render() override;

    // ---- the level's side ---------------------------------------------------------------
    void SetSourcePosition(int x, int y) override {
        m_sourceX = x;
        m_sourceY = y;
    }
    void SetScale(float scale) override { m_scale = scale; }
    void SetAlpha(unsigned char alpha) override { m_alpha = alpha; }
    void SetFlareVisible(bool visible) override { SetVisible(visible); }

    // Advances the fade by the milliseconds given and places the pictures (Render without the
    // drawing).
    void Update(float milliseconds);
    // Loads from the lines of a layout already read.
    void LoadFlares(std::vector<SPFlare> flares, int layer);

    const std::vector<SPFlare>& GetFlares() const { return m_flares; }
    bool IsFlareVisible() const { return m_flareVisible; }
    float GetFade() const { return m_fade; }
    unsigned char GetDrawnAlpha() const { return m_drawnAlpha; }

private:
    std::vector<SPFlare> m_flares;
    bool m_flareVisible = false;
    int m_sourceX = 0, m_sourceY = 0;
    float m_fade = 0.0f;
    unsigned char m_alpha = 0;
    unsigned char m_drawnAlpha = 0;
    float m_scale = 1.0f;
};

// Makes the level's overlays; InstallLensFlareOverlayMaker puts it in place.
void InstallLensFlareOverlayMaker();
