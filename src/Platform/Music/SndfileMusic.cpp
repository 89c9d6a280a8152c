// Music from libsndfile (WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3) streamed into an OpenAL Soft
// source of its own device. Every OpenAL call of a player happens on the player's thread, with
// the player's context current on that thread only, so the sound effects' context on the main
// thread is never disturbed.

#include "Platform/Music/MusicPlayer.h"

#include "Platform/Audio/DirectSound.h"

#include "Platform/System/FileTrace.h"
#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Platform::Music {

namespace {

using Audio::E_ABORT;
using Audio::E_FAIL;
using Audio::E_INVALIDARG;
using Audio::E_POINTER;
using Audio::S_OK;

IMusicSystem* g_installed = nullptr;

constexpr int kBuffers = 4;
constexpr sf_count_t kFramesPerBuffer = 8192;

class SndfilePlayer final : public IMusicPlayer {
public:
    ~SndfilePlayer() override { Close(); }

    HRESULT RenderFile(const std::string& gamePath) override {
        Close();
        auto real = GamePaths().Resolve(gamePath);
        if (!real) {
            TraceMissingFile(GamePath(gamePath).Lowered());
            return Audio::VFW_E_NOT_FOUND;
        }
        TraceLooseFile(GamePath(gamePath).Lowered(), *real);
        // The library would open a FIFO by name and wait for a writer for ever.
        const int fd = OpenRegularFile(*real);
        if (fd < 0) return Audio::VFW_E_NOT_FOUND;
        SF_INFO info{};
        // The descriptor stays ours to close, whatever the library does on failure.
        SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
        if (!file) {
            ::close(fd);
            return Audio::VFW_E_UNSUPPORTED_STREAM;
        }
        if (info.channels < 1 || info.samplerate < 1 || info.samplerate > 384000) {
            sf_close(file);
            ::close(fd);
            return Audio::VFW_E_UNSUPPORTED_STREAM;
        }
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        if (!alcIsExtensionPresent(nullptr, "ALC_EXT_thread_local_context")) {
            sf_close(file);
            ::close(fd);
            return E_FAIL;
        }
        m_setThreadContext =
            reinterpret_cast<PFNALCSETTHREADCONTEXTPROC>(alcGetProcAddress(nullptr, "alcSetThreadContext"));
        ALCdevice* device = m_setThreadContext ? alcOpenDevice(nullptr) : nullptr;
        ALCcontext* context = device ? alcCreateContext(device, nullptr) : nullptr;
        if (!context) {
            if (device) alcCloseDevice(device);
            sf_close(file);
            ::close(fd);
            return E_FAIL;
        }
        m_file = file;
        m_fd = fd;
        m_info = info;
        m_device = device;
        m_context = context;
        m_quit = false;
        m_state = State_Stopped;
        m_eventPending = false;
        m_thread = std::thread([this] { Stream(); });
        return S_OK;
    }

