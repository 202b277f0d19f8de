// Enemies: how a level's enemies are made, and each enemy's step: damage,
// death, its hit box for the player's shots, its movement and when it fires.
#include <cmath>
#include <cstdlib>

#include "framework/random.h"
#include "framework/sysutils.h"
#include "game/core/main_form.h"
#include "game/play/enemy_common.h"
#include "game/play/play.h"
#include "game/screens/interface_sprite.h"

int32_t CurrentBossKind() {
  if (CurrentMission < 1 || CurrentMission > MissionCount || CurrentLevel < 1 ||
      CurrentLevel > LevelsPerMission)
    return 0;
  return Episodes[static_cast<size_t>(CurrentMission)]
      .Levels[static_cast<size_t>(CurrentLevel)]
      .BossKind;
}

int32_t StartPathIndex(int32_t Index) {
  if (Index <= 0) return 0;
  if (Index < WayPathPoints) return Index;
  return (Index - 1) % (WayPathPoints - 1) + 1;
}

namespace {

// Where the path-flying patterns start: PathIndex = Step × EA while EA is at
// most Limit, else Step × EA - Back, on path Path.
struct TStartRule {
  int32_t Pattern, Path, Step, Limit, Back;
};
constexpr TStartRule kStartRules[] = {
    {2, 1, 22, 14, 330}, {9, 1, 22, 14, 330}, {3, 3, 15, 19, 300},  {4, 2, 15, 19, 300},
    {6, 4, 20, 14, 300}, {7, 5, 40, 7, 320},  {10, 6, 30, 12, 390}, {11, 7, 30, 12, 390},
};

const TStartRule* StartRuleOf(int32_t Pattern) {
  for (const TStartRule& r : kStartRules)
    if (r.Pattern == Pattern) return &r;
  return nullptr;
}

// The formulas of the difficulty table use extended-precision multipliers;
// long double keeps the same roundings.
int32_t RoundL(long double v) {
  return ToInt32(static_cast<double>(std::nearbyintl(v)));
}

// A type first destroyed enters the book, with the message and its sound.
void BookNewType(int32_t Type) {
  if (!EnterEnemyBook(Type)) return;
  if (IncomingMessage) IncomingMessage->Visible = true;
  PlayEffect("message", -200);
}

}  // namespace

void SetEnemyBox(int32_t Number, double X, double Y, int32_t Width, int32_t Height) {
  EnemyX[Number] = X;
  EnemyY[Number] = Y;
  EnemyWidth[Number] = Width;
  EnemyHeight[Number] = Height;
}

void SetEnemyDestroyed(int32_t Number, bool Destroyed) {
  EnemyDestroyed[Number] = Destroyed;
}

TFxSprite* MakeHealthBar() {
  auto* bar = new TFxSprite(PlayRoot());
  SetPicture(bar, MainForm->FxList, "showhealth");
  bar->X = 0;
  bar->Y = 0;
  bar->SetZ(35);
  bar->Visible = false;
  return bar;
}

int32_t ExplosionPan(double X) {
  return Trunc(X * 2.5) - 1000;
}

std::string MeshName() {
  return "mesh" + std::to_string(1 + Random(2));
}

