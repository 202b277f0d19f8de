#include "framework/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>

#include "framework/canvas.h"

namespace {

// Pictures beyond this many pixels are refused before libjpeg allocates its
// buffers for them.
constexpr uint64_t MaxJPEGPixels = uint64_t{1} << 26;

// libjpeg's own error handler ends the process; ours jumps back to the call
// that started the work, which then reports the error as an exception.
struct TJPEGError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJPEGError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void OutputMessage(j_common_ptr) {}

// Points libjpeg's error reporting at Err; the caller sets Err.jump.
jpeg_error_mgr* UseOurErrors(TJPEGError& Err) {
  jpeg_error_mgr* m = jpeg_std_error(&Err.pub);
  Err.pub.error_exit = ErrorExit;
  Err.pub.output_message = OutputMessage;
  Err.message[0] = 0;
  return m;
}

// After the jump back: hands libjpeg's message on and frees the half-done work.
bool Failed(j_common_ptr Work, const TJPEGError& Err, char* Message) {
  std::memcpy(Message, Err.message, JMSG_LENGTH_MAX);
  jpeg_destroy(Work);
  return false;
}

struct TDecoded {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Rows;
  size_t Consumed = 0;
};

// Only trivially destructible locals live here, so the jump back from
// libjpeg skips no destructor. Returns false with Message set on failure.
bool Decode(const uint8_t* Data, size_t Size, TDecoded* Out, char* Message) {
  jpeg_decompress_struct cinfo;
  TJPEGError err;
  cinfo.err = UseOurErrors(err);
  if (setjmp(err.jump)) return Failed(reinterpret_cast<j_common_ptr>(&cinfo), err, Message);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, Data, static_cast<unsigned long>(Size));
  jpeg_read_header(&cinfo, TRUE);
  if (static_cast<uint64_t>(cinfo.image_width) * cinfo.image_height > MaxJPEGPixels) {
    std::snprintf(Message, JMSG_LENGTH_MAX, "picture too large (%ux%u)", cinfo.image_width,
                  cinfo.image_height);
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  const int32_t w = static_cast<int32_t>(cinfo.output_width),
                h = static_cast<int32_t>(cinfo.output_height);
  const size_t pitch = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
  bool allocated = true;
  try {
    Out->Rows.assign(pitch * static_cast<size_t>(h), 0);
  } catch (...) {
    allocated = false;
  }
  if (!allocated) {
    std::snprintf(Message, JMSG_LENGTH_MAX, "out of memory");
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = Out->Rows.data() + pitch * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  Out->Width = w;
  Out->Height = h;
  Out->Consumed = Size - cinfo.src->bytes_in_buffer;
  jpeg_destroy_decompress(&cinfo);
  return true;
}

bool Encode(const uint8_t* Rows, int32_t Width, int32_t Height, size_t Pitch, int Quality,
            unsigned char** Buffer, unsigned long* Size, char* Message) {
  jpeg_compress_struct cinfo;
  TJPEGError err;
  cinfo.err = UseOurErrors(err);
  if (setjmp(err.jump)) return Failed(reinterpret_cast<j_common_ptr>(&cinfo), err, Message);
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, Buffer, Size);
  cinfo.image_width = static_cast<JDIMENSION>(Width);
  cinfo.image_height = static_cast<JDIMENSION>(Height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, Quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(Rows) + Pitch * cinfo.next_scanline;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

void TJPEGImage::LoadFromStream(TStream& Stream) {
  const int64_t start = Stream.Position();
  const int64_t left = Stream.Size() - start;
  if (left <= 0) Raise<EInvalidGraphic>("JPEG data is invalid (no data)");
  std::vector<uint8_t> data(static_cast<size_t>(left));
  data.resize(static_cast<size_t>(Stream.Read(data.data(), left)));
  TDecoded out;
  char message[JMSG_LENGTH_MAX] = {};
  if (!Decode(data.data(), data.size(), &out, message))
    Raise<EInvalidGraphic>("JPEG data is invalid (%s)", std::string(message));
  Stream.SetPosition(start + static_cast<int64_t>(out.Consumed));
  width_ = out.Width;
  height_ = out.Height;
  rows_ = std::move(out.Rows);
  Changed(this);
}

void TJPEGImage::SaveToStream(TStream& Stream) {
  if (GetEmpty()) Raise<EInvalidGraphic>("JPEG data is invalid (no picture)");
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  char message[JMSG_LENGTH_MAX] = {};
  const bool ok =
      Encode(rows_.data(), width_, height_, static_cast<size_t>(Pitch()),
             CompressionQuality < 1 ? 1 : (CompressionQuality > 100 ? 100 : CompressionQuality),
             &buffer, &size, message);
  std::unique_ptr<unsigned char, void (*)(void*)> hold(buffer, std::free);
  if (!ok) Raise<EInvalidGraphic>("JPEG data is invalid (%s)", std::string(message));
  Stream.WriteBuffer(buffer, static_cast<int64_t>(size));
}

void TJPEGImage::SetPixels(int32_t AWidth, int32_t AHeight, std::vector<uint8_t> Rows) {
  if (AWidth < 0 || AHeight < 0) Raise<EInvalidGraphic>("JPEG data is invalid (size)");
  const size_t pitch = (static_cast<size_t>(AWidth) * 3 + 3) & ~size_t{3};
  if (Rows.size() < pitch * static_cast<size_t>(AHeight))
    Raise<EInvalidGraphic>("JPEG data is invalid (size)");
  width_ = AWidth;
  height_ = AHeight;
  rows_ = std::move(Rows);
  Changed(this);
}

void TJPEGImage::Assign(TPersistent* Source) {
  if (auto* j = dynamic_cast<TJPEGImage*>(Source)) {
    if (j == this) return;
    width_ = j->width_;
    height_ = j->height_;
    rows_ = j->rows_;
    CompressionQuality = j->CompressionQuality;
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TJPEGImage::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || GetEmpty()) return;
  HDC dc = ACanvas->Handle();
  if (!dc) return;
  TDeviceContext source(rows_.data(), width_, height_, Pitch(), TGdiPixelFormat::RGB888(24));
  dc->StretchBlt(Rect, source, TRect{0, 0, width_, height_}, ACanvas->CopyMode);
}

void RegisterJPEGGraphicClass() {
  static const bool done = [] {
    RegisterGraphicClass("TJPEGImage", [] { return std::make_unique<TJPEGImage>(); });
    TPicture::RegisterFileFormat("jpeg", "JPEG Image File", "TJPEGImage");
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", "TJPEGImage");
    return true;
  }();
  (void)done;
}
