#include "test_postgres.h"

#include "sql_database.h"

#include <chrono>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(60);
const char* const kServerUser = "postgres";

// The newest installed server's programs: /usr/lib/postgresql/VERSION/bin.
std::string FindBinDir() {
    std::string best;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
        const fs::path bin = entry.path() / "bin";
        if (fs::exists(bin / "initdb") && fs::exists(bin / "postgres") && bin.string() > best)
            best = bin.string();
    }
    return best;
}

// Runs a program as `user` (or as ourselves when null); with `wait`, to
// its end, returning the exit status. The child quits when we die.
pid_t Spawn(const std::vector<std::string>& args, const passwd* user, const std::string& logFile) {
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    prctl(PR_SET_PDEATHSIG, SIGQUIT);
    if (user != nullptr &&
        (setgroups(0, nullptr) != 0 || setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0))
        _exit(126);
    if (!logFile.empty()) {
        FILE* log = std::freopen(logFile.c_str(), "a", stdout);
        if (log == nullptr || dup2(fileno(stdout), STDERR_FILENO) < 0)
            _exit(126);
    }
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

int WaitFor(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::unique_ptr<TestPostgres>& Running() {
    static std::unique_ptr<TestPostgres> server;
    return server;
}

} // namespace

TestPostgres* TestPostgres::Instance(std::string& whyNot) {
    if (Running())
        return Running().get();
    const std::string binDir = FindBinDir();
    if (binDir.empty()) {
        whyNot = "the PostgreSQL server's programs are not installed (no "
                 "/usr/lib/postgresql/*/bin/initdb; Debian package postgresql)";
        return nullptr;
    }
    if (geteuid() == 0 && getpwnam(kServerUser) == nullptr) {
        whyNot = "running as root, and there is no user \"postgres\" to run the server as";
        return nullptr;
    }
    Running().reset(new TestPostgres);
    Running()->Start(binDir);
    return Running().get();
}

void TestPostgres::Start(const std::string& binDir) {
    std::string pattern = (fs::temp_directory_path() / "zellhop-pg-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a directory for PostgreSQL");
    dir_ = pattern;
    const passwd* user = geteuid() == 0 ? getpwnam(kServerUser) : nullptr;
    if (user != nullptr && chown(dir_.c_str(), user->pw_uid, user->pw_gid) != 0)
        throw std::runtime_error("cannot give " + dir_ + " to the user postgres");
    const std::string data = dir_ + "/data";
    const std::string log = dir_ + "/server.log";

    const int initdb = WaitFor(Spawn({binDir + "/initdb", "-D", data, "-A", "trust", "-U",
                                      kServerUser, "-E", "UTF8", "--locale=C", "--no-sync"},
                                     user, log));
    if (initdb != 0)
        throw std::runtime_error("initdb failed with " + std::to_string(initdb) + "; see " + log);
    // Only a socket in our directory, and no waiting for the disk: the
    // tests' data need not survive a power failure.
    server_ = Spawn({binDir + "/postgres", "-D", data, "-k", dir_, "-c", "listen_addresses=", "-c",
                     "fsync=off", "-c", "synchronous_commit=off", "-c", "full_page_writes=off"},
                    user, log);

    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    for (;;) {
        try {
            SqlDatabase::Open(Uri("postgres"), 1)->Read();
            return;
        } catch (const DatabaseError&) {
            if (std::chrono::steady_clock::now() > deadline ||
                waitpid(server_, nullptr, WNOHANG) != 0)
                throw std::runtime_error("the PostgreSQL server did not start; see " + log);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

TestPostgres::~TestPostgres() {
    if (server_ > 0) {
        kill(server_, SIGINT); // fast shutdown
        WaitFor(server_);
    }
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string TestPostgres::Uri(const std::string& database) const {
    return "postgresql://" + std::string(kServerUser) + "@/" + database + "?host=" + dir_;
}

std::string TestPostgres::NewDatabase() {
    const std::string name = "lobby_" + std::to_string(++databases_);
    SqlDatabase::Open(Uri("postgres"), 1)->Read().Execute("CREATE DATABASE " + name);
    return Uri(name);
}
