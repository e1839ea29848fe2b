// zellhop-lobby: the web lobby where Zellhop players log in, publish their
// games and find games to join; also the owner's commands to add a user and
// to reset a password.
#include "account_rules.h"
#include "lobby_key.h"
#include "lobby_options.h"
#include "lobby_server.h"
#include "lobby_service.h"
#include "lobby_store.h"
#include "password_hasher.h"
#include "turn_credentials.h"

#include <algorithm>
#include <iostream>
#include <mutex>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
const std::string kProgram = "zellhop-lobby: ";

// Turns off the terminal's echo while the password is typed.
class HiddenInput {
  public:
    HiddenInput() {
        active_ = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0;
        if (!active_)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::cerr << "Password: " << std::flush;
    }
    ~HiddenInput() {
        if (!active_)
            return;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
        std::cerr << '\n';
    }
    HiddenInput(const HiddenInput&) = delete;
    HiddenInput& operator=(const HiddenInput&) = delete;

  private:
    termios saved_{};
    bool active_ = false;
};

std::string ReadPassword(const LobbyOptions& options) {
    if (options.password)
        return *options.password;
    std::string line;
    {
        HiddenInput hidden;
        std::getline(std::cin, line);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// The new password's hash, or nullopt after saying what is wrong with it.
std::optional<std::string> HashNewPassword(const LobbyOptions& options) {
    const std::string password = ReadPassword(options);
    if (const auto problem = account_rules::PasswordProblem(password)) {
        std::cerr << kProgram << *problem << '\n';
        return std::nullopt;
    }
    PasswordHasher hasher;
    return hasher.Hash(password);
}

int AddUser(const LobbyOptions& options) {
    if (const auto problem = account_rules::UserNameProblem(options.userName)) {
        std::cerr << kProgram << *problem << '\n';
        return kExitFailure;
    }
    LobbyStore store(options.database);
    const auto hash = HashNewPassword(options);
    if (!hash)
        return kExitFailure;
    const auto number = store.AddPlayer(options.userName, *hash, LobbyService::SystemClock()());
    if (!number) {
        std::cerr << kProgram << "the user name " << options.userName << " is taken\n";
        return kExitFailure;
    }
    std::cout << kProgram << "added " << options.userName << " as player " << *number << '\n';
    return EXIT_SUCCESS;
}

int ResetPassword(const LobbyOptions& options) {
    LobbyStore store(options.database);
    if (!store.FindPlayer(options.userName)) {
        std::cerr << kProgram << "there is no user " << options.userName << '\n';
        return kExitFailure;
    }
    const auto hash = HashNewPassword(options);
    if (!hash || !store.SetPasswordHash(options.userName, *hash))
        return kExitFailure;
    std::cout << kProgram << "new password set for " << options.userName << '\n';
    return EXIT_SUCCESS;
}

LobbyServer::Log RequestLog(bool enabled) {
    if (!enabled)
        return {};
    return [](const std::string& line) {
        static std::mutex mutex;
        std::lock_guard lock(mutex);
        std::cerr << line << '\n';
    };
}

// Every connection is a descriptor; the usual soft limit of 1024 would cut
// the lobby off long before --max-connections.
void RaiseDescriptorLimit(std::size_t connections) {
    constexpr rlim_t kSpare = 64; // database, log, listening socket
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, connections + kSpare);
    if (wanted > limit.rlim_cur) {
        limit.rlim_cur = wanted;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// The key and the relay's secret, read (or the key made) before serving.
LobbySettings WithSecrets(LobbySettings settings, const LobbyOptions& options) {
    if (!options.keyFile.empty())
        settings.signingKey = LobbyKey::LoadOrCreate(options.keyFile);
    if (!options.turnSecretFile.empty())
        settings.turn.secret = ReadTurnSecretFile(options.turnSecretFile);
    return settings;
}

int Serve(const LobbyOptions& options) {
    // Blocked before any thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    RaiseDescriptorLimit(options.server.maxConnections);
    const LobbySettings settings = WithSecrets(options.lobby, options);
    PasswordHasher hasher;
    // A connection to the database for each thread that may use it at once.
    LobbyStore store(options.database, options.server.threads +
                                           static_cast<std::size_t>(hasher.DefaultConcurrency()));
    LobbyService service(store, hasher, settings);
    LobbyServer server(service, options.server, RequestLog(options.logRequests));
    const int port = server.Start();
    std::cout << kProgram << "listening on " << options.server.address << ':' << port << std::endl;
    // For the owner to publish, so that players can check what their game
    // pinned at its first log-in.
    if (settings.signingKey)
        std::cout << kProgram << "signing tickets with the key in " << options.keyFile
                  << ", public key " << settings.signingKey->PublicKeyText() << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    std::cout << kProgram << "stopped" << std::endl;
    return EXIT_SUCCESS;
}

int Run(const LobbyOptions& options) {
    switch (options.command) {
    case LobbyCommand::Help:
        std::cout << LobbyUsage();
        return EXIT_SUCCESS;
    case LobbyCommand::AddUser:
        return AddUser(options);
    case LobbyCommand::ResetPassword:
        return ResetPassword(options);
    case LobbyCommand::Serve:
        return Serve(options);
    }
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    LobbyOptions options;
    try {
        options = ParseLobbyOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << kProgram << e.what() << '\n' << LobbyUsage();
        return kExitUsage;
    }
    try {
        return Run(options);
    } catch (const std::exception& e) {
        std::cerr << kProgram << e.what() << '\n';
        return kExitFailure;
    }
}
