// Named waves played through the form's sound component, and the wave
// archives they are loaded from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/directx/directx.h"
#include "engine/sound/dxsound.h"
#include "engine/sound/wave.h"

TAL_DECLARE_EXCEPTION(EWaveCollectionError, Exception)

class TWaveCollection;

// One named sound: its wave, the buffer loaded from it and a pool of
// duplicates (voices) so the sound can overlap itself.
class TWaveCollectionItem : public THashCollectionItem {
 public:
  TAL_CLASS_NAME(TWaveCollectionItem)
  explicit TWaveCollectionItem(TCollection* Collection);
  ~TWaveCollectionItem() override;

  void Assign(TPersistent* Source) override;
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

  // Plays once on a voice (or, looped, on the main buffer). With Wait it
  // returns once the sound has ended.
  void Play(bool Wait = false);
  void Stop();
  void Initialize();
  void Finalize();
  void Restore();

  TWaveCollection* WaveCollection() const;
  // The main buffer, made on first use; nil for an empty wave or while not
  // initialised.
  TDirectSoundBuffer* Buffer();
  int VoiceCount() const { return static_cast<int>(voices_.size()); }
  TDirectSoundBuffer* Voices(int Index) const {
    return voices_.at(static_cast<size_t>(Index)).get();
  }
  bool Initialized() const { return initialized_; }

  bool Looped() const { return looped_; }
  void SetLooped(bool Value);
  int32_t MaxPlayingCount() const { return max_playing_count_; }
  void SetMaxPlayingCount(int32_t Value);
  int32_t Pan() const { return pan_; }
  void SetPan(int32_t Value);
  int32_t Volume() const { return volume_; }
  void SetVolume(int32_t Value);
  TWave& Wave() { return wave_; }
  const TWave& Wave() const { return wave_; }
  void SetWave(TWave* Value) { wave_.Assign(Value); }

  // Hz, 0 for the wave's own rate. Not stored in archives.
  int32_t Frequency = 0;

 private:
  std::unique_ptr<TDirectSoundBuffer> NewVoice();
  void ReloadBuffer();
  bool ReadItemProperty(const std::string& Name, TReader& Reader);
  TDirectSoundBuffer* ChooseVoice();

  std::unique_ptr<TDirectSoundBuffer> buffer_;
  std::vector<std::unique_ptr<TDirectSoundBuffer>> voices_;  // reuse order
  bool initialized_ = false;
  // The device refused this wave's buffer: it stays silent until the next
  // initialisation instead of failing again at every play.
  bool refused_ = false;
  bool looped_ = false;
  int32_t max_playing_count_ = 0;
  int32_t pan_ = 0;
  int32_t volume_ = 0;
  TWave wave_;
};

class TWaveCollection : public THashCollection {
 public:
  TAL_CLASS_NAME(TWaveCollection)
  explicit TWaveCollection(TPersistent* Owner) : THashCollection(Owner) {}

  TWaveCollectionItem* Items(int Index) const { return GetItem(Index); }
  TWaveCollectionItem* GetItem(int Index) const;
  // Raises EWaveCollectionError "Wave '%s' not found".
  TWaveCollectionItem* Find(const std::string& Name) const;

  void Initialize(TCustomDXSound* DXSound);
  void Finalize();
  // Loads every wave's buffer. One the device refuses is reported through
  // the application (naming it and the archive); the others still load.
  void Restore();
  bool Initialized() const;
  TCustomDXSound* DXSound() const { return dxsound_; }

  // A read error names the wave being read and, from a file, the file.
  void LoadFromFile(const std::string& FileName);
  void LoadFromStream(TStream& Stream);
  // The archive the items came from, for messages ("" when not a file).
  const std::string& SourceName() const { return source_name_; }
  void SaveToFile(const std::string& FileName) const;
  void SaveToStream(TStream& Stream) const;

 protected:
  TCollectionItem* MakeItem() override { return new TWaveCollectionItem(this); }

 private:
  void Load(TStream& Stream, const std::string& Source);
  TCustomDXSound* dxsound_ = nullptr;
  std::string source_name_;
};

// Carries a wave collection through a component stream as its "List".
class TWaveCollectionComponent : public TComponent {
 public:
  TAL_CLASS_NAME(TWaveCollectionComponent)
  TWaveCollectionComponent(TComponent* AOwner, TWaveCollection* List)
      : TComponent(AOwner), list_(List) {}
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

 private:
  TWaveCollection* list_;
};

class TCustomDXWaveList : public TComponent {
 public:
  TAL_CLASS_NAME(TCustomDXWaveList)
  explicit TCustomDXWaveList(TComponent* AOwner);
  ~TCustomDXWaveList() override;

  TCustomDXSound* DXSound() const { return dxsound_; }
  void SetDXSound(TCustomDXSound* Value);
  TWaveCollection& Items() { return *items_; }
  void SetItems(TWaveCollection* Value) { items_->Assign(Value); }
  void Notification(TComponent* AComponent, bool Removing) override;

 private:
  void DXSoundNotify(TCustomDXSound* Sender, TDXSoundNotifyType Kind);
  TCustomDXSound* dxsound_ = nullptr;
  std::unique_ptr<TWaveCollection> items_;
};

class TDXWaveList : public TCustomDXWaveList {
 public:
  TAL_CLASS_NAME(TDXWaveList)
  using TCustomDXWaveList::TCustomDXWaveList;
};
