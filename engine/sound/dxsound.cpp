#include "engine/sound/dxsound.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "framework/forms.h"
#include "framework/scope_exit.h"

// ---- TDirectSound ---------------------------------------------------------------

TDirectSound::TDirectSound(const GUID* DriverGUID) {
  auto create = LoadDirectXEntryAs<TDirectSoundCreate>("DSound.dll", "DirectSoundCreate");
  SetResultCode(create(DriverGUID, &idsound_, nullptr));
  if (FAILED(ResultCode())) Raise<EDirectSoundError>("%s cannot be initialized", "DirectSound");
}

TDirectSound::~TDirectSound() {
  // A buffer object belongs to whoever made it; what the device can do is
  // let go of the sound behind it, so no buffer outlives its device.
  while (!buffers_.empty()) {
    TDirectSoundBuffer* b = buffers_.back();
    buffers_.pop_back();
    b->SetIDSBuffer(nullptr);
    b->dsound_ = nullptr;
  }
  idsound_.reset();
}

IDirectSound* TDirectSound::IDSound() const {
  if (!idsound_) Raise<EDirectSoundError>("%s not made", "IDirectSound");
  return idsound_.get();
}

void TDirectSound::RestoreLostBuffer(HRESULT Code) {
  if (Code != DSERR_BUFFERLOST || restoring_) return;
  restoring_ = true;
  try {
    DoRestoreBuffer();
  } catch (...) {
    restoring_ = false;
    throw;
  }
  restoring_ = false;
}

void TDXSoundDirectSound::DoRestoreBuffer() {
  dxsound_->Restore();
}

// ---- TDirectSoundBuffer -----------------------------------------------------------

TDirectSoundBuffer::TDirectSoundBuffer(TDirectSound* DSound) : dsound_(DSound) {
  if (dsound_) dsound_->buffers_.push_back(this);
}

