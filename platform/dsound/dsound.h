// The sound device and its buffers, shaped like the DirectSound calls the
// engine makes, over one software mixer (platform/dsound/mixer.h).
//
// Buffers are owned through std::unique_ptr; "releasing" one is resetting
// the pointer. A buffer keeps its sample block alive through a shared
// pointer, so duplicates share samples but have their own cursor, frequency,
// volume and pan, exactly like duplicated hardware buffers.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/dsound/mixer.h"
#include "platform/win/wintypes.h"

constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);
constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096u);

constexpr uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
// The format block as stored in a RIFF "fmt " chunk (16 bytes) plus the
// extension size (2 bytes) that PCM ignores.
struct WAVEFORMATEX {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr DWORD DSBCAPS_CTRLPAN = 0x00000040;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr DWORD DSBCAPS_STICKYFOCUS = 0x00004000;
constexpr DWORD DSBCAPS_GLOBALFOCUS = 0x00008000;

constexpr DWORD DSBPLAY_LOOPING = 0x00000001;

constexpr DWORD DSBSTATUS_PLAYING = 0x00000001;
constexpr DWORD DSBSTATUS_BUFFERLOST = 0x00000002;
constexpr DWORD DSBSTATUS_LOOPING = 0x00000004;

constexpr DWORD DSBFREQUENCY_ORIGINAL = 0;
constexpr DWORD DSBFREQUENCY_MIN = 100;
constexpr DWORD DSBFREQUENCY_MAX = 100000;
constexpr LONG DSBPAN_LEFT = -10000;
constexpr LONG DSBPAN_CENTER = 0;
constexpr LONG DSBPAN_RIGHT = 10000;
constexpr LONG DSBVOLUME_MIN = -10000;
constexpr LONG DSBVOLUME_MAX = 0;
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;

constexpr DWORD DSSCL_NORMAL = 1;
constexpr DWORD DSSCL_PRIORITY = 2;
constexpr DWORD DSSCL_EXCLUSIVE = 3;
constexpr DWORD DSSCL_WRITEPRIMARY = 4;

struct DSBUFFERDESC {
  DWORD dwSize = sizeof(DSBUFFERDESC);
  DWORD dwFlags = 0;
  DWORD dwBufferBytes = 0;
  DWORD dwReserved = 0;
  const WAVEFORMATEX* lpwfxFormat = nullptr;
};

// 20 bytes, as the engine keeps it.
struct DSBCAPS {
  DWORD dwSize = sizeof(DSBCAPS);
  DWORD dwFlags = 0;
  DWORD dwBufferBytes = 0;
  DWORD dwUnlockTransferRate = 0;
  DWORD dwPlayCpuOverhead = 0;
};
static_assert(sizeof(DSBCAPS) == 20);

class IDirectSound;

class IDirectSoundBuffer {
 public:
  ~IDirectSoundBuffer();
  IDirectSoundBuffer(const IDirectSoundBuffer&) = delete;
  IDirectSoundBuffer& operator=(const IDirectSoundBuffer&) = delete;

  HRESULT GetCaps(DSBCAPS* Caps);
  // With Format nil, *SizeWritten receives the size the format needs.
  HRESULT GetFormat(WAVEFORMATEX* Format, DWORD SizeAllocated, DWORD* SizeWritten);
  HRESULT GetStatus(DWORD* Status);
  HRESULT GetCurrentPosition(DWORD* PlayCursor, DWORD* WriteCursor);
  HRESULT Lock(DWORD Offset, DWORD Bytes, void** Ptr1, DWORD* Bytes1, void** Ptr2, DWORD* Bytes2,
               DWORD Flags);
  HRESULT Unlock(void* Ptr1, DWORD Bytes1, void* Ptr2, DWORD Bytes2);
  HRESULT Play(DWORD Reserved, DWORD Priority, DWORD Flags);
  HRESULT Stop();
  HRESULT SetCurrentPosition(DWORD Position);
  HRESULT SetFrequency(DWORD Frequency);
  HRESULT SetPan(LONG Pan);
  HRESULT SetVolume(LONG Volume);
  HRESULT GetFrequency(DWORD* Frequency);
  HRESULT GetPan(LONG* Pan);
  HRESULT GetVolume(LONG* Volume);
  // Clears the lost state; the samples must be written again.
  HRESULT Restore();

  // Marks the buffer lost, as when another program takes the device.
  void ForceLost();

 private:
  friend class IDirectSound;
  IDirectSoundBuffer(uint64_t Device, DWORD Flags);

  DWORD flags_;
  TMixVoice voice_;
  bool locked_ = false;
};

class IDirectSound {
 public:
  ~IDirectSound();
  IDirectSound(const IDirectSound&) = delete;
  IDirectSound& operator=(const IDirectSound&) = delete;

  HRESULT CreateSoundBuffer(const DSBUFFERDESC* Desc, std::unique_ptr<IDirectSoundBuffer>* Buffer);
  HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* Original,
                               std::unique_ptr<IDirectSoundBuffer>* Duplicate);
  HRESULT SetCooperativeLevel(HWND Window, DWORD Level);
  DWORD CooperativeLevel() const { return level_; }

  // Marks every buffer of this device lost.
  void ForceAllLost();

 private:
  friend HRESULT DirectSoundCreate(const GUID*, std::unique_ptr<IDirectSound>*, void*);
  IDirectSound();
  DWORD level_ = 0;
  uint64_t id_;
};

// Makes the device on the mixer. Succeeds without an audio device too: the
// mixer then plays into nothing.
HRESULT DirectSoundCreate(const GUID* Driver, std::unique_ptr<IDirectSound>* DS, void* Outer);

// Fault injection for tests: the next calls answer with these codes instead
// of doing their work (DS_OK: work normally).
struct TDSoundFaults {
  HRESULT Create = DS_OK;
  HRESULT CreateBuffer = DS_OK;
  HRESULT CreatePrimary = DS_OK;
  HRESULT Duplicate = DS_OK;
  HRESULT Lock = DS_OK;
};
TDSoundFaults& DSoundFaults();

// Registers "DSound.dll" with "DirectSoundCreate" in the library registry.
void RegisterDirectSoundModule();

using TDirectSoundCreate = HRESULT (*)(const GUID*, std::unique_ptr<IDirectSound>*, void*);
