// The engine's display: DirectDraw objects, surfaces with their canvas and
// draw family, display modes, presentation drivers and the display control
// with its notifications.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "engine/directx/directx.h"
#include "engine/draw/traces.h"
#include "framework/canvas.h"
#include "framework/classes.h"
#include "framework/controls.h"
#include "framework/forms.h"
#include "framework/graphics.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "render/blit.h"

TAL_DECLARE_EXCEPTION(EDirectDrawError, EDirectXError)
TAL_DECLARE_EXCEPTION(EDirectDrawPaletteError, EDirectDrawError)
TAL_DECLARE_EXCEPTION(EDirectDrawClipperError, EDirectDrawError)
TAL_DECLARE_EXCEPTION(EDirectDrawSurfaceError, EDirectDrawError)
TAL_DECLARE_EXCEPTION(EDXDrawError, EDirectDrawError)

class TDirectDrawSurface;
class TDirectDrawPalette;
class TDirectDrawClipper;
class TCustomDXDraw;
class TDIB;

// ---- Device -------------------------------------------------------------------

// The DirectDraw device. Palettes, clippers and surfaces made on it join its
// lists; whatever their makers have not freed when the device goes is freed
// with it (surfaces first, then palettes, then clippers), so such makers must
// forget them by then (the display control's dnFinalize tells them).
class TDirectDraw : public TDirectX {
 public:
  TAL_CLASS_NAME(TDirectDraw)
  explicit TDirectDraw(const GUID* DriverGUID) : TDirectDraw(DriverGUID, true) {}
  TDirectDraw(const GUID* DriverGUID, bool DirectX7Mode);
  ~TDirectDraw() override;

  IDirectDraw* GetIDirectDrawOrNil() const { return dd_.get(); }
  IDirectDraw4* GetIDirectDraw4OrNil() const { return dd4_.get(); }
  IDirectDraw7* GetIDirectDraw7OrNil() const { return dd7_.get(); }
  IDirectDraw* GetIDirectDraw() const;
  IDirectDraw4* GetIDirectDraw4() const;
  IDirectDraw7* GetIDirectDraw7() const;
  const PDirectDraw& IDDraw() const { return dd_; }

  DDCAPS DriverCaps;
  DDCAPS HELCaps;

  int ClipperCount() const { return static_cast<int>(clippers_.size()); }
  TDirectDrawClipper* Clippers(int i) const { return clippers_.at(static_cast<size_t>(i)); }
  int PaletteCount() const { return static_cast<int>(palettes_.size()); }
  TDirectDrawPalette* Palettes(int i) const { return palettes_.at(static_cast<size_t>(i)); }
  int SurfaceCount() const { return static_cast<int>(surfaces_.size()); }
  TDirectDrawSurface* Surfaces(int i) const { return surfaces_.at(static_cast<size_t>(i)); }

 private:
  friend class TDirectDrawSurface;
  friend class TDirectDrawPalette;
  friend class TDirectDrawClipper;
  PDirectDraw dd_, dd4_, dd7_;
  std::vector<TDirectDrawClipper*> clippers_;
  std::vector<TDirectDrawPalette*> palettes_;
  std::vector<TDirectDrawSurface*> surfaces_;
};

// DDraw.dll's DirectDrawEnumerateA, bound by name.
HRESULT CallDirectDrawEnumerate(const TDDEnumCallback& Callback);

class TDirectDrawPalette : public TDirectX {
 public:
  TAL_CLASS_NAME(TDirectDrawPalette)
  explicit TDirectDrawPalette(TDirectDraw* DDraw);
  ~TDirectDrawPalette() override;
  bool CreatePalette(uint32_t Caps, const PALETTEENTRY* Entries);
  bool SetEntries(int StartIndex, int Count, const PALETTEENTRY* Entries);
  IDirectDrawPalette* GetIDirectDrawPaletteOrNil() const { return pal_.get(); }
  IDirectDrawPalette* GetIDirectDrawPalette() const;
  const PDirectDrawPalette& IPalette() const { return pal_; }
  TDirectDraw* DDraw() const { return ddraw_; }

