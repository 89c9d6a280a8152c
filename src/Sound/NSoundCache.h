#pragma once
// Turns a file name under Data\Sounds into a loaded sound. Loads are not entered in the cache:
// every request makes a sound with its own buffer, as the race world and the sound table expect.

#include "Framework/PMMObject.h"
#include "Sound/NSound.h"

#include <string>
#include <vector>

class CNSoundCache {
public:
    explicit CNSoundCache(Platform::Audio::IDirectSound8* device);
    virtual ~CNSoundCache();
    CNSoundCache(const CNSoundCache&) = delete;
    CNSoundCache& operator=(const CNSoundCache&) = delete;

    static CNSoundCache* GetInstance() { return s_instance; }

    CPSmartPtr<CNSound> Find(const std::string& file) const;
    // A sound for "Data\Sounds\<file>"; null when its buffer could not be made. 3D sounds get
    // the distances 3 and 300.
    CPSmartPtr<CNSound>& GetOrLoad(CPSmartPtr<CNSound>& out, const std::string& file, int is3D, bool forceNew);
    // Stops every entry's sound and drops the entries.
    void StopAll();
    // The entries' sounds in order (the level's stop silences and rewinds them).
    std::vector<CPSmartPtr<CNSound>> Sounds() const;

private:
    struct Entry {
        std::string file;
        CPSmartPtr<CNSound> sound;
    };
    static CNSoundCache* s_instance;
    std::vector<Entry> m_entries;
    Platform::Audio::IDirectSound8* m_device;
};
