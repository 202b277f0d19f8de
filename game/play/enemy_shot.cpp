// Enemy fire: aimed shots and rings, bursts, the twelve ways a shot flies,
// and the glow that travels with it.
#include <algorithm>
#include <cmath>

#include "framework/sysutils.h"
#include "game/core/main_form.h"
#include "game/play/enemy_common.h"
#include "game/play/play.h"

double CheckAngle(double X1, double Y1, double X2, double Y2) {
  const long double dx = static_cast<long double>(X2) - X1;
  const long double dy = static_cast<long double>(Y2) - Y1;
  const long double d = std::sqrt(dx * dx + dy * dy);
  // Two equal points have no direction; down is as good as any.
  if (!(d > 0) || !std::isfinite(d)) return 90;
  const long double ratio = std::min<long double>(std::fabs(dy) / d, 1);
  const long double a = std::asin(ratio) * 57.295779513082320877L;
  long double result;
  if (X1 >= X2)
    result = dy > 0 ? 180 - a : 180 + a;
  else
    result = dy > 0 ? a : -a;
  return static_cast<double>(result);
}

namespace {

// Burst length and the pause after it, by movement pattern.
struct TBurst {
  int32_t Shots;
  int32_t Pause;
};

bool BurstOf(const TEnemySprite& Enemy, TBurst& Burst) {
  switch (Enemy.Info.Pattern) {
    case 3:
      Burst = {1, -210};
      return true;
    case 4:
      if (!Enemy.Image() || Enemy.Image()->Name() != "enemy11") return false;
      Burst = {1, -200};
      return true;
    case 5:
      Burst = {6, -120};
      return true;
    case 9:
      Burst = {2, -300};
      return true;
    case 11:
      Burst = {1, -250};
      return true;
    default:
      return false;
  }
}

int32_t ToStep(double Degrees) {
  return Round(Degrees / 1.40625);
}

}  // namespace

void TEnemySprite::Shoot(int32_t Kind) {
  if (GameState != "game" || BossDying) return;
  FireTimer = 0;
  TBurst burst{};
  if (BurstOf(*this, burst)) {
    if (BurstCount < burst.Shots) {
      ++BurstCount;
    } else {
      FireTimer = burst.Pause;
      BurstCount = 0;
    }
  }
  if (Info.FireFrames != 0) {
    AnimPos = 0;
    AnimStart = 0;
    AnimCount = Info.FireFrames;
    AnimSpeed = Info.FireSpeed;
  }

  TSpriteEngine* engine = MainForm->DXSpriteEngine->Engine();
  TPictureCollectionItem* shotPicture = MainForm->WeaponsList->Items().Find(Info.Shot);
  TPictureCollectionItem* glowPicture = MainForm->FxList->Items().Find(Info.Glow);
  const double w = Width, h = Height;

  auto muzzle = [&] {
    CreateShootFx(Z(), Info.Muzzle, X + w / 2, Y + h, Info.MuzzleFrames, Info.MuzzleSpeed, "");
  };
  auto shot = [&](double ShotX, double ShotY, bool Centred, int32_t Angle, bool Aimed) {
    auto* s = new TEnemyShoot(engine);
    s->SetImage(shotPicture);
    s->X = Centred ? ShotX - s->Width / 2.0 : ShotX;
    s->Y = Centred ? ShotY - s->Height / 2.0 : ShotY;
    s->SetZ(Z() - 1);
    s->Angle = Angle;
    if (Aimed) {
      if (PlayerShip)
        s->Angle = ToStep(CheckAngle(s->X, s->Y, PlayerShip->X + PlayerShip->Width / 2.0,
                                     PlayerShip->Y + PlayerShip->Height / 2.0));
      else
        s->Angle = 64;
    }
    s->Pattern = ShotPattern != 0 ? ShotPattern : Info.Pattern;
    if (Info.ShotAnimated) LoopAnimation(s, Info.ShotFrames, Info.ShotAnimSpeed);
    s->Speed = Info.ShotSpeed;
    return s;
  };
  auto glow = [&](double GlowX) {
    auto* g = new TEnemyFxSprite(engine);
    g->SetImage(glowPicture);
    g->X = GlowX;
    g->Y = Y + h;
    g->SetZ(Z());
    if (Info.GlowFrames > 0) LoopAnimation(g, Info.GlowFrames, Info.GlowSpeed);
    return g;
  };

  if (Kind == 1) {
    muzzle();
    TEnemyShoot* s = shot(X + w / 2 - shotPicture->Width() / 2.0, Y + h, false, 0, true);
    s->Glow = glow(X + w / 2 - glowPicture->Width() / 2.0);
  } else if (Kind == 2) {
    for (int i = 1; i <= 8; ++i) {
      muzzle();
      TEnemyShoot* s = shot(X + w / 2, Y + h / 2, true, 32 * (i - 1), false);
      // The ring's glows are placed by the glow's height, as they always were.
      s->Glow = glow(X + w / 2 - glowPicture->Height());
    }
  }
}

void TEnemyShoot::DoMove(int32_t MoveCount) {
  const double m = MoveCount;
  if (!MainForm->DXDraw->CanDraw()) return;
  TImageSprite::DoMove(MoveCount);
  auto die = [this] {
    MarkDead();
    if (Glow) Glow->MarkDead();
  };
  if (GameState == "mainmenu") {
    MarkDead();
    return;
  }
  if (GameState == "newlevel" || GameState == "levelcomplete") {
    die();
    return;
  }
  if (GameState != "game") return;

  PixelCheck = true;
  auto homeIn = [this] {
    if (!PlayerShip) return;
    Angle = ToStep(CheckAngle(X, Y, PlayerShip->X + PlayerShip->Width / 2,
                              PlayerShip->Y + PlayerShip->Height / 2));
  };
  auto cosine = [this] { return CosineStep(static_cast<uint8_t>(Angle)); };
  auto sine = [this] { return SineStep(static_cast<uint8_t>(Angle)); };
  switch (Pattern) {
    case 1:
      Y += m / 50 * Speed;
      Speed += m / 100;
      break;
    case 2:
    case 9:
      Y += Speed * m / 5;
      break;
    case 3:
      Speed += m / 150;
      Y += m / 50 * Speed;
      break;
    case 4:
      Speed += m / 400;
      homeIn();
      Y += m / 10 * Speed;
      X += cosine() * m / 20 * Speed;
      Y += sine() * m / 20 * Speed;
      break;
    case 5:
      if (Image() && Image()->Name() == "enemy8clip") {
        Speed += m / 65;
      } else {
        Speed += m / 400;
        homeIn();
        Y += m / 16 * Speed;
      }
      X += cosine() * m / 40 * Speed;
      Y += sine() * m / 40 * Speed;
      break;
    case 6:
    case 7:
    case 10:
    case 12:
      Speed += m / 100;
      X += cosine() * m / 100 * Speed;
      Y += sine() * m / 100 * Speed;
      break;
    case 8:
      Speed += m / 80;
      X += cosine() * m / 70 * Speed;
      Y += sine() * m / 70 * Speed;
      break;
    case 11:
      Speed += m / 100;
      Y += m / 45 * Speed;
      break;
    default:
      break;
  }
  if (Glow) Glow->Y = Y - Glow->Height + Glow->Height / 4;
  if (Y > 600 || X > 800 || X < 0 || Y < -100) die();
}

void TEnemyFxSprite::DoMove(int32_t MoveCount) {
  TImageSprite::DoMove(MoveCount);
  if (GameState == "mainmenu") MarkDead();
}
