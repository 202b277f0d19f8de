// The settings both programs keep in game.INI: [Options] and the four
// configurable keys of [Keys]. One table holds every key with its default,
// the value a missing or malformed key takes (the setup program's starting
// choices); the game's settings record is filled from it.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/win/vkeys.h"

class TMemIniFile;

struct TGameOptions {
  int32_t SoundFxLevel = 8;
  int32_t MusicLevel = 8;
  int32_t RadioVoxLevel = 8;
  int32_t Channels = 0;  // 0 mono, 1 stereo, 2 reversed stereo
  bool RocketSmoke = true;
  int32_t Brightness = 50;
  int32_t Splinters = 2;
  // The control mode in force (0 while control is taken away) and the one
  // chosen, which comes back into Controls when control returns.
  int32_t Controls = 1;
  int32_t SavedControls = 1;
  int32_t Bumpiness = 1;
  // Not in the file: always on.
  bool Asteroids = true;
  bool PageFlip = true;
  bool FPS = false;
  bool UDI = false;
};

// Windows virtual-key codes of the keyboard's left, right, fire and rocket
// states (slot 0 of each in the key-assignment table). These are the game's
// own keys: its form starts with them, and the setup program offers them
// where game.INI holds none.
struct TGameKeys {
  int32_t Left = VK_LEFT;
  int32_t Right = VK_RIGHT;
  int32_t Primary = VK_SPACE;
  int32_t Secondary = VK_SHIFT;
};

// The keys, in the order the setup program reads and writes them.
enum TOptionKeyIndex : int {
  okUDI,
  okFPS,
  okRocketSmoke,
  okBrightness,
  okSoundFxLevel,
  okMusicLevel,
  okRadioVoxLevel,
  okChannels,
  okSplinters,
  okControls,
  okBumpiness,
  okLeft,
  okRight,
  okPrimary,
  okSecondary,
  OptionKeyCount
};

struct TOptionKey {
  const char* Section;
  const char* Ident;
  int32_t Default;
};
extern const std::array<TOptionKey, OptionKeyCount> OptionKeys;

// One number per key, by TOptionKeyIndex.
using TOptionValues = std::array<int32_t, OptionKeyCount>;
TOptionValues DefaultOptionValues();

// A stored number: a signed 32-bit integer as the framework converts it;
// false for anything else (then the key takes its default).
bool ParseOptionValue(const std::string& Text, int32_t& Value);

// A key that took its default: missing, or with a Text that is not a number.
struct TOptionFault {
  TOptionKeyIndex Key;
  bool Missing;
  std::string Text;
};

// Every key as stored, or its default when missing or malformed; Faults,
// when given, gets those keys in reading order.
TOptionValues ReadOptionValues(const TMemIniFile& Ini, std::vector<TOptionFault>* Faults = nullptr);
TOptionValues ReadOptionValues(const std::string& FileName);
// Puts the given keys into Ini (in memory), numbers in decimal.
void WriteOptionValues(TMemIniFile& Ini, const TOptionValues& Values,
                       std::initializer_list<TOptionKeyIndex> Keys);
// Writes all the keys, replacing the file once and keeping every other line.
// Raises EIniFileException "Unable to write to %s" when it cannot.
void WriteOptionValues(const std::string& FileName, const TOptionValues& Values);

// The game's reading of the values into its record: UDI and FPS take 0 and
// 1 and leave the flag for other numbers; RocketSmoke is set by any number
// but 0; Controls goes into SavedControls too. Asteroids and PageFlip are
// always on.
void ApplyOptionValues(const TOptionValues& Values, TGameOptions& Options, TGameKeys& Keys);
// The record as the values it is stored as (flags as 0 and 1).
TOptionValues OptionValuesOf(const TGameOptions& Options, const TGameKeys& Keys);

// The [Options] keys the game writes, in the order it writes them.
inline constexpr std::initializer_list<TOptionKeyIndex> GameWrittenOptionKeys = {
    okBrightness, okSoundFxLevel, okMusicLevel, okRadioVoxLevel, okChannels,
    okSplinters,  okRocketSmoke,  okControls,   okBumpiness};
