#include "lobby_process.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr auto kCommandTimeout = std::chrono::seconds(30);

std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

std::vector<std::string> WithProgram(const std::vector<std::string>& args) {
    std::vector<std::string> all{ZELLHOP_LOBBY_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int WaitForExit(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid ? ExitCode(status) : -1;
}

// A command that should end but serves instead must not hang the tests.
int WaitForExitOrKill(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + kCommandTimeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return ExitCode(status);
        if (done < 0)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    WaitForExit(pid);
    return -1;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

CommandResult RunLobbyCommand(const std::vector<std::string>& args, const std::string& input,
                              const std::filesystem::path& workDir) {
    const auto in = workDir / "stdin", out = workDir / "stdout", err = workDir / "stderr";
    std::ofstream(in, std::ios::binary) << input;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> all = WithProgram(args);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, all[0].c_str(), &files, nullptr, Argv(all).data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (failed != 0)
        throw std::runtime_error("cannot start " + all[0]);
    CommandResult result;
    result.exitCode = WaitForExitOrKill(pid);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

LobbyProcess::LobbyProcess(const std::vector<std::string>& args) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, pipeEnds[1], STDOUT_FILENO);
    std::vector<std::string> all = WithProgram(args);
    const int failed =
        posix_spawn(&pid_, all[0].c_str(), &files, nullptr, Argv(all).data(), environ);
    posix_spawn_file_actions_destroy(&files);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (failed != 0)
        throw std::runtime_error("cannot start " + all[0]);

    // The first line says where it listens: "...listening on ADDRESS:PORT".
    std::string line;
    pollfd ready{output_, POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&ready, 1, kStartTimeoutMs) > 0) {
        char chunk[256];
        const ssize_t got = read(output_, chunk, sizeof chunk);
        if (got <= 0)
            break;
        line.append(chunk, static_cast<std::size_t>(got));
    }
    std::smatch match;
    if (!std::regex_search(line, match, std::regex("listening on .*:([0-9]+)\n"))) {
        kill(pid_, SIGKILL);
        WaitForExit(pid_);
        close(output_);
        throw std::runtime_error("the lobby did not start: " + line);
    }
    port_ = std::stoi(match[1]);
}

LobbyProcess::~LobbyProcess() {
    if (pid_ > 0)
        Stop();
    if (output_ >= 0)
        close(output_);
}

int LobbyProcess::Stop() {
    kill(pid_, SIGTERM);
    const int code = WaitForExit(pid_);
    pid_ = -1;
    return code;
}
