#include "framework/bitmap.h"

#include <algorithm>
#include <cstring>

#include "framework/sysutils.h"
#include "platform/gdi/gdi_draw.h"
#include "platform/win/resources.h"

TAL_DECLARE_EXCEPTION(EResNotFound, Exception)

namespace {

class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* Owner) : owner_(Owner) {}

 protected:
  void CreateHandle() override {
    if (!owner_->Empty()) SetHandle(owner_->DC());
  }

 private:
  TBitmap* owner_;
};

constexpr int32_t kMaxSide = 32768;
constexpr int64_t kMaxPixels = int64_t{64} << 20;

[[noreturn]] void Invalid() {
  Raise<EInvalidGraphic>("Bitmap image is not valid");
}

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

uint32_t QuadToPixel(const RGBQUAD& q) {
  return (static_cast<uint32_t>(q.rgbRed) << 16) | (q.rgbGreen << 8) | q.rgbBlue;
}

int BitsOf(TPixelFormat F) {
  switch (F) {
    case pf1bit:
      return 1;
    case pf4bit:
      return 4;
    case pf8bit:
      return 8;
    case pf32bit:
      return 32;
    default:
      return 24;
  }
}

}  // namespace

const std::vector<RGBQUAD>& StandardColorTable16() {
  static const std::vector<RGBQUAD> t = [] {
    const uint32_t rgb[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                              0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                              0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    std::vector<RGBQUAD> v;
    for (uint32_t c : rgb)
      v.push_back(RGBQUAD{static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                          static_cast<uint8_t>(c >> 16), 0});
    return v;
  }();
  return t;
}

TBitmap::TBitmap() {
  auto* c = new TBitmapCanvas(this);
  c->OnChange = [this](TObject*) { Changed(this); };
  canvas_.reset(c);
}

TBitmap::~TBitmap() {
  canvas_.reset();
}

TCanvas* TBitmap::Canvas() {
  return canvas_.get();
}

HDC TBitmap::DC() {
  return dc_.get();
}

uint32_t* TBitmap::ScanLine(int32_t Y) {
  return pixels_.data() + static_cast<size_t>(Y) * static_cast<size_t>(width_);
}
const uint32_t* TBitmap::ScanLine(int32_t Y) const {
  return pixels_.data() + static_cast<size_t>(Y) * static_cast<size_t>(width_);
}

void TBitmap::Rebind() {
  if (GetEmpty()) {
    if (canvas_) canvas_->SetHandle(nullptr);
    dc_.reset();
    return;
  }
  if (!dc_) {
    dc_ = std::make_unique<TDeviceContext>(pixels_.data(), width_, height_, width_ * 4,
                                           TGdiPixelFormat::RGB888(32));
  } else {
    dc_->Rebind(pixels_.data(), width_, height_, width_ * 4);
  }
  // The canvas's cached pen, brush and font go into the context again.
  if (canvas_) {
    canvas_->SetHandle(nullptr);
  }
}

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight) {
  AWidth = std::clamp(AWidth, 0, kMaxSide);
  AHeight = std::clamp(AHeight, 0, kMaxSide);
  if (AWidth == width_ && AHeight == height_) return;
  std::vector<uint32_t> np(static_cast<size_t>(AWidth) * static_cast<size_t>(AHeight), 0);
  for (int32_t y = 0; y < std::min(AHeight, height_); ++y)
    std::copy_n(ScanLine(y), std::min(AWidth, width_),
                np.data() + static_cast<size_t>(y) * static_cast<size_t>(AWidth));
  pixels_.swap(np);
  width_ = AWidth;
  height_ = AHeight;
  Rebind();
  Changed(this);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (pixel_format_ == Value) return;
  pixel_format_ = Value;
  if (Value == pf4bit && table_.size() != 16) table_ = StandardColorTable16();
  if (Value == pf1bit) table_.assign(MonochromeTable(), MonochromeTable() + 2);
  Changed(this);
}

void TBitmap::SetMonochrome(bool Value) {
  if (monochrome_ == Value) return;
  monochrome_ = Value;
  if (Value) {
    uint32_t key = static_cast<uint32_t>(ColorToRGB(canvas_->Brush()->Color()));
    key = ((key & 0xFF) << 16) | (key & 0xFF00) | ((key >> 16) & 0xFF);
    for (uint32_t& p : pixels_) p = (p & 0xFFFFFF) == key ? 0xFFFFFF : 0;
  }
  Changed(this);
}

