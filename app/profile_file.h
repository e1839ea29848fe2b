// A settings file in the usual sectioned text layout, read and written with
// the semantics the game's settings have always had: sections and keys are
// found without regard to case, a missing value gives the caller's default,
// and writing one key keeps every other section, key and comment as it was.
// The file is opened for each read or write and closed right after.
#pragma once

#include <optional>
#include <string>

class ProfileFile {
  public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // The value of section/key, blanks around it removed and one pair of
    // matching quotes taken off; nothing when the file, the section or the
    // key is missing.
    std::optional<std::string> ReadString(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& fallback) const;
    // An integer by the game's text-to-integer rules ("$" and "0x" for
    // hexadecimal); the default for anything that does not convert.
    int ReadInteger(const std::string& section, const std::string& key, int fallback) const;

    // Sets section/key to value, creating the file, its folder, the section
    // or the key as needed.  A value is cut at its first line break.  The new content replaces the
    // old file in one step, so a failed write never leaves half a file.  Throws std::runtime_error
    // when the file cannot be written.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

  private:
    std::string path_;
};

// Where the game keeps zellhop.ini: $XDG_CONFIG_HOME/zellhop/, or
// ~/.config/zellhop/ when XDG_CONFIG_HOME is not set.
std::string DefaultSettingsPath();
