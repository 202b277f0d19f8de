// Test hook of the shell: a backend may take the requests instead of
// starting programs (headless runs record them).
#pragma once

#include <functional>
#include <string>

// Called with the verb and the file for every request; nil restores the
// real opener.
void SetShellExecuteHandler(std::function<void(const std::string& Verb, const std::string& File)>);
