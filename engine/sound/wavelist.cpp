#include "engine/sound/wavelist.h"

#include <algorithm>
#include <exception>

#include "engine/directx/load_report.h"
#include "framework/filer.h"
#include "platform/win/clock.h"

// ---- TWaveCollectionItem ---------------------------------------------------------

TWaveCollectionItem::TWaveCollectionItem(TCollection* Collection)
    : THashCollectionItem(Collection) {}

TWaveCollectionItem::~TWaveCollectionItem() {
  Finalize();
}

TWaveCollection* TWaveCollectionItem::WaveCollection() const {
  return dynamic_cast<TWaveCollection*>(Collection());
}

void TWaveCollectionItem::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TWaveCollectionItem*>(Source);
  if (!src) {
    THashCollectionItem::Assign(Source);
    return;
  }
  if (src == this) return;
  const bool was_initialized = initialized_;
  Finalize();
  looped_ = src->looped_;
  SetName(src->Name());
  max_playing_count_ = src->max_playing_count_;
  Frequency = src->Frequency;
  pan_ = src->pan_;
  volume_ = src->volume_;
  wave_.Assign(&src->wave_);
  if (was_initialized) Restore();
}

bool TWaveCollectionItem::ReadProperty(const std::string& Name, TReader& Reader) {
  try {
    return ReadItemProperty(Name, Reader);
  } catch (Exception& e) {
    // The name usually comes first; before it, the item's place says which.
    AddFailurePlace(
        e, this->Name().empty() ? Format("wave %d", Index()) : Format("wave '%s'", this->Name()));
    throw;
  }
}

bool TWaveCollectionItem::ReadItemProperty(const std::string& Name, TReader& Reader) {
  if (SameText(Name, "Looped")) {
    looped_ = Reader.ReadBoolean();
    return true;
  }
  if (SameText(Name, "MaxPlayingCount")) {
    max_playing_count_ = std::max(Reader.ReadInteger(), 0);
    return true;
  }
  if (wave_.ReadPropertyAs("Wave", Name, Reader)) return true;
  return THashCollectionItem::ReadProperty(Name, Reader);
}

void TWaveCollectionItem::WriteProperties(TWriter& Writer) const {
  THashCollectionItem::WriteProperties(Writer);  // "Name"
  Writer.WriteBoolean("Looped", looped_);
  Writer.WriteInteger("MaxPlayingCount", max_playing_count_);
  wave_.WritePropertiesAs("Wave", Writer);
}

void TWaveCollectionItem::Initialize() {
  Finalize();
  TWaveCollection* c = WaveCollection();
  initialized_ = c && c->Initialized();
}

void TWaveCollectionItem::Finalize() {
  refused_ = false;
  if (!initialized_) return;
  initialized_ = false;
  voices_.clear();
  buffer_.reset();
}

void TWaveCollectionItem::ReloadBuffer() {
  buffer_->LoadFromWave(wave_);
  buffer_->SetFrequency(static_cast<DWORD>(std::max(Frequency, 0)));
  buffer_->SetPan(pan_);
  buffer_->SetVolume(volume_);
}

void TWaveCollectionItem::Restore() {
  if (wave_.Size() <= 0) return;
  if (!initialized_) {
    TWaveCollection* c = WaveCollection();
    if (!c || !c->Initialized()) return;
    Initialize();
  }
  if (!buffer_)
    buffer_ = std::make_unique<TDirectSoundBuffer>(WaveCollection()->DXSound()->DSound());
  try {
    ReloadBuffer();
    refused_ = false;
  } catch (...) {
    // A buffer the device would not make could never play; without one the
    // item is as silent as an empty wave.
    voices_.clear();
    buffer_.reset();
    refused_ = true;
    throw;
  }
}

TDirectSoundBuffer* TWaveCollectionItem::Buffer() {
  if (initialized_ && !buffer_ && !refused_) Restore();
  return buffer_.get();
}

