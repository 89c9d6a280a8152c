#include "Platform/Audio/DirectSound.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace Platform::Audio {

std::unique_ptr<IAudioSystem> CreateOpenALAudioSystem();

namespace {

IAudioSystem* g_installed = nullptr;

// Reference counting shared by every object below.
template <class Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

protected:
    ~RefCounted() override = default;

private:
    std::atomic<ULONG> m_refs{1};
};

bool Finite(const D3DVECTOR& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The formats a buffer can hold: 8- or 16-bit PCM, mono or stereo, at a rate a buffer can play.
bool PlayablePcm(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels >= 1 && f.nChannels <= 2 &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= DSBFREQUENCY_MIN &&
           f.nSamplesPerSec <= DSBFREQUENCY_MAX && f.nBlockAlign == f.nChannels * (f.wBitsPerSample / 8);
}

class Device;

// A secondary buffer: the device layer keeps the bytes and the controls, the voice mirrors them.
class SoundBuffer final : public RefCounted<IDirectSoundBuffer> {
public:
    SoundBuffer(Device* device, const DSBUFFERDESC& desc, std::unique_ptr<IVoice> voice);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override {
        DWORD position = std::min<DWORD>(m_voice->GetPosition(), static_cast<DWORD>(m_data.size()));
        if (play) *play = position;
        if (write) *write = position;
        return DS_OK;
    }
    HRESULT GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) override {
        if (format && sizeAllocated >= sizeof(WAVEFORMATEX)) *format = m_format;
        if (sizeWritten) *sizeWritten = sizeof(WAVEFORMATEX);
        return (format || sizeWritten) ? DS_OK : DSERR_INVALIDPARAM;
    }
    HRESULT GetVolume(LONG* volume) override {
        if (!volume) return DSERR_INVALIDPARAM;
        if (!(m_flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        *volume = m_volume;
        return DS_OK;
    }
    HRESULT GetFrequency(DWORD* frequency) override {
        if (!frequency) return DSERR_INVALIDPARAM;
        if (!(m_flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
        *frequency = m_frequency;
        return DS_OK;
    }
    HRESULT GetStatus(DWORD* status) override {
        if (!status) return DSERR_INVALIDPARAM;
        *status = 0;
        if (m_voice->IsLost()) {
            *status = DSBSTATUS_BUFFERLOST;
            return DS_OK;
        }
        if (m_voice->IsPlaying()) *status = DSBSTATUS_PLAYING | (m_looping ? DSBSTATUS_LOOPING : 0);
        return DS_OK;
    }
    HRESULT Lock(DWORD offset, DWORD bytes, void** part1, DWORD* bytes1, void** part2, DWORD* bytes2,
                 DWORD flags) override {
        if (!part1 || !bytes1) return DSERR_INVALIDPARAM;
        if (m_voice->IsLost()) return DSERR_BUFFERLOST;
        const DWORD size = static_cast<DWORD>(m_data.size());
        if (flags & DSBLOCK_FROMWRITECURSOR) offset = m_voice->GetPosition();
        if (flags & DSBLOCK_ENTIREBUFFER) {
            offset = 0;
            bytes = size;
        }
        if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
        DWORD first = std::min(bytes, size - offset);
        *part1 = m_data.data() + offset;
        *bytes1 = first;
        DWORD rest = bytes - first;
        if (rest > 0 && !part2) return DSERR_INVALIDPARAM;
        if (part2) *part2 = rest ? m_data.data() : nullptr;
        if (bytes2) *bytes2 = rest;
        m_locked = true;
        return DS_OK;
    }
    HRESULT Unlock(void* part1, DWORD bytes1, void* part2, DWORD bytes2) override {
        if (!m_locked) return DSERR_INVALIDCALL;
        auto* begin = m_data.data();
        auto* end = begin + m_data.size();
        auto inside = [&](void* p, DWORD n) {
            if (!p) return n == 0;
            auto* b = static_cast<std::uint8_t*>(p);
            return b >= begin && b <= end && n <= static_cast<std::size_t>(end - b);
        };
        if (!inside(part1, bytes1) || !inside(part2, bytes2)) return DSERR_INVALIDPARAM;
        m_locked = false;
        m_voice->Upload(m_format, m_data.data(), static_cast<DWORD>(m_data.size()));
        return DS_OK;
    }
    HRESULT Play(DWORD reserved, DWORD /*priority*/, DWORD flags) override {
        if (reserved != 0) return DSERR_INVALIDPARAM;
        if (m_voice->IsLost()) return DSERR_BUFFERLOST;
        m_looping = (flags & DSBPLAY_LOOPING) != 0;
        m_voice->Play(m_looping);
        return DS_OK;
    }
    HRESULT SetCurrentPosition(DWORD position) override {
        if (position >= m_data.size()) return DSERR_INVALIDPARAM;
        position -= position % std::max<DWORD>(1, m_format.nBlockAlign);
        m_voice->SetPosition(position);
        return DS_OK;
    }
    HRESULT SetFormat(const WAVEFORMATEX*) override { return DSERR_INVALIDCALL; }
    HRESULT SetVolume(LONG volume) override {
        if (!(m_flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        m_volume = volume;
        m_voice->SetVolume(volume);
        return DS_OK;
    }
    HRESULT SetFrequency(DWORD frequency) override {
        if (!(m_flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
        if (frequency == DSBFREQUENCY_ORIGINAL) frequency = m_format.nSamplesPerSec;
        if (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
        m_frequency = frequency;
        m_voice->SetFrequency(frequency);
        return DS_OK;
    }
    HRESULT Stop() override {
        m_voice->Stop();
        return DS_OK;
    }
    HRESULT Restore() override {
        if (!m_voice->IsLost()) return DS_OK;
        return m_voice->Restore();
    }

    HRESULT Get3D(DS3DBUFFER* parameters) const {
        if (!parameters || parameters->dwSize != 64) return DSERR_INVALIDPARAM;
        *parameters = m_3d;
        return DS_OK;
    }
    HRESULT Set3D(const DS3DBUFFER* p) {
        if (!p || p->dwSize != 64) return DSERR_INVALIDPARAM;
        if (!Finite(p->vPosition) || !Finite(p->vVelocity) || !Finite(p->vConeOrientation)) return DSERR_INVALIDPARAM;
        if (!(p->flMinDistance > 0.0f) || !(p->flMaxDistance > 0.0f) || !std::isfinite(p->flMinDistance) ||
            !std::isfinite(p->flMaxDistance))
            return DSERR_INVALIDPARAM;
        if (p->dwMode > DS3DMODE_DISABLE || p->dwInsideConeAngle > 360 || p->dwOutsideConeAngle > 360 ||
            p->dwInsideConeAngle > p->dwOutsideConeAngle)
            return DSERR_INVALIDPARAM;
        if (p->lConeOutsideVolume < DSBVOLUME_MIN || p->lConeOutsideVolume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        m_3d = *p;
        m_voice->Set3D(m_3d);
        return DS_OK;
    }

private:
    ~SoundBuffer() override;

    Device* m_device;
    DWORD m_flags;
    WAVEFORMATEX m_format;
    std::vector<std::uint8_t> m_data;
    std::unique_ptr<IVoice> m_voice;
    LONG m_volume = 0;
    DWORD m_frequency;
    bool m_looping = false;
    bool m_locked = false;
    DS3DBUFFER m_3d;
};

class Buffer3D final : public RefCounted<IDirectSound3DBuffer> {
public:
    explicit Buffer3D(SoundBuffer* owner) : m_owner(owner) { m_owner->AddRef(); }
    HRESULT QueryInterface(REFIID iid, void** out) override { return m_owner->QueryInterface(iid, out); }
    HRESULT GetAllParameters(DS3DBUFFER* parameters) override { return m_owner->Get3D(parameters); }
    HRESULT SetAllParameters(const DS3DBUFFER* parameters, DWORD /*apply*/) override {
        return m_owner->Set3D(parameters);
    }

private:
    ~Buffer3D() override { m_owner->Release(); }
    SoundBuffer* m_owner;
};

class Device final : public RefCounted<IDirectSound8> {
public:
    explicit Device(std::unique_ptr<IAudioBackend> backend) : m_backend(std::move(backend)) {}

    HRESULT QueryInterface(REFIID, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) override;
    HRESULT SetCooperativeLevel(HWND, DWORD level) override {
        if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
        m_level = level;
        m_backend->SetCooperativeLevel(level);
        return DS_OK;
    }

    IAudioBackend& Backend() { return *m_backend; }
    DWORD Level() const { return m_level; }
    DS3DLISTENER& Listener() { return m_listener; }

private:
    ~Device() override = default;
    std::unique_ptr<IAudioBackend> m_backend;
    DWORD m_level = 0;
    DS3DLISTENER m_listener;
};

class Listener final : public RefCounted<IDirectSound3DListener> {
public:
    explicit Listener(Device* device) : m_device(device) { m_device->AddRef(); }
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IDirectSound3DListener) {
            AddRef();
            *out = static_cast<IDirectSound3DListener*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    HRESULT GetAllParameters(DS3DLISTENER* p) override {
        if (!p || p->dwSize != 64) return DSERR_INVALIDPARAM;
        *p = m_device->Listener();
        return DS_OK;
    }
    HRESULT SetAllParameters(const DS3DLISTENER* p, DWORD /*apply*/) override {
        if (!p || p->dwSize != 64) return DSERR_INVALIDPARAM;
        if (!Finite(p->vPosition) || !Finite(p->vVelocity) || !Finite(p->vOrientFront) || !Finite(p->vOrientTop))
            return DSERR_INVALIDPARAM;
        if (!(p->flDistanceFactor > 0.0f) || !std::isfinite(p->flDistanceFactor)) return DSERR_INVALIDPARAM;
        if (!(p->flRolloffFactor >= 0.0f && p->flRolloffFactor <= 10.0f)) return DSERR_INVALIDPARAM;
        if (!(p->flDopplerFactor >= 0.0f && p->flDopplerFactor <= 10.0f)) return DSERR_INVALIDPARAM;
        m_device->Listener() = *p;
        m_device->Backend().SetListener(*p);
        return DS_OK;
    }

private:
    ~Listener() override { m_device->Release(); }
    Device* m_device;
};

// The primary buffer only takes a format and hands out the listener.
class PrimaryBuffer final : public RefCounted<IDirectSoundBuffer> {
public:
    PrimaryBuffer(Device* device, bool with3D) : m_device(device), m_3d(with3D) { m_device->AddRef(); }

    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IDirectSoundBuffer) {
            AddRef();
            *out = static_cast<IDirectSoundBuffer*>(this);
            return S_OK;
        }
        if (iid == IID_IDirectSound3DListener && m_3d) {
            *out = static_cast<IDirectSound3DListener*>(new Listener(m_device));
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override {
        if (play) *play = 0;
        if (write) *write = 0;
        return DS_OK;
    }
    HRESULT GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) override {
        if (format && sizeAllocated >= sizeof(WAVEFORMATEX)) *format = m_format;
        if (sizeWritten) *sizeWritten = sizeof(WAVEFORMATEX);
        return DS_OK;
    }
    HRESULT GetVolume(LONG* volume) override {
        if (!volume) return DSERR_INVALIDPARAM;
        *volume = 0;
        return DS_OK;
    }
    HRESULT GetFrequency(DWORD*) override { return DSERR_CONTROLUNAVAIL; }
    HRESULT GetStatus(DWORD* status) override {
        if (!status) return DSERR_INVALIDPARAM;
        *status = 0;
        return DS_OK;
    }
    HRESULT Lock(DWORD, DWORD, void**, DWORD*, void**, DWORD*, DWORD) override { return DSERR_PRIOLEVELNEEDED; }
    HRESULT Unlock(void*, DWORD, void*, DWORD) override { return DSERR_INVALIDCALL; }
    HRESULT Play(DWORD, DWORD, DWORD) override { return DS_OK; }
    HRESULT SetCurrentPosition(DWORD) override { return DSERR_INVALIDCALL; }
    HRESULT SetFormat(const WAVEFORMATEX* f) override {
        if (m_device->Level() < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
        if (!f || !PlayablePcm(*f)) return DSERR_INVALIDPARAM;
        m_format = *f;
        m_device->Backend().SetPrimaryFormat(*f);
        return DS_OK;
    }
    HRESULT SetVolume(LONG) override { return DS_OK; }
    HRESULT SetFrequency(DWORD) override { return DSERR_CONTROLUNAVAIL; }
    HRESULT Stop() override { return DS_OK; }
    HRESULT Restore() override { return DS_OK; }

private:
    ~PrimaryBuffer() override { m_device->Release(); }
    Device* m_device;
    bool m_3d;
    WAVEFORMATEX m_format;
};

SoundBuffer::SoundBuffer(Device* device, const DSBUFFERDESC& desc, std::unique_ptr<IVoice> voice)
    : m_device(device), m_flags(desc.dwFlags), m_format(*desc.lpwfxFormat), m_data(desc.dwBufferBytes),
      m_voice(std::move(voice)), m_frequency(desc.lpwfxFormat->nSamplesPerSec) {
    m_device->AddRef();
    // Silence until filled.
    std::fill(m_data.begin(), m_data.end(), m_format.wBitsPerSample == 8 ? 0x80 : 0x00);
    m_format.cbSize = 0;
    m_voice->Upload(m_format, m_data.data(), static_cast<DWORD>(m_data.size()));
    m_voice->Set3D(m_3d);
}

SoundBuffer::~SoundBuffer() {
    m_voice.reset();
    m_device->Release();
}

HRESULT SoundBuffer::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IDirectSoundBuffer) {
        AddRef();
        *out = static_cast<IDirectSoundBuffer*>(this);
        return S_OK;
    }
    if (iid == IID_IDirectSound3DBuffer && (m_flags & DSBCAPS_CTRL3D)) {
        *out = static_cast<IDirectSound3DBuffer*>(new Buffer3D(this));
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT Device::CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) {
    if (!buffer) return DSERR_INVALIDPARAM;
    *buffer = nullptr;
    if (!desc || outer) return DSERR_INVALIDPARAM;
    if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
        if (desc->dwBufferBytes != 0 || desc->lpwfxFormat) return DSERR_INVALIDPARAM;
        *buffer = new PrimaryBuffer(this, (desc->dwFlags & DSBCAPS_CTRL3D) != 0);
        return DS_OK;
    }
    const WAVEFORMATEX* f = desc->lpwfxFormat;
    if (!f) return DSERR_INVALIDPARAM;
    if (!PlayablePcm(*f)) return DSERR_BADFORMAT;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
    auto voice = m_backend->CreateVoice(*desc);
    if (!voice) return DSERR_OUTOFMEMORY;
    *buffer = new SoundBuffer(this, *desc, std::move(voice));
    return DS_OK;
}

} // namespace

IAudioSystem& GetAudioSystem() {
    if (g_installed) return *g_installed;
    static std::unique_ptr<IAudioSystem> openal = CreateOpenALAudioSystem();
    return *openal;
}

void SetAudioSystem(IAudioSystem* system) { g_installed = system; }

HRESULT DirectSoundCreate8(const GUID* device, IDirectSound8** out, IUnknown* outer) {
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer || (device && !(*device == GUID{}))) return DSERR_INVALIDPARAM;
    auto backend = GetAudioSystem().OpenDevice();
    if (!backend) return DSERR_NODRIVER;
    *out = new Device(std::move(backend));
    return DS_OK;
}

float VolumeToGain(LONG volume) {
    if (volume <= DSBVOLUME_MIN) return 0.0f;
    if (volume >= 0) return 1.0f;
    return static_cast<float>(std::pow(10.0, volume / 2000.0));
}

const char* ResultName(HRESULT hr) {
    switch (hr) {
    case S_OK: return "S_OK";
    case S_FALSE: return "S_FALSE";
    case E_FAIL: return "E_FAIL";
    case E_INVALIDARG: return "E_INVALIDARG";
    case E_NOINTERFACE: return "E_NOINTERFACE";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_POINTER: return "E_POINTER";
    case CO_E_NOTINITIALIZED: return "CO_E_NOTINITIALIZED";
    case E_ABORT: return "E_ABORT";
    case VFW_E_NOT_FOUND: return "VFW_E_NOT_FOUND";
    case VFW_E_UNSUPPORTED_STREAM: return "VFW_E_UNSUPPORTED_STREAM";
    case DSERR_CONTROLUNAVAIL: return "DSERR_CONTROLUNAVAIL";
    case DSERR_INVALIDCALL: return "DSERR_INVALIDCALL";
    case DSERR_PRIOLEVELNEEDED: return "DSERR_PRIOLEVELNEEDED";
    case DSERR_BADFORMAT: return "DSERR_BADFORMAT";
    case DSERR_NODRIVER: return "DSERR_NODRIVER";
    case DSERR_BUFFERLOST: return "DSERR_BUFFERLOST";
    case DSERR_UNINITIALIZED: return "DSERR_UNINITIALIZED";
    default: return "Unknown";
    }
}

const char* ResultDescription(HRESULT hr) {
    switch (hr) {
    case S_OK: return "The call succeeded.";
    case S_FALSE: return "The call succeeded but did nothing.";
    case E_FAIL: return "An undetermined error occurred.";
    case E_INVALIDARG: return "An invalid parameter was passed.";
    case E_NOINTERFACE: return "The requested interface is not supported.";
    case E_OUTOFMEMORY: return "Not enough memory.";
    case E_POINTER: return "A required pointer was null.";
    case CO_E_NOTINITIALIZED: return "Nothing is open.";
    case E_ABORT: return "Nothing is pending.";
    case VFW_E_NOT_FOUND: return "The file was not found.";
    case VFW_E_UNSUPPORTED_STREAM: return "The file's format cannot be played.";
    case DSERR_CONTROLUNAVAIL: return "The buffer was not created with this control.";
    case DSERR_INVALIDCALL: return "This call is not valid for this object.";
    case DSERR_PRIOLEVELNEEDED: return "The cooperative level is too low for this call.";
    case DSERR_BADFORMAT: return "The wave format is not supported.";
    case DSERR_NODRIVER: return "No sound device is available.";
    case DSERR_BUFFERLOST: return "The buffer memory was lost and must be restored.";
    case DSERR_UNINITIALIZED: return "The device is not initialised.";
    default: return "Unknown error.";
    }
}

} // namespace Platform::Audio
