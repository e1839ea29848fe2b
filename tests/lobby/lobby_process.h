#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs zellhop-lobby to its end with the given standard input.
CommandResult RunLobbyCommand(const std::vector<std::string>& args, const std::string& input,
                              const std::filesystem::path& workDir);

// zellhop-lobby serving in a process of its own, on the port it reports.
class LobbyProcess {
  public:
    explicit LobbyProcess(const std::vector<std::string>& args);
    ~LobbyProcess();
    LobbyProcess(const LobbyProcess&) = delete;
    LobbyProcess& operator=(const LobbyProcess&) = delete;

    int Port() const { return port_; }
    // Sends SIGTERM; the exit code.
    int Stop();

  private:
    pid_t pid_ = -1;
    int output_ = -1; // read end of the child's standard output
    int port_ = 0;
};