std::unique_ptr<TDirectSoundBuffer> TWaveCollectionItem::NewVoice() {
  TDirectSoundBuffer* main = Buffer();
  if (!main) return nullptr;
  auto voice = std::make_unique<TDirectSoundBuffer>(main->DSound());
  voice->Assign(main);
  // A duplicate the device refused is not kept: it could never play.
  if (!voice->HasInterface()) return nullptr;
  return voice;
}

TDirectSoundBuffer* TWaveCollectionItem::ChooseVoice() {
  for (size_t i = 0; i < voices_.size();) {
    TDirectSoundBuffer* v = voices_[i].get();
    DWORD status = v->HasInterface() ? v->GetStatus() : DSBSTATUS_BUFFERLOST;
    if (status & DSBSTATUS_BUFFERLOST) {
      // Lost with its samples: duplicate it anew from the main buffer.
      v->Assign(buffer_.get());
      if (!v->HasInterface()) {
        voices_.erase(voices_.begin() + static_cast<ptrdiff_t>(i));
        continue;
      }
      status = 0;
    }
    if (!(status & (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING))) return v;
    ++i;
  }
  if (max_playing_count_ == 0 || max_playing_count_ > static_cast<int32_t>(voices_.size())) {
    std::unique_ptr<TDirectSoundBuffer> v = NewVoice();
    if (!v) return nullptr;
    voices_.push_back(std::move(v));
    return voices_.back().get();
  }
  if (voices_.empty()) return nullptr;
  std::rotate(voices_.begin(), voices_.begin() + 1, voices_.end());
  return voices_.back().get();
}

void TWaveCollectionItem::Play(bool Wait) {
  if (!initialized_) return;
  TDirectSoundBuffer* main = Buffer();
  // An empty wave has nothing to play.
  if (!main) return;
  if (main->Lost()) ReloadBuffer();
  if (looped_) {
    main->Stop();
    main->SetPosition(0);
    main->Play(true);
    return;
  }
  TDirectSoundBuffer* voice = ChooseVoice();
  if (!voice) return;
  voice->Stop();
  voice->SetPosition(0);
  voice->SetFrequency(static_cast<DWORD>(std::max(Frequency, 0)));
  voice->SetPan(pan_);
  voice->SetVolume(volume_);
  voice->Play(false);
  if (!Wait) return;
  // Waits no longer than the sound lasts, and a little for the output to
  // catch up: a device that never plays it out cannot hang the program.
  const WAVEFORMATEX* f = voice->Format();
  DWORD hz = Frequency > 0 ? static_cast<DWORD>(Frequency) : (f ? f->nSamplesPerSec : 0);
  const DWORD align = f && f->nBlockAlign ? f->nBlockAlign : 1;
  const uint64_t ms = hz ? uint64_t{static_cast<uint32_t>(wave_.Size()) / align} * 1000 / hz : 0;
  for (uint64_t polls = ms / 10 + 50; polls > 0 && voice->Playing(); --polls) Sleep(10);
}

void TWaveCollectionItem::Stop() {
  if (!initialized_) return;
  if (buffer_) buffer_->Stop();
  for (auto& v : voices_)
    if (v->HasInterface()) v->Stop();
}

void TWaveCollectionItem::SetLooped(bool Value) {
  if (looped_ == Value) return;
  Stop();
  looped_ = Value;
}

void TWaveCollectionItem::SetMaxPlayingCount(int32_t Value) {
  Value = std::max(Value, 0);
  if (max_playing_count_ == Value) return;
  max_playing_count_ = Value;
  if (initialized_) voices_.clear();
}

void TWaveCollectionItem::SetPan(int32_t Value) {
  pan_ = Value;
  if (initialized_ && Buffer()) buffer_->SetPan(pan_);
}

void TWaveCollectionItem::SetVolume(int32_t Value) {
  volume_ = Value;
  if (initialized_ && Buffer()) buffer_->SetVolume(volume_);
}

// ---- TWaveCollection ---------------------------------------------------------------

TWaveCollectionItem* TWaveCollection::GetItem(int Index) const {
  return static_cast<TWaveCollectionItem*>(TCollection::Items(Index));
}

