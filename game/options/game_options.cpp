#include "game/options/game_options.h"

#include "framework/inifiles.h"
#include "framework/sysutils.h"

const std::array<TOptionKey, OptionKeyCount> OptionKeys = {{
    {"Options", "UDI", 0},
    {"Options", "FPS", 0},
    {"Options", "RocketSmoke", 1},
    {"Options", "Brightness", 50},
    {"Options", "SoundFxLevel", 8},
    {"Options", "MusicLevel", 8},
    {"Options", "RadioVoxLevel", 8},
    {"Options", "Channels", 0},
    {"Options", "Splinters", 2},
    {"Options", "Controls", 1},
    {"Options", "Bumpiness", 1},
    {"Keys", "Left", TGameKeys{}.Left},
    {"Keys", "Right", TGameKeys{}.Right},
    {"Keys", "Primary", TGameKeys{}.Primary},
    {"Keys", "Secondary", TGameKeys{}.Secondary},
}};

TOptionValues DefaultOptionValues() {
  TOptionValues v{};
  for (int i = 0; i < OptionKeyCount; ++i) v[i] = OptionKeys[i].Default;
  return v;
}

bool ParseOptionValue(const std::string& Text, int32_t& Value) {
  int v;
  if (!TryStrToInt(Text, v)) return false;
  Value = v;
  return true;
}

TOptionValues ReadOptionValues(const TMemIniFile& Ini, std::vector<TOptionFault>* Faults) {
  TOptionValues v = DefaultOptionValues();
  for (int i = 0; i < OptionKeyCount; ++i) {
    const TOptionKey& k = OptionKeys[static_cast<size_t>(i)];
    const bool present = Ini.ValueExists(k.Section, k.Ident);
    const std::string text = present ? Ini.ReadString(k.Section, k.Ident, "") : std::string();
    if (present && ParseOptionValue(text, v[static_cast<size_t>(i)])) continue;
    if (Faults) Faults->push_back({static_cast<TOptionKeyIndex>(i), !present, text});
  }
  return v;
}

TOptionValues ReadOptionValues(const std::string& FileName) {
  return ReadOptionValues(TMemIniFile(FileName));
}

void WriteOptionValues(TMemIniFile& Ini, const TOptionValues& Values,
                       std::initializer_list<TOptionKeyIndex> Keys) {
  for (TOptionKeyIndex k : Keys)
    Ini.WriteString(OptionKeys[k].Section, OptionKeys[k].Ident, IntToStr(Values[k]));
}

void WriteOptionValues(const std::string& FileName, const TOptionValues& Values) {
  TMemIniFile ini(FileName);
  WriteOptionValues(
      ini, Values,
      {okUDI, okFPS, okRocketSmoke, okBrightness, okSoundFxLevel, okMusicLevel, okRadioVoxLevel,
       okChannels, okSplinters, okControls, okBumpiness, okLeft, okRight, okPrimary, okSecondary});
  ini.UpdateFile();
}

void ApplyOptionValues(const TOptionValues& Values, TGameOptions& Options, TGameKeys& Keys) {
  auto flag01 = [](int32_t v, bool& flag) {
    if (v == 0) flag = false;
    if (v == 1) flag = true;
  };
  flag01(Values[okUDI], Options.UDI);
  Options.Asteroids = true;
  Options.PageFlip = true;
  flag01(Values[okFPS], Options.FPS);
  Options.Brightness = Values[okBrightness];
  Options.SoundFxLevel = Values[okSoundFxLevel];
  Options.MusicLevel = Values[okMusicLevel];
  Options.RadioVoxLevel = Values[okRadioVoxLevel];
  Options.Channels = Values[okChannels];
  Options.Splinters = Values[okSplinters];
  Options.RocketSmoke = Values[okRocketSmoke] != 0;
  Options.Controls = Values[okControls];
  Options.SavedControls = Values[okControls];
  Options.Bumpiness = Values[okBumpiness];
  Keys.Left = Values[okLeft];
  Keys.Right = Values[okRight];
  Keys.Primary = Values[okPrimary];
  Keys.Secondary = Values[okSecondary];
}

TOptionValues OptionValuesOf(const TGameOptions& Options, const TGameKeys& Keys) {
  TOptionValues v{};
  v[okUDI] = Options.UDI ? 1 : 0;
  v[okFPS] = Options.FPS ? 1 : 0;
  v[okRocketSmoke] = Options.RocketSmoke ? 1 : 0;
  v[okBrightness] = Options.Brightness;
  v[okSoundFxLevel] = Options.SoundFxLevel;
  v[okMusicLevel] = Options.MusicLevel;
  v[okRadioVoxLevel] = Options.RadioVoxLevel;
  v[okChannels] = Options.Channels;
  v[okSplinters] = Options.Splinters;
  v[okControls] = Options.Controls;
  v[okBumpiness] = Options.Bumpiness;
  v[okLeft] = Keys.Left;
  v[okRight] = Keys.Right;
  v[okPrimary] = Keys.Primary;
  v[okSecondary] = Keys.Secondary;
  return v;
}
