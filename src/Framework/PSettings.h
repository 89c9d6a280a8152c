#pragma once
// The settings registry: each config.cfg key is bound to one global variable
// through a CPDator. Subsystems read and write the globals directly; the
// registry only reads the file at start-up and writes it back.

#include "Framework/LegacyHashMap.h"
#include "Framework/PDator.h"
#include "Platform/Base/WinTypes.h"

#include <string>

// The settings globals, named after their keys, holding their defaults from start.
extern int g_screenWidth;
extern int g_screenHeight;
extern int g_screenBPP;
extern int g_fullScreen;
extern int g_weight_div;
extern int g_static;
extern int g_rolling;
extern int g_texlod;
extern int g_quadlevels;
extern int g_bboxes;
extern int g_channels;
extern int g_frequency;
extern int g_bitrate;
extern float g_soundVolume;
extern float g_musicVolume;
extern int g_visuals;
extern float g_mouse;
extern float g_plane;
extern int g_cam_speed;
extern int g_distance;
extern int g_startmenu;
extern float g_friction;
extern float g_restitution;
extern int g_shadows;
extern int g_bloom;
extern int g_lensflare;
extern int g_dust;
extern int g_wheel;
extern int g_psystems;
extern int g_weather;
extern int g_blur;
extern int g_contrast;
extern float g_aniso;

class CPSettings {
public:
    CPSettings();
    virtual ~CPSettings();
    CPSettings(const CPSettings&) = delete;
    CPSettings& operator=(const CPSettings&) = delete;

    static CPSettings* GetInstance() { return s_instance; }

    // Binds the 33 keys in their fixed order.
    void RegisterSettings();
    // The key's entry now holds this binder; one held before is released.
    void Bind(const std::string& key, const CPSmartPtr<CPDator>& binder);

    // Reads a text file by its plain path under the game root (never from the packs);
    // a missing file leaves every variable as it is. False, with the reason in error, when the
    // path holds something that cannot be read as settings (a folder, a FIFO, a device, a file
    // too large or unreadable); every variable is then left as it is too.
    bool Load(const std::string& path, std::string* error = nullptr);
    void ParseLine(const std::string& line);
    void SetValue(const std::string& key, const std::string& value, int mode);
    // Writes "%s = %s\r\n" per key in the map's order, replacing the file atomically.
    HRESULT Save(const std::string& path) const;
    // Empties the global binder handles; the map keeps its own.
    void ReleaseBindings();

    // The binder under a key (exact case), or null.
    CPDator* GetBinder(const std::string& key) const;
    const LegacyHashMap<CPSmartPtr<CPDator>>& Map() const { return m_map; }

private:
    static CPSettings* s_instance;
    LegacyHashMap<CPSmartPtr<CPDator>> m_map{100};
};

// Restores every settings global to its built-in default (tests; the game never resets them).
void ResetSettingsToDefaults();
