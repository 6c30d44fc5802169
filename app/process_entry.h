// Process entry: the optional command-line file.
#pragma once

#include <string>
#include <vector>

#include "app/app_state.h"

// Takes the program's arguments (the program first, already converted to
// the build's code page). With exactly one argument that names an existing
// file that fits the path field (kPathBytes - 1 bytes), remembers it as the
// start-up file.
void rememberStartupFile(AppState& state, const std::vector<std::string>& arguments);
