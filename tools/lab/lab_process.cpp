#include "lab_process.h"

#include "lab_command.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kReapPoll{10};

void CloseFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

} // namespace

TLabProcess::TLabProcess(const std::string& ns, const std::vector<std::string>& argv,
                         const std::string& errorFile, const std::vector<std::string>& environment) {
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        throw TLabError(std::string("pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2,
                                     errorFile.empty() ? "/dev/null" : errorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    static const bool orphansDie = HaveProgram("setpriv");
    std::vector<std::string> all;
    if (orphansDie)
        all = {"setpriv", "--pdeathsig", "KILL", "--"};
    if (!ns.empty())
        all.insert(all.end(), {"ip", "netns", "exec", ns});
    all.insert(all.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (std::string& a : all)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> variables = environment;
    for (char** e = environ; *e; ++e)
        variables.push_back(*e);
    std::vector<char*> env;
    for (std::string& v : variables)
        env.push_back(v.data());
    env.push_back(nullptr);
    const int spawned = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    if (spawned != 0) {
        CloseFd(input_);
        CloseFd(output_);
        throw TLabError("cannot start " + argv.at(0) + ": " + std::strerror(spawned));
    }
}

TLabProcess::~TLabProcess() {
    Stop();
    CloseFd(input_);
    CloseFd(output_);
}

void TLabProcess::WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (input_ >= 0 && done < text.size()) {
        const ssize_t n = write(input_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw TLabError("the program's input is closed");
        done += static_cast<std::size_t>(n);
    }
}

void TLabProcess::CloseInput() {
    CloseFd(input_);
}

std::optional<std::string> TLabProcess::ReadLine(TMillis timeout) {
    const auto deadline = TClock::now() + timeout;
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            lines_.push_back(line);
            return line;
        }
        const auto left = std::chrono::duration_cast<TMillis>(deadline - TClock::now());
        if (output_ < 0 || left.count() <= 0)
            return std::nullopt;
        pollfd fd{output_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(output_, buffer, sizeof buffer);
        if (n > 0)
            pending_.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            CloseFd(output_);
    }
}

std::optional<std::string> TLabProcess::WaitFor(const std::string& prefix, TMillis timeout) {
    const auto deadline = TClock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<TMillis>(deadline - TClock::now());
        const std::optional<std::string> line = ReadLine(std::max(left, TMillis(0)));
        if (!line)
            return std::nullopt;
        if (line->rfind(prefix, 0) == 0)
            return line;
    }
}

std::optional<std::string> TLabProcess::Saw(const std::string& prefix, TMillis timeout) {
    for (const std::string& line : lines_)
        if (line.rfind(prefix, 0) == 0)
            return line;
    return WaitFor(prefix, timeout);
}

bool TLabProcess::Reap(int options) {
    if (status_)
        return true;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, options);
    if (done != pid_)
        return false;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return true;
}

std::optional<int> TLabProcess::Wait(TMillis timeout) {
    const auto deadline = TClock::now() + timeout;
    while (!Reap(WNOHANG)) {
        if (TClock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(kReapPoll);
    }
    return status_;
}

int TLabProcess::Stop(TMillis grace) {
    if (pid_ <= 0)
        return -1;
    if (!Reap(WNOHANG)) {
        kill(pid_, SIGTERM);
        if (!Wait(grace)) {
            kill(pid_, SIGKILL);
            Reap(0);
        }
    }
    return *status_;
}
