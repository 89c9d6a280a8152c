#include "Sound/NAudio.h"

#include "Framework/PFileReader.h"
#include "Framework/PSettings.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Framework/StringUtils.h"
#include "Sound/NSoundCache.h"
#include "Sound/PMusic.h"

using namespace Platform::Audio;

CNAudio* CNAudio::s_instance = nullptr;

namespace {
constexpr const char* kSource = "Sound\\NAudio";
}

CNAudio::CNAudio() { s_instance = this; }

CNAudio::~CNAudio() {
    Release();
    m_sounds.clear();
    if (s_instance == this) s_instance = nullptr;
}

int CNAudio::Init(HWND window) {
    if (m_device) Release();
    CNSound::SetGlobalVolume(g_soundVolume);
    if (CPMusic* music = CPMusic::GetInstance()) music->SetVolume(g_musicVolume);

    m_window = window;
    HRESULT hr = DirectSoundCreate8(nullptr, &m_device, nullptr);
    if (Failed(hr)) {
        m_device = nullptr;
        ReportSoundError(kSource, __LINE__, hr);
        return 0;
    }
    hr = m_device->SetCooperativeLevel(window, DSSCL_EXCLUSIVE);
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return 0;
    }
    m_cache = new CNSoundCache(m_device);

    DSBUFFERDESC desc;
    desc.dwSize = 36;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    hr = m_device->CreateSoundBuffer(&desc, &primary, nullptr);
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return 0;
    }
    WAVEFORMATEX format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(g_channels);
    format.nSamplesPerSec = static_cast<DWORD>(g_frequency);
    format.wBitsPerSample = static_cast<WORD>(g_bitrate);
    format.nBlockAlign = static_cast<WORD>(format.nChannels * (format.wBitsPerSample / 8));
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    format.cbSize = 0;
    hr = primary->SetFormat(&format);
    primary->Release();
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return 0;
    }

    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D;
    primary = nullptr;
    hr = m_device->CreateSoundBuffer(&desc, &primary, nullptr);
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return 0;
    }
    void* out = nullptr;
    hr = primary->QueryInterface(IID_IDirectSound3DListener, &out);
    primary->Release();
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return 0;
    }
    m_listener = static_cast<IDirectSound3DListener*>(out);
    m_listenerParameters.dwSize = 64;
    m_listener->GetAllParameters(&m_listenerParameters);

    LoadSoundTable();
    return 1;
}

void CNAudio::LoadSoundTable() {
    CPFileReader file("Data\\Sounds\\Sounds.dat");
    if (FAILED(file.Load())) return;
    CPTextReader reader(file.GetData(), file.GetDataSize());
    while (reader.ReadNextLine()) {
        CPStringSplitter splitter(reader.GetLine(), ";", true);
        std::string name, wave, kind;
        splitter.NextToken(name);
        splitter.NextToken(wave);
        splitter.NextToken(kind);
        ToLower(kind);
        CPSmartPtr<CNSound> sound;
        CreateSound(sound, wave, kind == "3d" ? 1 : 0, true);
        m_sounds[name] = sound;
    }
}

CPSmartPtr<CNSound>& CNAudio::CreateSound(CPSmartPtr<CNSound>& out, const std::string& file, int is3D, bool forceNew) {
    if (!m_cache) {
        out = nullptr;
        return out;
    }
    return m_cache->GetOrLoad(out, file, is3D, forceNew);
}

CPSmartPtr<CNSound> CNAudio::GetSound(const std::string& name) {
    auto it = m_sounds.find(name);
    if (it == m_sounds.end()) {
        m_sounds.emplace(name, nullptr);
        return nullptr;
    }
    return it->second;
}

bool CNAudio::PlaySound(const std::string& name, bool loop) {
    // Looked up without entering the name: an unknown name leaves the table as it was.
    const auto it = m_sounds.find(name);
    if (it == m_sounds.end() || !it->second) return false;
    CNSound& sound = *it->second;
    if (!loop && sound.IsPlaying()) {
        sound.Stop();
        sound.Rewind();
    }
    sound.Play(0, loop ? Platform::Audio::DSBPLAY_LOOPING : 0);
    return true;
}

void CNAudio::SetSoundPosition(CPSmartPtr<CNSound> sound, const D3DVECTOR& position, const D3DVECTOR& velocity) {
    if (sound) sound->SetPosition(position, velocity);
}

void CNAudio::SetSoundDistances(CPSmartPtr<CNSound> sound, float minimum, float maximum) {
    if (sound) sound->SetDistances(minimum, maximum);
}

template <class Change>
HRESULT CNAudio::UpdateListener(Change change) {
    if (!m_listener) return DSERR_UNINITIALIZED;
    m_listenerParameters.dwSize = 64;
    HRESULT hr = m_listener->GetAllParameters(&m_listenerParameters);
    if (Failed(hr)) return hr;
    change(m_listenerParameters);
    return m_listener->SetAllParameters(&m_listenerParameters, DS3D_IMMEDIATE);
}

HRESULT CNAudio::SetListenerPosition(const D3DVECTOR& position, const D3DVECTOR& velocity) {
    return UpdateListener([&](DS3DLISTENER& l) {
        l.vPosition = position;
        l.vVelocity = velocity;
    });
}

HRESULT CNAudio::SetListenerOrientation(const D3DVECTOR& top, const D3DVECTOR& front) {
    return UpdateListener([&](DS3DLISTENER& l) {
        l.vOrientTop = top;
        l.vOrientFront = front;
    });
}

HRESULT CNAudio::SetListenerFactors(float distance, float rolloff, float doppler) {
    return UpdateListener([&](DS3DLISTENER& l) {
        l.flDistanceFactor = distance;
        l.flRolloffFactor = rolloff;
        l.flDopplerFactor = doppler;
    });
}

void CNAudio::SetSoundVolume(float v) {
    g_soundVolume = v;
    CNSound::SetGlobalVolume(v);
}

void CNAudio::SetMusicVolume(float v) {
    g_musicVolume = v;
    if (CPMusic* music = CPMusic::GetInstance()) music->SetVolume(v);
}

void CNAudio::Release() {
    if (m_listener) m_listener->Release();
    m_listener = nullptr;
    delete m_cache;
    m_cache = nullptr;
    if (m_device) m_device->Release();
    m_device = nullptr;
}

void CNAudio::ReleaseSounds() {
    for (auto& entry : m_sounds) entry.second = nullptr;
    m_sounds.clear();
    if (CNSoundCache* cache = CNSoundCache::GetInstance()) cache->StopAll();
}
