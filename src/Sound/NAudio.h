#pragma once
// The sound device of the process: primary format from the settings, the 3D listener, the
// table of named sounds from Data\Sounds\Sounds.dat, and the global sound and music volumes.
// Without a sound device every call is a harmless no-op and named sounds are null.

#include "Framework/PMMObject.h"
#include "Platform/Audio/DirectSound.h"
#include "Sound/NSound.h"

#include <string>
#include <unordered_map>

class CNSoundCache;

class CNAudio {
public:
    using HRESULT = Platform::Audio::HRESULT;

    CNAudio();
    virtual ~CNAudio();
    CNAudio(const CNAudio&) = delete;
    CNAudio& operator=(const CNAudio&) = delete;

    static CNAudio* GetInstance() { return s_instance; }

    // Opens the device on the window and reads the sound table; 1 when the device is ready,
    // 0 when a step failed (what was made before it stays).
    int Init(Platform::Audio::HWND window);
    CPSmartPtr<CNSound>& CreateSound(CPSmartPtr<CNSound>& out, const std::string& file, int is3D, bool forceNew);
    // The named sound; a name the table lacks is entered with a null handle.
    CPSmartPtr<CNSound> GetSound(const std::string& name);
    // Plays a named sound of the sound table, looping or once. A sound already playing is
    // stopped and rewound first unless the call loops (a looping call lets it play on). Nothing
    // for a name the table lacks; answers whether a sound was played.
    bool PlaySound(const std::string& name, bool loop);
    void SetSoundPosition(CPSmartPtr<CNSound> sound, const D3DVECTOR& position, const D3DVECTOR& velocity);
    void SetSoundDistances(CPSmartPtr<CNSound> sound, float minimum, float maximum);
    HRESULT SetListenerPosition(const D3DVECTOR& position, const D3DVECTOR& velocity);
    HRESULT SetListenerOrientation(const D3DVECTOR& top, const D3DVECTOR& front);
    HRESULT SetListenerFactors(float distance, float rolloff, float doppler);
    void SetSoundVolume(float v);
    void SetMusicVolume(float v);
    void Release();

    // Shut-down: every table entry is emptied, then the table is cleared, then the cached
    // sounds are stopped (when there is a cache).
    void ReleaseSounds();

    Platform::Audio::IDirectSound8* GetDevice() const { return m_device; }
    Platform::Audio::IDirectSound3DListener* GetListener() const { return m_listener; }
    CNSoundCache* GetCache() const { return m_cache; }
    const Platform::Audio::DS3DLISTENER& GetListenerParameters() const { return m_listenerParameters; }
    const std::unordered_map<std::string, CPSmartPtr<CNSound>>& SoundTable() const { return m_sounds; }

private:
    template <class Change>
    HRESULT UpdateListener(Change change);
    void LoadSoundTable();

    static CNAudio* s_instance;
    Platform::Audio::HWND m_window = nullptr;
    Platform::Audio::IDirectSound8* m_device = nullptr;
    CNSoundCache* m_cache = nullptr;
    Platform::Audio::IDirectSound3DListener* m_listener = nullptr;
    Platform::Audio::DS3DLISTENER m_listenerParameters;
    std::unordered_map<std::string, CPSmartPtr<CNSound>> m_sounds;
};
