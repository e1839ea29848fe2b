// The lobbies' keys as this program first saw them (trust on first use):
// a file of its own beside the settings, one line per lobby, so that a key
// that changes (someone posing as the lobby, on the path between player
// and lobby) is refused rather than believed.  Plain C++.
#pragma once

#include "lobby_items.h"
#include "lobby_ticket.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

// A lobby answered with another key than the pinned one, or without one.
// The message says what happened and how the player undoes the pin when
// the lobby's owner really changed the key.
class ELobbyKeyChanged : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class TPinCheck {
    Pinned,  // first sight: the key is kept from now on
    Matches, // the key pinned before
    NoKey,   // a lobby never pinned that gives no key: nothing to keep
};

class TLobbyKeyPins {
  public:
    explicit TLobbyKeyPins(std::filesystem::path file);

    // $XDG_CONFIG_HOME/zellhop/lobby-keys ($HOME/.config when unset).
    static std::filesystem::path DefaultFile();
    // The name a lobby is pinned under: the host in lower case with its
    // port, 80 when the setting names none ("lobby.example.org:80").
    static std::string PinName(const std::string& lobbyHost);

    // Checks the key a log-in at `lobbyHost` (the LobbyHost setting) gave
    // and pins it at first sight.  Throws ELobbyKeyChanged for another key
    // or none where one is pinned, and std::runtime_error when the file
    // cannot be written.
    TPinCheck Check(const std::string& lobbyHost, const std::optional<TLobbyKey>& key) const;
    std::optional<TLobbyKey> Find(const std::string& lobbyHost) const;

    const std::filesystem::path& File() const { return file_; }

  private:
    void Append(const std::string& name, const TLobbyKey& key) const;

    std::filesystem::path file_;
};

// The items a log-in at `lobbyHost` gave, their key checked against the
// pins (and pinned at first sight).  A lobby on this machine (a loopback
// address, "localhost") is neither checked nor pinned: nobody stands
// between the program and it, and lobbies started there for a try come
// and go with new keys on the same ports.  Where the key changed or went
// missing, none of them: to this program the lobby is then one of the
// written protocol (no ticket, no relay, no paths).  `log` gets a line
// saying so, or saying that the pin could not be kept (the items stand
// then: nothing says the lobby is not the one it was).
TLobbyItems CheckedLobbyItems(const TLobbyKeyPins& pins, const std::string& lobbyHost,
                              TLobbyItems items,
                              const std::function<void(const std::string& line)>& log);
