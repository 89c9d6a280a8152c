#pragma once
// One sound effect: a secondary buffer holding a whole wave file, optionally with a 3D buffer.
// Every live sound is listed so that the global sound volume reaches all of them at once.

#include "Framework/PMMObject.h"
#include "Platform/Audio/DirectSound.h"
#include "Platform/Audio/WaveFile.h"

#include <memory>
#include <string>
#include <vector>

// The engine's volume curve for a volume v of 0 .. 1: (1 - v)^4 x -7000 hundredths of a decibel,
// truncated toward zero (1 gives 0, 0.5 gives -437, 0 gives -7000). Values outside 0 .. 1 are
// held to it.
Platform::Audio::LONG SoundVolumeCurve(float v);

// Reports a failed sound call to the engine log in the DirectX error format.
void ReportSoundError(const char* source, int line, Platform::Audio::HRESULT hr);

class CNSound : public IPMMObject {
public:
    using HRESULT = Platform::Audio::HRESULT;
    using DWORD = Platform::Audio::DWORD;

    CNSound(Platform::Audio::IDirectSound8* device, const std::string& path, int is3D);
    ~CNSound() override;

    int GetSize() const override { return static_cast<int>(sizeof(CNSound)); }
    std::string GetClassName() const override { return "CNSound_" + m_path; }

    // Plays with the global frequency factor applied. The device's answer, or a failure code
    // when there is no buffer or the frequency could not be set.
    HRESULT Play(DWORD priority, DWORD flags);
    void Stop();
    void Rewind();
    bool IsPlaying();
    // Sets this buffer's volume now; the next global change overrides it.
    void SetVolume(float v);
    void ApplyGlobalVolume();
    void SetFrequencyFactor(float f);
    // 3D placement (nothing for a plain sound).
    void SetPosition(const D3DVECTOR& position, const D3DVECTOR& velocity);
    void SetDistances(float minimum, float maximum);

    static void SetGlobalVolume(float v);
    static void SetGlobalFrequencyFactor(float f);
    static float GetGlobalVolume() { return s_globalVolume; }
    static float GetGlobalFrequencyFactor() { return s_globalFrequencyFactor; }
    static const std::vector<CNSound*>& LiveSounds();

    HRESULT FillBuffer(Platform::Audio::IDirectSoundBuffer* buffer);
    // 1 when the buffer was not lost; otherwise 0, with restored telling whether it came back.
    int RestoreBuffer(Platform::Audio::IDirectSoundBuffer* buffer, bool* restored = nullptr);

    Platform::Audio::IDirectSoundBuffer* GetBuffer() const { return m_buffer; }
    Platform::Audio::IDirectSound3DBuffer* Get3DBuffer() const { return m_buffer3D; }
    DWORD GetDataSize() const { return m_dataSize; }
    DWORD GetBaseFrequency() const { return m_baseFrequency; }
    const std::string& GetPath() const { return m_path; }
    int Is3D() const { return m_is3D; }

    // Restoring a lost buffer is tried this many times, 10 ms apart, before Play gives up.
    static constexpr int kRestoreAttempts = 20;

private:
    HRESULT ChangeFrequency(float factor);
    template <class Change>
    void Update3D(Change change);

    Platform::Audio::IDirectSoundBuffer* m_buffer = nullptr;
    DWORD m_dataSize = 0;
    std::unique_ptr<Platform::Audio::WaveFile> m_wave;
    int m_is3D = 0;
    DWORD m_baseFrequency = 0;
    std::string m_path;
    bool m_inList = false;
    Platform::Audio::IDirectSound3DBuffer* m_buffer3D = nullptr;

    static float s_globalVolume;
    static float s_globalFrequencyFactor;
};
