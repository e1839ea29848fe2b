#include "lab_command.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The three pipes of a child; every end is closed with the object.
struct TPipes {
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    TPipes() {
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw TLabError(std::string("pipe: ") + std::strerror(errno));
    }
    ~TPipes() {
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            if (fd >= 0)
                close(fd);
    }
    static void Close(int& fd) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
};

// Feeds `input` and reads both outputs until the child closes them.
void Exchange(TPipes& p, const std::string& input, std::string& out, std::string& err) {
    std::size_t written = 0;
    if (input.empty())
        TPipes::Close(p.in[1]);
    char buffer[4096];
    while (p.out[0] >= 0 || p.err[0] >= 0) {
        pollfd fds[3] = {{p.out[0], POLLIN, 0}, {p.err[0], POLLIN, 0}, {p.in[1], POLLOUT, 0}};
        if (poll(fds, 3, -1) < 0 && errno != EINTR)
            throw TLabError(std::string("poll: ") + std::strerror(errno));
        if (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) {
            const ssize_t n = write(p.in[1], input.data() + written, input.size() - written);
            written += n > 0 ? static_cast<std::size_t>(n) : 0;
            if (n <= 0 || written == input.size())
                TPipes::Close(p.in[1]);
        }
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            int& fd = i == 0 ? p.out[0] : p.err[0];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0)
                (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
            else
                TPipes::Close(fd);
        }
    }
}

std::string Joined(const std::vector<std::string>& argv) {
    std::string text;
    for (const std::string& a : argv)
        text += (text.empty() ? "" : " ") + a;
    return text;
}

} // namespace

std::string RunCommand(const std::vector<std::string>& argv, const std::string& input) {
    // A child that dies while we write its input must not end us.
    std::signal(SIGPIPE, SIG_IGN);
    TPipes p;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, p.in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, p.out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, p.err[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw TLabError("cannot start " + argv[0] + ": " + std::strerror(spawned));
    TPipes::Close(p.in[0]);
    TPipes::Close(p.out[1]);
    TPipes::Close(p.err[1]);
    std::string out, err;
    Exchange(p, input, out, err);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw TLabError(Joined(argv) + " failed: " + err);
    return out;
}

std::string RunIn(const std::string& ns, const std::vector<std::string>& argv,
                  const std::string& input) {
    std::vector<std::string> all = {"ip", "netns", "exec", ns};
    all.insert(all.end(), argv.begin(), argv.end());
    return RunCommand(all, input);
}

bool HaveProgram(const std::string& name) {
    try {
        RunCommand({"sh", "-c", "command -v " + name});
        return true;
    } catch (const TLabError&) {
        return false;
    }
}
