#pragma once

#include "lobby_settings.h"
#include "server_settings.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

enum class LobbyCommand { Serve, AddUser, ResetPassword, Help };

// What zellhop-lobby was asked to do, from its command line.
struct LobbyOptions {
    LobbyCommand command = LobbyCommand::Serve;
    std::string database; // a file, or a postgresql:// URI
    ServerSettings server;
    LobbySettings lobby;
    std::string userName;                // add-user, reset-password
    std::optional<std::string> password; // from --password; otherwise read from stdin
    bool logRequests = true;             // one line per request on stderr
    std::string keyFile;                 // the signing key, made when missing; empty: none
    std::string turnSecretFile;          // the relay's shared secret, with --turn
};

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The arguments without the program name. Throws UsageError.
LobbyOptions ParseLobbyOptions(const std::vector<std::string>& args);
std::string LobbyUsage();
