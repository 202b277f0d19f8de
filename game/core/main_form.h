// The game's one window. The main form owns every component and every
// game-wide variable, and its event handlers are the only entry points into
// the game: create, show and close, the frame timer's tick, the window
// timers, the key handler and the display's mouse events. Screens, level flow
// and play sprites change the shared state below directly.
//
// The game is built by areas, each with its own section here: core (form,
// start-up, frame loop, timers, settings and records), screens (menus, HUD,
// keys, intro, pause, book), ship (ship, weapons, bonuses, effects), enemies
// (enemies, bosses, enemy fire) and flow (level flow). Play routines and the
// play sprite classes are in game/play/play.h.
//
// Arrays indexed from 1 keep an unused element 0, so indices read as the
// numbers the game uses (row 1..10, enemy number 1..10000).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/directx/dxclass.h"
#include "engine/draw/dxdraws.h"
#include "engine/draw/pictures.h"
#include "engine/input/input.h"
#include "engine/sound/dxsound.h"
#include "engine/sound/wavelist.h"
#include "engine/sprite/dx_sprite_engine.h"
#include "framework/extctrls.h"
#include "framework/stdctrls.h"
#include "framework/sysutils.h"
#include "game/core/enemy_table.h"
#include "game/core/mission_table.h"
#include "game/options/game_options.h"

class TBASSPlayer;
class TInterFaceSprite;
class TCursorImage;
class TProgressSprite;
class TPlayerSprite;
class TPlayerWeaponSprite;
class TPlayerSpriteCollision;
class TFxSprite;
class TEnemyShoot;
class TBonusSprite;
struct TVolumeBar;

class TMainForm : public TDXForm {
 public:
  TAL_CLASS_NAME(TMainForm)
  explicit TMainForm(TComponent* AOwner);
  ~TMainForm() override;

  // ---- core ---------------------------------------------------------------
  TDXDraw* DXDraw = nullptr;
  TDXTimer* DXTimer = nullptr;
  TDXSpriteEngine* DXSpriteEngine = nullptr;
  TDXInput* DXInput = nullptr;
  TDXSound* DXSound = nullptr;
  TDXImageList* ImageList = nullptr;  // "graphic\data.dan"; its colours are the palette
  TDXImageList* ModelsList = nullptr;
  TDXImageList* ExplosionsList = nullptr;
  TDXImageList* WeaponsList = nullptr;
  TDXImageList* FxList = nullptr;
  TDXImageList* BackGroundList = nullptr;
  TDXImageList* InterFaceList = nullptr;
  TDXImageList* BonusesList = nullptr;
  TDXImageList* VideoList = nullptr;
  TDXImageList* BookList = nullptr;
  TDXImageList* MainList = nullptr;       // never loaded
  TDXWaveList* DXWaveList = nullptr;      // "sound\snd.tor": effects
  TDXWaveList* VoiceList = nullptr;       // "sound\vc.tor": radio voices
  TDXWaveList* IntroWaveList = nullptr;   // never loaded
  TTimer* PixelAnimationTimer = nullptr;  // 1 ms
  TTimer* Timer1 = nullptr;               // 10 ms
  TTimer* WayPathTimer = nullptr;         // 20 ms
  TTimer* ScoreTimer = nullptr;           // 40 ms
  TTimer* Timer_stat = nullptr;           // 50 ms
  TTimer* playerFX = nullptr;             // 200 ms
  TTimer* PlayerDeathTimer = nullptr;     // 550 ms
  TTimer* VideoTimer = nullptr;           // 1000 ms
  TEdit* Edit1 = nullptr;                 // the typed top-ten name
  TMemo* Memo1 = nullptr;                 // the path recorder's output

  DDGAMMARAMP OriginalGammaRamp{};
  bool FontInstalled = false;
  // Start-up ended the program (after telling the player why); the program
  // then shows no window and leaves with a failure status.
  bool StartUpFailed = false;

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void OpenMusic(const std::string& FileName);
  void UpdateBrightness(int Level);
  void DXTimerTimer(TObject* Sender, int LagCount);
  void DXTimerActivate(TObject* Sender);
  void DXTimerDeactivate(TObject* Sender);
  void DXDrawInitialize(TObject* Sender);
  void DXDrawFinalize(TObject* Sender);
  void DXDrawInitializeSurface(TObject* Sender);
  void DXDrawRestoreSurface(TObject* Sender);
  // The form's resize: opens the pause menu during play.
  void TConstrainedResizeEvent(TObject* Sender);
  void DXDrawClick(TObject* Sender);
  void TimerTimer(TObject* Sender);
  void TrackBar1Change(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  void PixelAnimationTimerTimer(TObject* Sender);
  void ScoreTimerTimer(TObject* Sender);
  void Timer_statTimer(TObject* Sender);
  void playerFXTimer(TObject* Sender);
  void VideoTimerTimer(TObject* Sender);
  void WayPathTimerTimer(TObject* Sender);
  void LoadFont(const std::string& FileName);
  void CloseFont(const std::string& FileName);
  void LoadSounds();

 private:
  void CreateInterfaceSprites();
  void FailStartUp();
  void DrawOverlays(TCanvas* Canvas);
  void BankShip();

 public:
  // ---- screens ------------------------------------------------------------
  void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);

