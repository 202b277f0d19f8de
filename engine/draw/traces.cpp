#include "engine/draw/traces.h"

#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "framework/filer.h"

// ---- Traces --------------------------------------------------------------------------

TTraces::TTraces(TCustomDXDraw* DXDraw) : THashCollection(DXDraw), dxdraw_(DXDraw) {}

TTrace::TTrace(TCollection* Collection)
    : THashCollectionItem(Collection), blit_(std::make_unique<TBlit>(this)) {
  if (TTraces* t = Traces()) blit_->DXDraw = t->DXDraw();
}

TTrace::~TTrace() = default;

TTraces* TTrace::Traces() const {
  return dynamic_cast<TTraces*>(Collection());
}

void TTrace::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TTrace*>(Source)) {
    blit_->Assign(s->blit_.get());
    // The copy draws on and hits the traces of the display it now belongs
    // to, never one that may go before it.
    TTraces* t = Traces();
    blit_->DXDraw = t ? t->DXDraw() : nullptr;
    Tag = s->Tag;
    return;
  }
  THashCollectionItem::Assign(Source);
}

void TTrace::SetDisplayName(const std::string& Value) {
  TTraces* t = Traces();
  if (!Value.empty() && !SameText(Value, GetDisplayName()) && t && t->IndexOfName(Value) >= 0)
    Raise<Exception>("Item duplicate name \"%s\" error", Value);
}

bool TTrace::ReadProperty(const std::string& Name, TReader& Reader) {
  static const std::string blit = "Blit.";
  if (Name == "Active")
    blit_->Active = Reader.ReadBoolean();
  else if (Name == "Tag")
    Tag = Reader.ReadInteger();
  else if (IsBlitEventProperty(Name))
    Reader.ReadIdent();
  else if (Name.size() > blit.size() && Name.compare(0, blit.size(), blit) == 0)
    return blit_->ReadProperty(Name.substr(blit.size()), Reader);
  else
    return THashCollectionItem::ReadProperty(Name, Reader);
  return true;
}

void TTrace::WriteProperties(TWriter& Writer) const {
  THashCollectionItem::WriteProperties(Writer);
  // Neither has a stored default, so both are always written.
  Writer.WriteBoolean("Active", blit_->Active);
  Writer.WriteInteger("Tag", Tag);
  blit_->WriteProperties(Writer, "Blit.");
}

// ---- The display's side of its blits ----------------------------------------------------

bool TCustomDXDraw::BlitSurfaceReady() const {
  return Surface != nullptr;
}

int TCustomDXDraw::BlitCount() const {
  return traces_ ? traces_->Count() : 0;
}

TBlit* TCustomDXDraw::Blits(int Index) const {
  return traces_->Items(Index)->Blit();
}

void TCustomDXDraw::DrawBlitPicture(TBlitPicture* Picture, const TBlitDraw& D) {
  auto* item = dynamic_cast<TPictureCollectionItem*>(Picture);
  TDirectDrawSurface* dest = Surface.get();
  if (!item || !dest) return;
  switch (D.Kind) {
    case bdStretchDraw:
      item->StretchDraw(dest, D.Rect, D.Pattern);
      break;
    case bdDrawAlpha:
      item->DrawAlpha(dest, D.Rect, D.Pattern, D.Alpha);
      break;
    case bdDrawAdd:
      item->DrawAdd(dest, D.Rect, D.Pattern, D.Alpha);
      break;
    case bdDrawSub:
      item->DrawSub(dest, D.Rect, D.Pattern, D.Alpha);
      break;
    case bdDrawRotate:
      item->DrawRotate(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.CenterX, D.CenterY, D.Angle);
      break;
    case bdDrawRotateAlpha:
      item->DrawRotateAlpha(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.CenterX, D.CenterY,
                            D.Angle, D.Alpha);
      break;
    case bdDrawRotateAdd:
      item->DrawRotateAdd(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.CenterX, D.CenterY,
                          D.Angle, D.Alpha);
      break;
    case bdDrawRotateSub:
      item->DrawRotateSub(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.CenterX, D.CenterY,
                          D.Angle, D.Alpha);
      break;
    case bdDrawWaveX:
      item->DrawWaveX(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.Amplitude, D.Length, D.Phase);
      break;
    case bdDrawWaveXAlpha:
      item->DrawWaveXAlpha(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.Amplitude, D.Length,
                           D.Phase, D.Alpha);
      break;
    case bdDrawWaveXAdd:
      item->DrawWaveXAdd(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.Amplitude, D.Length,
                         D.Phase, D.Alpha);
      break;
    case bdDrawWaveXSub:
      item->DrawWaveXSub(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.Amplitude, D.Length,
                         D.Phase, D.Alpha);
      break;
    case bdDrawWaveY:
      item->DrawWaveY(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.Amplitude, D.Length, D.Phase);
      break;
    case bdDrawWaveYAlpha:
      item->DrawWaveYAlpha(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.Amplitude, D.Length,
                           D.Phase, D.Alpha);
      break;
    case bdDrawWaveYAdd:
      item->DrawWaveYAdd(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.Amplitude, D.Length,
                         D.Phase, D.Alpha);
      break;
    case bdDrawWaveYSub:
      item->DrawWaveYSub(dest, D.X, D.Y, D.Width, D.Height, D.Pattern, D.Amplitude, D.Length,
                         D.Phase, D.Alpha);
      break;
  }
}
