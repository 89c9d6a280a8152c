#pragma once
// The audio system of tests and of machines that must stay silent: devices open (unless told
// there is no device), buffers keep every value they were given, and every call is logged.
// Nothing is mixed; a buffer "plays" until it is stopped or a test ends it.

#include "Platform/Audio/DirectSound.h"

#include <memory>
#include <string>
#include <vector>

namespace Platform::Audio {

struct NullVoiceRecord {
    int index = 0;
    DWORD flags = 0;
    GUID algorithm{};
    WAVEFORMATEX format{};
    std::vector<std::uint8_t> data; // as of the last unlock
    int uploads = 0;
    LONG volume = 0;
    DWORD frequency = 0;
    bool playing = false;
    bool looping = false;
    int plays = 0;
    DWORD position = 0;
    DS3DBUFFER parameters{};
    bool alive = true;
    // Lost-buffer simulation: lost until Restore has failed restoreFailures times.
    bool lost = false;
    int restoreFailures = 0;
    int restoreCalls = 0;
};

class NullAudioSystem final : public IAudioSystem {
public:
    std::unique_ptr<IAudioBackend> OpenDevice() override;

    // Makes OpenDevice answer "no device".
    void SetDeviceMissing(bool missing) { m_missing = missing; }

    const std::vector<std::string>& Calls() const { return m_calls; }
    const std::vector<std::shared_ptr<NullVoiceRecord>>& Voices() const { return m_voices; }
    NullVoiceRecord& Voice(std::size_t i) { return *m_voices.at(i); }
    const DS3DLISTENER& Listener() const { return m_listener; }
    int ListenerUpdates() const { return m_listenerUpdates; }
    const WAVEFORMATEX& PrimaryFormat() const { return m_primary; }
    DWORD CooperativeLevel() const { return m_level; }
    int DevicesOpened() const { return m_devices; }
    // Ends a playing buffer as if it had reached its end.
    void Finish(std::size_t voice);
    void ClearCalls() { m_calls.clear(); }

    // Used by the null backend.
    void Log(std::string call) { m_calls.push_back(std::move(call)); }
    std::shared_ptr<NullVoiceRecord> NewVoice();
    void SetListener(const DS3DLISTENER& l) {
        m_listener = l;
        ++m_listenerUpdates;
    }
    void SetPrimary(const WAVEFORMATEX& f) { m_primary = f; }
    void SetLevel(DWORD level) { m_level = level; }

private:
    bool m_missing = false;
    int m_devices = 0;
    std::vector<std::string> m_calls;
    std::vector<std::shared_ptr<NullVoiceRecord>> m_voices;
    DS3DLISTENER m_listener;
    int m_listenerUpdates = 0;
    WAVEFORMATEX m_primary{};
    DWORD m_level = 0;
};

// Installs a null system for the lifetime of this object (tests).
class ScopedNullAudio {
public:
    ScopedNullAudio() { SetAudioSystem(&system); }
    ~ScopedNullAudio() { SetAudioSystem(nullptr); }
    ScopedNullAudio(const ScopedNullAudio&) = delete;
    ScopedNullAudio& operator=(const ScopedNullAudio&) = delete;
    NullAudioSystem system;
};

} // namespace Platform::Audio
