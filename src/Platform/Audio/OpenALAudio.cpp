#include "Platform/Audio/OpenALAudio.h"
#include "Platform/Audio/DirectSound.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <vector>

namespace Platform::Audio {

namespace {

class OpenALBackend;

constexpr ALCint kMonoSources = 2048;
constexpr ALCint kStereoSources = 256;

class OpenALVoice final : public IVoice {
public:
    OpenALVoice(OpenALBackend& backend, const DSBUFFERDESC& desc);
    ~OpenALVoice() override;

    void Upload(const WAVEFORMATEX& format, const std::uint8_t* data, DWORD bytes) override;
    void SetVolume(LONG v) override;
    void SetFrequency(DWORD hz) override;
    void Play(bool loop) override;
    void Stop() override;
    void SetPosition(DWORD offset) override;
    DWORD GetPosition() override;
    bool IsPlaying() override;
    void Set3D(const DS3DBUFFER& p) override {
        // Moving sounds are placed every frame; the rest of the block seldom changes and is sent
        // again only when it did.
        const bool onlyMoved = SameShape(m_params, p);
        m_params = p;
        if (onlyMoved)
            ApplyMotion();
        else
            Apply3D();
    }
    void Apply3D();

private:
    static bool SameShape(const DS3DBUFFER& a, const DS3DBUFFER& b) {
        return a.dwMode == b.dwMode && a.dwInsideConeAngle == b.dwInsideConeAngle &&
               a.dwOutsideConeAngle == b.dwOutsideConeAngle && a.vConeOrientation.x == b.vConeOrientation.x &&
               a.vConeOrientation.y == b.vConeOrientation.y && a.vConeOrientation.z == b.vConeOrientation.z &&
               a.lConeOutsideVolume == b.lConeOutsideVolume && a.flMinDistance == b.flMinDistance &&
               a.flMaxDistance == b.flMaxDistance;
    }
    // OpenAL spatialises mono sources only; a stereo sound in a 3D buffer plays as it is.
    bool Spatial() const { return m_3d && m_format.nChannels == 1 && m_params.dwMode != DS3DMODE_DISABLE; }
    void ApplyMotion();

    OpenALBackend& m_backend;
    ALuint m_source = 0;
    ALuint m_buffer = 0;
    bool m_3d;
    WAVEFORMATEX m_format;
    DWORD m_bytes = 0;
    DS3DBUFFER m_params;
};

class OpenALBackend final : public IAudioBackend {
public:
    OpenALBackend(ALCdevice* device, ALCcontext* context) : m_device(device), m_context(context) {
        MakeCurrent();
        alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    }
    ~OpenALBackend() override {
        if (alcGetCurrentContext() == m_context) alcMakeContextCurrent(nullptr);
        alcDestroyContext(m_context);
        alcCloseDevice(m_device);
    }

    void MakeCurrent() {
        if (alcGetCurrentContext() != m_context) alcMakeContextCurrent(m_context);
    }

    void SetCooperativeLevel(DWORD) override {}
    // The mixer runs at the device's own rate and depth; sounds of any rate are resampled.
    void SetPrimaryFormat(const WAVEFORMATEX&) override {}
    std::unique_ptr<IVoice> CreateVoice(const DSBUFFERDESC& desc) override {
        MakeCurrent();
        alGetError();
        auto voice = std::make_unique<OpenALVoice>(*this, desc);
        if (alGetError() != AL_NO_ERROR) return nullptr;
        return voice;
    }
    void SetListener(const DS3DLISTENER& l) override {
        MakeCurrent();
        float v[3];
        ToOpenAL(l.vPosition, v);
        alListenerfv(AL_POSITION, v);
        ToOpenAL(l.vVelocity, v);
        alListenerfv(AL_VELOCITY, v);
        float orientation[6];
        ToOpenAL(l.vOrientFront, orientation);
        ToOpenAL(l.vOrientTop, orientation + 3);
        alListenerfv(AL_ORIENTATION, orientation);
        // The listener moves every frame; its factors seldom change and are sent only when they
        // do (a new rolloff has to reach every voice).
        if (l.flDopplerFactor != m_doppler) {
            m_doppler = l.flDopplerFactor;
            alDopplerFactor(m_doppler);
        }
        if (l.flDistanceFactor != m_distanceFactor) {
            m_distanceFactor = l.flDistanceFactor;
            // The distance factor is metres per unit; velocities are in units per second.
            alSpeedOfSound(343.3f / m_distanceFactor);
        }
        if (l.flRolloffFactor != m_rolloff) {
            m_rolloff = l.flRolloffFactor;
            for (auto* voice : m_voices) voice->Apply3D();
        }
    }

