#include "engine/directx/directx.h"
#include "framework/casefold.h"
#include "framework/filer.h"

int NameHash(const std::string& Name) {
  // The same fold as the name comparison, so names that compare equal land
  // in the same bucket.
  size_t len = Name.size();
  uint32_t h = static_cast<uint32_t>(len) << 4;
  if (len >= 2) {
    h += CaseFold(static_cast<uint8_t>(Name[0]));
    h += CaseFold(static_cast<uint8_t>(Name[len - 2]));
  }
  return static_cast<int>(h & 0xFF);
}

// ---- THashCollectionItem ---------------------------------------------------------

THashCollectionItem::THashCollectionItem(TCollection* Collection) : TCollectionItem(Collection) {
  index_ = Index();
  AddHash();
}

THashCollectionItem::~THashCollectionItem() {
  if (THashCollection* c = HashCollection()) {
    for (int i = index_ + 1; i < c->Count(); ++i) {
      if (auto* item = dynamic_cast<THashCollectionItem*>(c->Items(i))) --item->index_;
    }
  }
  DeleteHash();
}

THashCollection* THashCollectionItem::HashCollection() const {
  return dynamic_cast<THashCollection*>(Collection());
}

void THashCollectionItem::AddHash() {
  THashCollection* c = HashCollection();
  hash_ = NameHash(name_);
  if (!c) return;
  THashCollectionItem*& head = c->buckets_[hash_];
  left_ = nullptr;
  right_ = head;
  if (head) head->left_ = this;
  head = this;
}

void THashCollectionItem::DeleteHash() {
  THashCollection* c = HashCollection();
  if (left_) {
    left_->right_ = right_;
    if (right_) right_->left_ = left_;
  } else if (c && c->buckets_[hash_] == this) {
    c->buckets_[hash_] = right_;
    if (right_) right_->left_ = nullptr;
  }
  left_ = nullptr;
  right_ = nullptr;
}

void THashCollectionItem::SetName(const std::string& Value) {
  if (name_ == Value) return;
  name_ = Value;
  DeleteHash();
  AddHash();
}

void THashCollectionItem::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<THashCollectionItem*>(Source)) {
    SetName(other->Name());
    return;
  }
  TCollectionItem::Assign(Source);
}

std::string THashCollectionItem::GetDisplayName() const {
  return name_.empty() ? TCollectionItem::GetDisplayName() : name_;
}

void THashCollectionItem::SetIndex(int NewIndex) {
  TCollectionItem::SetIndex(NewIndex);
  if (THashCollection* c = HashCollection()) c->Reindex();
}

bool THashCollectionItem::ReadProperty(const std::string& PropName, TReader& Reader) {
  if (PropName == "Name") {
    SetName(Reader.ReadString());
    return true;
  }
  return TCollectionItem::ReadProperty(PropName, Reader);
}

void THashCollectionItem::WriteProperties(TWriter& Writer) const {
  TCollectionItem::WriteProperties(Writer);
  Writer.WriteString("Name", name_);
}

// ---- THashCollection ------------------------------------------------------------

THashCollection::THashCollection(TPersistent* Owner) : TCollection(Owner) {}

THashCollection::~THashCollection() {
  // The items unlink themselves from our buckets, so they go while we exist.
  Clear();
}

void THashCollection::Reindex() {
  for (int i = 0; i < Count(); ++i) {
    if (auto* item = dynamic_cast<THashCollectionItem*>(Items(i))) item->index_ = i;
  }
}

int THashCollection::IndexOfName(const std::string& Name) const {
  for (const THashCollectionItem* item = buckets_[NameHash(Name)]; item; item = item->right_) {
    if (SameText(item->name_, Name)) return item->index_;
  }
  return -1;
}
