// The boss fights: a body that cannot be hit until it is alone, parts that
// ride on it, fire, send in enemies or release them when destroyed, and the
// seven-second death that ends the fight.
#include <string>

#include "framework/random.h"
#include "framework/sysutils.h"
#include "game/core/main_form.h"
#include "game/play/enemy_common.h"
#include "game/play/play.h"

int32_t BossExplosionMark = 0;

const std::vector<TBossPartPlace>& BossPartsOf(int32_t BossKind) {
  static const std::vector<TBossPartPlace> kParts[] = {
      {},
      {{18, 35, 1}, {702, 20, 1}, {115, 23, 2}, {612, 23, 2}},
      {{40, 35, 3}, {126, 42, 3}, {243, 50, 3}, {495, 50, 3}, {613, 42, 3}, {697, 35, 3}},
      {{37, -10, 3}, {-10, 80, 3}, {60, 193, 3}, {310, -10, 3}, {345, 80, 3}, {270, 193, 3}},
  };
  if (BossKind < 1 || BossKind > BossKindCount) return kParts[0];
  return kParts[BossKind];
}

void CreateBoss(int32_t Z, int32_t Number, int32_t PartIndex, int32_t PartKind, double X,
                double Y) {
  const int32_t k = CurrentBossKind();
  if (k < 1 || k > BossKindCount || PartKind < 0 || PartKind > 3) return;
  const TEnemyType& row = BossTypes[static_cast<size_t>(k)];
  TSpriteEngine* engine = MainForm->DXSpriteEngine->Engine();
  const std::string body = "boss" + std::to_string(k);

  auto* e = new TEnemySprite(engine);
  e->Info.EnemyType = 0;
  ++EnemiesAlive;
  e->Phase = 0;

  if (PartKind == 0) {
    e->BossPart = false;
    e->ShotPattern = 5;
    e->HealthBar = MakeHealthBar();
    e->SetImage(MainForm->ModelsList->Items().Find(body));
    e->X = X;
    e->Y = Y;
    e->StartX = X;
    e->StartY = Y;
    BossBaseX = X;
    BossBaseY = Y;
    e->SetZ(Z);
    e->FireTimer = 0;
    e->Number = Number;
    e->Info = row.Info;
    e->Info.EnemyType = 0;
    if (row.ModelFrames != 0) LoopAnimation(e, row.ModelFrames, row.ModelSpeed);
    return;
  }

  static const char* const kPartNames[] = {"", "weapon1", "creator", "generator"};
  const std::string picture = body + kPartNames[PartKind];
  const bool lastMission = CurrentMission == 10;
  e->BossPart = true;
  e->SetImage(MainForm->ModelsList->Items().Find(picture));
  e->X = BossBaseX + X;
  e->Y = BossBaseY + Y;
  e->SetZ(Z);
  e->HealthBar = MakeHealthBar();
  e->Number = Number;

  TSpriteInfo& info = e->Info;
  int32_t frames = 0;
  double speed = 1.0 / 35;
  switch (k) {
    case 1:
      info.Points = 50;
      e->FireTimer = 55 * (PartIndex - 1);
      info.Health = 200;
      info.Reload = PartKind == 1 ? 160 : 370;
      frames = PartKind == 1 ? 16 : 0;
      break;
    case 2:
      info.Points = 50;
      e->FireTimer = 55 * (PartIndex - 1);
      info.Health = 85;
      info.Reload = 200;
      break;
    default:
      info.Points = lastMission ? 150 : 100;
      e->FireTimer = 0;
      info.Health = lastMission ? 1 : 50;
      info.Reload = lastMission ? 150 : 200;
      frames = 10;
      speed = 0.02;
      break;
  }
  info.MaxHealth = info.Health;
  LoopAnimation(e, frames, speed);
  info.FireFrames = frames;
  info.FireSpeed = speed;

  e->ShotPattern = 6;
  info.Explosion = "ExplosionFx2";
  info.Muzzle = "smokeshoot3";
  info.MuzzleFrames = 16;
  info.MuzzleSpeed = 0.025;
  info.Shot = "enemy4clip";
  info.ShotAnimated = false;
  info.Glow = "smoke0";
  info.GlowFrames = 0;
  info.KindName = picture;
  info.ShotSpeed = 1;
  e->BossOffsetX = X;
  e->BossOffsetY = Y;
  info.Pattern = row.Info.Pattern;
}

