// The clipboard, kept inside the process: data blocks by format number, as
// the programs expect of the window system's clipboard.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// A block of clipboard memory. The clipboard and whoever put or took the data
// share it.
using TClipboardData = std::shared_ptr<std::vector<uint8_t>>;

// Opening fails (false) while the clipboard is already open.
bool OpenClipboard();
bool CloseClipboard();
// Removes every format; only while open.
bool EmptyClipboard();
// Stores Data under Format, replacing what was there; only while open.
bool SetClipboardData(uint16_t Format, TClipboardData Data);
// The data under Format, or nullptr; only while open.
TClipboardData GetClipboardData(uint16_t Format);
bool IsClipboardFormatAvailable(uint16_t Format);