void LoadEnemies(int32_t Level) {
  EnemyCount = 0;
  EnemiesAlive = 0;
  if (CurrentMission < 1 || CurrentMission > MissionCount || Level < 1 || Level > LevelsPerMission)
    return;
  const TLevel& L =
      Episodes[static_cast<size_t>(CurrentMission)].Levels[static_cast<size_t>(Level)];

  if (L.BossKind != 0) {
    ++EnemyCount;
    CreateBoss(10, EnemyCount, 0, 0, -25, -15);
    SetEnemyDestroyed(EnemyCount, true);
    const std::vector<TBossPartPlace>& parts = BossPartsOf(L.BossKind);
    for (size_t i = 0; i < parts.size(); ++i) {
      ++EnemyCount;
      CreateBoss(12, EnemyCount, static_cast<int32_t>(i) + 1, parts[i].Kind, parts[i].X,
                 parts[i].Y);
      SetEnemyDestroyed(EnemyCount, false);
    }
  }

  for (int r = 1; r <= WaveRows; ++r)
    for (int c = 1; c <= WaveColumns; ++c) {
      const int32_t t = L.Waves[static_cast<size_t>(r)][static_cast<size_t>(c)];
      if (t == 0) continue;
      ++EnemyCount;
      CreateEnemy(20, t, c * 80, r * 60, EnemyCount, false, true);
      SetEnemyDestroyed(EnemyCount, false);
    }

  for (int r = 1; r <= FormationRows; ++r)
    for (int c = 1; c <= FormationColumns; ++c) {
      const int32_t t = L.Formation[static_cast<size_t>(r)][static_cast<size_t>(c)];
      if (t == 0) continue;
      ++EnemyCount;
      CreateEnemy(20, t, c * 58 + 32, r * 50 - 45, EnemyCount, false, true);
      SetEnemyDestroyed(EnemyCount, false);
    }
}

void CreateEnemy(int32_t Z, int32_t EnemyType, double X, double Y, int32_t Number, bool Spawned,
                 bool WithPoints) {
  if (EnemyType < 1 || EnemyType > EnemyTypeCount) return;
  const TEnemyType& row = EnemyTypes[static_cast<size_t>(EnemyType)];

  auto* e = new TEnemySprite(PlayRoot());
  ++EnemiesAlive;
  const int32_t ea = EnemiesAlive;
  e->Phase = 0;
  e->HealthBar = MakeHealthBar();

  SetPicture(e, MainForm->ModelsList, row.Model);
  e->X = X;
  e->Y = Y;
  e->SetZ(Z);

  const int32_t pattern = row.Info.Pattern;
  if (pattern == 2 && Spawned) {
    // Sent in by a boss: it joins path 1 from where it was sent.
    e->PathIndex = X < 420 ? 62 : X > 420 ? 124 : 0;
    e->X = X - e->Width / 2.0;
    e->SetZ(8);
  } else if (const TStartRule* rule = StartRuleOf(pattern)) {
    int32_t index = ea <= rule->Limit ? rule->Step * ea : rule->Step * ea - rule->Back;
    if (pattern == 7 && Spawned) {
      index = 0;
      e->X = X - e->Width / 2.0;
      e->SetZ(8);
    }
    e->PathIndex = StartPathIndex(index);
    if (e->PathIndex != 0) {
      const TWayPath& path = WayPaths[static_cast<size_t>(rule->Path)];
      e->X = path.X[static_cast<size_t>(e->PathIndex)];
      e->Y = path.Y[static_cast<size_t>(e->PathIndex)];
    }
  } else if (pattern == 12) {
    const int32_t x = 100 + Random(580);
    const int32_t y = Random(400);
    const int32_t tx = 100 + Random(580);
    const int32_t ty = Random(300);
    e->X = x;
    e->Y = y;
    e->TargetX = tx;
    e->TargetY = ty;
  }
  e->StartX = X;
  e->StartY = Y;

  if (row.ModelFrames != 0) StartAnimation(e, row.ModelFrames, row.ModelSpeed, true);

  e->Number = Number;
  e->Info = row.Info;
  e->Info.EnemyType = EnemyType;
  e->Info.Points = WithPoints ? row.Info.Points : 0;
  if (e->Info.KindName.size() > 30) e->Info.KindName.resize(30);
  if (e->Info.FireFrames != 0) {
    e->AnimLooped = false;
    e->AnimCount = e->Info.FireFrames;
    e->AnimSpeed = e->Info.FireSpeed;
  }

  const long double h = row.Info.Health, s = row.Info.ShotSpeed;
  const int32_t r = row.Info.Reload;
  switch (Player.Difficulty) {
    case 0:
      e->Info.Health = row.Info.Health - RoundL(0.16L * h);
      e->Info.ShotSpeed = static_cast<double>(s - 0.25L * s);
      e->Info.Reload = r + Random(r - RoundL(0.6L * r));
      break;
    case 2: {
      e->Info.Health = row.Info.Health + RoundL(0.16L * h);
      e->Info.ShotSpeed = static_cast<double>(s + 0.2L * s);
      const int32_t q = r - RoundL(0.6L * r);
      e->Info.Reload = q - Random(q / 2);
      break;
    }
    default:
      e->Info.Health = row.Info.Health;
      e->Info.ShotSpeed = row.Info.ShotSpeed;
      e->Info.Reload = r - Random(r / 2);
      break;
  }
  e->Info.MaxHealth = e->Info.Health;
  e->FireTimer = Random(e->Info.Reload) - 150;
}

