#include "Sound/NSound.h"

#include "Framework/PLog.h"
#include "Framework/PSettings.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

using namespace Platform::Audio;

float CNSound::s_globalVolume = 0.0f;
float CNSound::s_globalFrequencyFactor = 1.0f;

namespace {

std::vector<CNSound*>& Live() {
    static std::vector<CNSound*> live;
    return live;
}

constexpr const char* kSource = "Sound\\NSound";

} // namespace

LONG SoundVolumeCurve(float v) {
    if (!(v >= 0.0f)) v = 0.0f; // also NaN
    if (v > 1.0f) v = 1.0f;
    float q = 1.0f - v;
    return static_cast<LONG>(q * q * q * q * -7000.0f);
}

void ReportSoundError(const char* source, int line, HRESULT hr) {
    CPLog::Instance().Print(0, "DXError if %s on line %d\n%s\n%s\n", source, line, ResultName(hr),
                            ResultDescription(hr));
}

template <class Change>
void CNSound::Update3D(Change change) {
    if (!m_buffer3D) return;
    // Read back first: the block is written whole, and the device may have refused an earlier change.
    DS3DBUFFER parameters;
    HRESULT hr = m_buffer3D->GetAllParameters(&parameters);
    if (Succeeded(hr)) {
        change(parameters);
        hr = m_buffer3D->SetAllParameters(&parameters, DS3D_IMMEDIATE);
    }
    if (Failed(hr)) ReportSoundError(kSource, __LINE__, hr);
}

const std::vector<CNSound*>& CNSound::LiveSounds() { return Live(); }

CNSound::CNSound(IDirectSound8* device, const std::string& path, int is3D)
    : m_wave(std::make_unique<WaveFile>()), m_is3D(is3D), m_path(path) {
    m_wave->Open(path.c_str(), nullptr, WAVEFILE_READ);
    m_dataSize = m_wave->GetSize();
    if (!device) return;

    DSBUFFERDESC desc;
    desc.dwSize = 36;
    desc.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME | (is3D ? DSBCAPS_CTRL3D : 0);
    desc.dwBufferBytes = m_dataSize;
    desc.lpwfxFormat = m_wave->GetFormat();
    desc.guid3DAlgorithm = is3D ? (g_bitrate == 16 ? DS3DALG_HRTF_FULL : DS3DALG_HRTF_LIGHT) : DS3DALG_DEFAULT;
    HRESULT hr = device->CreateSoundBuffer(&desc, &m_buffer, nullptr);
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        m_buffer = nullptr;
        return;
    }
    FillBuffer(m_buffer);
    m_buffer->SetCurrentPosition(0);

    if (is3D) {
        void* out = nullptr;
        if (Succeeded(m_buffer->QueryInterface(IID_IDirectSound3DBuffer, &out)))
            m_buffer3D = static_cast<IDirectSound3DBuffer*>(out);
    }
    Update3D([](DS3DBUFFER& p) { p.dwMode = DS3DMODE_NORMAL; });
    Live().push_back(this);
    m_inList = true;
    ApplyGlobalVolume();
}

CNSound::~CNSound() {
    if (m_buffer3D) m_buffer3D->Release();
    if (m_buffer) m_buffer->Release();
    m_wave.reset();
    if (m_inList) {
        auto& live = Live();
        live.erase(std::remove(live.begin(), live.end(), this), live.end());
    }
}