 private:
  friend class TDirectDraw;
  TDirectDraw* ddraw_;
  PDirectDrawPalette pal_;
};

class TDirectDrawClipper : public TDirectX {
 public:
  TAL_CLASS_NAME(TDirectDrawClipper)
  explicit TDirectDrawClipper(TDirectDraw* DDraw);
  ~TDirectDrawClipper() override;
  void SetClipRects(const TRect* Rects, int Count);
  void SetHandle(HWND Window);
  IDirectDrawClipper* GetIDirectDrawClipperOrNil() const { return clip_.get(); }
  IDirectDrawClipper* GetIDirectDrawClipper() const;
  const PDirectDrawClipper& IClipper() const { return clip_; }
  TDirectDraw* DDraw() const { return ddraw_; }

 private:
  friend class TDirectDraw;
  TDirectDraw* ddraw_;
  PDirectDrawClipper clip_;
};

// ---- Surface ---------------------------------------------------------------------

class TDirectDrawSurfaceCanvas : public TCanvas {
 public:
  TAL_CLASS_NAME(TDirectDrawSurfaceCanvas)
  explicit TDirectDrawSurfaceCanvas(TDirectDrawSurface* Surface) : surface_(Surface) {}
  ~TDirectDrawSurfaceCanvas() override;
  // Gives the device context back, unlocking the surface. Every drawing
  // through the canvas ends with it.
  void Release();

 protected:
  void CreateHandle() override;

 private:
  TDirectDrawSurface* surface_;
  HDC dc_ = nullptr;
};

class TDirectDrawSurface : public TDirectX {
 public:
  TAL_CLASS_NAME(TDirectDrawSurface)
  explicit TDirectDrawSurface(TDirectDraw* DDraw);
  ~TDirectDrawSurface() override;

  IDirectDrawSurface* GetIDirectDrawSurfaceOrNil() const { return surf_.get(); }
  IDirectDrawSurface4* GetIDirectDrawSurface4OrNil() const { return surf4_.get(); }
  IDirectDrawSurface7* GetIDirectDrawSurface7OrNil() const { return surf7_.get(); }
  IDirectDrawSurface* GetIDirectDrawSurface() const;
  IDirectDrawSurface4* GetIDirectDrawSurface4() const;
  IDirectDrawSurface7* GetIDirectDrawSurface7() const;
  const PDirectDrawSurface& ISurface() const { return surf_; }
  void SetIDirectDrawSurface(PDirectDrawSurface Value);
  void SetIDirectDrawSurface4(PDirectDrawSurface Value) { SetIDirectDrawSurface(std::move(Value)); }
  bool CreateSurface(const DDSURFACEDESC& SurfaceDesc);
  void SetSize(int AWidth, int AHeight);

  TDirectDraw* DDraw() const { return ddraw_; }
  bool HasClipper() const { return has_clipper_; }
  bool SystemMemory() const { return system_memory_; }
  void SetSystemMemory(bool Value) { system_memory_ = Value; }
  const DDSURFACEDESC& SurfaceDesc() const { return desc_; }
  int Width() const { return static_cast<int>(desc_.dwWidth); }
  int Height() const { return static_cast<int>(desc_.dwHeight); }
  int BitCount() const { return static_cast<int>(desc_.ddpfPixelFormat.dwRGBBitCount); }
  TRect ClientRect() const { return TRect{0, 0, Width(), Height()}; }
  IDirectDrawGammaControl* GammaControl() const { return gamma_.get(); }
  int LockCount() const { return lock_count_; }

