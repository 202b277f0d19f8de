#include "game/core/mission_table.h"

TPlayer Player;
std::array<TEpisode, MissionCount + 1> Episodes;
std::array<TWayPath, WayPathCount + 1> WayPaths{};

void InitMissionTable() {
  Player = TPlayer();
}
