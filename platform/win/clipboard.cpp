#include "platform/win/clipboard.h"

#include <map>

namespace {
struct TClipboard {
  bool open = false;
  std::map<uint16_t, TClipboardData> formats;
};
TClipboard& Clipboard() {
  static TClipboard c;
  return c;
}
}  // namespace

bool OpenClipboard() {
  if (Clipboard().open) return false;
  Clipboard().open = true;
  return true;
}

bool CloseClipboard() {
  if (!Clipboard().open) return false;
  Clipboard().open = false;
  return true;
}

bool EmptyClipboard() {
  if (!Clipboard().open) return false;
  Clipboard().formats.clear();
  return true;
}

bool SetClipboardData(uint16_t Format, TClipboardData Data) {
  if (!Clipboard().open) return false;
  Clipboard().formats[Format] = std::move(Data);
  return true;
}

TClipboardData GetClipboardData(uint16_t Format) {
  if (!Clipboard().open) return nullptr;
  auto it = Clipboard().formats.find(Format);
  return it == Clipboard().formats.end() ? nullptr : it->second;
}

bool IsClipboardFormatAvailable(uint16_t Format) {
  return Clipboard().formats.count(Format) != 0;
}
