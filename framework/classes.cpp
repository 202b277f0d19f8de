#include "framework/classes.h"

#include <algorithm>
#include <cstring>

#include "platform/win/files.h"

// ---- TPersistent -----------------------------------------------------------

void TPersistent::Assign(TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  Raise<EConvertError>("Cannot assign a %s to a %s", "nil", ClassName());
}

void TPersistent::AssignTo(TPersistent* Dest) {
  Raise<EConvertError>("Cannot assign a %s to a %s", ClassName(), Dest->ClassName());
}

// ---- TComponent -------------------------------------------------------------

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  state_ |= csDestroying;
  // Owned components go first, the last made first.
  while (!components_.empty()) {
    TComponent* c = components_.back();
    delete c;  // its destructor removes it from our list
  }
}

void TComponent::InsertComponent(TComponent* c) {
  components_.push_back(c);
  c->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* c) {
  auto it = std::find(components_.begin(), components_.end(), c);
  if (it != components_.end()) components_.erase(it);
  c->owner_ = nullptr;
  for (TComponent* other : components_) other->Notification(c, true);
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  for (TComponent* c : components_)
    if (SameText(c->Name(), AName)) return c;
  return nullptr;
}

// ---- TCollection ------------------------------------------------------------

TCollectionItem::TCollectionItem(TCollection* Collection) {
  if (Collection) Collection->InsertItem(this);
}

TCollectionItem::~TCollectionItem() {
  if (collection_) collection_->RemoveItem(this);
}

int TCollectionItem::Index() const { return collection_ ? collection_->IndexOf(this) : -1; }

void TCollectionItem::SetIndex(int NewIndex) {
  if (!collection_) return;
  int cur = Index();
  if (NewIndex < 0) NewIndex = 0;
  if (NewIndex >= collection_->Count()) NewIndex = collection_->Count() - 1;
  if (cur >= 0 && NewIndex != cur) collection_->MoveItem(cur, NewIndex);
}

TCollection::~TCollection() { Clear(); }

TCollectionItem* TCollection::Items(int i) const {
  if (i < 0 || i >= Count()) Raise<EListError>("List index out of bounds (%d)", i);
  return items_[static_cast<size_t>(i)];
}

void TCollection::Delete(int i) { delete Items(i); }

void TCollection::Clear() {
  while (!items_.empty()) delete items_.back();
}

void TCollection::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TCollection*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  Clear();
  for (int i = 0; i < src->Count(); ++i) Add()->Assign(src->Items(i));
}

int TCollection::IndexOf(const TCollectionItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TCollection::InsertItem(TCollectionItem* item) {
  items_.push_back(item);
  item->collection_ = this;
  item->id_ = next_id_++;
  Added(item);
}

void TCollection::RemoveItem(TCollectionItem* item) {
  Deleting(item);
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it != items_.end()) items_.erase(it);
  item->collection_ = nullptr;
}

void TCollection::MoveItem(int from, int to) {
  TCollectionItem* item = items_[static_cast<size_t>(from)];
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, item);
}

// ---- TStream ----------------------------------------------------------------

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::SetSize(int64_t) { Raise<EStreamError>("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count < 0 || (Count != 0 && Read(Buffer, Count) != Count)) Raise<EReadError>("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count < 0 || (Count != 0 && Write(Buffer, Count) != Count))
    Raise<EWriteError>("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(Count, 1 << 16)));
  int64_t left = Count;
  while (left > 0) {
    int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
    Source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return Count;
}

// ---- TMemoryStream ------------------------------------------------------------

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  int64_t avail = static_cast<int64_t>(data_.size()) - pos_;
  if (Count <= 0 || avail <= 0) return 0;
  int64_t n = std::min(Count, avail);
  std::memcpy(Buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  size_t end = static_cast<size_t>(pos_ + Count);
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + pos_, Buffer, static_cast<size_t>(Count));
  pos_ += Count;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? pos_ : static_cast<int64_t>(data_.size());
  int64_t p = base + Offset;
  pos_ = p < 0 ? 0 : p;
  return pos_;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  data_.resize(static_cast<size_t>(NewSize < 0 ? 0 : NewSize));
  if (pos_ > NewSize) pos_ = NewSize < 0 ? 0 : NewSize;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  int64_t n = Stream.Size();
  data_.resize(static_cast<size_t>(n));
  Stream.ReadBuffer(data_.data(), n);
  pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TMemoryStream::SaveToStream(TStream& Stream) const {
  Stream.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

// ---- TByteStream ----------------------------------------------------------------

int64_t TByteStream::Read(void* Buffer, int64_t Count) {
  int64_t avail = static_cast<int64_t>(size_) - pos_;
  if (Count <= 0 || avail <= 0) return 0;
  int64_t n = std::min(Count, avail);
  std::memcpy(Buffer, data_ + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TByteStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? pos_ : static_cast<int64_t>(size_);
  int64_t p = base + Offset;
  pos_ = p < 0 ? 0 : p;
  return pos_;
}

// ---- TFileStream ------------------------------------------------------------------

bool FileExists(const std::string& FileName) {
  return FileIsRegular(FileName);
}

TFileStream::TFileStream(const std::string& FileName, uint32_t Mode) {
  if (Mode == fmCreate) {
    fd_ = ::FileCreate(FileName);
    if (fd_ < 0) Raise<EFCreateError>("Cannot create file \"%s\". %s", FileName, LastFileError());
  } else {
    TFileOpenMode m = (Mode & 3) == fmOpenWrite       ? fomWrite
                      : (Mode & 3) == fmOpenReadWrite ? fomReadWrite
                                                      : fomRead;
    fd_ = ::FileOpen(FileName, m);
    if (fd_ < 0) Raise<EFOpenError>("Cannot open file \"%s\". %s", FileName, LastFileError());
  }
}

TFileStream::~TFileStream() {
  ::FileClose(fd_);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  return ::FileRead(fd_, Buffer, Count);
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  return ::FileWrite(fd_, Buffer, Count);
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  return ::FileSeek(fd_, Offset, Origin == soBeginning ? 0 : Origin == soCurrent ? 1 : 2);
}

void TFileStream::SetSize(int64_t NewSize) {
  if (!::FileTruncate(fd_, NewSize)) Raise<EStreamError>("Stream size cannot be changed");
}