  // ---- ship ---------------------------------------------------------------
  void PlayerDeathTimerTimer(TObject* Sender);
  void DXDrawMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void DXDrawMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void DXDrawMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);

  // ---- enemies, flow: no handlers of their own ----------------------------
};

extern TMainForm* MainForm;

// One line of the texts the frame writes over the sprites, in the overlay
// font.
struct TOverlayText {
  int X = 0, Y = 0;
  std::string Text;
  int Size = 10;  // points
  TColor Color = clBlack;
};
// The lines the current screen writes over its sprites, in the order they
// are drawn.
std::vector<TOverlayText> OverlayTexts();

// What the game program does once the platform runs: the game's tables, the
// application's title and the main form, whose start-up runs as it is made.
TMainForm* CreateGame();

// =========================================================================
// core: game-wide variables of the form
// =========================================================================
extern std::string GameState;
extern std::string PrevGameState;
extern TGameOptions GameOptions;
extern TBASSPlayer* MusicPlayer;
extern std::string OverlayFont;
extern int32_t CurrentMission, CurrentEpisode, CurrentLevel;
extern int64_t DisplayedScore;
extern int32_t IntroSeconds;
extern int32_t ScreenFadeLevel, ScreenFadeStep;
extern bool FlashActive;
extern int32_t FlashLevel;
extern int32_t ShakeCount, ShakeAmplitude;
extern int32_t CursorPulseStep;
extern double ShipPrevX;
extern bool ShipRemoved;
extern int32_t ContinueBlink;
extern std::string CheatBuffer;
extern int32_t CheatCountdown;
extern int64_t FaceTime;
extern int32_t StatStep;
extern bool BossDying;
extern int32_t BossDeathCountdown;
extern bool ClickFlag, RightClickFlag;
extern int32_t MouseX, MouseY;
extern TCursorImage* CursorSprite;
extern bool PathRecorderDone;
extern int32_t PathRecorderCount;
extern std::array<int32_t, 401> RecordedPathX, RecordedPathY;

// Interface sprites made at start-up.
extern TInterFaceSprite* GameOverMainButton;
extern TInterFaceSprite* GameOverExitButton;
extern TInterFaceSprite* PauseOverlay;
extern TInterFaceSprite* PausePanel;
extern TInterFaceSprite* PauseLaptop;
extern TInterFaceSprite* PauseResumeButton;
extern TInterFaceSprite* PauseMainButton;
extern TInterFaceSprite* PauseExitButton;
extern TInterFaceSprite* ReadyBanner;
extern TInterFaceSprite* EpisodeDigit;
extern TInterFaceSprite* MissionDigit;
extern TInterFaceSprite* LevelDigit;
extern TInterFaceSprite* BookBackground;
extern TInterFaceSprite* IncomingMessage;
extern TInterFaceSprite* BookCloseButton;
extern TInterFaceSprite* BookArt;
extern TInterFaceSprite* BookModel;
extern TInterFaceSprite* BookFx;
extern std::array<TInterFaceSprite*, 20> BookEntries;  // 1..19
// Picture names of the book entries and their hovered pictures (at most 20
// characters each), 1..19.
extern std::array<std::string, 20> BookEntryNames;
extern std::array<std::string, 20> BookEntryLitNames;

// The top-ten table, row 1 the best.
struct Trecords {
  std::string Name;
  int64_t Score = 0;
};
extern std::array<Trecords, 11> TopRanks;  // 1..10

