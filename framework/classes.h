// The framework's object model: persistent objects, components with owners,
// owned collections, and streams.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/sysutils.h"
#include "framework/types.h"

class TReader;
class TWriter;

class TObject {
 public:
  virtual ~TObject() = default;
  virtual const char* ClassName() const { return "TObject"; }
};

#define TAL_CLASS_NAME(Name) \
  const char* ClassName() const override { return #Name; }

// An object that can copy itself from another and take part in component
// streams. A class that streams properties overrides ReadProperty (return
// false for a name it does not know) and WriteProperties.
class TPersistent : public TObject {
 public:
  TAL_CLASS_NAME(TPersistent)
  // Copies Source into this object; raises EConvertError "Cannot assign a %s
  // to a %s" when neither side knows the other.
  virtual void Assign(TPersistent* Source);
  virtual bool ReadProperty(const std::string& Name, TReader& Reader) { return false; }
  virtual void WriteProperties(TWriter& Writer) const {}

 protected:
  virtual void AssignTo(TPersistent* Dest);
};

enum TComponentStateFlag : uint32_t {
  csLoading = 1u << 0,
  csReading = 1u << 1,
  csWriting = 1u << 2,
  csDestroying = 1u << 3,
  csDesigning = 1u << 4,
};

// A component is owned by its owner and freed with it, last made first freed.
class TComponent : public TPersistent {
 public:
  TAL_CLASS_NAME(TComponent)
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  virtual void SetName(const std::string& NewName) { name_ = NewName; }
  uint32_t ComponentState() const { return state_; }
  bool Has(TComponentStateFlag f) const { return (state_ & f) != 0; }
  void SetState(TComponentStateFlag f, bool on) { state_ = on ? (state_ | f) : (state_ & ~f); }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int i) const { return components_.at(static_cast<size_t>(i)); }
  TComponent* FindComponent(const std::string& AName) const;

  // Called once the component's stored properties are in place.
  virtual void Loaded() { SetState(csLoading, false); }
  // Start and end of reading stored properties: sets and clears csLoading and
  // csReading and calls Loaded at the end.
  void BeginLoading() { state_ |= csLoading | csReading; }
  void EndLoading() {
    SetState(csReading, false);
    Loaded();
  }
  // Lets a component be told when another one it refers to goes away.
  virtual void Notification(TComponent* AComponent, bool Removing) {}

 protected:
  // Frees the owned components now, the last made first. A class whose
  // components refer back to it calls this first in its destructor, while it
  // is still whole.
  void DestroyComponents();

 private:
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);

  TComponent* owner_ = nullptr;
  std::string name_;
  uint32_t state_ = 0;
  std::vector<TComponent*> components_;
};

class TCollection;

// An item of an owned collection. Made through its collection's Add (or by
// a derived constructor given the collection), it appends itself.
class TCollectionItem : public TPersistent {
 public:
  TAL_CLASS_NAME(TCollectionItem)
  explicit TCollectionItem(TCollection* Collection);
  ~TCollectionItem() override;
  TCollection* Collection() const { return collection_; }
  int Index() const;
  virtual void SetIndex(int NewIndex);
  int ID() const { return id_; }
  virtual std::string GetDisplayName() const { return ClassName(); }

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

// A collection owns its items; freeing it frees them. A derived collection
// gives the item class through MakeItem.
class TCollection : public TPersistent {
 public:
  TAL_CLASS_NAME(TCollection)
  explicit TCollection(TPersistent* Owner = nullptr) : owner_(Owner) {}
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  TPersistent* GetOwner() const { return owner_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TCollectionItem* Items(int i) const;
  TCollectionItem* Add() { return MakeItem(); }
  void Delete(int i);  // frees the item
  void Clear();
  void Assign(TPersistent* Source) override;
  int IndexOf(const TCollectionItem* item) const;
  // Hooks for owners that follow their items (for example a changed count).
  virtual void Update(TCollectionItem* Item) {}

 protected:
  // Makes a new item of the collection's class; it appends itself.
  virtual TCollectionItem* MakeItem() { return new TCollectionItem(this); }
  virtual void Added(TCollectionItem* Item) {}
  virtual void Deleting(TCollectionItem* Item) {}

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);
  void MoveItem(int from, int to);
  TPersistent* owner_;
  std::vector<TCollectionItem*> items_;
  int next_id_ = 0;
};

// ---- Streams ---------------------------------------------------------------

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
 public:
  TAL_CLASS_NAME(TStream)
  // Reads up to Count bytes; returns how many were read.
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t p) { Seek(p, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);
  int64_t Remaining() { return Size() - Position(); }

  // Read exactly Count bytes or raise EReadError "Stream read error".
  void ReadBuffer(void* Buffer, int64_t Count);
  // Write exactly Count bytes or raise EWriteError "Stream write error".
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies Count bytes from Source (0: all of Source from its start).
  int64_t CopyFrom(TStream& Source, int64_t Count);

  template <class T>
  T ReadValue() {
    T v;
    ReadBuffer(&v, sizeof v);
    return v;
  }
  template <class T>
  void WriteValue(const T& v) {
    WriteBuffer(&v, sizeof v);
  }
};

class TMemoryStream : public TStream {
 public:
  TAL_CLASS_NAME(TMemoryStream)
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t NewSize) override;
  void Clear() {
    data_.clear();
    pos_ = 0;
  }
  uint8_t* Memory() { return data_.data(); }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);
  void SaveToStream(TStream& Stream) const;
  void SaveToFile(const std::string& FileName) const;

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

// A read-only window on caller-owned bytes (no copy).
class TByteStream : public TStream {
 public:
  TAL_CLASS_NAME(TByteStream)
  TByteStream(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(size_); }

 private:
  const uint8_t* data_;
  size_t size_;
  int64_t pos_ = 0;
};

enum TFileMode : uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmCreate = 0xFF00,
};

// A file stream. Names may use '\' as separator; it is turned into '/'.
// Opening fails with EFOpenError "Cannot open file \"%s\". %s" and creating
// with EFCreateError "Cannot create file \"%s\". %s".
class TFileStream : public TStream {
 public:
  TAL_CLASS_NAME(TFileStream)
  TFileStream(const std::string& FileName, uint32_t Mode);
  ~TFileStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;

 private:
  int fd_ = -1;
};

// '\' to '/', so paths written for the original platform work here.
std::string NativePath(const std::string& Path);
bool FileExists(const std::string& FileName);