TDirectSoundBuffer::~TDirectSoundBuffer() {
  idsbuffer_.reset();
  if (dsound_) {
    auto& list = dsound_->buffers_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

IDirectSoundBuffer* TDirectSoundBuffer::IDSBuffer() const {
  if (!idsbuffer_) Raise<EDirectSoundBufferError>("%s not made", "IDirectSoundBuffer");
  return idsbuffer_.get();
}

HRESULT TDirectSoundBuffer::Store(HRESULT Code) {
  SetResultCode(Code);
  return Code;
}

void TDirectSoundBuffer::CheckResult() {
  if (dsound_) dsound_->RestoreLostBuffer(ResultCode());
}

void TDirectSoundBuffer::SetIDSBuffer(std::unique_ptr<IDirectSoundBuffer> Value) {
  if (Value && Value.get() == idsbuffer_.get()) return;
  if (!Value && !idsbuffer_) return;
  idsbuffer_ = std::move(Value);
  caps_ = DSBCAPS{};
  format_.clear();
  lock_count_ = 0;
  lock_ = {};
  if (!idsbuffer_) return;
  caps_.dwSize = sizeof(DSBCAPS);
  idsbuffer_->GetCaps(&caps_);
  DWORD size = 0;
  if (SUCCEEDED(Store(idsbuffer_->GetFormat(nullptr, 0, &size)))) {
    format_.assign(size, 0);
    Store(idsbuffer_->GetFormat(reinterpret_cast<WAVEFORMATEX*>(format_.data()), size, nullptr));
  }
}

bool TDirectSoundBuffer::CreateBuffer(const DSBUFFERDESC& Description) {
  SetIDSBuffer(nullptr);
  if (!dsound_) return false;
  std::unique_ptr<IDirectSoundBuffer> b;
  dsound_->SetResultCode(dsound_->IDSound()->CreateSoundBuffer(&Description, &b));
  SetResultCode(dsound_->ResultCode());
  if (FAILED(ResultCode())) return false;
  SetIDSBuffer(std::move(b));
  return true;
}

void TDirectSoundBuffer::CreateBufferOf(const WAVEFORMATEX& Format, DWORD Size) {
  DSBUFFERDESC d;
  d.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
  if (dsound_ && dsound_->StickyFocus) {
    d.dwFlags |= DSBCAPS_STICKYFOCUS;
  } else if (dsound_ && dsound_->GlobalFocus) {
    d.dwFlags |= DSBCAPS_GLOBALFOCUS;
  }
  d.dwBufferBytes = Size;
  d.lpwfxFormat = &Format;
  if (!CreateBuffer(d)) Raise<EDirectSoundBufferError>("%s cannot be made", "Sound Buffer");
}

void TDirectSoundBuffer::LoadFromMemory(const void* Format, int FormatSize, const void* Data,
                                        DWORD Size) {
  WAVEFORMATEX f;
  if (Format && FormatSize > 0)
    std::memcpy(&f, Format, std::min<size_t>(static_cast<size_t>(FormatSize), sizeof f));
  CreateBufferOf(f, Size);
  if (!Data) return;
  void *p1, *p2;
  DWORD n1, n2;
  if (!Lock(0, Size, p1, n1, p2, n2)) {
    SetIDSBuffer(nullptr);
    Raise<EDirectSoundBufferError>("%s cannot be locked", "Sound Buffer");
  }
  std::memcpy(p1, Data, n1);
  if (p2) std::memcpy(p2, static_cast<const uint8_t*>(Data) + n1, n2);
  Unlock();
}

void TDirectSoundBuffer::LoadFromWave(const TWave& Wave) {
  LoadFromMemory(Wave.Format(), Wave.FormatSize(), Wave.Data(), static_cast<DWORD>(Wave.Size()));
}

void TDirectSoundBuffer::Assign(TPersistent* Source) {
  if (!Source) {
    SetIDSBuffer(nullptr);
    return;
  }
  if (auto* w = dynamic_cast<TWave*>(Source)) {
    LoadFromWave(*w);
    return;
  }
  if (auto* b = dynamic_cast<TDirectSoundBuffer*>(Source)) {
    if (b == this) return;
    if (!b->idsbuffer_) {
      SetIDSBuffer(nullptr);
      return;
    }
    if (!dsound_) return;
    std::unique_ptr<IDirectSoundBuffer> dup;
    dsound_->SetResultCode(dsound_->IDSound()->DuplicateSoundBuffer(b->idsbuffer_.get(), &dup));
    if (SUCCEEDED(Store(dsound_->ResultCode()))) SetIDSBuffer(std::move(dup));
    return;
  }
  TPersistent::Assign(Source);
}

bool TDirectSoundBuffer::Lock(DWORD Offset, DWORD Size, void*& Ptr1, DWORD& Size1, void*& Ptr2,
                              DWORD& Size2) {
  Ptr1 = Ptr2 = nullptr;
  Size1 = Size2 = 0;
  if (!idsbuffer_ || lock_count_ > 0) return false;
  if (FAILED(Store(
          idsbuffer_->Lock(Offset, Size, &lock_.Ptr1, &lock_.Size1, &lock_.Ptr2, &lock_.Size2, 0))))
    return false;
  // The restore a failure may start could have replaced the buffer; a lock
  // only counts on the buffer that gave it.
  if (!idsbuffer_) return false;
  lock_count_ = 1;
  Ptr1 = lock_.Ptr1;
  Size1 = lock_.Size1;
  Ptr2 = lock_.Ptr2;
  Size2 = lock_.Size2;
  return true;
}

void TDirectSoundBuffer::Unlock() {
  if (!idsbuffer_ || lock_count_ == 0) return;
  lock_count_ = 0;
  Store(idsbuffer_->Unlock(lock_.Ptr1, lock_.Size1, lock_.Ptr2, lock_.Size2));
}

bool TDirectSoundBuffer::Play(bool Loop) {
  return SUCCEEDED(Store(IDSBuffer()->Play(0, 0, Loop ? DSBPLAY_LOOPING : 0)));
}

bool TDirectSoundBuffer::Stop() {
  return SUCCEEDED(Store(IDSBuffer()->Stop()));
}

bool TDirectSoundBuffer::SetPosition(DWORD Position) {
  return SUCCEEDED(Store(IDSBuffer()->SetCurrentPosition(Position)));
}

bool TDirectSoundBuffer::SetFrequency(DWORD Value) {
  return SUCCEEDED(Store(IDSBuffer()->SetFrequency(Value)));
}

bool TDirectSoundBuffer::SetPan(LONG Value) {
  return SUCCEEDED(Store(IDSBuffer()->SetPan(Value)));
}

bool TDirectSoundBuffer::SetVolume(LONG Value) {
  return SUCCEEDED(Store(IDSBuffer()->SetVolume(Value)));
}

DWORD TDirectSoundBuffer::GetStatus() {
  DWORD status = 0;
  Store(IDSBuffer()->GetStatus(&status));
  return status;
}

bool TDirectSoundBuffer::Playing() {
  return (GetStatus() & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING)) != 0;
}

bool TDirectSoundBuffer::Lost() {
  return (GetStatus() & DSBSTATUS_BUFFERLOST) != 0;
}

// ---- TCustomDXSound ----------------------------------------------------------------

TCustomDXSound::TCustomDXSound(TComponent* AOwner) : TComponent(AOwner) {}

TCustomDXSound::~TCustomDXSound() {
  try {
    Finalize();
  } catch (...) {
    // Going away regardless; Finalize has already let go of the device.
  }
  try {
    NotifyEventList(dsnDestroying);
  } catch (...) {
  }
}

void TCustomDXSound::Loaded() {
  TComponent::Loaded();
  if (!AutoInitialize || Has(csDesigning)) return;
  try {
    Initialize();
  } catch (const EDirectSoundError&) {
    // No sound device: the program runs silently.
  } catch (const Exception& e) {
    // Nor is a missing sound library a reason to stop; anything else is.
    if (typeid(e) != typeid(Exception)) throw;
  }
}

void TCustomDXSound::Initialize() {
  Finalize();
  TComponent* c = Owner();
  form_ = nullptr;
  while (c && !form_) {
    form_ = dynamic_cast<TForm*>(c);
    c = c->Owner();
  }
  if (!form_) Raise<EDXSoundError>("Form not found");

  NotifyEventList(dsnInitializing);
  DoInitializing();
  started_ = true;
  try {
    dsound_ = std::make_unique<TDXSoundDirectSound>(this, Driver);
    dsound_->GlobalFocus = (now_options_ & soGlobalFocus) != 0;
    dsound_->StickyFocus = (now_options_ & soStickyFocus) != 0;
    primary_ = std::make_unique<TDirectSoundBuffer>(dsound_.get());
    DSBUFFERDESC d;
    d.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (!primary_->CreateBuffer(d)) Raise<EDXSoundError>("%s cannot be made", "Primary Buffer");
    initialized_ = true;
    SetForm();
  } catch (...) {
    Finalize();
    throw;
  }
  NotifyEventList(dsnInitialize);
  calledDoInitialize_ = true;
  DoInitialize();
  Restore();
}

void TCustomDXSound::SetForm() {
  subclass_.reset();
  subclass_ = std::make_unique<TControlSubClass>(
      form_, [this](TMessage& Message, const TWndMethod& DefWindowProc) {
        DefWindowProc(Message);
        // A window made anew needs the device bound to it again. The hook stays:
        // it is the one running. While the first window is still being made the
        // binding happens when Initialize asks for the handle.
        if (Message.Msg == WM_CREATE && initialized_ && form_->HandleAllocated()) BindWindow();
      });
  BindWindow();
}

void TCustomDXSound::BindWindow() {
  dsound_->SetResultCode(dsound_->IDSound()->SetCooperativeLevel(
      form_->Handle(), (now_options_ & soExclusive) ? DSSCL_EXCLUSIVE : DSSCL_NORMAL));
}

void TCustomDXSound::Finalize() {
  if (!started_) return;
  const TScopeExit cleanup([this] {
    initialized_ = false;
    started_ = false;
    now_options_ = options_;
    primary_.reset();
    dsound_.reset();
  });
  subclass_.reset();
  if (calledDoInitialize_) {
    calledDoInitialize_ = false;
    try {
      DoFinalize();
    } catch (...) {
      NotifyEventList(dsnFinalize);
      throw;
    }
  }
  NotifyEventList(dsnFinalize);
}

void TCustomDXSound::Restore() {
  if (!initialized_) return;
  NotifyEventList(dsnRestore);
  DoRestore();
}

void TCustomDXSound::AddNotifyHandler(const void* Key, TDXSoundNotifyEvent Handler) {
  RemoveNotifyHandler(Key);
  handlers_.push_back({Key, Handler});
  if (initialized_) {
    Handler(this, dsnInitialize);
    Handler(this, dsnRestore);
  }
}

void TCustomDXSound::RemoveNotifyHandler(const void* Key) {
  auto it = std::find_if(handlers_.begin(), handlers_.end(),
                         [&](const THandlerEntry& e) { return e.Key == Key; });
  if (it == handlers_.end()) return;
  TDXSoundNotifyEvent h = std::move(it->Handler);
  handlers_.erase(it);
  if (initialized_) h(this, dsnFinalize);
}

void TCustomDXSound::NotifyEventList(TDXSoundNotifyType Kind) {
  // A handler may remove itself or others while being told; each key still
  // registered is told once, newest first.
  std::vector<const void*> keys;
  for (const THandlerEntry& e : handlers_) keys.push_back(e.Key);
  for (auto k = keys.rbegin(); k != keys.rend(); ++k) {
    auto it = std::find_if(handlers_.begin(), handlers_.end(),
                           [&](const THandlerEntry& e) { return e.Key == *k; });
    if (it == handlers_.end()) continue;
    TDXSoundNotifyEvent h = it->Handler;
    h(this, Kind);
  }
}

void TCustomDXSound::SetOptions(TDXSoundOptions Value) {
  options_ = Value;
  if (!initialized_) {
    now_options_ = Value;
    return;
  }
  // Focus follows at once; exclusive use waits for the next Initialize.
  const TDXSoundOptions focus = soGlobalFocus | soStickyFocus;
  now_options_ = (now_options_ & ~focus) | (Value & focus);
  dsound_->GlobalFocus = (now_options_ & soGlobalFocus) != 0;
  dsound_->StickyFocus = (now_options_ & soStickyFocus) != 0;
}

void TCustomDXSound::DoFinalize() {
  if (OnFinalize) OnFinalize(this);
}
void TCustomDXSound::DoInitialize() {
  if (OnInitialize) OnInitialize(this);
}
void TCustomDXSound::DoInitializing() {
  if (OnInitializing) OnInitializing(this);
}
void TCustomDXSound::DoRestore() {
  if (OnRestore) OnRestore(this);
}
