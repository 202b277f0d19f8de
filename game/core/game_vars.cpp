// Every game-wide variable declared in main_form.h, with its value as the
// program starts.
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"

TMainForm* MainForm = nullptr;

std::string GameState = "intro";
std::string PrevGameState;
TGameOptions GameOptions;
TBASSPlayer* MusicPlayer = nullptr;
std::string OverlayFont = "Impact";
int32_t CurrentMission = 1, CurrentEpisode = 1, CurrentLevel = 0;
int64_t DisplayedScore = 0;
int32_t IntroSeconds = 0;
int32_t ScreenFadeLevel = -200, ScreenFadeStep = 6;
bool FlashActive = false;
int32_t FlashLevel = 0;
int32_t ShakeCount = 0, ShakeAmplitude = 0;
int32_t CursorPulseStep = 5;
double ShipPrevX = 0;
bool ShipRemoved = true;
int32_t ContinueBlink = 0;
std::string CheatBuffer;
int32_t CheatCountdown = -10;
int64_t FaceTime = 0;
int32_t StatStep = 0;
bool BossDying = false;
int32_t BossDeathCountdown = 0;
bool ClickFlag = false, RightClickFlag = false;
int32_t MouseX = 0, MouseY = 0;
TCursorImage* CursorSprite = nullptr;
bool PathRecorderDone = true;
int32_t PathRecorderCount = 0;
std::array<int32_t, 401> RecordedPathX{}, RecordedPathY{};

TInterFaceSprite* GameOverMainButton = nullptr;
TInterFaceSprite* GameOverExitButton = nullptr;
TInterFaceSprite* PauseOverlay = nullptr;
TInterFaceSprite* PausePanel = nullptr;
TInterFaceSprite* PauseLaptop = nullptr;
TInterFaceSprite* PauseResumeButton = nullptr;
TInterFaceSprite* PauseMainButton = nullptr;
TInterFaceSprite* PauseExitButton = nullptr;
TInterFaceSprite* ReadyBanner = nullptr;
TInterFaceSprite* EpisodeDigit = nullptr;
TInterFaceSprite* MissionDigit = nullptr;
TInterFaceSprite* LevelDigit = nullptr;
TInterFaceSprite* BookBackground = nullptr;
TInterFaceSprite* IncomingMessage = nullptr;
TInterFaceSprite* BookCloseButton = nullptr;
TInterFaceSprite* BookArt = nullptr;
TInterFaceSprite* BookModel = nullptr;
TInterFaceSprite* BookFx = nullptr;
std::array<TInterFaceSprite*, 20> BookEntries{};
std::array<std::string, 20> BookEntryNames;
std::array<std::string, 20> BookEntryLitNames;
std::array<Trecords, 11> TopRanks;

TInterFaceSprite* BackdropSprite = nullptr;
TInterFaceSprite* DoorTop = nullptr;
TInterFaceSprite* DoorBottom = nullptr;
std::string DoorState = "opened";
TInterFaceSprite* ConfirmPanel = nullptr;
TInterFaceSprite* NameEntryPanel = nullptr;
bool GameCreated = false;
std::array<TInterFaceSprite*, 27> MenuButtons{};
TVolumeBar MusicBar, SoundBar, RadioVoxBar;
TInterFaceSprite* LeftPanel = nullptr;
std::array<TInterFaceSprite*, 8> ScoreDigits{};
std::array<TInterFaceSprite*, 3> MissionDigits{};
std::array<TInterFaceSprite*, 3> LevelDigits{};
TInterFaceSprite* FaceFx = nullptr;
TInterFaceSprite* FaceSprite = nullptr;
TInterFaceSprite* PrimaryIcon = nullptr;
TInterFaceSprite* SecondaryIcon = nullptr;
std::array<TInterFaceSprite*, 3> RocketDigits{};
TInterFaceSprite* ExtraWeaponIcon = nullptr;
std::array<TInterFaceSprite*, 3> ExtraTimeDigits{};
TInterFaceSprite* GodBar = nullptr;
std::array<std::string, 9> MessageLines;

const std::array<int32_t, 11> FlameOffsetsLeft = {0, 2, 2, 1, 1, 0, 0, 0, -1, -1, -2};
const std::array<int32_t, 11> FlameOffsetsRight = {0, 12, 12, 13, 13, 14, 15, 16, 16, 17, 17};

TPlayerSprite* PlayerShip = nullptr;
TPlayerWeaponSprite* PrimaryMount = nullptr;
TPlayerWeaponSprite* SecondaryMount = nullptr;
TFxSprite* ShipFire = nullptr;
std::array<TFxSprite*, 3> EngineFlames{};
TFxSprite* ExtraWeaponMount = nullptr;
std::array<TPlayerSpriteCollision*, 4> ShipHitBoxes{};
double PrimaryCounter = 0;
int32_t DeathCountdown = -10;
bool FireLocked = false;
int32_t EnemiesAlive = 0, EnemyCount = 0;
int32_t HitEnemy = -1;
TEnemyTable<double> EnemyX(0), EnemyY(0);
TEnemyTable<int32_t> EnemyWidth(0), EnemyHeight(0);
TEnemyTable<bool> EnemyDestroyed(false);
int32_t BossPartsAlive = 0;
double BossBaseX = 0, BossBaseY = 0;
int32_t BonusesInFlight = 0;
std::array<bool, 9> BonusKindFalling{};

void ForgetPlaySprite(TSprite* Sprite) {
  if (!Sprite) return;
  auto forget = [Sprite](auto*& Pointer) {
    if (static_cast<TSprite*>(Pointer) == Sprite) Pointer = nullptr;
  };
  forget(PlayerShip);
  forget(PrimaryMount);
  forget(SecondaryMount);
  forget(ShipFire);
  forget(EngineFlames[1]);
  forget(EngineFlames[2]);
  forget(ExtraWeaponMount);
  for (int i = 1; i <= 3; ++i) forget(ShipHitBoxes[i]);
  forget(CursorSprite);
}

void ForgetGameSprites() {
  PlayerShip = nullptr;
  PrimaryMount = SecondaryMount = nullptr;
  ShipFire = ExtraWeaponMount = nullptr;
  EngineFlames = {};
  ShipHitBoxes = {};
  CursorSprite = nullptr;
  for (TInterFaceSprite** s : {&GameOverMainButton,
                               &GameOverExitButton,
                               &PauseOverlay,
                               &PausePanel,
                               &PauseLaptop,
                               &PauseResumeButton,
                               &PauseMainButton,
                               &PauseExitButton,
                               &ReadyBanner,
                               &EpisodeDigit,
                               &MissionDigit,
                               &LevelDigit,
                               &BookBackground,
                               &IncomingMessage,
                               &BookCloseButton,
                               &BookArt,
                               &BookModel,
                               &BookFx,
                               &BackdropSprite,
                               &DoorTop,
                               &DoorBottom,
                               &ConfirmPanel,
                               &NameEntryPanel,
                               &LeftPanel,
                               &FaceFx,
                               &FaceSprite,
                               &PrimaryIcon,
                               &SecondaryIcon,
                               &ExtraWeaponIcon,
                               &GodBar})
    *s = nullptr;
  BookEntries = {};
  MenuButtons = {};
  ScoreDigits = {};
  MissionDigits = {};
  LevelDigits = {};
  RocketDigits = {};
  ExtraTimeDigits = {};
  MusicBar = SoundBar = RadioVoxBar = TVolumeBar();
}
