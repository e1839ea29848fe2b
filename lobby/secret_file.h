#pragma once

#include <string>

// Files that hold the lobby's secrets (its signing key, the relay's
// secret): read only when nobody but their owner may read them, and made
// readable by their owner alone.
namespace secret_file {

// The whole file (a few kilobytes at most).  Throws std::runtime_error,
// naming `what`, when it cannot be read or others may read it.
std::string Read(const std::string& path, const std::string& what);

// Writes a new file with mode 0600; false when one is there already (the
// caller reads that one instead: another lobby may have just made it).
// Throws std::runtime_error when it cannot be written.
bool CreateNew(const std::string& path, const std::string& contents, const std::string& what);

} // namespace secret_file
