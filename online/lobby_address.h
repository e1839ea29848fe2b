// The lobby as the player types it in the login dialog ("host" or
// "host:port"), and the lobbies used before as the settings file keeps
// them.  Plain C++: the dialog, the settings and the tests share it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kLobbyPort = 80; // when the field names none
inline constexpr const char* kDefaultLobby = "localhost";
// The longest name DNS can hold, and the field with ":65535" after it.
inline constexpr std::size_t kMaxLobbyHostLength = 253;
inline constexpr std::size_t kMaxLobbyFieldLength = kMaxLobbyHostLength + 6;
// The lobbies used before that the dialog offers, the last chosen first.
inline constexpr std::size_t kMaxUsedLobbies = 8;

struct TLobbyAddress {
    std::string host; // letters in lower case
    int port = kLobbyPort;
    bool operator==(const TLobbyAddress&) const = default;
};

enum class TLobbyFieldProblem { None, Blank, BadHost, BadPort, TooLong };

struct TLobbyFieldReading {
    TLobbyFieldProblem problem = TLobbyFieldProblem::None;
    TLobbyAddress lobby; // meaningful only without a problem
};

// The field's text, blanks around it ignored.  A host is an IPv4 address
// or a DNS name (ASCII letters, digits, '-', '_' and dots between
// labels); a port is a decimal number 1..65535.
TLobbyFieldReading ReadLobbyField(std::string_view text);
// The lobby as the field and the settings write it: "host", or
// "host:port" when the port is not 80.
std::string LobbyFieldText(const TLobbyAddress& lobby);

// The list of lobbies used before, as one settings value: the field texts
// joined by commas.  Reading drops what does not read as a lobby and
// repeats, and keeps the first kMaxUsedLobbies.
std::vector<std::string> ParseUsedLobbies(std::string_view value);
// Whole entries only, as many as fit in maxLength characters.
std::string UsedLobbiesValue(const std::vector<std::string>& lobbies, std::size_t maxLength);
// The list with this lobby in front, once, at most kMaxUsedLobbies long.
std::vector<std::string> RememberLobby(const std::vector<std::string>& lobbies,
                                       const TLobbyAddress& chosen);
