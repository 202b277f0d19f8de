#include "game/core/enemy_table.h"

const std::array<TEnemyType, EnemyTypeCount + 1> EnemyTypes{};
const std::array<std::string, EnemyTypeCount + 1> EnemyNames{};
const std::array<TEnemyType, BossKindCount + 1> BossTypes{};
std::array<std::array<std::string, DescriptionLines + 1>, EnemyTypeCount + 1> EnemyDescriptions;
std::array<std::array<double, 6>, 9> VoiceAnimSpeed{};
std::array<std::array<int32_t, 6>, 9> VoiceDuration{};
std::array<int32_t, EnemyBookSize + 2> EnemyBook{};
int32_t EnemyBookCount = 0;

void InitEnemyTexts() {}
