#pragma once
// Streamed music: one player plays one file from its game path (WAV, Ogg Vorbis, FLAC, MP3...)
// on a thread of its own. The music task polls it from the main thread: run, stop, back to the
// start, volume, state, and a pending end-of-stream event. The player never calls back.

#include "Platform/Audio/Result.h"

#include <memory>
#include <string>
#include <vector>

namespace Platform::Music {

using Audio::DWORD;
using Audio::HRESULT;
using Audio::LONG;

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
constexpr long EC_COMPLETE = 1;

class IMusicPlayer {
public:
    virtual ~IMusicPlayer() = default;
    // Opens and prepares a file (a game path, resolved case-insensitively); nothing plays yet.
    virtual HRESULT RenderFile(const std::string& gamePath) = 0;
    // Plays from where the stream stands (the start after RenderFile or SeekToStart).
    virtual HRESULT Run() = 0;
    // Stops where it is.
    virtual HRESULT Stop() = 0;
    virtual HRESULT SeekToStart() = 0;
    virtual HRESULT GetState(FILTER_STATE* state) = 0;
    // Takes one pending event (EC_COMPLETE once the stream has played to its end); E_ABORT when
    // none is pending.
    virtual HRESULT GetEvent(long* eventCode) = 0;
    // Volume in hundredths of a decibel, -10000 .. 0.
    virtual HRESULT SetVolume(LONG volume) = 0;
};

class IMusicSystem {
public:
    virtual ~IMusicSystem() = default;
    virtual std::unique_ptr<IMusicPlayer> CreatePlayer() = 0;
};

// The system in use: libsndfile into OpenAL Soft unless another was installed (not owned;
// nullptr restores the real one).
IMusicSystem& GetMusicSystem();
void SetMusicSystem(IMusicSystem* system);

// ---- Null music (tests) ------------------------------------------------------------------------

struct NullPlayerRecord {
    std::string path; // the game path given to RenderFile
    bool rendered = false;
    FILTER_STATE state = State_Stopped;
    int runs = 0, stops = 0, seeks = 0;
    LONG volume = 0;
    int volumeCalls = 0;
    bool eventPending = false;
    bool alive = true;
};

// Players that play nothing: RenderFile succeeds when the file exists; the stream ends when a
// test says so.
class NullMusicSystem final : public IMusicSystem {
public:
    std::unique_ptr<IMusicPlayer> CreatePlayer() override;
    void SetCreateFails(bool fails) { m_createFails = fails; }

    const std::vector<std::shared_ptr<NullPlayerRecord>>& Players() const { return m_players; }
    NullPlayerRecord& Last() { return *m_players.back(); }
    // The last player's stream reaches its end: an EC_COMPLETE becomes pending (the state stays
    // running until the player is stopped, as a graph's would).
    void FinishStream();

private:
    bool m_createFails = false;
    std::vector<std::shared_ptr<NullPlayerRecord>> m_players;
};

class ScopedNullMusic {
public:
    ScopedNullMusic() { SetMusicSystem(&system); }
    ~ScopedNullMusic() { SetMusicSystem(nullptr); }
    ScopedNullMusic(const ScopedNullMusic&) = delete;
    ScopedNullMusic& operator=(const ScopedNullMusic&) = delete;
    NullMusicSystem system;
};

} // namespace Platform::Music
