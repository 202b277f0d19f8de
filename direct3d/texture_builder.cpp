#include "direct3d/texture_builder.h"

#include <algorithm>
#include <bit>

#include "engine/dib/dib.h"

namespace {
// What each output channel takes from its source's colour.
enum : int32_t { csRed = 1, csGreen = 2, csBlue = 3, csLuminance = 5 };
constexpr int32_t kSelector[5] = {0, csRed, csGreen, csBlue, csLuminance};

uint32_t Select(int32_t Selector, uint32_t R, uint32_t G, uint32_t B) {
  switch (Selector) {
    case csRed:
      return R;
    case csGreen:
      return G;
    case csBlue:
      return B;
    case csLuminance:
      return (306 * R + 602 * G + 116 * B) >> 10;
    default:
      return 0;
  }
}

int32_t RoundBitCount(int32_t Bits) {
  if (Bits <= 2) return Bits;
  if (Bits <= 4) return 4;
  if (Bits <= 8) return 8;
  if (Bits <= 16) return 16;
  if (Bits <= 24) return 24;
  return 32;
}

uint32_t LowMask(int32_t Bits) {
  return Bits >= 32 ? 0xFFFFFFFFu : (1u << Bits) - 1;
}
}  // namespace

void TDXTBase::SetColorDIB(TDIB& DIB) {
  SetChannelDIB(DIB, {slRed, slGreen, slBlue});
}

void TDXTBase::SetAlphaDIB(TDIB& DIB) {
  SetChannelDIB(DIB, {slAlpha});
}

