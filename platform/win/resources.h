// Program resources by name: data built into the program (pictures the
// controls load by name). Names compare ignoring case, as the original
// platform's do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Data must live as long as the program (generated static arrays do); a
// later registration of a name replaces the earlier one.
void RegisterResource(const std::string& Name, const uint8_t* Data, size_t Size);
// False when no resource has the name.
bool FindResourceData(const std::string& Name, const uint8_t*& Data, size_t& Size);