TColor TBitmap::TransparentColor() const {
  if (transparent_mode_ == tmFixed) return transparent_color_;
  if (GetEmpty()) return clDefault;
  uint32_t p = ScanLine(height_ - 1)[0];
  return static_cast<TColor>(((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF));
}

void TBitmap::SetTransparentColor(TColor Value) {
  transparent_color_ = Value;
  transparent_mode_ = Value == clDefault ? tmAuto : tmFixed;
  Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (transparent_mode_ == Value) return;
  if (Value == tmFixed) transparent_color_ = TransparentColor();
  transparent_mode_ = Value;
  Changed(this);
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || GetEmpty()) return;
  HDC dst = ACanvas->Handle();
  if (!dst) return;
  if (!Transparent()) {
    dst->StretchBlt(Rect, *dc_, TRect{0, 0, width_, height_});
    return;
  }
  int dw = Rect.Width(), dh = Rect.Height();
  if (dw <= 0 || dh <= 0) return;
  TColor key = ColorToRGB(TransparentColor());
  for (int y = 0; y < dh; ++y) {
    int sy = static_cast<int>((int64_t{2} * y + 1) * height_ / (int64_t{2} * dh));
    for (int x = 0; x < dw; ++x) {
      int sx = static_cast<int>((int64_t{2} * x + 1) * width_ / (int64_t{2} * dw));
      TColor c = dc_->GetPixel(sx, sy);
      if (c == key) continue;
      dst->SetPixel(Rect.Left + x, Rect.Top + y, c);
    }
  }
}

void TBitmap::LoadFromStream(TStream& Stream) {
  int64_t start = Stream.Position();
  int64_t avail = Stream.Size() - start;
  if (avail < 14 + 12) Invalid();
  std::vector<uint8_t> data(static_cast<size_t>(std::min<int64_t>(avail, int64_t{512} << 20)));
  Stream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  const uint8_t* d = data.data();
  const size_t n = data.size();
  if (d[0] != 'B' || d[1] != 'M') Invalid();
  uint32_t offBits = Le32(d + 10);
  uint32_t hdr = Le32(d + 14);
  if (hdr < 12 || hdr > n - 14) Invalid();
  int32_t w, h;
  int bits;
  uint32_t compression = 0, clrUsed = 0;
  bool core = hdr == 12;
  if (core) {
    w = Le16(d + 18);
    h = static_cast<int16_t>(Le16(d + 20));
    bits = Le16(d + 24);
  } else {
    if (hdr < 40) Invalid();
    w = static_cast<int32_t>(Le32(d + 18));
    h = static_cast<int32_t>(Le32(d + 22));
    bits = Le16(d + 28);
    compression = Le32(d + 30);
    clrUsed = Le32(d + 46);
  }
  bool topDown = h < 0;
  if (h == INT32_MIN) Invalid();
  if (topDown) h = -h;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || int64_t{w} * h > kMaxPixels) Invalid();
  if (compression != 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32))
    Invalid();
  std::vector<RGBQUAD> table;
  if (bits <= 8) {
    uint32_t count = clrUsed ? clrUsed : (1u << bits);
    if (count > (1u << bits)) Invalid();
    size_t entry = core ? 3 : 4;
    size_t at = 14 + hdr;
    if (at + count * entry > n) Invalid();
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = d + at + i * entry;
      table.push_back(RGBQUAD{e[0], e[1], e[2], 0});
    }
  }
  size_t stride = ((static_cast<size_t>(w) * static_cast<size_t>(bits) + 31) / 32) * 4;
  if (offBits > n || stride * static_cast<size_t>(h) > n - offBits) Invalid();
  std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = d + offBits + stride * static_cast<size_t>(topDown ? y : h - 1 - y);
    uint32_t* out = px.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
    for (int32_t x = 0; x < w; ++x) {
      uint32_t v;
      switch (bits) {
        case 1:
          v = (row[x >> 3] >> (7 - (x & 7))) & 1;
          break;
        case 4:
          v = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
          break;
        case 8:
          v = row[x];
          break;
        case 24:
          out[x] = row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
          continue;
        default:
          out[x] = Le32(row + 4 * x) & 0xFFFFFF;
          continue;
      }
      out[x] = v < table.size() ? QuadToPixel(table[v]) : 0;
    }
  }
  // Only now is anything of the old picture replaced.
  Stream.Seek(start + offBits + static_cast<int64_t>(stride) * h, soBeginning);
  pixels_.swap(px);
  width_ = w;
  height_ = h;
  table_ = table;
  pixel_format_ = bits == 1    ? pf1bit
                  : bits == 4  ? pf4bit
                  : bits == 8  ? pf8bit
                  : bits == 24 ? pf24bit
                               : pf32bit;
  monochrome_ = bits == 1 && table.size() == 2 && QuadToPixel(table[0]) == 0 &&
                QuadToPixel(table[1]) == 0xFFFFFF;
  Rebind();
  Changed(this);
}