  bool Lock(const TRect* Rect, DDSURFACEDESC& SurfaceDesc);
  void Unlock();
  uint32_t Pixel(int X, int Y);
  void SetPixel(int X, int Y, uint32_t Value);
  bool Fill(uint32_t DevColor);
  bool Blt(const TRect* DestRect, const TRect* SrcRect, uint32_t Flags, const DDBLTFX& Effects,
           TDirectDrawSurface* Source);
  uint32_t ColorToPixel(TColor Color);
  bool Restore();
  void SetColorKey(uint32_t Flags, const DDCOLORKEY& Key);
  void SetTransparentColor(uint32_t DevColor);
  void SetClipper(TDirectDrawClipper* Clipper);
  void SetPalette(TDirectDrawPalette* Palette);
  TDirectDrawSurfaceCanvas* Canvas();

  void LoadFromGraphic(TGraphic* Graphic);
  void LoadFromGraphicRect(TGraphic* Graphic, int AWidth, int AHeight, const TRect& SrcRect);
  void Assign(TPersistent* Source) override;

  // The draw family.
  void StretchDraw(const TRect& DestRect, const TRect& SrcRect, TDirectDrawSurface* Source,
                   bool Transparent);
  void DrawAdd(const TRect& DestRect, const TRect& SrcRect, TDirectDrawSurface* Source,
               bool Transparent, int Alpha);
  void DrawAlpha(const TRect& DestRect, const TRect& SrcRect, TDirectDrawSurface* Source,
                 bool Transparent, int Alpha);
  void DrawSub(const TRect& DestRect, const TRect& SrcRect, TDirectDrawSurface* Source,
               bool Transparent, int Alpha);
  void DrawRotate(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                  TDirectDrawSurface* Source, double CenterX, double CenterY, bool Transparent,
                  float Angle);
  void DrawRotateAdd(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                     TDirectDrawSurface* Source, double CenterX, double CenterY, bool Transparent,
                     float Angle, int Alpha);
  void DrawRotateAlpha(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                       TDirectDrawSurface* Source, double CenterX, double CenterY, bool Transparent,
                       float Angle, int Alpha);
  void DrawRotateSub(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                     TDirectDrawSurface* Source, double CenterX, double CenterY, bool Transparent,
                     float Angle, int Alpha);
  void DrawWaveX(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                 TDirectDrawSurface* Source, bool Transparent, int Amplitude, int Length,
                 int Phase);
  void DrawWaveXAdd(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                    TDirectDrawSurface* Source, bool Transparent, int Amplitude, int Length,
                    int Phase, int Alpha);
  void DrawWaveXAlpha(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                      TDirectDrawSurface* Source, bool Transparent, int Amplitude, int Length,
                      int Phase, int Alpha);
  void DrawWaveXSub(int X, int Y, int AWidth, int AHeight, const TRect& SrcRect,
                    TDirectDrawSurface* Source, bool Transparent, int Amplitude, int Length,
                    int Phase, int Alpha);

 protected:
  void AssignTo(TPersistent* Dest) override;

 private:
  friend class TDirectDraw;
  friend class TDirectDrawSurfaceCanvas;
  // The blended, rotated and wave draws share one path to the software
  // renderer.
  enum TDrawKind : uint8_t { dkRect, dkRotate, dkWave };
  // How a draw's pixels meet the destination's.
  enum TBlendKind : uint8_t { bkPlain, bkAdd, bkAlpha, bkSub };
  struct TDrawArgs;
  void BlendDraw(const TDrawArgs& A);

  std::unique_ptr<TDirectDrawSurfaceCanvas> canvas_;
  bool has_clipper_ = false;
  TDirectDraw* ddraw_;
  PDirectDrawSurface surf_, surf4_, surf7_;
  bool system_memory_ = false;
  PDirectDrawClipper stretch_clipper_;
  DDSURFACEDESC desc_;
  PDirectDrawGammaControl gamma_;
  DDSURFACEDESC lock_desc_;
  int32_t lock_count_ = 0;
};

// ---- Hardware 2D drawing ------------------------------------------------

class TPictureCollectionItem;