int32_t ScoreFor(int32_t Points) {
  const long double p = Points;
  switch (Player.Difficulty) {
    case 0:
      return Points - RoundL(0.1L * p);
    case 2:
      return Points + RoundL(0.1L * p);
    default:
      return Points;
  }
}

void TEnemySprite::Perish() {
  HitEnemy = -1;
  if (HealthBar) HealthBar->MarkDead();

  if (BossPart && CurrentBossKind() != 0) {
    BossPartExplosion();
  } else {
    const std::string mesh = MeshName();
    CreateExplosion(Z(), Info.Explosion, X + Width / 2, Y + Height / 2, mesh, 0, 1, 1,
                    ExplosionPan(X));
    if (GameOptions.Splinters > 0) CreateSplinters(Width, Height, X, Y, 4);
    if (GameOptions.Bumpiness == 1) {
      ShakeCount = 5;
      ShakeAmplitude = 6;
    }
  }

  Info.Reload = 0;
  FireTimer = 10;
  if (Info.Pattern == 8) Shoot(2);

  SetEnemyBox(Number, 0, 0, 0, 0);
  Y += 1000;
  MarkDead();
  SetEnemyDestroyed(Number, true);
  --EnemiesAlive;
  // On a boss level number 1 is the body: it can be hit once it is alone.
  if (EnemiesAlive == 1) SetEnemyDestroyed(1, false);

  Player.Score += ScoreFor(Info.Points);
  Player.LevelScore += Info.Points;
  Player.EnemiesDestroyed += 1;
}

void TEnemySprite::FireRule(int32_t Kind, int32_t MoveCount) {
  if (Info.Reload > FireTimer)
    FireTimer += MoveCount / 22.0;
  else
    Shoot(Kind);
}

void TEnemySprite::FollowPath(int32_t Path, int32_t MoveCount) {
  if (Path < 1 || Path > WayPathCount) return;
  // Only indices whose next point exists are flown.
  if (PathIndex < 0 || PathIndex >= WayPathPoints) PathIndex = StartPathIndex(PathIndex);
  const TWayPath& path = WayPaths[static_cast<size_t>(Path)];
  const double tx = path.X[static_cast<size_t>(PathIndex) + 1];
  const double ty = path.Y[static_cast<size_t>(PathIndex) + 1];
  const auto angle = static_cast<uint8_t>(Round(CheckAngle(X, Y, tx, ty) / 1.40625));
  const double v = Info.Speed;
  const double dx = CosineStep(angle) * MoveCount / 100 * v;
  const double dy = SineStep(angle) * MoveCount / 100 * v;
  // A step at least as long as what is left of the way (measured along the
  // step) reaches the point too: on a slow machine a fast flyer's step is
  // wider than the 2-pixel box, and it would jump over the point and back
  // for good.
  const double along = dx * (tx - X) + dy * (ty - Y);
  const bool passes = dx * dx + dy * dy > 0 && along <= dx * dx + dy * dy;
  X += dx;
  Y += dy;
  if ((std::abs(Y - ty) <= 2 && std::abs(X - tx) <= 2) || passes)
    PathIndex = PathIndex <= WayPathPoints - 2 ? PathIndex + 1 : 1;
}