void TDXTBase::SetChannelDIB(TDIB& DIB, std::initializer_list<int32_t> Slots) {
  for (int32_t s : Slots)
    if (!slots_[s].Source) slots_[s].BitCount = 8;
  auto source = std::make_unique<TDXTextureImage>();
  try {
    TMemoryStream stream;
    DIB.SaveToStream(stream);
    stream.SetPosition(0);
    source->LoadFromStream(stream);
    source->ImageName =
        Format("DIB%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&DIB)));
  } catch (const Exception& e) {
    Raise<EDXTBaseError>("%s", e.Message());
  }
  for (int32_t s : Slots) {
    slots_[s].Source = source.get();
    slots_[s].InUse = true;
  }
  sources_.push_back(std::move(source));
}

std::unique_ptr<TDXTextureImage> TDXTBase::Build() {
  if (sources_.empty()) Raise<EDXTBaseError>("No image found");
  try {
    // A square of the largest power of two not above the first source's
    // larger side.
    const TDXTextureImage& first = *sources_.front();
    const auto larger = static_cast<uint32_t>(std::max({first.Width, first.Height, 0}));
    const int32_t side = larger ? static_cast<int32_t>(std::bit_floor(larger)) : 0;
    // An empty picture (it saves as an empty stream) would make a texture of
    // no pixels; it is no image at all.
    if (side == 0) Raise<EDXTBaseError>("No image found");

    const TSlot& red = slots_[slRed];
    const bool palette =
        red.InUse && red.Source->ImageType == DXTextureImageType_PaletteIndexedColor &&
        slots_[slGreen].InUse && slots_[slBlue].InUse && slots_[slGreen].Source == red.Source &&
        slots_[slBlue].Source == red.Source && red.BitCount == 8 && slots_[slGreen].BitCount == 8 &&
        slots_[slBlue].BitCount == 8 && red.Source->Width == side && red.Source->Height == side;

    auto out = std::make_unique<TDXTextureImage>();
    TDXTextureImageChannel channels[5]{};  // per slot, in the output
    int32_t bits = 0;
    auto place = [&](int32_t slot, bool asIndex) {
      if (!slots_[slot].InUse) return;
      channels[slot] = MakeChannel(LowMask(slots_[slot].BitCount) << bits, asIndex);
      bits += slots_[slot].BitCount;
    };
    if (palette) {
      place(slRed, true);
      place(slAlpha, false);
    } else {
      place(slBlue, false);
      place(slGreen, false);
      place(slRed, false);
      place(slAlpha, false);
    }
    const int32_t bitCount = RoundBitCount(bits);
    out->SetSize(palette ? DXTextureImageType_PaletteIndexedColor : DXTextureImageType_RGBColor,
                 side, side, bitCount, WidthBytes(side, bitCount));
    if (palette) {
      out->IndexChannel = channels[slRed];
      out->AlphaIndexChannel = channels[slAlpha];
    } else {
      out->RChannel = channels[slRed];
      out->GChannel = channels[slGreen];
      out->BChannel = channels[slBlue];
      out->AChannel = channels[slAlpha];
    }
    for (int32_t s = slRed; s <= slAlpha; ++s)
      if (slots_[s].InUse &&
          slots_[s].Source->ImageType == DXTextureImageType_PaletteIndexedColor) {
        std::copy(std::begin(slots_[s].Source->Palette), std::end(slots_[s].Source->Palette),
                  std::begin(out->Palette));
        break;
      }
    out->ImageName.clear();
    out->Transparent = false;
    out->TransparentColor = out->EncodeColor(0, 0, 0, 0);

    for (int32_t y = 0; y < side; ++y)
      for (int32_t x = 0; x < side; ++x) {
        uint32_t value = 0;
        for (const auto& source : sources_) {
          const TDXTextureImage& src = *source;
          bool feeds = false;
          for (int32_t s = slRed; s <= slAlpha; ++s)
            feeds |= slots_[s].InUse && slots_[s].Source == &src;
          if (!feeds) continue;
          const uint32_t pixel = src.GetPixel(x, y);
          uint32_t index = 0, r, g, b;
          if (src.ImageType == DXTextureImageType_PaletteIndexedColor) {
            index = ChannelToByte(src.IndexChannel, pixel) & 0xFF;
            r = src.Palette[index].peRed;
            g = src.Palette[index].peGreen;
            b = src.Palette[index].peBlue;
          } else {
            r = ChannelToByte(src.RChannel, pixel);
            g = ChannelToByte(src.GChannel, pixel);
            b = ChannelToByte(src.BChannel, pixel);
          }
          for (int32_t s = slRed; s <= slAlpha; ++s) {
            if (!slots_[s].InUse || slots_[s].Source != &src) continue;
            if (palette) {
              if (s == slRed) value |= ByteToChannel(channels[slRed], index);
              if (s == slAlpha)
                value |= ByteToChannel(channels[slAlpha], Select(kSelector[s], r, g, b));
            } else {
              value |= ByteToChannel(channels[s], Select(kSelector[s], r, g, b));
            }
          }
        }
        out->SetPixel(x, y, value);
      }
    return out;
  } catch (const Exception& e) {
    Raise<EDXTBaseError>("%s", e.Message());
  }
}

std::unique_ptr<TDXTextureImage> MakeTextureImageFromDIB(TDIB& DIB) {
  try {
    TDXTBase builder;
    builder.SetColorDIB(DIB);
    if (DIB.HasAlphaChannel()) builder.SetAlphaDIB(*DIB.MakeAlphaDIB());
    return builder.Build();
  } catch (const std::exception&) {
    return nullptr;
  }
}

void SetTextureImageFromDIB(TDXTextureImage& Image, TDIB& DIB) {
  const int32_t bits = DIB.BitCount();
  const bool palette = bits <= 8;
  Image.SetImage(palette ? DXTextureImageType_PaletteIndexedColor : DXTextureImageType_RGBColor,
                 DIB.GetWidth(), DIB.GetHeight(), bits, DIB.WidthBytes(), DIB.NextLine(),
                 DIB.PBits(), DIB.TopPBits(), DIB.Size(), false);
  if (palette) {
    Image.IndexChannel = MakeChannel(LowMask(bits), true);
    const TRGBQuads& table = DIB.Image()->ColorTable;
    for (size_t i = 0; i < table.size(); ++i)
      Image.Palette[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    Image.PackedPixelOrder = true;
    return;
  }
  const TPixelLayout& layout = DIB.ImagePixelFormat();
  Image.RChannel = MakeChannel(static_cast<uint32_t>(layout.RedMask), false);
  Image.GChannel = MakeChannel(static_cast<uint32_t>(layout.GreenMask), false);
  Image.BChannel = MakeChannel(static_cast<uint32_t>(layout.BlueMask), false);
  const int32_t sum = Image.RChannel.BitCount + Image.GChannel.BitCount + Image.BChannel.BitCount;
  Image.AChannel =
      sum < bits ? MakeChannel(LowMask(bits - sum) << sum, false) : TDXTextureImageChannel{};
  Image.PackedPixelOrder = false;
}