// Hardware 2D drawing as the display sees it: pictures drawn as textured
// quads through the control's Direct3D device. The drawer and the Direct3D
// set-up belong to the Direct3D path (direct3d/), which builds on this
// module; the engine reaches them only through this interface and the
// TDirect3DPath hooks that the path installs, so the libraries link in one
// direction. Without the path installed a control has no drawer and makes
// no Direct3D object.
class TD2D {
 public:
  explicit TD2D(TCustomDXDraw* DXDraw) : dxdraw_(DXDraw) {}
  virtual ~TD2D() = default;
  TCustomDXDraw* DXDraw() const { return dxdraw_; }
  virtual bool CheckUsable() = 0;
  // Chooses the back surface as the render target; false without a device.
  virtual bool SelectBackSurface() = 0;
  // Empties the texture cache when there is one.
  virtual void ClearTextureCache() = 0;
  virtual void SetMirrorFlip(TRenderMirrorFlips Value) = 0;
  virtual void SetTextureFilter(TD2DTextureFilter Filter) = 0;
  // The surface draws take the whole source surface.
  virtual bool RenderSurface(TDirectDrawSurface* Source, const TRect& DestRect, bool Transparent,
                             TRenderType RenderType, int Alpha) = 0;
  virtual bool RenderSurfaceRotate(TDirectDrawSurface* Source, int X, int Y, int Width, int Height,
                                   TRenderType RenderType, double CenterX, double CenterY,
                                   float Angle, int Alpha, bool Transparent) = 0;
  virtual bool RenderSurfaceWaveX(TDirectDrawSurface* Source, int X, int Y, int Width, int Height,
                                  TRenderType RenderType, bool Transparent, int Amplitude,
                                  int Length, int Phase, int Alpha) = 0;
  virtual bool RenderPattern(TPictureCollectionItem* Item, const TRect& DestRect, int PatternIndex,
                             TRenderType RenderType, int Alpha) = 0;
  virtual bool RenderPatternRotate(TPictureCollectionItem* Item, int X, int Y, int Width,
                                   int Height, int PatternIndex, TRenderType RenderType,
                                   double CenterX, double CenterY, float Angle, int Alpha) = 0;
  virtual bool RenderPatternWaveX(TPictureCollectionItem* Item, int X, int Y, int Width, int Height,
                                  int PatternIndex, TRenderType RenderType, bool Transparent,
                                  int Amplitude, int Length, int Phase, int Alpha) = 0;
  virtual bool RenderPatternWaveY(TPictureCollectionItem* Item, int X, int Y, int Width, int Height,
                                  int PatternIndex, TRenderType RenderType, bool Transparent,
                                  int Amplitude, int Length, int Phase, int Alpha) = 0;

 private:
  TCustomDXDraw* dxdraw_;
};

// What the presentation drivers ask of the Direct3D set-up, and what it
// answers: one bit each.
enum TDirect3DSetupOption : uint8_t {
  soSelectDriver = 1,
  soBitCount = 2,
  soHardware = 4,
  soRetainedMode = 8,
  soZBuffer = 16,
};
using TDirect3DSetupOptions = uint8_t;

// The Direct3D path's entry points, installed by the path itself.
struct TDirect3DPath {
  std::unique_ptr<TD2D> (*MakeD2D)(TCustomDXDraw* DXDraw);
  // Chooses the display driver (and maybe the bit count) for 3D drawing.
  void (*SelectDisplayDriver)(TDirect3DSetupOptions Options, TCustomDXDraw* DXDraw);
  // Makes the Direct3D objects on the back surface; answers what it achieved.
  TDirect3DSetupOptions (*Initialize3D)(TCustomDXDraw* DXDraw, bool DirectX7Mode,
                                        TDirect3DSetupOptions Options);
  // Detaches and frees the control's Z-buffer.
  void (*FreeZBuffer)(TCustomDXDraw* DXDraw);
};
void SetDirect3DPath(const TDirect3DPath* Path);
const TDirect3DPath* Direct3DPath();

