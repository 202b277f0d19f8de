#include "game/core/enemy_table.h"

namespace {

// Every enemy type has no firing animation and a 16-frame muzzle flash.
TEnemyType Row(int32_t Points, int32_t Type, const char* Explosion, const char* Muzzle,
               const char* Shot, bool ShotAnimated, int32_t ShotFrames, double ShotAnimSpeed,
               const char* Glow, int32_t GlowFrames, double GlowSpeed, int32_t Health, double Speed,
               int32_t Pattern, double ShotSpeed, int32_t Reload, const char* Model,
               int32_t ModelFrames, double ModelSpeed) {
  TEnemyType t;
  TSpriteInfo& i = t.Info;
  i.Points = Points;
  i.EnemyType = Type;
  i.FireFrames = 0;
  i.FireSpeed = 0;
  i.Explosion = Explosion;
  i.Muzzle = Muzzle;
  i.MuzzleFrames = 16;
  i.MuzzleSpeed = 1.0 / 40;
  i.Shot = Shot;
  i.ShotAnimated = ShotAnimated;
  i.ShotFrames = ShotFrames;
  i.ShotAnimSpeed = ShotAnimSpeed;
  i.Glow = Glow;
  i.GlowFrames = GlowFrames;
  i.GlowSpeed = GlowSpeed;
  i.KindName = Type > 0 ? "enemy" + std::to_string(Type) : std::string();
  i.Health = Health;
  i.MaxHealth = Health;
  i.Speed = Speed;
  i.Pattern = Pattern;
  i.ShotSpeed = ShotSpeed;
  i.Reload = Reload;
  t.Model = Model;
  t.ModelFrames = ModelFrames;
  t.ModelSpeed = ModelSpeed;
  return t;
}

TEnemyType Boss(int32_t Kind, int32_t Points, int32_t ModelFrames, double ModelSpeed,
                const char* Explosion, const char* Shot, bool ShotAnimated, int32_t ShotFrames,
                double ShotAnimSpeed, double ShotSpeed, int32_t Reload) {
  TEnemyType t =
      Row(Points, 0, Explosion, "smokeshoot1", Shot, ShotAnimated, ShotFrames, ShotAnimSpeed,
          "smoke0", 0, 0, 99999, 10, 5, ShotSpeed, Reload, "", ModelFrames, ModelSpeed);
  t.Info.KindName = "boss" + std::to_string(Kind);
  return t;
}

struct TDescriptionLine {
  int Type;
  int Line;
  const char* Text;
};

// The lines not listed are empty.
constexpr TDescriptionLine DescriptionTexts[] = {
    {1, 1, "Biological substance."},
    {1, 3, "First, surrounds enemy,"},
    {1, 4, "then attacks it with"},
    {1, 5, "self-guided projectiles."},
    {2, 1, "This interceptor captured"},
    {2, 2, "on Earth was improved"},
    {2, 3, "and got weapon upgrades."},
    {3, 1, "This spacecraft is slow"},
    {3, 2, "and not maneuverable but"},
    {3, 3, "has extra durable armor"},
    {4, 1, "Ordinary Alien spacecraft."},
    {4, 2, "The danger comes in the"},
    {4, 3, "number of attacking ships."},
    {5, 1, "This improved -Steel-"},
    {5, 2, "model has durable armor"},
    {5, 3, "and a rapid-fire system."},
    {6, 1, "In spite of average"},
    {6, 2, "values for armor "},
    {6, 3, "durability and rate of "},
    {6, 4, "fire, the craft is very"},
    {6, 5, "dangerous."},
    {6, 6, "It tracks location of an"},
    {6, 7, "enemy and shoots at the"},
    {6, 8, "target afterwards."},
    {7, 1, "Improved model of "},
    {7, 2, "-Metal Ball-."},
    {7, 4, "Has different casing and"},
    {7, 5, "larger explosive charge."},
    {8, 1, "This ship was created for"},
    {8, 2, "reconnaissance and has"},
    {8, 3, "slow weapons that"},
    {8, 4, "nevertheless cover large"},
    {8, 5, "areas."},
    {8, 6, "It was later decided to"},
    {8, 7, "use the ship in combat"},
    {8, 8, "operations."},
    {9, 1, "Probably, the most"},
    {9, 2, "dangerous and difficult"},
    {9, 3, "to produce -ordinary- "},
    {9, 4, "spacecraft. Does not"},
    {9, 5, "have much, armor but has"},
    {9, 6, "extra-rapid fire weapon"},
    {9, 7, "system."},
    {10, 1, "The second version"},
    {10, 2, "of -X-alien-."},
    {10, 4, "Enclosed in metal casing,"},
    {10, 5, "it reloads weapons"},
    {10, 6, "               faster."},
    {11, 1, "Drastically improved"},
    {11, 2, "version of -Invader-."},
    {11, 3, "New composite materials"},
    {11, 4, "make armor very durable."},
    {11, 5, "But this slows the ship"},
    {11, 6, "down."},
    {11, 8, "Has quadruple attacks."},
    {12, 1, "This is not a dangerous"},
    {12, 2, "opponent, but it is very"},
    {12, 3, "easy to make."},
    {13, 1, "The children of"},
    {13, 2, "             -Main Brain-"},
    {13, 4, "May look dangerous, but"},
    {13, 5, "they are rather weak."},
    {14, 1, "Ship got its name for a"},
    {14, 2, "historical reason."},
    {14, 3, "The model is based on"},
    {14, 4, "-Observer-. This craft"},
    {14, 5, "is used only in the most"},
    {14, 6, "difficult and dangerous"},
    {14, 7, "combat missions. Comes with"},
    {14, 8, "a h-speed ammo generator."},
    {15, 1, "This is a modified version"},
    {15, 2, "of -Steel 1-."},
    {15, 3, "The ship uses rat brain,"},
    {15, 4, "which was hijacked from"},
    {15, 5, "                    Earth."},
    {16, 1, "New, improved version "},
    {16, 2, "of -Steel Rat-."},
    {16, 4, "More durable armor,"},
    {16, 5, "higher rate of fire."},
    {17, 1, "The fastest opponent in"},
    {17, 2, " this galaxy."},
    {17, 4, "Attacks with a double"},
    {17, 5, "                    shot."},
    {18, 1, "Very recent developed"},
    {18, 2, "alien spacecraft.Has very"},
    {18, 3, "thick armor. Double"},
    {18, 4, "attacks with self-guided"},
    {18, 5, "projectiles."},
    {18, 7, "Tends to corner opponent"},
    {18, 8, "to destroy it."},
    {19, 1, "The most powerful"},
    {19, 2, "opponent in the galaxy."},
    {19, 3, "Completely unpredictable"},
    {19, 4, "behavior."},
    {19, 6, "These ships are personal"},
    {19, 7, "bodyguards of "},
    {19, 8, "         -Main Brain-"},

};

}  // namespace

