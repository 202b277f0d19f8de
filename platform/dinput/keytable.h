// The one table of keys shared by both programs: every physical key with its
// SDL scancode (the USB usage code), its DirectInput scan code (set-1 code,
// 0x80 added for the extended keys) and its Windows virtual-key code.
//
// Key messages carry the virtual-key code, the DirectInput keyboard reports
// scan codes, and the key-assignment table stores virtual-key codes; taking
// all three from one row is what makes a key chosen in the setup program the
// key that works in the game.
#pragma once

#include <cstdint>
#include <span>

#include "platform/win/vkeys.h"

struct TKeyTableEntry {
  uint16_t Sdl;        // SDL scancode (USB HID keyboard usage)
  uint8_t Scan;        // DirectInput scan code
  uint8_t VirtualKey;  // Windows virtual-key code
  const char* Name;    // what the key is, for whoever reads the table
};

// Every row of the table, in scan-code order of the main block first.
std::span<const TKeyTableEntry> KeyTable();

// 0 for a key the table does not know.
uint8_t SdlToScanCode(int SdlScancode);
uint8_t SdlToVirtualKey(int SdlScancode);
// The virtual-key code of a DirectInput scan code; 0 (never pressed) for a
// code no key produces.
uint8_t ScanCodeToVirtualKey(int ScanCode);

// The side-specific code (VK_LSHIFT...) a modifier key also sets in the
// keyboard state, or 0.
uint8_t SideVirtualKey(int SdlScancode);
