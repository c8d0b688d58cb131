// Where the program's run-time data lives (shaders/, texture/, flags/, cfg/): $ZMFEDIT_HOME when
// set (it must hold "shaders"), else a "data" folder holding "shaders" beside the executable or up to two levels above it
// (the build tree), else "../share/zmfedit" from the executable's folder (an installation).
#pragma once

#include <filesystem>

// The data folder, or an empty path when none is found.
std::filesystem::path findDataFolder();
// Where the program keeps what it writes for the user (log, recovery): $XDG_STATE_HOME/zmfedit
// or ~/.local/state/zmfedit, created; empty when neither is known.
std::filesystem::path userStateFolder();