int CNSound::RestoreBuffer(IDirectSoundBuffer* buffer, bool* restored) {
    if (restored) *restored = false;
    if (!buffer) return 0;
    DWORD status = 0;
    if (Failed(buffer->GetStatus(&status)) || !(status & DSBSTATUS_BUFFERLOST)) return 1;
    // Bounded: a device that never gives the memory back must not hang the game.
    for (int attempt = 0; attempt < kRestoreAttempts; ++attempt) {
        HRESULT hr = buffer->Restore();
        if (Succeeded(hr)) {
            if (restored) *restored = true;
            return 0;
        }
        if (hr != DSERR_BUFFERLOST) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

HRESULT CNSound::FillBuffer(IDirectSoundBuffer* buffer) {
    if (!buffer) return E_FAIL;
    RestoreBuffer(buffer);
    void* block = nullptr;
    DWORD blockBytes = 0;
    HRESULT hr = buffer->Lock(0, m_dataSize, &block, &blockBytes, nullptr, nullptr, 0);
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return hr;
    }
    DWORD read = 0;
    auto* bytes = static_cast<std::uint8_t*>(block);
    if (Succeeded(m_wave->ResetFile())) m_wave->Read(bytes, blockBytes, &read);
    const WAVEFORMATEX* format = m_wave->GetFormat();
    const std::uint8_t silence = (format && format->wBitsPerSample == 8) ? 0x80 : 0x00;
    if (read < blockBytes) std::memset(bytes + read, silence, blockBytes - read);
    hr = buffer->Unlock(block, blockBytes, nullptr, 0);
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return hr;
    }
    buffer->GetFrequency(&m_baseFrequency);
    return S_OK;
}

HRESULT CNSound::ChangeFrequency(float factor) {
    double hz = static_cast<double>(m_baseFrequency) * factor;
    // A negative or absurd factor is refused here: converting it would be undefined.
    if (!(hz >= 0.0) || hz > 4.0e9) return DSERR_INVALIDPARAM;
    // A pitch sliding up from rest (a car's dirt sound starts at 0) passes below the lowest rate
    // a buffer plays; it plays at that rate rather than failing every frame. 0 itself keeps its
    // meaning: the buffer's own rate.
    if (hz > 0.0 && hz < static_cast<double>(DSBFREQUENCY_MIN)) hz = static_cast<double>(DSBFREQUENCY_MIN);
    return m_buffer->SetFrequency(static_cast<DWORD>(hz));
}

HRESULT CNSound::Play(DWORD priority, DWORD flags) {
    if (!m_buffer) return E_FAIL;
    bool restored = false;
    RestoreBuffer(m_buffer, &restored);
    if (restored) {
        FillBuffer(m_buffer);
        Rewind();
    }
    HRESULT hr = ChangeFrequency(s_globalFrequencyFactor);
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return hr;
    }
    hr = m_buffer->Play(0, priority, flags);
    if (Failed(hr)) ReportSoundError(kSource, __LINE__, hr);
    return hr;
}

void CNSound::Stop() {
    if (m_buffer) m_buffer->Stop();
}

void CNSound::Rewind() {
    if (m_buffer) m_buffer->SetCurrentPosition(0);
}

bool CNSound::IsPlaying() {
    if (!m_buffer) return false;
    DWORD status = 0;
    return Succeeded(m_buffer->GetStatus(&status)) && (status & DSBSTATUS_PLAYING) != 0;
}

void CNSound::SetVolume(float v) {
    if (!m_buffer) return;
    HRESULT hr = m_buffer->SetVolume(SoundVolumeCurve(v));
    if (Failed(hr)) ReportSoundError(kSource, __LINE__, hr);
}

void CNSound::ApplyGlobalVolume() { SetVolume(s_globalVolume); }

void CNSound::SetFrequencyFactor(float f) {
    if (!m_buffer) return;
    HRESULT hr = ChangeFrequency(f);
    if (Failed(hr)) ReportSoundError(kSource, __LINE__, hr);
}

void CNSound::SetPosition(const D3DVECTOR& position, const D3DVECTOR& velocity) {
    Update3D([&](DS3DBUFFER& p) {
        p.vPosition = position;
        p.vVelocity = velocity;
    });
}

void CNSound::SetDistances(float minimum, float maximum) {
    Update3D([&](DS3DBUFFER& p) {
        p.flMinDistance = minimum;
        p.flMaxDistance = maximum;
    });
}

void CNSound::SetGlobalVolume(float v) {
    s_globalVolume = v;
    // A copy: a sound's volume call never changes the list, but the list must not move under us.
    std::vector<CNSound*> live = Live();
    for (CNSound* sound : live) sound->ApplyGlobalVolume();
}

void CNSound::SetGlobalFrequencyFactor(float f) {
    s_globalFrequencyFactor = f;
    std::vector<CNSound*> live = Live();
    for (CNSound* sound : live) sound->ApplyGlobalVolume();
}