void TEnemySprite::DoMove(int32_t MoveCount) {
  const int32_t m = MoveCount;
  if (!MainForm->DXDraw->CanDraw()) return;
  TImageSprite::DoMove(m);
  if (GameState == "mainmenu" || GameState == "gameover") {
    MarkDead();
    EnemiesAlive = 0;
    return;
  }
  if (GameState != "game") return;

  const bool bossLevel = CurrentBossKind() != 0;
  bool dead = false;
  if (bossLevel && BossPartsAlive < 1 && BossDeathStep()) {
    Perish();
    dead = true;
  }

  if (HealthBar && HealthBar->Visible) {
    HealthBar->X = X;
    HealthBar->Y = Y - HealthBar->Height;
    if (HealthBar->Y + HealthBar->Height < 0) HealthBar->Y = 0;
    if (++HealthBarTimer > 150) HealthBar->Visible = false;
  }

  if (!dead && Number == HitEnemy) {
    if (Info.Health - Player.HitDamage >= 1) {
      Info.Health -= Player.HitDamage;
      HealthBarTimer = 0;
      HitEnemy = -1;
      if (HealthBar && Info.MaxHealth != 0) {
        HealthBar->Visible = true;
        const int32_t w = Round(static_cast<double>(Width) / Info.MaxHealth);
        HealthBar->Width =
            w != 0 ? w * Info.Health / 2
                   : Round(static_cast<double>(Width) / Info.MaxHealth * Info.Health / 2);
      }
    } else {
      if (!(bossLevel && Info.Pattern == 2)) CreateBonus(Z(), 10, X, Y);
      if (!bossLevel) BookNewType(Info.EnemyType);
      GeneratorRelease();
      Perish();
    }
  }

  SetEnemyBox(Number, X, Y, Width, Height);

  const double v = Info.Speed;
  switch (Info.Pattern) {
    case 1: {
      double speed = v;
      if ((X < 80 && speed < 0) || (X > 800 - Width && speed > 0)) {
        speed = -speed;
        X += speed / 25 * m;
      }
      const double pace = 32.0 / (2 * (EnemiesAlive + 1));
      speed = speed <= 0 ? -pace : pace;
      Info.Speed = speed;
      if (EnemiesAlive >= 2) {
        X += speed / 40 * m;
      } else {
        // The last one left hunts the ship.
        if (PlayerShip) {
          const int32_t b = Round(PlayerShip->X / 10);
          if (b < Round(X / 10)) X -= m * 15 / 67.0;
          if (Round(X / 10) < b) X += m * 15 / 67.0;
        }
        Info.Reload = 30;
        Info.ShotSpeed = 20;
      }
      FireRule(1, m);
      break;
    }
    case 2:
    case 9:
      FollowPath(1, m);
      FireRule(1, m);
      break;
    case 3:
      FollowPath(3, m);
      FireRule(1, m);
      break;
    case 4:
      FollowPath(2, m);
      FireRule(1, m);
      break;
    case 5:
      BossMove(m);
      break;
    case 6:
      FollowPath(4, m);
      FireRule(1, m);
      break;
    case 7:
      FollowPath(5, m);
      FireRule(2, m);
      break;
    case 8:
      Phase += 0.1 * m;
      X += SineStep(static_cast<uint8_t>(Trunc(Phase))) * m / 35;
      Y += CosineStep(static_cast<uint8_t>(Trunc(Phase))) * 0.02 * m;
      if (Phase >= 255) {
        Phase = 0;
        X = StartX;
        Y = StartY;
      }
      break;
    case 10:
      FollowPath(6, m);
      if (Info.Reload > FireTimer) {
        FireTimer += m / 22.0;
      } else {
        Shoot(2);
        Shoot(1);
      }
      break;
    case 11:
      FollowPath(7, m);
      FireRule(1, m);
      break;
    case 12:
      if (std::abs(X - TargetX) >= 5 || std::abs(Y - TargetY) >= 5) {
        const auto angle =
            static_cast<uint8_t>(Round(CheckAngle(X, Y, TargetX, TargetY) / 1.40625));
        X += CosineStep(angle) * m / 100 * v;
        Y += SineStep(angle) * m / 100 * v;
      } else {
        Shoot(1);
        const int32_t tx = 100 + Random(580);
        const int32_t ty = Random(300);
        TargetX = tx;
        TargetY = ty;
      }
      break;
    default:
      break;
  }
}