// The hardware drawer of the last initialised display control, or nil.
extern TD2D* CurrentD2D;
// Makes the next Flip present nothing.
extern bool SkipNextFlip;

// ---- Display modes -------------------------------------------------------------------

class TDXDrawDisplayMode : public TCollectionItem {
 public:
  TAL_CLASS_NAME(TDXDrawDisplayMode)
  using TCollectionItem::TCollectionItem;
  DDSURFACEDESC SurfaceDesc;
  int Width() const { return static_cast<int>(SurfaceDesc.dwWidth); }
  int Height() const { return static_cast<int>(SurfaceDesc.dwHeight); }
  int BitCount() const { return static_cast<int>(SurfaceDesc.ddpfPixelFormat.dwRGBBitCount); }
};

class TDXDrawDisplay : public TPersistent {
 public:
  TAL_CLASS_NAME(TDXDrawDisplay)
  explicit TDXDrawDisplay(TCustomDXDraw* DXDraw);
  ~TDXDrawDisplay() override;

  int BitCount() const { return bit_count_; }
  void SetBitCount(int Value);
  int Width() const { return width_; }
  void SetWidth(int Value) { width_ = Max(Value, 0); }
  int Height() const { return height_; }
  void SetHeight(int Value) { height_ = Max(Value, 0); }
  bool FixedBitCount = false;
  bool FixedRatio = true;
  bool FixedSize = true;

  int Count();
  TDXDrawDisplayMode* Modes(int Index);
  int IndexOf(int AWidth, int AHeight, int ABitCount);
  bool SetNearestMode(int AWidth, int AHeight, int ABitCount);
  void Assign(TPersistent* Source) override;
  // Empties the mode list; the next Count enumerates again.
  void ClearModes();

 private:
  void LoadDisplayModes();
  bool DoSetDisplayMode(int AWidth, int AHeight, int ABitCount);
  int bit_count_ = 16;
  TCustomDXDraw* dxdraw_;
  int height_ = 480;
  TCollection modes_;
  int width_ = 640;
};

// ---- Presentation drivers ----------------------------------------------------------------

class TDXDrawDriver {
 public:
  explicit TDXDrawDriver(TCustomDXDraw* DXDraw);
  virtual ~TDXDrawDriver();
  virtual void Finalize();
  virtual void Flip() = 0;
  virtual void Initialize() = 0;
  virtual bool SetSize(int AWidth, int AHeight) { return false; }
  bool Restore();
  TCustomDXDraw* DXDraw() const { return dxdraw_; }

 protected:
  void MakePalette(uint32_t Caps);
  // Starts Direct3D on the back surface and keeps in force only the 3D
  // options it achieved.
  void Initialize3D();
  TCustomDXDraw* dxdraw_;
};

class TDXDrawDriverBlt : public TDXDrawDriver {
 public:
  using TDXDrawDriver::TDXDrawDriver;
  void Flip() override;
  void Initialize() override;
  bool SetSize(int AWidth, int AHeight) override;

 private:
  void CreateBackSurface();
};

class TDXDrawDriverFlip : public TDXDrawDriver {
 public:
  using TDXDrawDriver::TDXDrawDriver;
  void Flip() override;
  void Initialize() override;
};

// Converts a colour table (blue, green, red, reserved) into palette entries;
// unless AllowAll, the system's 20 static colours keep their places.
void DXDrawPaletteEntries(const std::array<RGBQUAD, 256>& ColorTable, bool AllowAll,
                          std::array<PALETTEENTRY, 256>& Entries);

// ---- Display control ----------------------------------------------------------------------

enum TDXDrawOption : uint8_t {
  doFullScreen = 0,
  doNoWindowChange = 1,
  doAllowReboot = 2,
  doWaitVBlank = 3,
  doAllowPalette256 = 4,
  doSystemMemory = 5,
  doStretch = 6,
  doCenter = 7,
  doFlip = 8,
  do3D = 9,
  doDirectX7Mode = 10,
  doRetainedMode = 11,
  doHardware = 12,
  doSelectDriver = 13,
  doZBuffer = 14,
};

