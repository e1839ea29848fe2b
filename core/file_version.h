// The version block that every Zellhop program carries inside its own
// executable, and the lookup of its "FileVersion" string.  The string is
// part of the protocols: it goes to the lobby at login and peers refuse
// each other when theirs differ.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// The decoded block: values addressed by paths such as
// "\VarFileInfo\Translation" or "\StringFileInfo\040904e4\FileVersion".
class VersionBlock {
  public:
    static std::optional<VersionBlock> Parse(const std::string& bytes);
    std::optional<std::string> Query(const std::string& path) const;

  private:
    std::map<std::string, std::string> values_;
};

// Size of the version block of a file: 0 when it has none or cannot be read.
uint32_t GetFileVersionInfoSize(const std::string& fileName);
// The raw block of a file, or nothing.
std::optional<std::string> GetFileVersionInfo(const std::string& fileName);

// "FileVersion" of the named file's first translation, or "1.00" when any
// step fails.
std::string GetFileVersionString(const std::string& fileName);
// Path of the running program.
std::string OwnExecutablePath();
// GetFileVersionString of the running program.
std::string OwnFileVersion();

inline constexpr const char* kUnknownFileVersion = "1.00";
// Name of the ELF section that holds the block.
inline constexpr const char* kVersionSectionName = ".zellhop_version";