TWaveCollectionItem* TWaveCollection::Find(const std::string& Name) const {
  const int i = IndexOfName(Name);
  if (i < 0) Raise<EWaveCollectionError>("Wave '%s' not found", Name);
  return GetItem(i);
}

void TWaveCollection::Initialize(TCustomDXSound* DXSound) {
  Finalize();
  dxsound_ = DXSound;
  for (int i = 0; i < Count(); ++i) GetItem(i)->Initialize();
}

void TWaveCollection::Finalize() {
  for (int i = 0; i < Count(); ++i) GetItem(i)->Finalize();
  dxsound_ = nullptr;
}

bool TWaveCollection::Initialized() const {
  return dxsound_ && dxsound_->Initialized();
}

void TWaveCollection::Restore() {
  ForEachReported(
      Count(), source_name_,
      [this](int i) {
        const std::string& name = GetItem(i)->Name();
        return name.empty() ? Format("wave %d", i) : Format("wave '%s'", name);
      },
      [this](int i) { GetItem(i)->Restore(); });
}

void TWaveCollection::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  Load(f, FileName);
}

void TWaveCollection::LoadFromStream(TStream& Stream) {
  Load(Stream, "");
}

void TWaveCollection::Load(TStream& Stream, const std::string& Source) {
  Clear();
  source_name_ = Source;
  // The items read before a fault are kept, and made usable like the rest:
  // a damaged end of an archive must not silence its beginning.
  std::exception_ptr failure;
  try {
    TWaveCollectionComponent carrier(nullptr, this);
    ReadComponentResource(Stream, carrier);
  } catch (Exception& e) {
    AddFailurePlace(e, Source);
    failure = std::current_exception();
  }
  if (Initialized()) {
    Initialize(dxsound_);
    Restore();
  }
  if (failure) std::rethrow_exception(failure);
}

void TWaveCollection::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

void TWaveCollection::SaveToStream(TStream& Stream) const {
  TWaveCollectionComponent carrier(nullptr, const_cast<TWaveCollection*>(this));
  WriteComponentResource(Stream, "ValtorixWaveCollection", carrier);
}

bool TWaveCollectionComponent::ReadProperty(const std::string& Name, TReader& Reader) {
  if (SameText(Name, "List")) {
    Reader.ReadCollection(*list_);
    return true;
  }
  return TComponent::ReadProperty(Name, Reader);
}

void TWaveCollectionComponent::WriteProperties(TWriter& Writer) const {
  Writer.WriteCollection("List", *list_);
}

// ---- TCustomDXWaveList --------------------------------------------------------------

TCustomDXWaveList::TCustomDXWaveList(TComponent* AOwner)
    : TComponent(AOwner), items_(std::make_unique<TWaveCollection>(this)) {}

TCustomDXWaveList::~TCustomDXWaveList() {
  try {
    SetDXSound(nullptr);
  } catch (...) {
  }
  items_.reset();
}

void TCustomDXWaveList::SetDXSound(TCustomDXSound* Value) {
  if (dxsound_ == Value) return;
  if (dxsound_) {
    TCustomDXSound* old = dxsound_;
    dxsound_ = nullptr;
    old->RemoveNotifyHandler(this);
  }
  dxsound_ = Value;
  if (dxsound_)
    dxsound_->AddNotifyHandler(this, [this](TCustomDXSound* Sender, TDXSoundNotifyType Kind) {
      DXSoundNotify(Sender, Kind);
    });
}

void TCustomDXWaveList::DXSoundNotify(TCustomDXSound* Sender, TDXSoundNotifyType Kind) {
  switch (Kind) {
    case dsnDestroying:
      SetDXSound(nullptr);
      break;
    case dsnInitialize:
      items_->Initialize(Sender);
      break;
    case dsnFinalize:
      items_->Finalize();
      break;
    case dsnRestore:
      items_->Restore();
      break;
    case dsnInitializing:
      break;
  }
}

void TCustomDXWaveList::Notification(TComponent* AComponent, bool Removing) {
  TComponent::Notification(AComponent, Removing);
  if (Removing && AComponent == dxsound_) {
    dxsound_ = nullptr;
    items_->Finalize();
  }
}
