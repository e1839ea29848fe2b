// A GET target split into the parts the client needs: a path with query
// ("/tavlo/getgames.php?..."), with or without its leading slash, or a
// full URL ("http://host:port/path").
#pragma once

#include <optional>
#include <string>

inline constexpr int kDefaultHttpPort = 80;

struct THttpTarget {
    bool NamesHost = false; // a full URL: the target contains "://"
    std::string Protocol;   // text before "://"
    std::string Host;
    std::optional<int> Port; // only when the URL names one
    std::string Path;        // always begins with a slash, ends with the last one
    std::string Document;    // after the last slash, cut at its first "#"

    // What goes into the request line.
    std::string RequestTarget() const { return Path + Document; }
};

// Splits a target.  Every backslash counts as a slash.  A port that is not
// an integer raises EConvertError.
THttpTarget SplitTarget(std::string target);
