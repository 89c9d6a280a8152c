#include "Sound/PMusic.h"

#include "Framework/CommandRouter.h"
#include "Framework/PSettings.h"
#include "Sound/NSound.h"

using namespace Platform::Audio;
using namespace Platform::Music;

CPMusic* CPMusic::s_instance = nullptr;

namespace {
constexpr const char* kSource = "Sound\\PMusic";
}

CPMusic::CPMusic() : m_volume(g_musicVolume) { s_instance = this; }

CPMusic::~CPMusic() {
    ReleaseGraph();
    if (s_instance == this) s_instance = nullptr;
}

void CPMusic::ReleaseGraph() { m_player.reset(); }

HRESULT CPMusic::Play(const std::string& fileName, bool loop) {
    ReleaseGraph();
    m_loaded = false;
    m_fileName = fileName;
    const std::string path = "Data\\Music\\" + fileName;
    m_loop = loop;
    m_player = GetMusicSystem().CreatePlayer();
    if (!m_player) {
        ReportSoundError(kSource, __LINE__, E_FAIL);
        return E_FAIL;
    }
    HRESULT hr = m_player->RenderFile(path);
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        ReleaseGraph();
        return hr;
    }
    m_loaded = true;
    SetVolume(m_volume);
    return hr;
}

bool CPMusic::Start() {
    HRESULT hr = S_OK;
    if (m_loaded && m_player) {
        hr = m_player->Run();
        if (Failed(hr)) {
            ReportSoundError(kSource, __LINE__, hr);
            return false;
        }
    }
    SetVolume(m_volume);
    return hr == S_OK;
}

void CPMusic::Stop() {
    if (!m_loaded || !m_player) return;
    HRESULT hr = m_player->Stop();
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return;
    }
    hr = m_player->SeekToStart();
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return;
    }
    m_loaded = false;
}

void CPMusic::Update() {
    if (!m_loaded || !m_player) return;
    long code = 0;
    if (Succeeded(m_player->GetEvent(&code)) && code == EC_COMPLETE) {
        HRESULT hr = m_player->Stop();
        if (Succeeded(hr)) hr = m_player->SeekToStart();
        if (Failed(hr)) {
            ReportSoundError(kSource, __LINE__, hr);
            return;
        }
    }
    FILTER_STATE state = State_Stopped;
    HRESULT hr = m_player->GetState(&state);
    if (Failed(hr)) {
        ReportSoundError(kSource, __LINE__, hr);
        return;
    }
    if (state == State_Running) return;
    if (m_loop) {
        hr = m_player->SeekToStart();
        if (Succeeded(hr)) hr = m_player->Run();
        if (Failed(hr)) ReportSoundError(kSource, __LINE__, hr);
        return;
    }
    m_loaded = false;
    RouteCommandByName("main", "stop_music", m_fileName);
}

void CPMusic::SetVolume(float v) {
    m_volume = v;
    if (m_player) {
        HRESULT hr = m_player->SetVolume(SoundVolumeCurve(v));
        if (Failed(hr)) ReportSoundError(kSource, __LINE__, hr);
    }
}
