// Effects and scenery: explosions with their stretched overlay and flash,
// muzzle and impact flashes, splinters, smoke, asteroids and the tiled
// background layers of a level.
#include <algorithm>
#include <cmath>

#include "engine/directx/directx.h"
#include "framework/random.h"
#include "framework/sysutils.h"
#include "game/core/main_form.h"
#include "game/play/play.h"
#include "game/play/ship_common.h"

namespace {

bool InState(const char* State) {
  return GameState == State;
}

}  // namespace

// ---- explosions ---------------------------------------------------------------

void CreateExplosion(int32_t Z, const std::string& Name, double X, double Y,
                     const std::string& Mesh, int32_t Flash, int32_t PlaySound, int32_t SoundNo,
                     int32_t Pan) {
  if (PlaySound == 1) PlayEffect("explosion" + std::to_string(SoundNo), Pan);

  auto* blast = new TExplosionSprite(PlayRoot());
  SetPicture(blast, MainForm->ExplosionsList, Name);
  blast->X = X - blast->Width / 2;
  blast->Y = Y - blast->Height / 2;
  blast->SetZ(Z);
  StartAnimation(blast, 21, 0.025, false);

  auto* overlay = new TExplosionSprite(PlayRoot());
  SetPicture(overlay, MainForm->ExplosionsList, Mesh);
  // Width is drawn before height; the overlay always ends up larger than
  // its picture.
  overlay->Width = overlay->Width + Random(100) + 100;
  overlay->Height = overlay->Height + Random(100) + 100;
  overlay->X = X - overlay->Width / 2;
  overlay->Y = Y - overlay->Height / 2;
  overlay->SetZ(Z + 1);
  StartAnimation(overlay, 21, 0.02, false);

  if (Flash > 0) {
    FlashActive = true;
    FlashLevel = Flash;
  }
}

void TExplosionSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  // Outside play an explosion holds its last frame until play resumes.
  if (InState("game") && AnimPos >= 20) {
    MarkDead();
    CheckLevelComplete();
  }
}

// ---- muzzle and impact flashes ------------------------------------------------

void CreateShootFx(int32_t Z, const std::string& Name, double X, double Y, int32_t Frames,
                   double Speed, const std::string& Owner) {
  auto* fx = new TShootFxSprite(PlayRoot());
  SetPicture(fx, MainForm->FxList, Name);
  fx->X = X - fx->Width / 2;
  fx->Y = Y - fx->Height / 2;
  fx->SetZ(Z + 2);
  StartAnimation(fx, Frames, Speed, false);
  fx->Owner = Owner;
  fx->OffsetX = fx->X - (PrimaryMount ? PrimaryMount->X : 0);
}

void TShootFxSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (InState("mainmenu") || AnimPos >= AnimCount - 1) MarkDead();
  // A player's flash slides with the gun; once the gun is gone it stays.
  if (Owner == "player" && PrimaryMount) X = PrimaryMount->X + OffsetX;
}

void CreateClipExplosion(int32_t Z, const std::string& Name, double X, double Y, int32_t Frames,
                         double Speed) {
  auto* fx = new TClipExplosion(PlayRoot());
  SetPicture(fx, MainForm->WeaponsList, Name);
  fx->X = X - fx->Width / 2;
  fx->Y = Y - fx->Height;
  fx->SetZ(Z);
  StartAnimation(fx, Frames, Speed, false);
}

void TClipExplosion::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (AnimPos >= AnimCount - 1) MarkDead();
}

// ---- splinters and smoke ------------------------------------------------------

void CreateSplinters(int32_t Width, int32_t Height, double X, double Y, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) {
    auto* s = new TFxSprite(PlayRoot());
    SetPicture(s, MainForm->FxList, "splinter" + std::to_string(1 + Random(8)));
    s->X = X + Random(Width);
    s->Y = Y + Random(Height);
    s->SetZ(30);
    s->Angle = Random(256);
    s->Speed = 5 + Random(3);
    s->Kind = "splinter";
  }
}

TFxSprite::~TFxSprite() {
  if (ShipFire == this) ShipFire = nullptr;
  if (ExtraWeaponMount == this) ExtraWeaponMount = nullptr;
  for (TFxSprite*& flame : EngineFlames)
    if (flame == this) flame = nullptr;
}

void TFxSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (Kind == "splinter") {
    const auto a = static_cast<uint8_t>(Angle);
    X += CosineStep(a) * MoveCount / 8 * Speed;
    Y += SineStep(a) * MoveCount / 8 * Speed;
    if (GameOptions.Splinters == 2)
      CreatePixels("smoke", "pixel_smoke3", X + Width / 2 - 2.5, Y + Height - 5);
    if (Y > 650 || Y < -50 || X > 850 || X < -50) MarkDead();
  }
  if (InState("mainmenu")) MarkDead();
}

void CreatePixels(const std::string& Kind, const std::string& Picture, double X, double Y) {
  auto* p = new TPixelAnimationSprite(PlayRoot());
  SetPicture(p, MainForm->FxList, Picture);
  p->X = X;
  p->Y = Y;
  p->SetZ(13);
  StartAnimation(p, 50, 1.0 / 3, false);
  p->Kind = Kind;
}

void TPixelAnimationSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (!InState("mainmenu") && !InState("game")) MarkDead();
  if (Kind == "smoke") {
    X += (Random(19) - 9) / 5.0;
    Y -= MoveCount / 10.0;
  }
  if (AnimPos >= 49) MarkDead();
}

// ---- scenery ------------------------------------------------------------------

void LoadEpisode() {
  const TLevel& level =
      Episodes.at(static_cast<size_t>(std::clamp(CurrentMission, 0, MissionCount)))
          .Levels.at(static_cast<size_t>(std::clamp(CurrentLevel, 0, LevelsPerMission)));
  const bool boss = level.BossKind != 0;
  if (GameOptions.Asteroids) {
    for (int i = 1; i <= 16; ++i) {
      for (int n = 1; n <= 2; ++n) {
        auto* a = new TObjectSprite(PlayRoot());
        SetPicture(a, MainForm->ImageList, "asteroid" + std::to_string(n));
        a->X = Random(500) - 100 * i;
        a->AnimCount = 16;
        a->AnimLooped = true;
        a->AnimPos = 0;
        a->AnimStart = 0;
        const int32_t d = 1 + Random(5);
        a->Width = a->Width / d;
        a->Height = a->Height / d;
        a->Y = Random(600 - a->Width);
        if (boss) {
          a->Speed = 10.0 / (2 + Random(2));
          a->SetZ(-5);
        } else {
          a->Speed = 5.0 / (2 + Random(2));
          a->SetZ(-10);
        }
        a->AnimSpeed = a->Speed / 250;
        a->Angle = Round(CheckAngle(a->X, a->Y, 800, 1 + Random(600)) / 1.40625);
      }
    }
  }
  for (int i = 1; i <= BackgroundSlots; ++i) {
    const std::string& picture = level.Backgrounds[static_cast<size_t>(i)];
    if (picture.empty()) continue;
    auto* layer = new TBackMapSprite(PlayRoot());
    layer->SetMapSize(1, 1);
    SetPicture(layer, MainForm->BackGroundList, picture);
    layer->SetZ(i - 12);
    layer->Tile = true;
    layer->Speed = (i - 1) * 0.2;
    if (i == BackgroundSlots) layer->Speed = 0;
    layer->Kind = "back";
  }
}

void TObjectSprite::DoMove(int32_t MoveCount) {
  if (!MainForm->DXDraw->CanDraw()) return;
  TImageSprite::DoMove(MoveCount);
  if (InState("mainmenu")) MarkDead();
  if (InState("game")) {
    // Every asteroid drifts at one pace; Speed only sets its spin.
    const auto a = static_cast<uint8_t>(Angle);
    X += CosineStep(a) * MoveCount / 10;
    Y += SineStep(a) * MoveCount / 10;
    if (X >= 800) {
      Y = Random(600 - Width);
      X = -Random(600) - 200;
    }
  }
  if (InState("newlevel")) MarkDead();
}

void TBackMapSprite::DoMove(int32_t MoveCount) {
  TBackgroundSprite::DoMove(MoveCount);
  if (InState("mainmenu") || InState("topranks") || InState("newlevel")) MarkDead();
  if (InState("game")) {
    Y += MoveCount / 10.0 * Speed;
    if (Kind == "pausebg") MarkDead();
  }
  // The scenery rushes past while the ship rises into view.
  if (InState("ready")) Y += MoveCount / 3.0 * Speed;
}