void TBitmap::SaveToStream(TStream& Stream) {
  int bits = BitsOf(pixel_format_);
  std::vector<RGBQUAD> table = table_;
  if (bits <= 8 && table.empty()) bits = 24;
  if (bits <= 8 && table.size() > (1u << bits)) table.resize(1u << bits);
  size_t stride = ((static_cast<size_t>(width_) * static_cast<size_t>(bits) + 31) / 32) * 4;
  uint32_t tableBytes = bits <= 8 ? static_cast<uint32_t>(table.size() * 4) : 0;
  uint32_t off = 14 + 40 + tableBytes;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, off + static_cast<uint32_t>(stride * static_cast<size_t>(height_)));
  Put32(out, 0);
  Put32(out, off);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width_));
  Put32(out, static_cast<uint32_t>(height_));
  Put16(out, 1);
  Put16(out, static_cast<uint16_t>(bits));
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(stride * static_cast<size_t>(height_)));
  Put32(out, 3780);
  Put32(out, 3780);
  Put32(out, bits <= 8 ? static_cast<uint32_t>(table.size()) : 0);
  Put32(out, 0);
  if (bits <= 8)
    for (const RGBQUAD& q : table) {
      out.push_back(q.rgbBlue);
      out.push_back(q.rgbGreen);
      out.push_back(q.rgbRed);
      out.push_back(0);
    }
  for (int32_t y = height_ - 1; y >= 0; --y) {
    std::vector<uint8_t> row(stride, 0);
    const uint32_t* in = ScanLine(y);
    for (int32_t x = 0; x < width_; ++x) {
      uint32_t p = in[x];
      uint8_t r = static_cast<uint8_t>(p >> 16), g = static_cast<uint8_t>(p >> 8),
              b = static_cast<uint8_t>(p);
      if (bits <= 8) {
        auto idx = static_cast<uint8_t>(
            GdiNearestIndex(table.data(), static_cast<int>(table.size()), r, g, b));
        if (bits == 1)
          row[x >> 3] |= static_cast<uint8_t>((idx & 1) << (7 - (x & 7)));
        else if (bits == 4)
          row[x >> 1] |= static_cast<uint8_t>((x & 1) ? (idx & 0x0F) : (idx << 4));
        else
          row[x] = idx;
      } else if (bits == 24) {
        row[3 * x] = b;
        row[3 * x + 1] = g;
        row[3 * x + 2] = r;
      } else {
        row[4 * x] = b;
        row[4 * x + 1] = g;
        row[4 * x + 2] = r;
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  Stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}

void TBitmap::LoadFromResourceName(const std::string& Name) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!FindResourceData(Name, data, size)) Raise<EResNotFound>("Resource %s not found", Name);
  TMemoryStream s(std::vector<uint8_t>(data, data + size));
  LoadFromStream(s);
}

void TBitmap::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    if (b == this) return;
    pixels_ = b->pixels_;
    width_ = b->width_;
    height_ = b->height_;
    table_ = b->table_;
    pixel_format_ = b->pixel_format_;
    monochrome_ = b->monochrome_;
    transparent_color_ = b->transparent_color_;
    transparent_mode_ = b->transparent_mode_;
    handle_type_ = b->handle_type_;
    SetTransparent(b->Transparent());
    Rebind();
    Changed(this);
    return;
  }
  if (!Source) {
    pixels_.clear();
    width_ = height_ = 0;
    Rebind();
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void RegisterBitmapGraphicClass() {
  if (FindGraphicClass("TBitmap")) return;
  RegisterGraphicClass("TBitmap", [] { return std::make_unique<TBitmap>(); });
  TPicture::RegisterFileFormat("bmp", "Bitmaps", "TBitmap");
}
