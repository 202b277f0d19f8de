#include "platform/dinput/keytable.h"

#include <array>

namespace {

// Punctuation keys carry the OEM virtual-key codes that key messages report
// for them (a US layout), never the character code: 39 is the Right key and
// 46 is Delete, so a character code would alias another key.
constexpr TKeyTableEntry kKeys[] = {
    {41, 1, 27, "Esc"},
    {30, 2, '1', "1"},
    {31, 3, '2', "2"},
    {32, 4, '3', "3"},
    {33, 5, '4', "4"},
    {34, 6, '5', "5"},
    {35, 7, '6', "6"},
    {36, 8, '7', "7"},
    {37, 9, '8', "8"},
    {38, 10, '9', "9"},
    {39, 11, '0', "0"},
    {45, 12, 189, "-"},
    {46, 13, 187, "="},
    {42, 14, 8, "Backspace"},
    {43, 15, 9, "Tab"},
    {20, 16, 'Q', "Q"},
    {26, 17, 'W', "W"},
    {8, 18, 'E', "E"},
    {21, 19, 'R', "R"},
    {23, 20, 'T', "T"},
    {28, 21, 'Y', "Y"},
    {24, 22, 'U', "U"},
    {12, 23, 'I', "I"},
    {18, 24, 'O', "O"},
    {19, 25, 'P', "P"},
    {47, 26, 219, "["},
    {48, 27, 221, "]"},
    {40, 28, 13, "Enter"},
    {224, 29, 17, "Ctrl"},
    {4, 30, 'A', "A"},
    {22, 31, 'S', "S"},
    {7, 32, 'D', "D"},
    {9, 33, 'F', "F"},
    {10, 34, 'G', "G"},
    {11, 35, 'H', "H"},
    {13, 36, 'J', "J"},
    {14, 37, 'K', "K"},
    {15, 38, 'L', "L"},
    {51, 39, 186, ";"},
    {52, 40, 222, "'"},
    {53, 41, 192, "`"},
    {225, 42, 16, "Shift"},
    {49, 43, 220, "\\"},
    {29, 44, 'Z', "Z"},
    {27, 45, 'X', "X"},
    {6, 46, 'C', "C"},
    {25, 47, 'V', "V"},
    {5, 48, 'B', "B"},
    {17, 49, 'N', "N"},
    {16, 50, 'M', "M"},
    {54, 51, 188, ","},
    {55, 52, 190, "."},
    {56, 53, 191, "/"},
    {229, 54, 16, "Right Shift"},
    {85, 55, 106, "Num *"},
    {226, 56, 18, "Alt"},
    {44, 57, 32, "Space"},
    {57, 58, 20, "Caps Lock"},
    {58, 59, 112, "F1"},
    {59, 60, 113, "F2"},
    {60, 61, 114, "F3"},
    {61, 62, 115, "F4"},
    {62, 63, 116, "F5"},
    {63, 64, 117, "F6"},
    {64, 65, 118, "F7"},
    {65, 66, 119, "F8"},
    {66, 67, 120, "F9"},
    {67, 68, 121, "F10"},
    {83, 69, 144, "Num Lock"},
    {71, 70, 145, "Scroll Lock"},
    {95, 71, 103, "Num 7"},
    {96, 72, 104, "Num 8"},
    {97, 73, 105, "Num 9"},
    {86, 74, 109, "Num -"},
    {92, 75, 100, "Num 4"},
    {93, 76, 101, "Num 5"},
    {94, 77, 102, "Num 6"},
    {87, 78, 107, "Num +"},
    {89, 79, 97, "Num 1"},
    {90, 80, 98, "Num 2"},
    {91, 81, 99, "Num 3"},
    {98, 82, 96, "Num 0"},
    {99, 83, 110, "Num Del"},
    {100, 86, 226, "<"},  // the extra key of the ISO layouts
    {68, 87, 122, "F11"},
    {69, 88, 123, "F12"},
    {88, 156, 13, "Num Enter"},
    {228, 157, 17, "Right Ctrl"},
    {84, 181, 111, "Num /"},
    {70, 183, 44, "Print Screen"},
    {230, 184, 18, "Right Alt"},
    {72, 197, 19, "Pause"},
    {74, 199, 36, "Home"},
    {82, 200, 38, "Up"},
    {75, 201, 33, "Page Up"},
    {80, 203, 37, "Left"},
    {79, 205, 39, "Right"},
    {77, 207, 35, "End"},
    {81, 208, 40, "Down"},
    {78, 209, 34, "Page Down"},
    {73, 210, 45, "Insert"},
    {76, 211, 46, "Delete"},
    {227, 219, 91, "Left Windows"},
    {231, 220, 92, "Right Windows"},
    {101, 221, 93, "Application"},
    // The key beside Enter on ISO layouts reports the backslash key's codes.
    {50, 43, 220, "\\"},
};

struct TLookups {
  std::array<uint8_t, 512> sdlScan{};
  std::array<uint8_t, 512> sdlVk{};
  std::array<uint8_t, 256> scanVk{};
  TLookups() {
    for (const auto& k : kKeys) {
      sdlScan[k.Sdl] = k.Scan;
      sdlVk[k.Sdl] = k.VirtualKey;
      if (scanVk[k.Scan] == 0) scanVk[k.Scan] = k.VirtualKey;
    }
  }
};

const TLookups& Lookups() {
  static const TLookups l;
  return l;
}

}  // namespace

std::span<const TKeyTableEntry> KeyTable() {
  return kKeys;
}

uint8_t SdlToScanCode(int SdlScancode) {
  if (SdlScancode < 0 || SdlScancode >= 512) return 0;
  return Lookups().sdlScan[static_cast<size_t>(SdlScancode)];
}

uint8_t SdlToVirtualKey(int SdlScancode) {
  if (SdlScancode < 0 || SdlScancode >= 512) return 0;
  return Lookups().sdlVk[static_cast<size_t>(SdlScancode)];
}

uint8_t ScanCodeToVirtualKey(int ScanCode) {
  if (ScanCode < 0 || ScanCode > 255) return 0;
  return Lookups().scanVk[static_cast<size_t>(ScanCode)];
}


uint8_t SideVirtualKey(int SdlScancode) {
  switch (SdlScancode) {
    case 224:
      return VK_LCONTROL;
    case 225:
      return VK_LSHIFT;
    case 226:
      return VK_LMENU;
    case 228:
      return VK_RCONTROL;
    case 229:
      return VK_RSHIFT;
    case 230:
      return VK_RMENU;
    default:
      return 0;
  }
}
