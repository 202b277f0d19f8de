// The heads-up display: its sprites and digits, the pilot's face with the
// radio voices, the statistics lines, and the move step that every interface
// sprite shares (doors, banner, door digits, face).
#include <string>

#include "framework/random.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"
#include "game/screens/screen_kit.h"

namespace {

const std::string kDashes(42, '-');

TInterFaceSprite* MakeDigit(const std::string& Picture, double X, double Y, bool Visible) {
  auto* s =
      MakeInterfaceSprite<TInterFaceSprite>(MainForm->InterFaceList, Picture, X, Y, 41, Visible);
  s->AnimCount = 11;
  s->AnimLooped = false;
  s->AnimStart = 0;
  s->AnimSpeed = 0;
  s->AnimPos = 0;
  return s;
}

void SetDigit(TInterFaceSprite* Digit, int Value) {
  if (Digit) Digit->AnimPos = Value;
}

// Two digits as the rockets and the extra time show them.
void ShowTwoDigits(const std::array<TInterFaceSprite*, 3>& Digits, int32_t Value) {
  if (Value > 9) {
    const std::string text = std::to_string(Value);
    SetDigit(Digits[1], text[0] - '0');
    SetDigit(Digits[2], text[1] - '0');
  } else {
    SetDigit(Digits[1], 0);
    SetDigit(Digits[2], Value > 0 ? Value : 0);
  }
}

std::string DifficultyLine() {
  switch (Player.Difficulty) {
    case 0:
      return "Difficulty: Easy";
    case 1:
      return "Difficulty: Normal";
    case 2:
      return "Difficulty: Hard";
    default:
      return "";
  }
}

void SetFacePicture(const std::string& Picture) {
  SetPicture(FaceSprite, MainForm->InterFaceList, Picture);
}

}  // namespace

void CreateHeadsUpDisplay() {
  TDXImageList* ui = MainForm->InterFaceList;
  LeftPanel = MakeInterfaceSprite<TInterFaceSprite>(ui, "leftpanel", -2, 0, 40, true);
  for (int i = 1; i <= 7; ++i)
    ScoreDigits[static_cast<size_t>(i)] = MakeDigit("scorefont2", 10 * i - 7, 212, true);
  for (int i = 1; i <= 2; ++i)
    MissionDigits[static_cast<size_t>(i)] = MakeDigit("scorefont3", 12 * i + 23, 473, false);
  for (int i = 1; i <= 2; ++i)
    LevelDigits[static_cast<size_t>(i)] = MakeDigit("scorefont3", 12 * i + 23, 526, false);
  FaceFx = MakeInterfaceSprite<TInterFaceSprite>(ui, "face_fx", 10, 536, 42, true);
  FaceFx->AnimCount = 10;
  FaceFx->AnimLooped = true;
  FaceFx->AnimSpeed = 1.0 / 35;
  FaceSprite = MakeInterfaceSprite<TInterFaceSprite>(ui, "face_empty", 10, 536, 41, true);
  FaceSprite->AnimCount = 40;
  FaceSprite->AnimLooped = true;
  FaceSprite->AnimSpeed = 0.02;
  PrimaryIcon = MakeInterfaceSprite<TInterFaceSprite>(
      ui, "primary" + std::to_string(Player.PrimaryLevel), 3, 40, 41, true);
  PrimaryIcon->Width = 32;
  PrimaryIcon->Height = 44;
  SecondaryIcon = MakeInterfaceSprite<TInterFaceSprite>(
      ui, Player.Rockets > 0 ? "secondary" + std::to_string(Player.SecondaryLevel) : "secondary0",
      3, 100, 41, true);
  for (int i = 1; i <= 2; ++i)
    RocketDigits[static_cast<size_t>(i)] = MakeDigit("scorefont", 11 * i, 134, true);
  ExtraWeaponIcon =
      MakeInterfaceSprite<TInterFaceSprite>(MainForm->BonusesList, "bonus5", 16, 154, 41, false);
  ExtraWeaponIcon->AnimCount = 10;
  ExtraWeaponIcon->AnimLooped = true;
  ExtraWeaponIcon->AnimSpeed = 0.0125;
  // No extra weapon runs yet: its seconds stay hidden until one does.
  for (int i = 1; i <= 2; ++i)
    ExtraTimeDigits[static_cast<size_t>(i)] = MakeDigit("scorefont", 11 * i + 5, 175, false);
  GodBar = MakeInterfaceSprite<TInterFaceSprite>(ui, "godindicator", 25, 226, 41, true);
  GodBar->Height = 0;
  GodBar->AnimCount = 10;
  GodBar->AnimLooped = true;
  GodBar->AnimSpeed = 0.02;
  SWeaponTextout();
}

