#include "platform/dinput/keytable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>

#include "platform/dinput/input_host.h"

namespace {

// SDL scancodes (USB usage codes) used below.
constexpr int kA = 4, kK = 14, kQ = 20, kDigit1 = 30, kDigit0 = 39, kMinus = 45, kEquals = 46,
              kLeftBracket = 47, kBackslash = 49, kNonUsHash = 50, kSemicolon = 51,
              kApostrophe = 52, kGrave = 53, kComma = 54, kPeriod = 55, kSlash = 56, kRight = 79,
              kUp = 82, kKpMultiply = 85, kKpEnter = 88, kKp8 = 96, kDelete = 76, kLShift = 225,
              kRShift = 229;

TEST(KeyTable, KeysGiveTheirScanCodesAndVirtualKeys) {
  struct Case {
    int sdl;
    int scan;
    int vk;
  } cases[] = {
      {kA, 30, 'A'},
      {kK, 37, 'K'},
      {kQ, 16, 'Q'},
      {kDigit1, 2, '1'},
      {kDigit0, 11, '0'},
      {kUp, 200, VK_UP},
      {kRight, 205, VK_RIGHT},
      {kDelete, 211, VK_DELETE},
      {kKp8, 72, VK_NUMPAD0 + 8},
      {kKpEnter, 156, VK_RETURN},
      {kLShift, 42, VK_SHIFT},
      {kRShift, 54, VK_SHIFT},
      // Punctuation reports the OEM codes of key messages.
      {kMinus, 12, VK_OEM_MINUS},
      {kEquals, 13, VK_OEM_PLUS},
      {kLeftBracket, 26, VK_OEM_4},
      {kBackslash, 43, VK_OEM_5},
      {kNonUsHash, 43, VK_OEM_5},
      {kSemicolon, 39, VK_OEM_1},
      {kApostrophe, 40, VK_OEM_7},
      {kGrave, 41, VK_OEM_3},
      {kComma, 51, VK_OEM_COMMA},
      {kPeriod, 52, VK_OEM_PERIOD},
      {kSlash, 53, VK_OEM_2},
      {kKpMultiply, 55, VK_MULTIPLY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sdl);
    EXPECT_EQ(SdlToScanCode(c.sdl), c.scan);
    EXPECT_EQ(SdlToVirtualKey(c.sdl), c.vk);
    EXPECT_EQ(ScanCodeToVirtualKey(c.scan), c.vk);
  }
}

// A key chosen by its key message must be the key the scan-code path sees:
// one scan code gives one virtual key, and no two physical keys of the
// table share a virtual key unless they are the same kind of key.
TEST(KeyTable, ScanAndMessagePathsAgreeForEveryKey) {
  std::map<int, std::set<int>> vkToScans;
  for (const auto& k : KeyTable()) {
    SCOPED_TRACE(k.Name);
    EXPECT_EQ(ScanCodeToVirtualKey(k.Scan), k.VirtualKey);
    vkToScans[k.VirtualKey].insert(k.Scan);
  }
  // Apostrophe, period and the brackets no longer alias Right, Delete and
  // the Windows keys.
  EXPECT_EQ(vkToScans[VK_RIGHT], (std::set<int>{205}));
  EXPECT_EQ(vkToScans[VK_DELETE], (std::set<int>{211}));
  EXPECT_EQ(vkToScans[VK_LWIN], (std::set<int>{219}));
  EXPECT_EQ(vkToScans[VK_RWIN], (std::set<int>{220}));
  EXPECT_EQ(vkToScans[VK_APPS], (std::set<int>{221}));
}

TEST(KeyTable, UnknownCodesGiveNothing) {
  for (int code : {-1, 0, 84, 255, 256, 1000}) EXPECT_EQ(ScanCodeToVirtualKey(code), 0) << code;
  for (int code : {-5, 0, 3, 511, 512, 100000}) {
    EXPECT_EQ(SdlToScanCode(code), 0) << code;
    EXPECT_EQ(SdlToVirtualKey(code), 0) << code;
  }
}

TEST(InputHost, SharedScanCodeStaysDownWhileEitherKeyIs) {
  TInputHost host;
  host.KeyDown(kBackslash);
  host.KeyDown(kNonUsHash);
  host.KeyDown(kBackslash);  // auto-repeat changes nothing
  host.KeyUp(kBackslash);
  EXPECT_EQ(host.ScanKeys()[43], 0x80);
  host.KeyUp(kNonUsHash);
  EXPECT_EQ(host.ScanKeys()[43], 0);
  host.KeyUp(kNonUsHash);  // a release without a press
  EXPECT_EQ(host.ScanKeys()[43], 0);
}

TEST(Letterbox, WindowPointsLandOnThePicture) {
  struct Case {
    int ww, wh;
    TLetterbox box;
    int wx, wy, lx, ly;
  } cases[] = {
      // Same size: identity.
      {800, 600, {0, 0, 800, 600}, 799, 599, 799, 599},
      // Wide desktop: bars left and right.
      {1920, 1080, {240, 0, 1440, 1080}, 240, 0, 0, 0},
      {1920, 1080, {240, 0, 1440, 1080}, 960, 540, 400, 300},
      {1920, 1080, {240, 0, 1440, 1080}, 1679, 1079, 799, 599},
      // On a bar the pointer stays on the picture's edge.
      {1920, 1080, {240, 0, 1440, 1080}, 10, 500, 0, 277},
      {1920, 1080, {240, 0, 1440, 1080}, 1900, 500, 799, 277},
      // However far off the window a point lies.
      {1920, 1080, {240, 0, 1440, 1080}, INT32_MIN, INT32_MAX, 0, 599},
      // Tall desktop: bars above and below.
      {1280, 1024, {0, 32, 1280, 960}, 640, 32, 400, 0},
      {1280, 1024, {0, 32, 1280, 960}, 640, 1020, 400, 599},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ww << "x" << c.wh << " at " << c.wx << "," << c.wy);
    TLetterbox b = ComputeLetterbox(c.ww, c.wh, 800, 600);
    EXPECT_EQ(b.X, c.box.X);
    EXPECT_EQ(b.Y, c.box.Y);
    EXPECT_EQ(b.W, c.box.W);
    EXPECT_EQ(b.H, c.box.H);
    int lx = -1, ly = -1;
    WindowToLogical(b, 800, 600, c.wx, c.wy, lx, ly);
    EXPECT_EQ(lx, c.lx);
    EXPECT_EQ(ly, c.ly);
  }
  // A window of no size maps nothing.
  int lx = 5, ly = 5;
  WindowToLogical(ComputeLetterbox(0, 0, 800, 600), 800, 600, 10, 10, lx, ly);
  EXPECT_EQ(lx, 0);
  EXPECT_EQ(ly, 0);
}

}  // namespace