const std::array<TEnemyType, EnemyTypeCount + 1> EnemyTypes = {
    TEnemyType{},
    // 1
    Row(10, 1, "ExplosionFx4", "smokeshoot1", "bomb2", true, 11, 1.0 / 20, "smoke0", 0, 0, 22, 7, 4,
        0.1, 820, "enemy1", 10, 1.0 / 60),
    // 2
    Row(7, 2, "ExplosionFx2", "smokeshoot3", "enemy2clip", false, 0, 1.0 / 20, "smoke0", 0, 0, 25,
        8, 2, 2, 660, "enemy2", 18, 1.0 / 70),
    // 3
    Row(14, 3, "ExplosionFx2", "smokeshoot2", "special1", true, 8, 1.0 / 20, "smoke0", 0, 1.0 / 30,
        39, 6.5, 3, 3.5, 10, "enemy3", 14, 1.0 / 65),
    // 4
    Row(3, 4, "ExplosionFx3", "smokeshoot2", "sphere2", false, 5, 1.0 / 20, "smoke3", 7, 1.0 / 30,
        11, 1.5, 1, 0.08, 1150, "s_enemy1", 20, 1.0 / 65),
    // 5
    Row(6, 5, "ExplosionFx3", "smokeshoot2", "enemy5clip", true, 6, 1.0 / 30, "smoke3", 7, 1.0 / 30,
        21, 1.5, 1, 0.2, 600, "s_enemy2", 20, 1.0 / 65),
    // 6
    Row(22, 6, "ExplosionFx1", "smokeshoot1", "enemy4clip", true, 8, 1.0 / 25, "smoke0", 0,
        1.0 / 30, 31, 6.5, 6, 0.75, 700, "enemy4", 10, 1.0 / 65),
    // 7
    Row(11, 7, "ExplosionFx3", "smokeshoot2", "enemy7clip", true, 8, 1.0 / 40, "smoke0", 0,
        1.0 / 30, 8, 1.5, 8, 0.2, 0, "s_enemy3", 14, 1.0 / 70),
    // 8
    Row(26, 8, "ExplosionFx5", "smokeshoot2", "enemy8clip", true, 8, 1.0 / 20, "smoke0", 0,
        1.0 / 30, 50, 8, 7, 1.5, 930, "enemy5", 20, 1.0 / 70),
    // 9
    Row(16, 9, "ExplosionFx3", "smokeshoot2", "enemy9clip", false, 11, 1.0 / 30, "smoke1", 7,
        1.0 / 30, 16, 1.5, 1, 0.1, 400, "s_enemy4", 14, 1.0 / 65),
    // 10
    Row(18, 10, "ExplosionFx4", "smokeshoot1", "enemy10clip", true, 11, 1.0 / 20, "smoke0", 0, 0,
        21, 7, 4, 0.28, 700, "enemy6", 10, 1.0 / 60),
    // 11
    Row(13, 11, "ExplosionFx2", "smokeshoot3", "enemy11clip", false, 0, 1.0 / 20, "smoke0", 0, 0,
        31, 5.5, 9, 2, 15, "enemy7", 18, 1.0 / 70),
    // 12
    Row(20, 12, "ExplosionFx2", "smokeshoot3", "enemy12clip", true, 8, 1.0 / 20, "smoke0", 0, 0, 16,
        1.5, 1, 0.3, 700, "s_enemy5", 14, 1.0 / 60),
    // 13
    Row(29, 13, "ExplosionFx5", "smokeshoot2", "enemy8clip", true, 8, 1.0 / 20, "smoke0", 0, 0, 35,
        9, 3, 6, 800, "enemy8", 20, 1.0 / 50),
    // 14
    Row(35, 14, "ExplosionFx2", "smokeshoot3", "enemy14clip", true, 8, 1.0 / 20, "smoke0", 0, 0, 40,
        13, 10, 1.4, 520, "enemy9", 10, 1.0 / 35),
    // 15
    Row(5, 15, "ExplosionFx5", "smokeshoot3", "enemy15clip", true, 10, 1.0 / 20, "smoke0", 0, 0, 12,
        1.5, 1, 0.1, 980, "s_enemy6", 10, 1.0 / 60),
    // 16
    Row(10, 16, "ExplosionFx4", "smokeshoot3", "enemy16clip", true, 10, 1.0 / 20, "smoke0", 0, 0,
        20, 1.7, 1, 0.15, 800, "s_enemy7", 10, 1.0 / 60),
    // 17
    Row(17, 17, "ExplosionFx1", "smokeshoot3", "enemy17clip", true, 10, 1.0 / 20, "smoke0", 0, 0,
        25, 12, 11, 0.2, 20, "enemy10", 20, 1.0 / 55),
    // 18
    Row(35, 18, "ExplosionFx2", "smokeshoot3", "enemy14clip", true, 8, 1.0 / 20, "smoke0", 0, 0, 41,
        7.2, 4, 0.9, 8, "enemy11", 20, 1.0 / 65),
    // 19
    Row(40, 19, "ExplosionFx2", "smokeshoot3", "enemy19clip", true, 11, 1.0 / 22, "smoke0", 0, 0,
        55, 14, 12, 2.5, 250, "enemy12", 22, 1.0 / 40),

};

