// Where the program keeps its own files beside the settings (its key, the
// lobbies' keys): $XDG_CONFIG_HOME/zellhop, or $HOME/.config/zellhop when
// that is unset or not an absolute path.  Plain C++.
#pragma once

#include <filesystem>

std::filesystem::path ConfigFolder();