void TEnemySprite::BossMove(int32_t MoveCount) {
  const int32_t m = MoveCount;
  const std::string& kind = Info.KindName;
  auto ride = [this] {
    X = BossBaseX + BossOffsetX;
    Y = BossBaseY + BossOffsetY;
  };
  auto sway = [this, m](double FactorX) {
    Phase += 0.1 * m;
    X += SineStep(static_cast<uint8_t>(Trunc(Phase))) * FactorX * m;
    Y += CosineStep(static_cast<uint8_t>(Trunc(Phase))) * 0.03 * m;
    BossBaseX = X;
    BossBaseY = Y;
    if (Phase >= 255) {
      Phase = 0;
      X = StartX;
      Y = StartY;
    }
  };

  if (kind == "boss1") {
    sway(0.15);
  } else if (kind == "boss2") {
    sway(1.0 / 7);
    // Sends in a type-8 enemy every interval, four in a row, then pauses.
    if (Info.Reload > FireTimer) {
      FireTimer += m / 22.0;
    } else {
      FireTimer = 0;
      if (BurstCount > 2) {
        FireTimer = -370;
        BurstCount = 0;
      } else {
        ++BurstCount;
      }
      if (EnemiesAlive < 16) {
        ++EnemyCount;
        CreateEnemy(20, 8, X + Width / 2.0, -100, EnemyCount, true, false);
      }
      SetEnemyDestroyed(EnemyCount, false);
    }
  } else if (kind == "boss3") {
    // The parts ride on where the body stood before this step.
    BossBaseX = X;
    BossBaseY = Y;
    FollowPath(8, m);
    FireRule(2, m);
  } else if (kind == "boss1weapon1") {
    FireRule(2, m);
    ride();
    FireRule(1, m);
  } else if (kind == "boss2generator" || kind == "boss3generator") {
    ride();
  } else if (kind == "boss1creator") {
    ride();
    if (Info.Reload > FireTimer) {
      FireTimer += m / 22.0;
    } else {
      FireTimer = 0;
      ++EnemyCount;
      if (EnemiesAlive < 18) CreateEnemy(20, 2, X + Width / 2.0, -100, EnemyCount, true, false);
      SetEnemyDestroyed(EnemyCount, false);
    }
  }
}

bool TEnemySprite::BossDeathStep() {
  if (!BossDying) {
    BossDeathCountdown = 7;
    BossDying = true;
    FireLocked = true;
  }
  if (BossDeathCountdown <= 0) return true;
  if (BossExplosionMark != BossDeathCountdown) {
    for (int i = 0; i < 20; ++i) {
      const double x = X + Random(Width);
      const double y = Y + Random(Height);
      const std::string mesh = MeshName();
      CreateExplosion(Z(), Info.Explosion, x, y, mesh, 250, 0, 1, ExplosionPan(X));
    }
    BossExplosionMark = BossDeathCountdown;
    if (GameOptions.Bumpiness == 1) {
      ShakeCount = 50;
      ShakeAmplitude = 40;
    }
  }
  return false;
}

void TEnemySprite::BossPartExplosion() {
  --BossPartsAlive;
  BossPart = false;
  for (int i = 0; i < 4; ++i) {
    const double x = X + Random(Width);
    const double y = Y + Random(Height);
    const std::string mesh = MeshName();
    CreateExplosion(Z(), Info.Explosion, x, y, mesh, 250, 1, 1, ExplosionPan(X));
  }
  if (GameOptions.Bumpiness == 1) {
    ShakeCount = 22;
    ShakeAmplitude = 12;
  }
}

void TEnemySprite::GeneratorRelease() {
  if (Info.KindName != "boss3generator" || BossPartsAlive <= 1) return;
  struct TGroup {
    int32_t Type, Count;
  };
  const bool lastMission = CurrentMission == 10;
  const TGroup groups[2] = {lastMission ? TGroup{17, 4} : TGroup{13, 3},
                            lastMission ? TGroup{19, 1} : TGroup{10, 2}};
  if (CurrentMission != 5 && !lastMission) return;
  for (const TGroup& g : groups)
    for (int i = 0; i < g.Count; ++i) {
      ++EnemyCount;
      const double x = X + Random(100);
      const double y = Y + Random(100);
      CreateEnemy(20, g.Type, x, y, EnemyCount, false, true);
      SetEnemyDestroyed(EnemyCount, false);
    }
}