// =========================================================================
// core: settings file, records and best times
// =========================================================================
// game.INI in the program folder.
std::string IniFileName();
std::string ReadIniValue(const std::string& Section, const std::string& Ident);
void WriteIniValue(const std::string& Section, const std::string& Ident, const std::string& Value);
void LoadIniFile();
// One key of game.INI and the text it holds.
struct TIniEntry {
  std::string Section, Ident, Value;
};
// What a full save writes, key by key in the order it writes them.
std::vector<TIniEntry> IniFileEntries();
void SaveIniFile();
void AbsoluteClose();
void UpdateRecords(bool Insert);
void ClearRecords();
void UpdateTime();
// The best-time slot of a level: (Mission - 1) * 10 + Level, 1..100; 0 for
// none (level 0, or a position outside the table).
int32_t BestTimeSlot(int32_t Mission, int32_t Level);
std::string TranslateTime(int64_t Seconds, int Mode);
// The enemy book's [eB] value: 19 fields of two digits. Reading drops fields
// that are not types 1..19 or repeat an earlier one, and closes the gaps.
void ReadEnemyBook(const std::string& Text);
std::string EnemyBookText();
// Adds a destroyed enemy's type to the book when it is not there yet and a
// place is free, shows it as the newest entry and writes [eB] at once; false
// when nothing changed.
bool EnterEnemyBook(int32_t Type);
// Asks the desktop to open FileName when it exists.
void OpenShellFile(const std::string& FileName);
// The move step's lag for a frame: scaled down on easy (0) and up on hard
// (2); -1 for any other difficulty, which freezes every sprite.
int32_t ScaledLag(int32_t LagCount, int32_t Difficulty);
// The gamma ramp for a brightness level (50 leaves Original as it is).
DDGAMMARAMP BrightnessRamp(const DDGAMMARAMP& Original, int Level);
// The rolling score as shown: at least seven digits, leading zeros.
std::string ScoreDigitsText(int64_t Score);
// The roll-up step towards a score Gap points ahead.
int64_t ScoreStep(int64_t Gap);
// Clears every game-wide pointer to Sprite, which is going away.
void ForgetPlaySprite(TSprite* Sprite);
// Clears every game-wide sprite pointer (the sprite engine is going away).
void ForgetGameSprites();
// Plays a wave of DXWaveList at the effect level (nothing at level 0), with
// the pan of the channel setting.
void PlayEffect(const std::string& Name, int32_t Pan);

// =========================================================================
// screens: menus, HUD and face, keys and intro, pause and book
// =========================================================================
void CreateMainMenu();
void HideShowMainMenu(bool Show);
void HideShowOptions(bool Show);
void HideShowSoundOptions(bool Show);
void HideShowGraphicOptions(bool Show);
void HideShowControlsOptions(bool Show);
void HideShowChooseEpisode(bool Show);
void HideShowChooseMission(bool Show, int32_t Episode);
void HideShowTopRanks(bool Show);
void HideShowCredits(bool Show);
void HideShowHelp(bool Show);
void ShowDKdifficulty(bool Show);
void ShowDKmessage(bool Show);
void GoToMainMenu();
void gotovictory();
void GoToEnterName();
void ScoresTextout(const std::string& Digits);
void SWeaponTextout();
void TWeaponTextout(int32_t Kind);
void AnimAteFace(const std::string& Picture, int32_t FrameCount, double Speed, int32_t HoldTime,
                 bool Looped, const std::string& Caption, int32_t Category);
void UpdateStroka(int32_t Step, const std::string& Line1, const std::string& Line2,
                  const std::string& Line3, const std::string& Line4, const std::string& Line5,
                  const std::string& Line6, const std::string& Line7, const std::string& Line8);
void Death();
void ShowPauseMenu();
void HidePauseMenu();
void HideShowBook(bool Show, int32_t Row);
// The one-second timer's intro script, and the 50-ms timer's statistics
// lines; the form's timers call them at their place in the tick.
void IntroScriptStep();
void StatisticsLinesStep();
// The heads-up display's sprites, in their order; NewGame makes them.
void CreateHeadsUpDisplay();
// Puts a control mode (1 mouse, 2 keyboard, 3 joystick) into force on the
// input devices; wherever the mode changes, this is what applies it.
void ApplyControls(int32_t Mode);

