// Paths written for the original platform use '\' as separator.
#pragma once

#include <string>

// '\' to '/', so paths written for the original platform work here.
std::string NativePath(const std::string& Path);
