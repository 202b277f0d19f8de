// Reads the whole screen of an X server, as 0x00RRGGBB pixels row by row.
// Kept apart from the tests because the X headers' macros clash with the
// framework's names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

bool GrabXScreen(const std::string& Display, int& Width, int& Height,
                 std::vector<uint32_t>& Pixels);
