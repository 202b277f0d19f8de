// The setup program's pictures: the track-bar thumbs drawn from their pixel
// table, and a title picture; written as a C++ source that registers them
// as program resources.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// (name, file bytes), in a fixed order.
std::vector<std::pair<std::string, std::vector<uint8_t>>> SetupResources();
void WriteSetupResourceSource(const std::string& FileName);
