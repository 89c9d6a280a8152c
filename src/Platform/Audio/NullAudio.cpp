#include "Platform/Audio/NullAudio.h"

#include <cstdio>

namespace Platform::Audio {

namespace {

std::string Text(const char* format, auto... args) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

class NullVoice final : public IVoice {
public:
    NullVoice(NullAudioSystem& system, std::shared_ptr<NullVoiceRecord> record)
        : m_system(system), m_record(std::move(record)) {}
    ~NullVoice() override {
        m_record->alive = false;
        m_record->playing = false;
        m_system.Log(Text("Release %d", m_record->index));
    }

    void Upload(const WAVEFORMATEX& format, const std::uint8_t* data, DWORD bytes) override {
        m_record->format = format;
        m_record->data.assign(data, data + bytes);
        ++m_record->uploads;
        m_system.Log(Text("Upload %d %u", m_record->index, bytes));
    }
    void SetVolume(LONG v) override {
        m_record->volume = v;
        m_system.Log(Text("SetVolume %d %d", m_record->index, v));
    }
    void SetFrequency(DWORD hz) override {
        m_record->frequency = hz;
        m_system.Log(Text("SetFrequency %d %u", m_record->index, hz));
    }
    void Play(bool loop) override {
        m_record->playing = true;
        m_record->looping = loop;
        ++m_record->plays;
        m_system.Log(Text("Play %d %d", m_record->index, loop ? 1 : 0));
    }
    void Stop() override {
        m_record->playing = false;
        m_system.Log(Text("Stop %d", m_record->index));
    }
    void SetPosition(DWORD offset) override {
        m_record->position = offset;
        m_system.Log(Text("SetPosition %d %u", m_record->index, offset));
    }
    DWORD GetPosition() override { return m_record->position; }
    bool IsPlaying() override { return m_record->playing; }
    bool IsLost() override { return m_record->lost; }
    HRESULT Restore() override {
        ++m_record->restoreCalls;
        m_system.Log(Text("Restore %d", m_record->index));
        if (m_record->restoreFailures > 0) {
            --m_record->restoreFailures;
            return DSERR_BUFFERLOST;
        }
        m_record->lost = false;
        // Lost memory comes back empty.
        std::fill(m_record->data.begin(), m_record->data.end(), std::uint8_t{0});
        return DS_OK;
    }
    void Set3D(const DS3DBUFFER& p) override {
        m_record->parameters = p;
        m_system.Log(Text("Set3D %d", m_record->index));
    }

private:
    NullAudioSystem& m_system;
    std::shared_ptr<NullVoiceRecord> m_record;
};

class NullBackend final : public IAudioBackend {
public:
    explicit NullBackend(NullAudioSystem& system) : m_system(system) {}
    void SetCooperativeLevel(DWORD level) override {
        m_system.SetLevel(level);
        m_system.Log(Text("SetCooperativeLevel %u", level));
    }
    void SetPrimaryFormat(const WAVEFORMATEX& f) override {
        m_system.SetPrimary(f);
        m_system.Log(
            Text("SetPrimaryFormat %u %u %u", unsigned(f.nChannels), f.nSamplesPerSec, unsigned(f.wBitsPerSample)));
    }
    std::unique_ptr<IVoice> CreateVoice(const DSBUFFERDESC& desc) override {
        auto record = m_system.NewVoice();
        record->flags = desc.dwFlags;
        record->algorithm = desc.guid3DAlgorithm;
        record->format = *desc.lpwfxFormat;
        record->frequency = desc.lpwfxFormat->nSamplesPerSec;
        m_system.Log(Text("CreateSoundBuffer %d 0x%X %u", record->index, desc.dwFlags, desc.dwBufferBytes));
        return std::make_unique<NullVoice>(m_system, record);
    }
    void SetListener(const DS3DLISTENER& l) override {
        m_system.SetListener(l);
        m_system.Log("SetListener");
    }

private:
    NullAudioSystem& m_system;
};

} // namespace

std::unique_ptr<IAudioBackend> NullAudioSystem::OpenDevice() {
    if (m_missing) {
        Log("OpenDevice failed");
        return nullptr;
    }
    ++m_devices;
    Log("OpenDevice");
    return std::make_unique<NullBackend>(*this);
}

std::shared_ptr<NullVoiceRecord> NullAudioSystem::NewVoice() {
    auto record = std::make_shared<NullVoiceRecord>();
    record->index = static_cast<int>(m_voices.size());
    m_voices.push_back(record);
    return record;
}

void NullAudioSystem::Finish(std::size_t voice) {
    auto& r = *m_voices.at(voice);
    r.playing = false;
    r.position = 0;
}

} // namespace Platform::Audio
