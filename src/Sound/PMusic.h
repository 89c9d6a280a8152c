#pragma once
// The music task: plays one track from Data\Music at a time, polls its stream once per frame,
// and either starts a looping track again or tells the script "main" that the track ended
// ("stop_music" with the track's file name).

#include "Framework/PTaskKernel.h"
#include "Platform/Music/MusicPlayer.h"

#include <memory>
#include <string>

class CPMusic : public IPTask {
public:
    using HRESULT = Platform::Audio::HRESULT;

    CPMusic();
    ~CPMusic() override;

    static CPMusic* GetInstance() { return s_instance; }

    int GetSize() const override { return static_cast<int>(sizeof(CPMusic)); }
    std::string GetClassName() const override { return "CPMusic"; }
    // Runs the loaded track; true when it runs or when nothing is loaded.
    bool Start() override;
    void OnSuspend() override {}
    void Update() override;
    void OnResume() override {}
    // Stops the track and rewinds it; the task stays in the kernel.
    void Stop() override;
    int GetKind() const override { return 3; }

    // Prepares a track without running it. S_OK, or the failure that kept it from loading.
    HRESULT Play(const std::string& fileName, bool loop);
    void SetVolume(float v);
    void ReleaseGraph();

    const std::string& GetFileName() const { return m_fileName; }
    bool IsLoaded() const { return m_loaded; }
    bool IsLooping() const { return m_loop; }
    float GetVolume() const { return m_volume; }

private:
    static CPMusic* s_instance;
    std::unique_ptr<Platform::Music::IMusicPlayer> m_player;
    bool m_loop = false;
    std::string m_fileName;
    bool m_loaded = false;
    float m_volume;
};