void ScoresTextout(const std::string& Digits) {
  // Seven digits cannot hold a larger score; the counter stops at its top.
  const std::string shown = Digits.size() > 7 ? std::string(7, '9') : Digits;
  for (size_t i = 1; i <= 7 && i <= shown.size(); ++i) {
    const char c = shown[i - 1];
    SetDigit(ScoreDigits[i], c >= '0' && c <= '9' ? c - '0' : 10);
  }
}

void SWeaponTextout() {
  ShowTwoDigits(RocketDigits, Player.Rockets);
  if (Player.Rockets <= 0) SetPicture(SecondaryIcon, MainForm->InterFaceList, "secondary0");
}

void TWeaponTextout(int32_t Kind) {
  if (Kind != 1 && Kind != 2) return;
  const int32_t t = Kind == 1 ? Player.ExtraWeapon1Time : Player.ExtraWeapon2Time;
  const bool show = t > 0;
  ShowSprite(ExtraTimeDigits[1], show);
  ShowSprite(ExtraTimeDigits[2], show);
  ShowTwoDigits(ExtraTimeDigits, t);
}

void AnimAteFace(const std::string& Picture, int32_t FrameCount, double Speed, int32_t HoldTime,
                 bool Looped, const std::string&, int32_t Category) {
  if (!FaceSprite) return;
  if (Category < 1 || Category > 8) {
    SetFacePicture(Picture);
    FaceSprite->AnimSpeed = Speed;
    FaceSprite->AnimLooped = Looped;
    FaceSprite->AnimCount = FrameCount;
    FaceSprite->AnimPos = 0;
    FaceSprite->AnimStart = 0;
    FaceTime = HoldTime;
    return;
  }
  int v = 1;
  switch (Category) {
    case 1:
      v = 1 + Random(4);
      break;
    case 2:
    case 7:
    case 8:
      v = 1 + Random(3);
      break;
    case 3:
    case 6:
      v = 1 + Random(2);
      break;
    default:
      v = 1;
      break;
  }
  const auto c = static_cast<size_t>(Category);
  const auto vi = static_cast<size_t>(v);
  SetFacePicture(Picture);
  if (Picture == "face_speak")
    FaceSprite->AnimSpeed = VoiceAnimSpeed[c][vi];
  else if (Picture == "face_hit")
    FaceSprite->AnimSpeed = Speed;
  FaceSprite->AnimLooped = Looped;
  FaceSprite->AnimCount = FrameCount;
  FaceSprite->AnimPos = 0;
  FaceSprite->AnimStart = 0;
  if (Picture == "face_speak")
    FaceTime = VoiceDuration[c][vi];
  else if (Picture == "face_hit")
    FaceTime = HoldTime;

  if (GameOptions.RadioVoxLevel <= 0) return;
  int32_t pan = INT32_MIN;  // other channel settings keep the wave's own
  switch (GameOptions.Channels) {
    case 0:
      pan = 0;
      break;
    case 1:
      pan = -300;
      break;
    case 2:
      pan = 300;
      break;
    default:
      break;
  }
  PlayWave(MainForm->VoiceList, std::to_string(Category) + "b" + std::to_string(v),
           GameOptions.RadioVoxLevel * 200 - 2000, pan);
}

void UpdateStroka(int32_t Step, const std::string& Line1, const std::string& Line2,
                  const std::string& Line3, const std::string& Line4, const std::string& Line5,
                  const std::string& Line6, const std::string& Line7, const std::string& Line8) {
  const std::string* lines[8] = {&Line1, &Line2, &Line3, &Line4, &Line5, &Line6, &Line7, &Line8};
  const size_t step = Step > 0 ? static_cast<size_t>(Step) : 0;
  for (size_t k = 0; k < 8; ++k)
    if (lines[k]->size() >= step) MessageLines[k + 1] = lines[k]->substr(0, step);
}

