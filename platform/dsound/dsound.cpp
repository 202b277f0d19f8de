#include "platform/dsound/dsound.h"

#include <atomic>
#include <cstring>

#include "platform/win/library.h"

namespace {

std::atomic<uint64_t> g_next_device{1};

// Takes the mixer lock and brings a clock-driven mixer up to now, so every
// answer matches what has been heard so far.
struct TMixLock {
  TSoundMixer& m = TSoundMixer::Instance();
  std::unique_lock<std::mutex> lock{m.Mutex()};
  TMixLock() { m.Pump(); }
};

HRESULT TakeFault(HRESULT& slot) {
  HRESULT hr = slot;
  slot = DS_OK;
  return hr;
}

bool ValidFormat(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f.nChannels != 1 && f.nChannels != 2) return false;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
  if (f.nSamplesPerSec < DSBFREQUENCY_MIN || f.nSamplesPerSec > DSBFREQUENCY_MAX) return false;
  return f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

}  // namespace

TDSoundFaults& DSoundFaults() {
  static TDSoundFaults faults;
  return faults;
}

// ---- Device ------------------------------------------------------------

IDirectSound::IDirectSound() : id_(g_next_device++) {}

IDirectSound::~IDirectSound() = default;

HRESULT DirectSoundCreate(const GUID* Driver, std::unique_ptr<IDirectSound>* DS, void* Outer) {
  if (!DS) return DSERR_INVALIDPARAM;
  DS->reset();
  if (Outer) return DSERR_INVALIDPARAM;
  if (HRESULT hr = TakeFault(DSoundFaults().Create); FAILED(hr)) return hr;
  // Only the default device exists; a named driver is not there.
  if (Driver && (Driver->Data1 || Driver->Data2 || Driver->Data3)) return DSERR_NODRIVER;
  DS->reset(new IDirectSound());
  return DS_OK;
}

