// The sound device and its buffers in the style of the other DirectX
// wrappers, and the component that gives a form its sound device.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/directx/directx.h"
#include "engine/sound/wave.h"
#include "framework/classes.h"
#include "platform/dsound/dsound.h"

TAL_DECLARE_EXCEPTION(EDirectSoundError, EDirectXError)
TAL_DECLARE_EXCEPTION(EDirectSoundBufferError, EDirectSoundError)
TAL_DECLARE_EXCEPTION(EDXSoundError, Exception)

class TDirectSoundBuffer;
class TCustomDXSound;
class TForm;
class TControlSubClass;

class TDirectSound : public TDirectX {
 public:
  TAL_CLASS_NAME(TDirectSound)
  // Makes the device through "DirectSoundCreate" of "DSound.dll"; nil is the
  // default device.
  explicit TDirectSound(const GUID* DriverGUID);
  // Buffers still on the device lose their interface (last made first) and
  // are detached; their owners free them.
  ~TDirectSound() override;
  TDirectSound(const TDirectSound&) = delete;
  TDirectSound& operator=(const TDirectSound&) = delete;

  IDirectSound* IDSound() const;
  int BufferCount() const { return static_cast<int>(buffers_.size()); }
  TDirectSoundBuffer* Buffers(int Index) const { return buffers_.at(static_cast<size_t>(Index)); }

  bool GlobalFocus = false;
  bool StickyFocus = false;
  bool Restoring() const { return restoring_; }

  // A lost buffer reported by one of the device's buffers: restores once,
  // never from within a restore. The failing call is not repeated.
  void RestoreLostBuffer(HRESULT Code);

 protected:
  virtual void DoRestoreBuffer() {}

 private:
  friend class TDirectSoundBuffer;
  std::vector<TDirectSoundBuffer*> buffers_;  // not owned
  std::unique_ptr<IDirectSound> idsound_;
  bool restoring_ = false;
};

// The device of a sound component: a lost buffer restores the component.
class TDXSoundDirectSound : public TDirectSound {
 public:
  TAL_CLASS_NAME(TDXSoundDirectSound)
  TDXSoundDirectSound(TCustomDXSound* DXSound, const GUID* DriverGUID)
      : TDirectSound(DriverGUID), dxsound_(DXSound) {}

 protected:
  void DoRestoreBuffer() override;

 private:
  TCustomDXSound* dxsound_;
};

class TDirectSoundBuffer : public TDirectX {
 public:
  TAL_CLASS_NAME(TDirectSoundBuffer)
  explicit TDirectSoundBuffer(TDirectSound* DSound);
  ~TDirectSoundBuffer() override;
  TDirectSoundBuffer(const TDirectSoundBuffer&) = delete;
  TDirectSoundBuffer& operator=(const TDirectSoundBuffer&) = delete;

  TDirectSound* DSound() const { return dsound_; }
  // The interface; raises EDirectSoundBufferError "IDirectSoundBuffer not
  // made" without one.
  IDirectSoundBuffer* IDSBuffer() const;
  bool HasInterface() const { return idsbuffer_ != nullptr; }
  void SetIDSBuffer(std::unique_ptr<IDirectSoundBuffer> Value);
  const DSBCAPS& Caps() const { return caps_; }
  const WAVEFORMATEX* Format() const {
    return format_.empty() ? nullptr : reinterpret_cast<const WAVEFORMATEX*>(format_.data());
  }
  int FormatSize() const { return static_cast<int>(format_.size()); }

  void Assign(TPersistent* Source) override;
  bool CreateBuffer(const DSBUFFERDESC& Description);
  void CreateBufferOf(const WAVEFORMATEX& Format, DWORD Size);
  // Format is FormatSize bytes as stored in a wave; shorter blocks are
  // padded with zeros before the device sees them.
  void LoadFromMemory(const void* Format, int FormatSize, const void* Data, DWORD Size);
  void LoadFromWave(const TWave& Wave);

  // Only one lock may be outstanding.
  bool Lock(DWORD Offset, DWORD Size, void*& Ptr1, DWORD& Size1, void*& Ptr2, DWORD& Size2);
  void Unlock();
  bool Play(bool Loop);
  bool Stop();
  bool SetPosition(DWORD Position);
  bool SetFrequency(DWORD Value);
  bool SetPan(LONG Value);
  bool SetVolume(LONG Value);
  DWORD GetStatus();
  bool Playing();
  bool Lost();

 protected:
  void CheckResult() override;

 private:
  friend class TDirectSound;
  HRESULT Store(HRESULT Code);
  TDirectSound* dsound_;
  std::unique_ptr<IDirectSoundBuffer> idsbuffer_;
  DSBCAPS caps_{};
  std::vector<uint8_t> format_;
  struct {
    void* Ptr1 = nullptr;
    void* Ptr2 = nullptr;
    DWORD Size1 = 0;
    DWORD Size2 = 0;
  } lock_;
  int lock_count_ = 0;
};

enum TDXSoundOption : uint32_t {
  soGlobalFocus = 1u << 0,
  soStickyFocus = 1u << 1,
  soExclusive = 1u << 2
};
using TDXSoundOptions = uint32_t;

enum TDXSoundNotifyType {
  dsnDestroying = 0,
  dsnInitializing = 1,
  dsnInitialize = 2,
  dsnFinalize = 3,
  dsnRestore = 4
};
using TDXSoundNotifyEvent = std::function<void(TCustomDXSound* Sender, TDXSoundNotifyType Kind)>;

class TCustomDXSound : public TComponent {
 public:
  TAL_CLASS_NAME(TCustomDXSound)
  explicit TCustomDXSound(TComponent* AOwner);
  ~TCustomDXSound() override;

  void Loaded() override;
  void Initialize();
  void Finalize();
  void Restore();
  // Handlers are known by Key: adding under a key replaces its handler.
  // Notifications reach the last registered handler first.
  void AddNotifyHandler(const void* Key, TDXSoundNotifyEvent Handler);
  void RemoveNotifyHandler(const void* Key);

  bool AutoInitialize = true;
  bool Initialized() const { return initialized_; }
  TDirectSound* DSound() const { return dsound_.get(); }
  TDirectSoundBuffer* Primary() const { return primary_.get(); }
  TDXSoundOptions NowOptions() const { return now_options_; }
  TDXSoundOptions Options() const { return options_; }
  void SetOptions(TDXSoundOptions Value);
  // The device's driver (nil: the default one).
  const GUID* Driver = nullptr;

  TNotifyEvent OnFinalize;
  TNotifyEvent OnInitialize;
  TNotifyEvent OnInitializing;
  TNotifyEvent OnRestore;

 protected:
  virtual void DoFinalize();
  virtual void DoInitialize();
  virtual void DoInitializing();
  virtual void DoRestore();

 private:
  void NotifyEventList(TDXSoundNotifyType Kind);
  void SetForm();
  void BindWindow();

  bool calledDoInitialize_ = false;
  std::unique_ptr<TDirectSound> dsound_;
  TForm* form_ = nullptr;
  bool initialized_ = false;
  bool started_ = false;
  struct THandlerEntry {
    const void* Key;
    TDXSoundNotifyEvent Handler;
  };
  std::vector<THandlerEntry> handlers_;
  TDXSoundOptions now_options_ = 0;
  TDXSoundOptions options_ = 0;
  std::unique_ptr<TDirectSoundBuffer> primary_;
  std::unique_ptr<TControlSubClass> subclass_;
};

class TDXSound : public TCustomDXSound {
 public:
  TAL_CLASS_NAME(TDXSound)
  using TCustomDXSound::TCustomDXSound;
};