// A 16-bit set of TDXDrawOption.
class TDXDrawOptions {
 public:
  constexpr TDXDrawOptions() = default;
  constexpr TDXDrawOptions(std::initializer_list<TDXDrawOption> Options) {
    for (auto o : Options) bits_ = static_cast<uint16_t>(bits_ | (1u << o));
  }
  static constexpr TDXDrawOptions FromBits(uint16_t Bits) {
    TDXDrawOptions o;
    o.bits_ = Bits;
    return o;
  }
  constexpr bool Contains(TDXDrawOption o) const { return (bits_ >> o) & 1u; }
  constexpr void Include(TDXDrawOption o) { bits_ = static_cast<uint16_t>(bits_ | (1u << o)); }
  constexpr void Exclude(TDXDrawOption o) { bits_ = static_cast<uint16_t>(bits_ & ~(1u << o)); }
  constexpr uint16_t Bits() const { return bits_; }
  friend constexpr bool operator==(TDXDrawOptions, TDXDrawOptions) = default;

 private:
  uint16_t bits_ = 0;
};

enum TDXDrawNotifyType : uint8_t {
  dnDestroying = 0,
  dnInitializing = 1,
  dnInitialize = 2,
  dnInitializeSurface = 3,
  dnFinalize = 4,
  dnFinalizeSurface = 5,
  dnRestore = 6,
  dnSurfaceSizeChanged = 7,
};

// A bound handler: the listener object and its method. Registering the same
// object again removes its entry first (as RemoveNotifyHandler does, telling
// it so) and appends it anew.
using TDXDrawNotifyProc = std::function<void(TCustomDXDraw* Sender, TDXDrawNotifyType NotifyType)>;

// It draws its traces' blits on its back surface.
class TCustomDXDraw : public TWinControl, public TBlitDisplay {
 public:
  TAL_CLASS_NAME(TCustomDXDraw)
  explicit TCustomDXDraw(TComponent* AOwner);
  ~TCustomDXDraw() override;

  void AddNotifyHandler(const void* Object, TDXDrawNotifyProc Handler);
  void RemoveNotifyHandler(const void* Object);
  void BroadcastNotify(TDXDrawNotifyType NotifyType);

  void Initialize();
  void Finalize();
  bool CanDraw();
  void Flip();
  bool CheckSurfaces();
  void RestoreSurface();
  void UpdatePalette();
  void SetColorTable(const std::array<RGBQUAD, 256>& ColorTable);
  void Paint();
  bool PaletteChanged(bool Foreground);