void StatisticsLinesStep() {
  if ((GameState == "levelcomplete" || GameState == "gameover") && DoorTop && DoorTop->Y == 0 &&
      StatStep < 30) {
    ++StatStep;
    UpdateStroka(StatStep, DifficultyLine(), kDashes,
                 "Bonuses taken: " + std::to_string(Player.BonusesTaken) + "/" +
                     std::to_string(Player.BonusesTaken + Player.BonusesMissed),
                 "Enemies blasted: " + std::to_string(Player.EnemiesDestroyed), kDashes,
                 "Scores for level: " + std::to_string(Player.LevelScore),
                 "General scores: " + std::to_string(Player.Score), kDashes);
  } else if (GameState == "newlevel" && StatStep < 30) {
    ++StatStep;
    const int32_t slot = BestTimeSlot(CurrentMission, CurrentLevel);
    const int64_t best = slot >= 1 && slot <= 100 ? Player.BestTimes[static_cast<size_t>(slot)] : 0;
    const std::string blank(42, ' ');
    UpdateStroka(StatStep, "TIME", kDashes, "Level time: " + TranslateTime(Player.LevelTime, 0),
                 "Best level time: " + TranslateTime(best, 0), kDashes,
                 "Game time: " + TranslateTime(Player.GameTime, 1), blank, blank);
  }
}

// ---- the shared move step ---------------------------------------------------------------

void TInterFaceSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  const double L = MoveCount;
  const std::string& s = GameState;
  if (ReadyBanner) {
    if (s == "ready" && ReadyBanner->X > 154) {
      ReadyBanner->X -= L / 60;
      if (ReadyBanner->X < 154) ReadyBanner->X = 154;
    }
    if (s == "game") {
      if (ReadyBanner->X < 800) ReadyBanner->X += L * 0.02;
      if (ReadyBanner->X >= 800) {
        ReadyBanner->X = 800;
        ReadyBanner->Visible = false;
      }
    }
  }
  if (!DoorTop || !DoorBottom) return;
  if (s == "levelcomplete" || s == "ready" || s == "gameover" || s == "newlevel") {
    if (EpisodeDigit) EpisodeDigit->Y = DoorTop->Y + 145;
    if (MissionDigit) MissionDigit->Y = DoorTop->Y + 11;
    if (LevelDigit) LevelDigit->Y = DoorTop->Y + 50;
  }
  const double c = L / 95;
  if ((s == "levelcomplete" || s == "gameover") && DoorState == "open") {
    if (DoorTop->Y < 0) DoorTop->Y += c;
    if (DoorTop->Y >= 0) {
      DoorTop->Y = 0;
      if (s == "gameover") {
        ShowSprite(GameOverMainButton, true);
        ShowSprite(GameOverExitButton, true);
      }
    }
    if (DoorBottom->Y > 278) {
      DoorBottom->Y -= c;
      if (DoorBottom->Y < 278) DoorBottom->Y = 278;
    }
  }
  if (s == "ready" && DoorState == "close") {
    if (DoorTop->Y > -358) DoorTop->Y -= c;
    if (DoorTop->Y <= -358) {
      DoorTop->Y = -358;
      DoorTop->Visible = false;
    }
    if (DoorBottom->Y < 600) DoorBottom->Y += c;
    if (DoorBottom->Y >= 600) {
      DoorBottom->Y = 600;
      DoorBottom->Visible = false;
    }
  }
  if (FaceSprite &&
      (s == "game" || s == "levelcomplete" || s == "ready" || s == "gameover" || s == "pause")) {
    const std::string face = PictureName(FaceSprite);
    if ((face == "face_speak" && FaceTime <= 0) ||
        (face != "face_empty" && face != "face_speak" && AnimPos >= 39)) {
      SetFacePicture("face_empty");
      FaceSprite->AnimCount = 40;
      FaceSprite->AnimLooped = true;
      FaceSprite->AnimSpeed = 0.02;
      FaceSprite->AnimStart = 0;
    }
  }
}