extern TInterFaceSprite* BackdropSprite;
extern TInterFaceSprite* DoorTop;
extern TInterFaceSprite* DoorBottom;
extern std::string DoorState;
extern TInterFaceSprite* ConfirmPanel;
extern TInterFaceSprite* NameEntryPanel;
extern bool GameCreated;
extern std::array<TInterFaceSprite*, 27> MenuButtons;  // 1..26
// The buttons of MenuButtons by number.
enum TMenuButton : int {
  mbNewGame = 1,
  mbTopRanks = 2,
  mbOptions = 3,
  mbHelp = 4,
  mbCredits = 5,
  mbExitGame = 6,
  mbBack = 7,
  mbSoundOptions = 8,
  mbGraphicOptions = 9,
  mbControlsOptions = 10,
  mbMouse = 11,  // 11..13 by control mode
  mbEpisode1 = 14,
  mbEpisode2 = 15,
  mbMission1 = 16,  // 16..20
  mbOk = 21,
  mbCancel = 22,
  mbClear = 23,
  mbEasy = 24,  // 24..26 by difficulty
  mbNormal = 25,
  mbHard = 26,
};
extern TVolumeBar MusicBar, SoundBar, RadioVoxBar;
extern TProgressSprite* BrightnessMinus;
extern TProgressSprite* BrightnessPlus;
// Heads-up display, made by NewGame.
extern TInterFaceSprite* LeftPanel;
extern std::array<TInterFaceSprite*, 8> ScoreDigits;    // 1..7
extern std::array<TInterFaceSprite*, 3> MissionDigits;  // 1..2
extern std::array<TInterFaceSprite*, 3> LevelDigits;    // 1..2
extern TInterFaceSprite* FaceFx;
extern TInterFaceSprite* FaceSprite;
extern TInterFaceSprite* PrimaryIcon;
extern TInterFaceSprite* SecondaryIcon;
extern std::array<TInterFaceSprite*, 3> RocketDigits;  // 1..2
extern TInterFaceSprite* ExtraWeaponIcon;
extern std::array<TInterFaceSprite*, 3> ExtraTimeDigits;  // 1..2
extern TInterFaceSprite* GodBar;
extern std::array<std::string, 9> MessageLines;  // 1..8

// =========================================================================
// play variables, shared by the ship, enemy and flow areas
// =========================================================================
constexpr int MaxEnemyNumber = 10000;
constexpr int32_t HitTestLimit = 1000;

// A table of the enemies' hit boxes by enemy number. It grows to every
// number a level makes, since a boss fight keeps making enemies for as long
// as it lasts; a number below 0 or beyond any level's reach raises
// EListError instead of writing elsewhere.
template <class T>
class TEnemyTable {
 public:
  explicit TEnemyTable(T Initial) : items_(MaxEnemyNumber + 1, Store(Initial)) {}
  auto& operator[](int32_t Number) {
    if (Number < 0 || Number > kLimit) Raise<EListError>("Enemy number %d out of range", Number);
    const auto n = static_cast<size_t>(Number);
    if (n >= items_.size()) items_.resize(std::max(n + 1, items_.size() * 2), fill_);
    return items_[n];
  }
  // The highest number held; numbers above it have never been written.
  int32_t Last() const { return static_cast<int32_t>(items_.size()) - 1; }
  // Every number, held or not, to Value.
  void Clear(T Value) {
    fill_ = Store(Value);
    items_.assign(MaxEnemyNumber + 1, fill_);
  }

 private:
  static constexpr int32_t kLimit = 10'000'000;
  using TStore = std::conditional_t<std::is_same_v<T, bool>, uint8_t, T>;
  static TStore Store(T Value) { return static_cast<TStore>(Value); }
  TStore fill_{};
  std::vector<TStore> items_;
};
constexpr double ShipSpeed = 0.5;
extern const std::array<int32_t, 11> FlameOffsetsLeft;   // 1..10
extern const std::array<int32_t, 11> FlameOffsetsRight;  // 1..10

extern TPlayerSprite* PlayerShip;
extern TPlayerWeaponSprite* PrimaryMount;
extern TPlayerWeaponSprite* SecondaryMount;
extern TFxSprite* ShipFire;
extern std::array<TFxSprite*, 3> EngineFlames;  // 1..2
extern TFxSprite* ExtraWeaponMount;
extern std::array<TPlayerSpriteCollision*, 4> ShipHitBoxes;  // 1..3
extern double PrimaryCounter;
extern int32_t DeathCountdown;
extern bool FireLocked;
extern int32_t EnemiesAlive, EnemyCount;
extern int32_t HitEnemy;
extern TEnemyTable<double> EnemyX, EnemyY;
extern TEnemyTable<int32_t> EnemyWidth, EnemyHeight;
extern TEnemyTable<bool> EnemyDestroyed;
extern int32_t BossPartsAlive;
extern double BossBaseX, BossBaseY;
extern int32_t BonusesInFlight;
extern std::array<bool, 9> BonusKindFalling;  // 1..8

// =========================================================================
// ship: form-unit routines
// =========================================================================
void PlayerHit(TEnemyShoot* Shot);
void TakeBonus(TBonusSprite* Bonus);
// The level-complete test: nothing left to shoot, catch or count up, so
// the level-complete screen opens. The score roll-up, explosions and
// bonuses all make it through this one routine.
void CheckLevelComplete();
// Puts the mounts, flames, fire and extra-weapon mount in their places around
// the ship, as the ship's move step does (the pause menu needs it at once).
void PlaceShipAttachments();

// enemies and flow: see game/play/play.h