  bool Initialized() const { return initialized_; }
  TDXDrawOptions Options() const { return options_; }
  void SetOptions(TDXDrawOptions Value);
  TDXDrawOptions EffectiveOptions() const { return now_options_; }
  TDXDrawOptions& NowOptions() { return now_options_; }
  bool AutoInitialize = true;
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool Value);
  int SurfaceWidth() const;
  void SetSurfaceWidth(int Value);
  int SurfaceHeight() const;
  void SetSurfaceHeight(int Value);
  void SetSurfaceSize(int AWidth, int AHeight);
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetParent(TWinControl* AParent) override;
  // Called once the control's stored properties are read.
  void Loaded() override;
  // Stored with the control: "Display.Width", "Display.Height",
  // "Display.BitCount", "Display.FixedBitCount", "Display.FixedRatio",
  // "Display.FixedSize", and the surface's size and sizing flags.
  bool ReadProperty(const std::string& Name, TReader& Reader) override;
  void WriteProperties(TWriter& Writer) const override;

  TDXDrawDisplay* Display() const { return display_.get(); }
  void SetDisplay(TDXDrawDisplay* Value) { display_->Assign(Value); }
  TTraces* Traces() const { return traces_.get(); }
  void SetTraces(TTraces* Value) { traces_->Assign(Value); }
  TD2D* D2D() const { return d2d_.get(); }
  const GUID* DriverGUID() const { return driver_guid_; }
  void SetDriverGUID(const GUID* Value);
  void SetMirrorFlip(TRenderMirrorFlips Value) override;
  void SetTextureFilter(int Value) override;
  bool BlitSurfaceReady() const override;
  void DrawBlitPicture(TBlitPicture* Picture, const TBlitDraw& Draw) override;
  int BlitCount() const override;
  TBlit* Blits(int Index) const override;

  // Made by the presentation driver; empty while not initialised. The
  // device is declared first so that it goes last: the objects made on it
  // must be gone before it is.
  std::unique_ptr<TDirectDraw> DDraw;
  std::unique_ptr<TDirectDrawClipper> Clipper;
  std::unique_ptr<TDirectDrawPalette> Palette;
  std::unique_ptr<TDirectDrawSurface> Primary;
  std::unique_ptr<TDirectDrawSurface> Surface;
  std::unique_ptr<TDirectDrawSurface> ZBuffer;
  // The Direct3D objects of the 3D set-up; nil without it.
  PDirect3D D3D, D3D2, D3D3, D3D7;
  PDirect3DDevice D3DDevice, D3DDevice2, D3DDevice3, D3DDevice7;

  std::array<RGBQUAD, 256> ColorTable{};
  std::array<RGBQUAD, 256> DefaultColorTable{};

  TNotifyEvent OnFinalize;
  TNotifyEvent OnFinalizeSurface;
  TNotifyEvent OnInitialize;
  TNotifyEvent OnInitializeSurface;
  TNotifyEvent OnInitializing;
  TNotifyEvent OnRestoreSurface;
  TNotifyEvent OnUpdateTextures;
  TNotifyEvent OnRender;

  // The form the control hooks (nil when none).
  TForm* ParentForm() const { return parent_form_; }
  bool Updating() const { return updating_; }
  int HoldRestore() const { return hold_restore_; }

 protected:
  virtual void DoFinalize();
  virtual void DoFinalizeSurface();
  virtual void DoInitialize();
  virtual void DoInitializeSurface();
  virtual void DoInitializing();
  virtual void DoRestoreSurface();
  void WndProc(TMessage& Message) override;
  void FormWndProc(TMessage& Message, const TWndMethod& Previous);
  void SetCooperativeLevel();

 private:
  friend class TDXDrawDriver;
  friend class TDXDrawDriverBlt;
  friend class TDXDrawDriverFlip;
  struct THandler {
    const void* Object;
    TDXDrawNotifyProc Proc;
    uint64_t Id;
  };
  void Notify(const THandler& H, TDXDrawNotifyType NotifyType);
  void DeriveOptions(TDXDrawOptions Value);

  bool auto_size_ = true;
  bool called_do_initialize_ = false;
  bool called_do_initialize_surface_ = false;
  TForm* parent_form_ = nullptr;
  std::vector<THandler> handlers_;
  uint64_t next_handler_id_ = 1;
  bool initialized_ = false;
  bool initialize_called_ = false;
  bool internal_initialized_ = false;
  bool updating_ = false;
  std::unique_ptr<TControlSubClass> sub_class_;
  TDXDrawOptions now_options_;
  TDXDrawOptions options_;
  int hold_restore_ = 0;
  std::unique_ptr<TDXDrawDriver> driver_;
  const GUID* driver_guid_ = nullptr;
  GUID driver_guid_store_{};
  std::unique_ptr<TDXDrawDisplay> display_;
  int surface_width_ = 640;
  int surface_height_ = 480;
  std::unique_ptr<TD2D> d2d_;
  std::unique_ptr<TTraces> traces_;
};

class TDXDraw : public TCustomDXDraw {
 public:
  TAL_CLASS_NAME(TDXDraw)
  using TCustomDXDraw::TCustomDXDraw;
};
