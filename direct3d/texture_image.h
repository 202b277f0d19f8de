// The in-memory picture that Direct3D textures are filled from, the channel
// records shared with the textures and the texture builder, and the loaders
// that read texture images from streams (BMP, and the chunked "dxt:" format).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "framework/sysutils.h"

TAL_DECLARE_EXCEPTION(EDXTextureImageError, Exception)

// Where one channel sits in a pixel and how it converts to and from a byte.
struct TDXTextureImageChannel {
  int32_t Mask = 0;
  int32_t BitCount = 0;
  int32_t ByteMask = 0;
  int32_t ShiftRight = 0;
  int32_t ShiftLeft = 0;
  int32_t ReplicateShift = 0;
};

// The run of set bits that starts at the lowest set bit.
int32_t BitCountOfMask(uint32_t Mask);
// The lowest set bit; 31 when no bit below 31 is set.
int32_t LowestBitOfMask(uint32_t Mask);
TDXTextureImageChannel MakeChannel(uint32_t Mask, bool AsIndex);
// A colour channel gives its value widened to 8 bits (top bits replicated
// into the low ones); an index channel gives the plain index.
uint32_t ChannelToByte(const TDXTextureImageChannel& Channel, uint32_t Pixel);
// The top BitCount bits of Value put into the channel's place.
uint32_t ByteToChannel(const TDXTextureImageChannel& Channel, uint32_t Value);
// Bytes of one line, padded to 4 bytes.
int32_t WidthBytes(int32_t Width, int32_t BitCount);

enum : uint8_t { DXTextureImageType_PaletteIndexedColor = 0, DXTextureImageType_RGBColor = 1 };
// Sub-images of this group are the mipmap levels of their owner.
constexpr int32_t DXTextureImageGroupType_Mipmap = 1;

// The largest pixel block an image may hold, and so the largest a file may
// make a loader allocate (all its images together).
constexpr int64_t MaxTextureImageBytes = int64_t{1} << 26;

struct TDXTextureImagePaletteEntry {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};

class TDXTextureImage {
 public:
  using TNotifyEvent = std::function<void(TDXTextureImage* Sender, int32_t, int32_t)>;

  TDXTextureImage() = default;
  // Joins Owner's sub-images; leaves them again when freed.
  explicit TDXTextureImage(TDXTextureImage* Owner);
  virtual ~TDXTextureImage();
  TDXTextureImage(const TDXTextureImage&) = delete;
  TDXTextureImage& operator=(const TDXTextureImage&) = delete;

  virtual void DoNotify(int32_t A, int32_t B);
  TNotifyEvent OnNotify;

  // Takes the layout and memory as given, without copying; with AutoFree the
  // image frees Memory (allocated with new[]) when its pixels are cleared.
  void SetImage(uint8_t ImageType, int32_t Width, int32_t Height, int32_t BitCount,
                int32_t WidthBytes, int32_t NextLine, uint8_t* Memory, uint8_t* TopPBits,
                int32_t Size, bool AutoFree);
  // A zeroed top-down image; WidthBytes 0 takes the padded line width.
  // Raises EDXTextureImageError for a size it cannot hold.
  void SetSize(uint8_t ImageType, int32_t Width, int32_t Height, int32_t BitCount,
               int32_t WidthBytes);
  void ClearPixels();
  void Clear();

  uint8_t* ScanLine(int32_t Y) const { return TopPBits + static_cast<intptr_t>(Y) * NextLine; }
  // Outside the image a read gives 0 and a write does nothing.
  uint32_t GetPixel(int32_t X, int32_t Y) const;
  void SetPixel(int32_t X, int32_t Y, uint32_t Value);
  uint8_t NearestPaletteIndex(int32_t R, int32_t G, int32_t B) const;
  uint32_t EncodeColor(uint8_t R, uint8_t G, uint8_t B, uint8_t A) const;

  TDXTextureImage* Owner() const { return owner_; }
  int32_t SubImageCount() const { return static_cast<int32_t>(sub_images_.size()); }
  TDXTextureImage* SubImages(int32_t I) const;
  int32_t CountSubImages(int32_t GroupType) const;
  TDXTextureImage* FindSubImage(int32_t GroupType, int32_t N) const;

  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);

  uint8_t ImageType = 0;
  int32_t Width = 0, Height = 0;
  uint8_t* Memory = nullptr;
  int32_t BitCount = 0;
  bool PackedPixelOrder = false;
  int32_t WidthBytes = 0;
  int32_t NextLine = 0;
  int32_t Size = 0;
  uint8_t* TopPBits = nullptr;
  bool Transparent = false;
  uint32_t TransparentColor = 0;
  int32_t ImageGroupType = 0;
  int32_t ImageID = 0;
  std::string ImageName;
  bool AutoFreeImage = false;
  TDXTextureImageChannel IndexChannel, AlphaIndexChannel;
  TDXTextureImagePaletteEntry Palette[256]{};
  TDXTextureImageChannel RChannel, GChannel, BChannel, AChannel;

 private:
  TDXTextureImage* owner_ = nullptr;
  std::vector<TDXTextureImage*> sub_images_;  // owned
};

// A loader fills the image from the stream or raises.
using TDXTextureImageLoadFunc = void (*)(TStream& Stream, TDXTextureImage& Image);

// The registry starts with the BMP loader only.
void RegisterTextureImageLoader(TDXTextureImageLoadFunc Loader);
void UnregisterTextureImageLoader(TDXTextureImageLoadFunc Loader);

void LoadBMPTextureImage(TStream& Stream, TDXTextureImage& Image);
void LoadDXTTextureImage(TStream& Stream, TDXTextureImage& Image);