const std::array<std::string, EnemyTypeCount + 1> EnemyNames = {
    "",           "X-Alien M1", "Invader",     "Shook",         "Steel-1",       "Steel-2",
    "Zetol-M",    "MB-1a",      "Observer",    "Zipper",        "X-Alien M2",    "Mega Invader",
    "Spheron",    "Skull",      "Observer B7", "Steel rat - 1", "Steel rat - 2", "Rash",
    "Bombardier", "Brain"};

const std::array<TEnemyType, BossKindCount + 1> BossTypes = {
    TEnemyType{},
    Boss(1, 400, 0, 1.0 / 300, "ExplosionFx2", "bomb2", false, 1, 1.0 / 20, 0.05, 10),
    Boss(2, 800, 0, 0, "ExplosionFx2", "bomb2", false, 1, 1.0 / 20, 0.05, 35),
    Boss(3, 1200, 10, 1.0 / 50, "ExplosionFx5", "enemy8clip", true, 8, 1.0 / 30, 0.4, 10),
};

std::array<std::array<std::string, DescriptionLines + 1>, EnemyTypeCount + 1> EnemyDescriptions;
std::array<std::array<double, 6>, 9> VoiceAnimSpeed{};
std::array<std::array<int32_t, 6>, 9> VoiceDuration{};
std::array<int32_t, EnemyBookSize + 2> EnemyBook{};
int32_t EnemyBookCount = 0;

void InitEnemyTexts() {
  for (auto& type : EnemyDescriptions)
    for (auto& line : type) line.clear();
  for (const TDescriptionLine& d : DescriptionTexts)
    EnemyDescriptions[d.Type][d.Line] = std::string(d.Text).substr(0, DescriptionLength);

  // Radio voices: per category the face's animation speed and hold time of
  // each variant. Category 1 keeps a fifth pair that no variant reaches.
  const struct {
    int Category;
    std::array<double, 5> Speed;
    std::array<int32_t, 5> Hold;
  } voices[] = {
      {1, {1.0 / 40, 1.0 / 30, 1.0 / 40, 1.0 / 45, 1.0 / 22}, {13, 9, 8, 5, 21}},
      {2, {1.0 / 25, 1.0 / 25, 1.0 / 21}, {6, 11, 13}},
      {3, {1.0 / 27, 1.0 / 30}, {11, 12}},
      {4, {1.0 / 35}, {12}},
      {5, {1.0 / 19}, {8}},
      {6, {1.0 / 22, 1.0 / 30}, {7, 8}},
      {7, {1.0 / 21, 1.0 / 25, 1.0 / 34}, {7, 6, 11}},
      {8, {1.0 / 22, 1.0 / 23, 1.0 / 31}, {7, 7, 8}},
  };
  for (const auto& v : voices)
    for (int i = 0; i < 5; ++i) {
      VoiceAnimSpeed[v.Category][i + 1] = v.Speed[i];
      VoiceDuration[v.Category][i + 1] = v.Hold[i];
    }
}
