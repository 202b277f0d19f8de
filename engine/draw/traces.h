// The display control's traces: named entries, each owning one blit that the
// application moves, tests and draws itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/directx/directx.h"
#include "render/blit.h"

class TCustomDXDraw;
class TTraces;

class TTrace : public THashCollectionItem {
 public:
  TAL_CLASS_NAME(TTrace)
  explicit TTrace(TCollection* Collection);
  ~TTrace() override;

  // From another trace: its blit and Tag; the name stays.
  void Assign(TPersistent* Source) override;
  // Raises "Item duplicate name "%s" error" for a name another trace of the
  // collection has, case ignored. The display name is the trace's Name, so
  // nothing is stored.
  void SetDisplayName(const std::string& Value);
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

  TTraces* Traces() const;
  TBlit* Blit() const { return blit_.get(); }
  void SetBlit(TBlit* Value) { blit_->Assign(Value); }
  bool Active() const { return blit_->Active; }
  void SetActive(bool Value) { blit_->Active = Value; }
  int32_t Tag = 0;

  TNotifyEvent& OnGetImage() { return blit_->OnGetImage; }
  TBlitMoveEvent& OnMove() { return blit_->OnMove; }
  TNotifyEvent& OnDraw() { return blit_->OnDraw; }
  TNotifyEvent& OnCollision() { return blit_->OnCollision; }
  TOnRender& OnRender() { return blit_->OnRender; }

 private:
  std::unique_ptr<TBlit> blit_;
};

class TTraces : public THashCollection {
 public:
  TAL_CLASS_NAME(TTraces)
  explicit TTraces(TCustomDXDraw* DXDraw);
  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  TTrace* Items(int Index) const { return static_cast<TTrace*>(TCollection::Items(Index)); }
  TTrace* Add() { return static_cast<TTrace*>(TCollection::Add()); }

 protected:
  TCollectionItem* MakeItem() override { return new TTrace(this); }

 private:
  TCustomDXDraw* dxdraw_;
};
