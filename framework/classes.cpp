#include "framework/classes.h"
#include "platform/win/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
  struct stat st;
  return ::stat(NativePath(FileName).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TFileStream::TFileStream(const std::string& FileName, uint32_t Mode) {
  std::string path = NativePath(FileName);
  if (Mode == fmCreate) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) Raise<EFCreateError>("Cannot create file \"%s\". %s", FileName, std::strerror(errno));
  } else {
    int flags = (Mode & 3) == fmOpenWrite ? O_WRONLY : (Mode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY;
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd_ < 0) Raise<EFOpenError>("Cannot open file \"%s\". %s", FileName, std::strerror(errno));
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  int64_t total = 0;
  auto* p = static_cast<uint8_t*>(Buffer);
  while (total < Count) {
    ssize_t n = ::read(fd_, p + total, static_cast<size_t>(Count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  int64_t total = 0;
  auto* p = static_cast<const uint8_t*>(Buffer);
  while (total < Count) {
    ssize_t n = ::write(fd_, p + total, static_cast<size_t>(Count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, static_cast<off_t>(Offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

void TFileStream::SetSize(int64_t NewSize) {
  if (::ftruncate(fd_, static_cast<off_t>(NewSize)) != 0) Raise<EStreamError>("Stream size cannot be changed");
}
