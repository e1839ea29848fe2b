#include "config_folder.h"

#include <cstdlib>

std::filesystem::path ConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path folder;
    if (config != nullptr && *config == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::filesystem::path(home != nullptr ? home : "") / ".config";
    }
    return folder / "zellhop";
}
