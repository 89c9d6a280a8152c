#include "Platform/Music/MusicPlayer.h"

#include "Platform/System/Paths.h"

namespace Platform::Music {

namespace {

class NullPlayer final : public IMusicPlayer {
public:
    explicit NullPlayer(std::shared_ptr<NullPlayerRecord> r) : m_r(std::move(r)) {}
    ~NullPlayer() override { m_r->alive = false; }

    HRESULT RenderFile(const std::string& gamePath) override {
        m_r->path = gamePath;
        if (!GamePaths().Exists(gamePath)) return Audio::VFW_E_NOT_FOUND;
        m_r->rendered = true;
        return Audio::S_OK;
    }
    HRESULT Run() override {
        if (!m_r->rendered) return Audio::E_FAIL;
        ++m_r->runs;
        m_r->state = State_Running;
        return Audio::S_OK;
    }
    HRESULT Stop() override {
        ++m_r->stops;
        m_r->state = State_Stopped;
        return Audio::S_OK;
    }
    HRESULT SeekToStart() override {
        ++m_r->seeks;
        return Audio::S_OK;
    }
    HRESULT GetState(FILTER_STATE* state) override {
        if (!state) return Audio::E_POINTER;
        *state = m_r->state;
        return Audio::S_OK;
    }
    HRESULT GetEvent(long* code) override {
        if (!code) return Audio::E_POINTER;
        if (!m_r->eventPending) return Audio::E_ABORT;
        m_r->eventPending = false;
        *code = EC_COMPLETE;
        return Audio::S_OK;
    }
    HRESULT SetVolume(LONG volume) override {
        if (volume < -10000 || volume > 0) return Audio::E_INVALIDARG;
        m_r->volume = volume;
        ++m_r->volumeCalls;
        return Audio::S_OK;
    }

private:
    std::shared_ptr<NullPlayerRecord> m_r;
};

} // namespace

std::unique_ptr<IMusicPlayer> NullMusicSystem::CreatePlayer() {
    if (m_createFails) return nullptr;
    m_players.push_back(std::make_shared<NullPlayerRecord>());
    return std::make_unique<NullPlayer>(m_players.back());
}

void NullMusicSystem::FinishStream() {
    if (!m_players.empty()) m_players.back()->eventPending = true;
}

} // namespace Platform::Music
