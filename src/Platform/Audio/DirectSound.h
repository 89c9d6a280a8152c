#pragma once
// The sound device the engine plays its effects through, with the semantics the engine was
// written against: a device with a primary format, secondary buffers each holding a whole PCM
// sound, volumes in hundredths of a decibel, frequencies in hertz, optional 3D buffers and one
// 3D listener. Vectors are in the engine's left-handed frame; backends convert as they need.
//
// DirectSoundCreate8 opens a device on the installed audio system: OpenAL Soft unless a test
// installed another (the null system records every call). Without a sound device it fails with
// DSERR_NODRIVER and the engine carries on silently.

#include "Platform/Audio/Result.h"
#include "Platform/Math/D3DXTypes.h"

#include <memory>

namespace Platform::Audio {

using ::HWND;
using D3DVALUE = float;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag = 0;
    WORD nChannels = 0;
    DWORD nSamplesPerSec = 0;
    DWORD nAvgBytesPerSec = 0;
    WORD nBlockAlign = 0;
    WORD wBitsPerSample = 0;
    WORD cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

constexpr WORD WAVE_FORMAT_PCM = 1;

struct DSBUFFERDESC {
    DWORD dwSize = 0;
    DWORD dwFlags = 0;
    DWORD dwBufferBytes = 0;
    DWORD dwReserved = 0;
    const WAVEFORMATEX* lpwfxFormat = nullptr;
    GUID guid3DAlgorithm{};
};

struct DS3DBUFFER {
    DWORD dwSize = 64;
    D3DVECTOR vPosition{};
    D3DVECTOR vVelocity{};
    DWORD dwInsideConeAngle = 360;
    DWORD dwOutsideConeAngle = 360;
    D3DVECTOR vConeOrientation{0.0f, 0.0f, 1.0f};
    LONG lConeOutsideVolume = 0;
    D3DVALUE flMinDistance = 1.0f;
    D3DVALUE flMaxDistance = 1.0e9f;
    DWORD dwMode = 0;
};

struct DS3DLISTENER {
    DWORD dwSize = 64;
    D3DVECTOR vPosition{};
    D3DVECTOR vVelocity{};
    D3DVECTOR vOrientFront{0.0f, 0.0f, 1.0f};
    D3DVECTOR vOrientTop{0.0f, 1.0f, 0.0f};
    D3DVALUE flDistanceFactor = 1.0f;
    D3DVALUE flRolloffFactor = 1.0f;
    D3DVALUE flDopplerFactor = 1.0f;
};

// Buffer description flags.
constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr DWORD DSBCAPS_STATIC = 0x00000002;
constexpr DWORD DSBCAPS_CTRL3D = 0x00000010;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr DWORD DSBCAPS_CTRLPAN = 0x00000040;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x00000080;

// Cooperative levels.
constexpr DWORD DSSCL_NORMAL = 1;
constexpr DWORD DSSCL_PRIORITY = 2;
constexpr DWORD DSSCL_EXCLUSIVE = 3;
constexpr DWORD DSSCL_WRITEPRIMARY = 4;

constexpr DWORD DSBPLAY_LOOPING = 0x00000001;
constexpr DWORD DSBSTATUS_PLAYING = 0x00000001;
constexpr DWORD DSBSTATUS_BUFFERLOST = 0x00000002;
constexpr DWORD DSBSTATUS_LOOPING = 0x00000004;
constexpr DWORD DSBLOCK_FROMWRITECURSOR = 0x00000001;
constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x00000002;

constexpr LONG DSBVOLUME_MIN = -10000;
constexpr LONG DSBVOLUME_MAX = 0;
constexpr DWORD DSBFREQUENCY_ORIGINAL = 0;
constexpr DWORD DSBFREQUENCY_MIN = 100;
constexpr DWORD DSBFREQUENCY_MAX = 200000;
constexpr DWORD DSBSIZE_MIN = 4;
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;

constexpr DWORD DS3D_IMMEDIATE = 0;
constexpr DWORD DS3D_DEFERRED = 1;
constexpr DWORD DS3DMODE_NORMAL = 0;
constexpr DWORD DS3DMODE_HEADRELATIVE = 1;
constexpr DWORD DS3DMODE_DISABLE = 2;

constexpr HRESULT DS_OK = S_OK;
constexpr HRESULT DSERR_INVALIDPARAM = E_INVALIDARG;
constexpr HRESULT DSERR_NOINTERFACE = E_NOINTERFACE;
constexpr HRESULT DSERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DSERR_GENERIC = E_FAIL;
constexpr HRESULT DSERR_CONTROLUNAVAIL = MakeResult(0x8878001Eu);
constexpr HRESULT DSERR_INVALIDCALL = MakeResult(0x88780032u);
constexpr HRESULT DSERR_PRIOLEVELNEEDED = MakeResult(0x88780046u);
constexpr HRESULT DSERR_BADFORMAT = MakeResult(0x88780064u);
constexpr HRESULT DSERR_NODRIVER = MakeResult(0x88780078u);
constexpr HRESULT DSERR_BUFFERLOST = MakeResult(0x88780096u);
constexpr HRESULT DSERR_UNINITIALIZED = MakeResult(0x887800AAu);

// Interface identifiers (for QueryInterface) and 3D algorithm identifiers.
inline constexpr GUID IID_IDirectSoundBuffer{0x4B0A0001u, 0x5D17, 0x4C6E, {0x80, 1, 0, 0, 0, 0, 0, 1}};
inline constexpr GUID IID_IDirectSound3DBuffer{0x4B0A0002u, 0x5D17, 0x4C6E, {0x80, 1, 0, 0, 0, 0, 0, 2}};
inline constexpr GUID IID_IDirectSound3DListener{0x4B0A0003u, 0x5D17, 0x4C6E, {0x80, 1, 0, 0, 0, 0, 0, 3}};
inline constexpr GUID DS3DALG_DEFAULT{};
inline constexpr GUID DS3DALG_NO_VIRTUALIZATION{0x4B0A0101u, 0x5D17, 0x4C6E, {0x80, 2, 0, 0, 0, 0, 0, 1}};
inline constexpr GUID DS3DALG_HRTF_FULL{0x4B0A0102u, 0x5D17, 0x4C6E, {0x80, 2, 0, 0, 0, 0, 0, 2}};
inline constexpr GUID DS3DALG_HRTF_LIGHT{0x4B0A0103u, 0x5D17, 0x4C6E, {0x80, 2, 0, 0, 0, 0, 0, 3}};

class IUnknown {
public:
    virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

class IDirectSoundBuffer : public IUnknown {
public:
    virtual HRESULT GetCurrentPosition(DWORD* play, DWORD* write) = 0;
    virtual HRESULT GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) = 0;
    virtual HRESULT GetVolume(LONG* volume) = 0;
    virtual HRESULT GetFrequency(DWORD* frequency) = 0;
    virtual HRESULT GetStatus(DWORD* status) = 0;
    virtual HRESULT Lock(DWORD offset, DWORD bytes, void** part1, DWORD* bytes1, void** part2, DWORD* bytes2,
                         DWORD flags) = 0;
    virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
    virtual HRESULT SetCurrentPosition(DWORD position) = 0;
    virtual HRESULT SetFormat(const WAVEFORMATEX* format) = 0;
    virtual HRESULT SetVolume(LONG volume) = 0;
    virtual HRESULT SetFrequency(DWORD frequency) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Unlock(void* part1, DWORD bytes1, void* part2, DWORD bytes2) = 0;
    virtual HRESULT Restore() = 0;
};

class IDirectSound3DBuffer : public IUnknown {
public:
    virtual HRESULT GetAllParameters(DS3DBUFFER* parameters) = 0;
    virtual HRESULT SetAllParameters(const DS3DBUFFER* parameters, DWORD apply) = 0;
};

class IDirectSound3DListener : public IUnknown {
public:
    virtual HRESULT GetAllParameters(DS3DLISTENER* parameters) = 0;
    virtual HRESULT SetAllParameters(const DS3DLISTENER* parameters, DWORD apply) = 0;
};

class IDirectSound8 : public IUnknown {
public:
    virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
};

// Opens the default device (device must be null) of the installed audio system.
HRESULT DirectSoundCreate8(const GUID* device, IDirectSound8** out, IUnknown* outer);

// ---- Backends ---------------------------------------------------------------------------------

// What a backend does for one secondary buffer. The device layer checks every argument and
// keeps the buffer's state; the backend only mirrors it into its mixer.
class IVoice {
public:
    virtual ~IVoice() = default;
    // The whole buffer's bytes after an unlock (format already checked: PCM, 8/16-bit, 1-2 channels).
    virtual void Upload(const WAVEFORMATEX& format, const std::uint8_t* data, DWORD bytes) = 0;
    virtual void SetVolume(LONG hundredthsOfDb) = 0;
    virtual void SetFrequency(DWORD hertz) = 0;
    virtual void Play(bool loop) = 0;
    // Stops where it is; the next Play continues from there.
    virtual void Stop() = 0;
    virtual void SetPosition(DWORD byteOffset) = 0;
    virtual DWORD GetPosition() = 0;
    virtual bool IsPlaying() = 0;
    virtual bool IsLost() { return false; }
    virtual HRESULT Restore() { return DS_OK; }
    virtual void Set3D(const DS3DBUFFER& parameters) = 0;
};

class IAudioBackend {
public:
    virtual ~IAudioBackend() = default;
    virtual void SetCooperativeLevel(DWORD level) = 0;
    virtual void SetPrimaryFormat(const WAVEFORMATEX& format) = 0;
    virtual std::unique_ptr<IVoice> CreateVoice(const DSBUFFERDESC& desc) = 0;
    virtual void SetListener(const DS3DLISTENER& listener) = 0;
};

// Opens devices. OpenDevice answers null when there is no device.
class IAudioSystem {
public:
    virtual ~IAudioSystem() = default;
    virtual std::unique_ptr<IAudioBackend> OpenDevice() = 0;
};

// The system DirectSoundCreate8 uses; OpenAL Soft unless one was installed (not owned;
// nullptr restores OpenAL Soft).
IAudioSystem& GetAudioSystem();
void SetAudioSystem(IAudioSystem* system);

// Gain of a volume in hundredths of a decibel: 10^(v/2000), exactly 0 at the minimum.
float VolumeToGain(LONG volume);

} // namespace Platform::Audio