    HRESULT Run() override {
        return Command([this] { m_state = State_Running; });
    }
    HRESULT Stop() override {
        return Command([this] { m_state = State_Stopped; });
    }
    HRESULT SeekToStart() override {
        return Command([this] { m_seek = true; });
    }
    HRESULT GetState(FILTER_STATE* state) override {
        if (!state) return E_POINTER;
        std::lock_guard lock(m_mutex);
        *state = m_state;
        return m_file ? S_OK : E_FAIL;
    }
    HRESULT GetEvent(long* code) override {
        if (!code) return E_POINTER;
        std::lock_guard lock(m_mutex);
        if (!m_eventPending) return E_ABORT;
        m_eventPending = false;
        *code = EC_COMPLETE;
        return S_OK;
    }
    HRESULT SetVolume(LONG volume) override {
        if (volume < -10000 || volume > 0) return E_INVALIDARG;
        return Command([this, volume] { m_gain = Audio::VolumeToGain(volume); });
    }

private:
    template <class F>
    HRESULT Command(F change) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_file) return E_FAIL;
            change();
            m_changed = true;
        }
        m_wake.notify_one();
        return S_OK;
    }

    void Close() {
        if (m_thread.joinable()) {
            {
                std::lock_guard lock(m_mutex);
                m_quit = true;
            }
            m_wake.notify_one();
            m_thread.join();
        }
        if (m_context) alcDestroyContext(m_context);
        if (m_device) alcCloseDevice(m_device);
        if (m_file) sf_close(m_file);
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_context = nullptr;
        m_device = nullptr;
        m_file = nullptr;
    }

    // Decodes the next piece into an OpenAL buffer; false at the end of the stream.
    bool Fill(ALuint buffer) {
        const int channels = m_info.channels;
        m_decoded.resize(static_cast<std::size_t>(kFramesPerBuffer) * channels);
        sf_count_t frames = sf_readf_short(m_file, m_decoded.data(), kFramesPerBuffer);
        if (frames <= 0) return false;
        const int outChannels = channels == 1 ? 1 : 2;
        if (channels > 2) {
            // Only the front pair of a many-channel file is kept.
            for (sf_count_t i = 0; i < frames; ++i) {
                m_decoded[i * 2] = m_decoded[i * channels];
                m_decoded[i * 2 + 1] = m_decoded[i * channels + 1];
            }
        }
        alBufferData(buffer, outChannels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16, m_decoded.data(),
                     static_cast<ALsizei>(frames * outChannels * sizeof(short)), m_info.samplerate);
        return true;
    }

    void Stream() {
        m_setThreadContext(m_context);
        ALuint source = 0;
        ALuint buffers[kBuffers];
        alGenSources(1, &source);
        alGenBuffers(kBuffers, buffers);
        std::vector<ALuint> free(buffers, buffers + kBuffers);
        bool atEnd = false, endReported = false;
        float appliedGain = -1.0f;

        auto unqueue = [&](ALenum which) {
            ALint count = 0;
            alGetSourcei(source, which, &count);
            while (count-- > 0) {
                ALuint b = 0;
                alSourceUnqueueBuffers(source, 1, &b);
                free.push_back(b);
            }
        };
        auto flush = [&] {
            alSourceStop(source);
            unqueue(AL_BUFFERS_QUEUED);
        };

        for (;;) {
            FILTER_STATE state;
            bool seek;
            float gain;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_quit || m_changed; });
                if (m_quit) break;
                m_changed = false;
                state = m_state;
                seek = m_seek;
                m_seek = false;
                gain = m_gain;
            }
            if (gain != appliedGain) {
                alSourcef(source, AL_GAIN, gain);
                appliedGain = gain;
            }
            if (seek) {
                flush();
                sf_seek(m_file, 0, SEEK_SET);
                atEnd = false;
                endReported = false;
            }
            if (state != State_Running) {
                ALint s = 0;
                alGetSourcei(source, AL_SOURCE_STATE, &s);
                if (s == AL_PLAYING) alSourcePause(source);
                continue;
            }
            unqueue(AL_BUFFERS_PROCESSED);
            while (!atEnd && !free.empty()) {
                if (!Fill(free.back())) {
                    atEnd = true;
                    break;
                }
                alSourceQueueBuffers(source, 1, &free.back());
                free.pop_back();
            }
            ALint queued = 0, s = 0;
            alGetSourcei(source, AL_BUFFERS_QUEUED, &queued);
            alGetSourcei(source, AL_SOURCE_STATE, &s);
            if (queued > 0 && s != AL_PLAYING) alSourcePlay(source); // start, resume or recover an underrun
            if (atEnd && queued == 0 && !endReported) {
                endReported = true;
                std::lock_guard lock(m_mutex);
                m_eventPending = true;
            }
        }
        flush();
        alDeleteSources(1, &source);
        alDeleteBuffers(kBuffers, buffers);
        m_setThreadContext(nullptr);
    }

    SNDFILE* m_file = nullptr;
    int m_fd = -1;
    SF_INFO m_info{};
    ALCdevice* m_device = nullptr;
    ALCcontext* m_context = nullptr;
    PFNALCSETTHREADCONTEXTPROC m_setThreadContext = nullptr;
    std::vector<short> m_decoded; // streaming thread only
    std::thread m_thread;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    bool m_changed = false;
    bool m_seek = false;
    bool m_eventPending = false;
    FILTER_STATE m_state = State_Stopped;
    float m_gain = 1.0f;
};

class SndfileMusicSystem final : public IMusicSystem {
public:
    std::unique_ptr<IMusicPlayer> CreatePlayer() override { return std::make_unique<SndfilePlayer>(); }
};

} // namespace

IMusicSystem& GetMusicSystem() {
    if (g_installed) return *g_installed;
    static SndfileMusicSystem real;
    return real;
}

void SetMusicSystem(IMusicSystem* system) { g_installed = system; }

} // namespace Platform::Music