    float Rolloff() const { return m_rolloff; }
    void Add(OpenALVoice* v) { m_voices.push_back(v); }
    void Remove(OpenALVoice* v) { m_voices.erase(std::remove(m_voices.begin(), m_voices.end(), v), m_voices.end()); }

private:
    ALCdevice* m_device;
    ALCcontext* m_context;
    // What OpenAL holds now; its own defaults (speed of sound 343.3) match factors of 1.
    float m_rolloff = 1.0f;
    float m_doppler = 1.0f;
    float m_distanceFactor = 1.0f;
    std::vector<OpenALVoice*> m_voices;
};

OpenALVoice::OpenALVoice(OpenALBackend& backend, const DSBUFFERDESC& desc)
    : m_backend(backend), m_3d((desc.dwFlags & DSBCAPS_CTRL3D) != 0), m_format(*desc.lpwfxFormat) {
    alGenSources(1, &m_source);
    alGenBuffers(1, &m_buffer);
    m_backend.Add(this);
    Apply3D();
}

OpenALVoice::~OpenALVoice() {
    m_backend.Remove(this);
    m_backend.MakeCurrent();
    alSourceStop(m_source);
    alSourcei(m_source, AL_BUFFER, 0);
    alDeleteSources(1, &m_source);
    alDeleteBuffers(1, &m_buffer);
}

void OpenALVoice::Upload(const WAVEFORMATEX& format, const std::uint8_t* data, DWORD bytes) {
    m_backend.MakeCurrent();
    m_format = format;
    ALenum alFormat = format.nChannels == 2 ? (format.wBitsPerSample == 16 ? AL_FORMAT_STEREO16 : AL_FORMAT_STEREO8)
                                            : (format.wBitsPerSample == 16 ? AL_FORMAT_MONO16 : AL_FORMAT_MONO8);
    bytes -= bytes % format.nBlockAlign;
    m_bytes = bytes;
    alSourceStop(m_source);
    alSourcei(m_source, AL_BUFFER, 0);
    if (bytes == 0) return;
    alBufferData(m_buffer, alFormat, data, static_cast<ALsizei>(bytes), static_cast<ALsizei>(format.nSamplesPerSec));
    alSourcei(m_source, AL_BUFFER, static_cast<ALint>(m_buffer));
}

void OpenALVoice::SetVolume(LONG v) {
    m_backend.MakeCurrent();
    alSourcef(m_source, AL_GAIN, VolumeToGain(v));
}

void OpenALVoice::SetFrequency(DWORD hz) {
    m_backend.MakeCurrent();
    alSourcef(m_source, AL_PITCH, static_cast<float>(hz) / static_cast<float>(m_format.nSamplesPerSec));
}

void OpenALVoice::Play(bool loop) {
    m_backend.MakeCurrent();
    if (m_bytes == 0) return;
    alSourcei(m_source, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
    ALint state = 0;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    if (state != AL_PLAYING) alSourcePlay(m_source);
}

void OpenALVoice::Stop() {
    m_backend.MakeCurrent();
    alSourcePause(m_source);
}

void OpenALVoice::SetPosition(DWORD offset) {
    m_backend.MakeCurrent();
    if (offset >= m_bytes) return;
    alSourcei(m_source, AL_BYTE_OFFSET, static_cast<ALint>(offset));
}

DWORD OpenALVoice::GetPosition() {
    m_backend.MakeCurrent();
    ALint offset = 0;
    alGetSourcei(m_source, AL_BYTE_OFFSET, &offset);
    return offset > 0 ? static_cast<DWORD>(offset) : 0;
}

bool OpenALVoice::IsPlaying() {
    m_backend.MakeCurrent();
    ALint state = 0;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

// Position and velocity only; a sound that is not spatialised stays where Apply3D put it.
void OpenALVoice::ApplyMotion() {
    if (!Spatial()) return;
    m_backend.MakeCurrent();
    float v[3];
    ToOpenAL(m_params.vPosition, v);
    alSourcefv(m_source, AL_POSITION, v);
    ToOpenAL(m_params.vVelocity, v);
    alSourcefv(m_source, AL_VELOCITY, v);
}

void OpenALVoice::Apply3D() {
    m_backend.MakeCurrent();
    float v[3] = {0, 0, 0};
    if (!Spatial()) {
        alSourcei(m_source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcefv(m_source, AL_POSITION, v);
        alSourcefv(m_source, AL_VELOCITY, v);
        alSourcef(m_source, AL_ROLLOFF_FACTOR, 0.0f);
        return;
    }
    alSourcei(m_source, AL_SOURCE_RELATIVE, m_params.dwMode == DS3DMODE_HEADRELATIVE ? AL_TRUE : AL_FALSE);
    ToOpenAL(m_params.vPosition, v);
    alSourcefv(m_source, AL_POSITION, v);
    ToOpenAL(m_params.vVelocity, v);
    alSourcefv(m_source, AL_VELOCITY, v);
    ToOpenAL(m_params.vConeOrientation, v);
    alSourcefv(m_source, AL_DIRECTION, v);
    alSourcef(m_source, AL_CONE_INNER_ANGLE, static_cast<float>(m_params.dwInsideConeAngle));
    alSourcef(m_source, AL_CONE_OUTER_ANGLE, static_cast<float>(m_params.dwOutsideConeAngle));
    alSourcef(m_source, AL_CONE_OUTER_GAIN, VolumeToGain(m_params.lConeOutsideVolume));
    alSourcef(m_source, AL_REFERENCE_DISTANCE, m_params.flMinDistance);
    alSourcef(m_source, AL_MAX_DISTANCE, std::max(m_params.flMaxDistance, m_params.flMinDistance));
    alSourcef(m_source, AL_ROLLOFF_FACTOR, m_backend.Rolloff());
}

class OpenALAudioSystem final : public IAudioSystem {
public:
    std::unique_ptr<IAudioBackend> OpenDevice() override {
        ALCdevice* device = alcOpenDevice(nullptr);
        if (!device) return nullptr;
        // A sound buffer keeps its source for its whole life, and the engine holds one for every
        // named sound, car and shot; OpenAL's default of 256 sources would run out mid-race.
        const ALCint attributes[] = {ALC_MONO_SOURCES, kMonoSources, ALC_STEREO_SOURCES, kStereoSources, 0};
        ALCcontext* context = alcCreateContext(device, attributes);
        if (!context) {
            alcCloseDevice(device);
            return nullptr;
        }
        return std::make_unique<OpenALBackend>(device, context);
    }
};

} // namespace

std::unique_ptr<IAudioSystem> CreateOpenALAudioSystem() { return std::make_unique<OpenALAudioSystem>(); }

} // namespace Platform::Audio
