#include "Sound/NSoundCache.h"

#include "Sound/NAudio.h"

CNSoundCache* CNSoundCache::s_instance = nullptr;

CNSoundCache::CNSoundCache(Platform::Audio::IDirectSound8* device) : m_device(device) { s_instance = this; }

CNSoundCache::~CNSoundCache() {
    m_entries.clear();
    if (s_instance == this) s_instance = nullptr;
}

CPSmartPtr<CNSound> CNSoundCache::Find(const std::string& file) const {
    for (const auto& entry : m_entries)
        if (entry.file == file) return entry.sound;
    return nullptr;
}

CPSmartPtr<CNSound>& CNSoundCache::GetOrLoad(CPSmartPtr<CNSound>& out, const std::string& file, int is3D,
                                             bool forceNew) {
    if (!forceNew) {
        CPSmartPtr<CNSound> hit = Find(file);
        if (hit) {
            out = hit;
            return out;
        }
    }
    CPSmartPtr<CNSound> sound = new CNSound(m_device, "Data\\Sounds\\" + file, is3D);
    if (!sound->GetBuffer()) {
        out = nullptr;
        return out;
    }
    if (is3D) {
        if (CNAudio* audio = CNAudio::GetInstance())
            audio->SetSoundDistances(sound, 3.0f, 300.0f);
        else
            sound->SetDistances(3.0f, 300.0f);
    }
    out = sound;
    return out;
}

void CNSoundCache::StopAll() {
    for (auto& entry : m_entries)
        if (entry.sound) entry.sound->Stop();
    m_entries.clear();
}

std::vector<CPSmartPtr<CNSound>> CNSoundCache::Sounds() const {
    std::vector<CPSmartPtr<CNSound>> sounds;
    sounds.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        if (entry.sound) sounds.push_back(entry.sound);
    return sounds;
}
