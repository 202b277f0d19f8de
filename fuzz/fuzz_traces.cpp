// Reads traces from arbitrary component-stream bytes: a "Traces" collection
// of a stand-in root. Whatever is read must survive being written, moved,
// tested for collisions and drawn.
#include <cstddef>
#include <cstdint>

#include "engine/draw/traces.h"
#include "framework/filer.h"

namespace {

class TFuzzPicture : public TBlitPicture {
 public:
  int32_t Width() const override { return 16; }
  int32_t Height() const override { return 9; }
};

class TFuzzDisplay : public TBlitDisplay {
 public:
  explicit TFuzzDisplay(TTraces& Traces) : traces_(Traces) {}
  bool BlitSurfaceReady() const override { return true; }
  void SetMirrorFlip(TRenderMirrorFlips) override {}
  void SetTextureFilter(int) override {}
  void DrawBlitPicture(TBlitPicture*, const TBlitDraw& Draw) override { last_ = Draw; }
  int BlitCount() const override { return traces_.Count(); }
  TBlit* Blits(int Index) const override { return traces_.Items(Index)->Blit(); }

 private:
  TTraces& traces_;
  TBlitDraw last_;
};

class TFuzzRoot : public TComponent {
 public:
  TAL_CLASS_NAME(TFuzzRoot)
  TFuzzRoot() : TComponent(nullptr) {}
  TTraces Traces{nullptr};
  bool ReadProperty(const std::string& Name, TReader& Reader) override {
    if (Name != "Traces") return TComponent::ReadProperty(Name, Reader);
    Reader.ReadCollection(Traces);
    return true;
  }
  void WriteProperties(TWriter& Writer) const override { Writer.WriteCollection("Traces", Traces); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzRoot root;
  try {
    TByteStream s(data, size);
    ReadComponent(s, root);
  } catch (const Exception&) {
  }
  TMemoryStream out;
  WriteComponent(out, root);
  TFuzzDisplay display(root.Traces);
  TFuzzPicture picture;
  for (int i = 0; i < root.Traces.Count() && i < 64; ++i) {
    TBlit* b = root.Traces.Items(i)->Blit();
    b->DXDraw = &display;
    b->Image = &picture;
    for (int32_t lag : {1, 16, -3}) {
      b->DoMove(lag);
      b->DoCollision();
      b->DoDraw();
    }
  }
  return 0;
}
