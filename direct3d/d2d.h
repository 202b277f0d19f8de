// Hardware 2D drawing: pictures drawn as textured quads through the display
// control's Direct3D 7 device, with a cache that turns picture items and
// surfaces into textures on their first draw.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "direct3d/d3d_texture.h"
#include "engine/draw/dxdraws.h"

class TDIB;

struct TD2DTextureEntry {
  std::unique_ptr<TDIB> Image;
  std::unique_ptr<TDirect3DTexture2> Texture;
  double U0 = 0, V0 = 0, U1 = 1, V1 = 1;
  std::string Name;
  int32_t Width = 0, Height = 0;
  bool HasAlpha = false;
  TD2DTextureEntry();
  ~TD2DTextureEntry();
  TD2DTextureEntry(TD2DTextureEntry&&) noexcept;
  TD2DTextureEntry& operator=(TD2DTextureEntry&&) noexcept;
};

// The cache never holds more than this many entries plus the one added.
constexpr int32_t D2DMaxTextures = 2048;

class TD2DTextures {
 public:
  explicit TD2DTextures(TCustomDXDraw* DXDraw) : dxdraw_(DXDraw) {}
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  TD2DTextureEntry& Entry(int32_t I) { return entries_.at(static_cast<size_t>(I)); }
  // Names compare ignoring letter case throughout.
  int32_t IndexOf(const std::string& Name) const;
  bool Contains(const std::string& Name) const { return IndexOf(Name) >= 0; }
  bool ContainsItem(TPictureCollectionItem* Item) const;
  bool AddFromItem(TPictureCollectionItem* Item);
  bool LoadSurface(TDirectDrawSurface* Surface, bool Transparent, const std::string& Key);
  bool AddFromSurface(TDirectDrawSurface* Surface, bool Transparent, const std::string& Key);

 private:
  bool AddSurface(TDirectDrawSurface* Surface, bool Transparent, const std::string& Key,
                  bool AlphaFromImage);
  TD2DTextureEntry& Append();
  // Indexes the entry just appended; true.
  bool Added();
  TCustomDXDraw* dxdraw_;
  std::vector<TD2DTextureEntry> entries_;
  // Each name's first entry, by the name in lower case.
  std::unordered_map<std::string, int32_t> index_;
};

// Squares the entry's image up to a power of two (at least 2) and sets its
// texture coordinates to the picture's part of it.
void MakePowerOfTwo(TD2DTextureEntry& Entry);

// The key of a surface in the cache.
std::string SurfaceTextureKey(const TDirectDrawSurface* Surface);

class TD2DDirect3D : public TD2D {
 public:
  explicit TD2DDirect3D(TCustomDXDraw* DXDraw);
  ~TD2DDirect3D() override;

  bool CheckUsable() override;
  bool SelectBackSurface() override;
  void ClearTextureCache() override;
  void SetMirrorFlip(TRenderMirrorFlips Value) override { MirrorFlip = Value; }
  void SetTextureFilter(TD2DTextureFilter Filter) override;
  bool RenderSurface(TDirectDrawSurface* Source, const TRect& DestRect, bool Transparent,
                     TRenderType RenderType, int Alpha) override;
  bool RenderSurfaceRotate(TDirectDrawSurface* Source, int X, int Y, int Width, int Height,
                           TRenderType RenderType, double CenterX, double CenterY, float Angle,
                           int Alpha, bool Transparent) override;
  bool RenderSurfaceWaveX(TDirectDrawSurface* Source, int X, int Y, int Width, int Height,
                          TRenderType RenderType, bool Transparent, int Amplitude, int Length,
                          int Phase, int Alpha) override;
  bool RenderPattern(TPictureCollectionItem* Item, const TRect& DestRect, int PatternIndex,
                     TRenderType RenderType, int Alpha) override;
  bool RenderPatternRotate(TPictureCollectionItem* Item, int X, int Y, int Width, int Height,
                           int PatternIndex, TRenderType RenderType, double CenterX,
                           double CenterY, float Angle, int Alpha) override;
  bool RenderPatternWaveX(TPictureCollectionItem* Item, int X, int Y, int Width, int Height,
                          int PatternIndex, TRenderType RenderType, bool Transparent,
                          int Amplitude, int Length, int Phase, int Alpha) override;
  bool RenderPatternWaveY(TPictureCollectionItem* Item, int X, int Y, int Width, int Height,
                          int PatternIndex, TRenderType RenderType, bool Transparent,
                          int Amplitude, int Length, int Phase, int Alpha) override;

  bool Usable() const { return usable_; }
  void SetUsable(bool Value);
  TD2DTextures* Textures() const { return textures_.get(); }
  TRenderMirrorFlips MirrorFlip = 0;
  TD2DTextureFilter TextureFilter = D2D_POINT;
  std::array<D3DTLVERTEX, 4> Vertices{};
  void ResetVertices();

  // The number of strips a wave over Extent pixels gets (at least one).
  static int32_t WaveStrips(int32_t Extent, int32_t Length);

 private:
  IDirect3DDevice* Device() const;
  void SetRenderStates(TRenderType RenderType, int Alpha, bool WithColor);
  bool BindPatternTexture(TPictureCollectionItem* Item, int PatternIndex, TRenderType RenderType);
  bool BindSurfaceTexture(TDirectDrawSurface* Surface, bool Transparent);
  bool SetEntryTexture(const TD2DTextureEntry& Entry);
  int32_t SurfaceTextureIndex(TDirectDrawSurface* Surface, bool Transparent);
  void SetTextureCoords(const TD2DTextureEntry& E);
  void SetVertexRect(const TRect& R);
  void SetVertexRotation(int X, int Y, int Width, int Height, double CenterX, double CenterY,
                         float Angle, int SourceWidth, int SourceHeight);
  void SetColor(D3DCOLOR C);
  void DrawQuad();
  bool RenderWave(TDirectDrawSurface* Source, const TRect* PatternRect, int X, int Y, int Width,
                  int Height, TRenderType RenderType, bool Transparent, int Amplitude,
                  int Length, int Phase, int Alpha, bool Vertical);

  bool usable_ = false;
  std::unique_ptr<TD2DTextures> textures_;
};

// Installs the Direct3D path into the display: the drawer every display
// control makes, and the 3D set-up of its presentation drivers.
void InstallDirect3DPath();