HRESULT IDirectSound::SetCooperativeLevel(HWND Window, DWORD Level) {
  if (Level < DSSCL_NORMAL || Level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
  level_ = Level;
  return DS_OK;
}

HRESULT IDirectSound::CreateSoundBuffer(const DSBUFFERDESC* Desc,
                                        std::unique_ptr<IDirectSoundBuffer>* Buffer) {
  if (!Buffer) return DSERR_INVALIDPARAM;
  Buffer->reset();
  if (!Desc || Desc->dwSize != sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
  if (Desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
    if (HRESULT hr = TakeFault(DSoundFaults().CreatePrimary); FAILED(hr)) return hr;
    if (Desc->dwBufferBytes != 0 || Desc->lpwfxFormat) return DSERR_INVALIDPARAM;
    Buffer->reset(new IDirectSoundBuffer(id_, Desc->dwFlags));
    return DS_OK;
  }
  if (HRESULT hr = TakeFault(DSoundFaults().CreateBuffer); FAILED(hr)) return hr;
  if (!Desc->lpwfxFormat) return DSERR_INVALIDPARAM;
  WAVEFORMATEX f;
  // PCM formats are the 16-byte record; the extension size is never read.
  std::memcpy(static_cast<void*>(&f), Desc->lpwfxFormat, 16);
  f.cbSize = 0;
  if (!ValidFormat(f)) return DSERR_BADFORMAT;
  if (Desc->dwBufferBytes == 0 || Desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
  std::unique_ptr<IDirectSoundBuffer> b(new IDirectSoundBuffer(id_, Desc->dwFlags));
  TMixVoice& v = b->voice_;
  v.Samples =
      std::make_shared<std::vector<uint8_t>>(Desc->dwBufferBytes, f.wBitsPerSample == 8 ? 0x80 : 0);
  v.Channels = f.nChannels;
  v.Bits = f.wBitsPerSample;
  v.Rate = f.nSamplesPerSec;
  v.BlockAlign = f.nBlockAlign;
  v.Frequency = f.nSamplesPerSec;
  {
    TMixLock l;
    l.m.Add(&v);
  }
  *Buffer = std::move(b);
  return DS_OK;
}

HRESULT IDirectSound::DuplicateSoundBuffer(IDirectSoundBuffer* Original,
                                           std::unique_ptr<IDirectSoundBuffer>* Duplicate) {
  if (!Duplicate) return DSERR_INVALIDPARAM;
  Duplicate->reset();
  if (!Original) return DSERR_INVALIDPARAM;
  if (HRESULT hr = TakeFault(DSoundFaults().Duplicate); FAILED(hr)) return hr;
  if (Original->flags_ & DSBCAPS_PRIMARYBUFFER) return DSERR_INVALIDCALL;
  std::unique_ptr<IDirectSoundBuffer> b(new IDirectSoundBuffer(id_, Original->flags_));
  {
    TMixLock l;
    if (Original->voice_.Lost) return DSERR_BUFFERLOST;
    TMixVoice& v = b->voice_;
    const TMixVoice& o = Original->voice_;
    v.Samples = o.Samples;
    v.Channels = o.Channels;
    v.Bits = o.Bits;
    v.Rate = o.Rate;
    v.BlockAlign = o.BlockAlign;
    v.Frequency = o.Frequency;
    v.Volume = o.Volume;
    v.Pan = o.Pan;
    l.m.Add(&v);
  }
  *Duplicate = std::move(b);
  return DS_OK;
}

void IDirectSound::ForceAllLost() {
  TMixLock l;
  l.m.ForceLost(id_);
}

// ---- Buffers -----------------------------------------------------------

IDirectSoundBuffer::IDirectSoundBuffer(uint64_t Device, DWORD Flags) : flags_(Flags) {
  voice_.Device = Device;
}

IDirectSoundBuffer::~IDirectSoundBuffer() {
  if (voice_.Samples) {
    TMixLock l;
    l.m.Remove(&voice_);
  }
}

HRESULT IDirectSoundBuffer::GetCaps(DSBCAPS* Caps) {
  if (!Caps || Caps->dwSize != sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
  TMixLock l;
  Caps->dwFlags = flags_;
  Caps->dwBufferBytes = voice_.Samples ? static_cast<DWORD>(voice_.Samples->size()) : 0;
  Caps->dwUnlockTransferRate = 0;
  Caps->dwPlayCpuOverhead = 0;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetFormat(WAVEFORMATEX* Format, DWORD SizeAllocated,
                                      DWORD* SizeWritten) {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  if (flags_ & DSBCAPS_PRIMARYBUFFER) {
    f.nChannels = 2;
    f.wBitsPerSample = 16;
    f.nSamplesPerSec = TSoundMixer::Instance().Rate();
  } else {
    f.nChannels = voice_.Channels;
    f.wBitsPerSample = voice_.Bits;
    f.nSamplesPerSec = voice_.Rate;
  }
  f.nBlockAlign = static_cast<uint16_t>(f.nChannels * f.wBitsPerSample / 8);
  f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
  if (!Format) {
    if (!SizeWritten) return DSERR_INVALIDPARAM;
    *SizeWritten = sizeof f;
    return DS_OK;
  }
  const DWORD n = SizeAllocated < sizeof f ? SizeAllocated : static_cast<DWORD>(sizeof f);
  std::memcpy(Format, &f, n);
  if (SizeWritten) *SizeWritten = n;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetStatus(DWORD* Status) {
  if (!Status) return DSERR_INVALIDPARAM;
  TMixLock l;
  DWORD s = 0;
  if (voice_.Lost) {
    s |= DSBSTATUS_BUFFERLOST;
  } else if (voice_.Playing) {
    s |= DSBSTATUS_PLAYING;
    if (voice_.Looping) s |= DSBSTATUS_LOOPING;
  }
  *Status = s;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetCurrentPosition(DWORD* PlayCursor, DWORD* WriteCursor) {
  TMixLock l;
  const DWORD p = static_cast<DWORD>((voice_.Cursor >> 32) * voice_.BlockAlign);
  if (PlayCursor) *PlayCursor = p;
  if (WriteCursor) *WriteCursor = p;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::Lock(DWORD Offset, DWORD Bytes, void** Ptr1, DWORD* Bytes1, void** Ptr2,
                                 DWORD* Bytes2, DWORD Flags) {
  if (!Ptr1 || !Bytes1) return DSERR_INVALIDPARAM;
  *Ptr1 = nullptr;
  *Bytes1 = 0;
  if (Ptr2) *Ptr2 = nullptr;
  if (Bytes2) *Bytes2 = 0;
  if (!voice_.Samples) return DSERR_INVALIDCALL;  // the primary buffer
  if (HRESULT hr = TakeFault(DSoundFaults().Lock); FAILED(hr)) return hr;
  TMixLock l;
  if (voice_.Lost) return DSERR_BUFFERLOST;
  if (locked_) return DSERR_INVALIDCALL;
  const DWORD size = static_cast<DWORD>(voice_.Samples->size());
  if (Offset >= size || Bytes > size || Bytes == 0) return DSERR_INVALIDPARAM;
  uint8_t* base = voice_.Samples->data();
  const DWORD first = Bytes <= size - Offset ? Bytes : size - Offset;
  *Ptr1 = base + Offset;
  *Bytes1 = first;
  if (first < Bytes) {
    if (!Ptr2 || !Bytes2) return DSERR_INVALIDPARAM;
    *Ptr2 = base;
    *Bytes2 = Bytes - first;
  }
  locked_ = true;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::Unlock(void* Ptr1, DWORD Bytes1, void* Ptr2, DWORD Bytes2) {
  TMixLock l;
  if (!locked_) return DSERR_INVALIDCALL;
  locked_ = false;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::Play(DWORD Reserved, DWORD Priority, DWORD Flags) {
  if (!voice_.Samples) return DS_OK;  // the primary buffer always plays
  TMixLock l;
  if (voice_.Lost) return DSERR_BUFFERLOST;
  voice_.Playing = true;
  voice_.Looping = (Flags & DSBPLAY_LOOPING) != 0;
  TSoundMixer::Instance().NotifyPlayLocked(voice_);
  return DS_OK;
}

HRESULT IDirectSoundBuffer::Stop() {
  TMixLock l;
  voice_.Playing = false;
  voice_.Looping = false;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::SetCurrentPosition(DWORD Position) {
  if (!voice_.Samples) return DSERR_INVALIDCALL;
  TMixLock l;
  if (voice_.Lost) return DSERR_BUFFERLOST;
  if (Position >= voice_.Samples->size()) return DSERR_INVALIDPARAM;
  voice_.Cursor = static_cast<uint64_t>(Position / voice_.BlockAlign) << 32;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::SetFrequency(DWORD Frequency) {
  if (!voice_.Samples) return DSERR_INVALIDCALL;
  if (Frequency != DSBFREQUENCY_ORIGINAL &&
      (Frequency < DSBFREQUENCY_MIN || Frequency > DSBFREQUENCY_MAX))
    return DSERR_INVALIDPARAM;
  TMixLock l;
  voice_.Frequency = Frequency == DSBFREQUENCY_ORIGINAL ? voice_.Rate : Frequency;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::SetPan(LONG Pan) {
  if (Pan < DSBPAN_LEFT || Pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  TMixLock l;
  voice_.Pan = Pan;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::SetVolume(LONG Volume) {
  if (Volume < DSBVOLUME_MIN || Volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  TMixLock l;
  voice_.Volume = Volume;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetFrequency(DWORD* Frequency) {
  if (!Frequency) return DSERR_INVALIDPARAM;
  TMixLock l;
  *Frequency = voice_.Frequency;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetPan(LONG* Pan) {
  if (!Pan) return DSERR_INVALIDPARAM;
  TMixLock l;
  *Pan = voice_.Pan;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetVolume(LONG* Volume) {
  if (!Volume) return DSERR_INVALIDPARAM;
  TMixLock l;
  *Volume = voice_.Volume;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::Restore() {
  TMixLock l;
  voice_.Lost = false;
  return DS_OK;
}

void IDirectSoundBuffer::ForceLost() {
  TMixLock l;
  voice_.Lost = true;
  voice_.Playing = false;
  voice_.Looping = false;
}

void RegisterDirectSoundModule() {
  RegisterBuiltinModule("DSound.dll",
                        {{"DirectSoundCreate", reinterpret_cast<FARPROC>(&DirectSoundCreate)}});
}
