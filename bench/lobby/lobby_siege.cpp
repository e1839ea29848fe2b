// lobby_siege: zellhop-lobby under attack while players use it. It starts the
// lobby (a program given on the command line, with a fresh SQLite file and
// its default limits), then for a while at once:
//   - holds --stalled connections that send half a request and stall, from
//     many loopback addresses, opening a new one whenever one is cut off;
//   - keeps --logins log-ins in flight (names without accounts, which cost
//     a full password check), from many loopback addresses;
//   - lists the games --rate times a second, one request per connection as
//     the game does, and times each listing.
// Then it prints what each kind of client got. With --check it fails when
// a listing went unanswered or over --max-p99-ms at the 99th percentile,
// or a log-in was closed without an answer.
//
//   lobby_siege --lobby PATH [--stalled 500] [--logins 400] [--rate 200]
//               [--seconds 20] [--max-p99-ms 500] [--client-niceness N] [--check]
//               [-- LOBBY-OPTIONS...]
//
// The clients run on the lobby's processor; --client-niceness lowers their
// priority (not the lobby's), as if they came from other machines.
// Loopback only: every address it uses is in 127.0.0.0/8.
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kClientTimeoutMs = 15000; // the game's own wait for a lobby reply
constexpr int kPerAddress = 10;         // well under the lobby's 64 per address

struct Options {
    std::string lobby;
    int stalled = 500;
    int logins = 400;
    int rate = 200;
    int seconds = 20;
    double maxP99Ms = 500;
    int clientNiceness = 0;
    bool check = false;
    std::vector<std::string> lobbyOptions;
};

// Loopback source addresses by group, so that per-address limits see many
// clients: 127.0.G.1, 127.0.G.2, ...
std::string SourceAddress(int group, int client) {
    return "127.0." + std::to_string(group) + "." + std::to_string(1 + client / kPerAddress);
}

int Connect(int port, const std::string& source) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &address.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

struct Answer {
    int status = 0; // 0: closed or timed out without a status line
    std::string body;
    double ms = 0;
};

// One request on a new connection, read until the server closes or the
// body by Content-Length is complete.
Answer Exchange(int port, const std::string& source, const std::string& target) {
    const auto start = Clock::now();
    Answer answer;
    const int fd = Connect(port, source);
    if (fd >= 0) {
        const std::string request = "GET " + target +
                                    " HTTP/1.1\r\nHost: lobby\r\nAccept: text/html, */*\r\n"
                                    "User-Agent: Mozilla/3.0 (compatible; Zellhop)\r\n\r\n";
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        std::string reply;
        pollfd ready{fd, POLLIN, 0};
        const auto deadline = start + std::chrono::milliseconds(kClientTimeoutMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0)
                break;
            char chunk[4096];
            const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            reply.append(chunk, static_cast<std::size_t>(got));
            const std::size_t headEnd = reply.find("\r\n\r\n");
            std::smatch length;
            const std::string head = reply.substr(0, headEnd);
            if (headEnd != std::string::npos &&
                std::regex_search(head, length,
                                  std::regex("Content-Length: ([0-9]+)", std::regex::icase)) &&
                reply.size() >= headEnd + 4 + std::stoul(length[1])) {
                answer.body = reply.substr(headEnd + 4, std::stoul(length[1]));
                break;
            }
        }
        close(fd);
        if (reply.starts_with("HTTP/1.") && reply.size() > 12)
            answer.status = std::atoi(reply.c_str() + 9);
    }
    answer.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return answer;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index =
        static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// The lobby in a process of its own, on a port it picks.
class Lobby {
  public:
    explicit Lobby(const Options& options) {
        char pattern[] = "/tmp/lobby-siege-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("cannot make a temporary directory");
        dir_ = pattern;
        const std::string db = dir_ + "/lobby.db";
        for (const char* name : {"siege1", "siege2", "siege3"})
            Run({options.lobby, "add-user", "--db", db, "--password", "siege-pass", name});
        std::vector<std::string> args{options.lobby, "--db",        db,
                                      "--listen",    "127.0.0.1:0", "--quiet"};
        args.insert(args.end(), options.lobbyOptions.begin(), options.lobbyOptions.end());
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&files, out[0]);
        pid_ = Spawn(args, &files);
        posix_spawn_file_actions_destroy(&files);
        close(out[1]);
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos && read(out[0], &c, 1) == 1)
            line += c;
        close(out[0]);
        std::smatch match;
        if (!std::regex_search(line, match, std::regex("listening on .*:([0-9]+)")))
            throw std::runtime_error("the lobby did not start: " + line);
        port_ = std::stoi(match[1]);
    }
    ~Lobby() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::filesystem::remove_all(dir_);
    }
    int Port() const { return port_; }

  private:
    static pid_t Spawn(std::vector<std::string> args, const posix_spawn_file_actions_t* files) {
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], files, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " + args[0]);
        return pid;
    }
    static void Run(const std::vector<std::string>& args) {
        int status = 0;
        if (waitpid(Spawn(args, nullptr), &status, 0) < 0 || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            throw std::runtime_error("the lobby's add-user failed");
    }

    std::string dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// Half a request, then nothing; a new one whenever the lobby cuts it off.
void Stall(int port, const std::string& source, const std::atomic<bool>& running,
           std::atomic<int>& opened, std::atomic<int>& cut) {
    const std::string half = "GET /tavlo/getgames.php?mysessid=";
    while (running) {
        const int fd = Connect(port, source);
        if (fd < 0) {
            std::this_thread::sleep_for(100ms);
            continue;
        }
        ++opened;
        send(fd, half.data(), half.size(), MSG_NOSIGNAL);
        pollfd ready{fd, POLLIN, 0};
        while (running && poll(&ready, 1, 100) == 0) {
        }
        if (running)
            ++cut;
        close(fd);
    }
}

struct Tally {
    std::mutex mutex;
    std::map<std::string, int> outcomes;
    std::vector<double> ms;
    std::map<std::string, std::vector<double>> msByOutcome;
    void Add(const std::string& outcome, double ms) {
        std::lock_guard lock(mutex);
        ++outcomes[outcome];
        this->ms.push_back(ms);
        msByOutcome[outcome].push_back(ms);
    }
};

std::string LoginOutcome(const Answer& answer) {
    if (answer.status == 0)
        return "closed without an answer";
    if (answer.status == 200)
        return answer.body == "1" ? "200 refused (bad password)"
                                  : "200 other: " + answer.body.substr(0, 8);
    return std::to_string(answer.status);
}

void PrintTally(const char* what, Tally& tally) {
    std::printf("%s: %zu\n", what, tally.ms.size());
    for (const auto& [outcome, count] : tally.outcomes) {
        const auto& ms = tally.msByOutcome[outcome];
        std::printf("  %-28s %6d   p50 %7.1f ms   p99 %7.1f ms   max %7.1f ms\n", outcome.c_str(),
                    count, Percentile(ms, 0.5), Percentile(ms, 0.99), Percentile(ms, 1.0));
    }
}

Options Parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&] {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " wants a value");
            return std::string(argv[++i]);
        };
        if (arg == "--lobby")
            options.lobby = value();
        else if (arg == "--stalled")
            options.stalled = std::stoi(value());
        else if (arg == "--logins")
            options.logins = std::stoi(value());
        else if (arg == "--rate")
            options.rate = std::stoi(value());
        else if (arg == "--seconds")
            options.seconds = std::stoi(value());
        else if (arg == "--max-p99-ms")
            options.maxP99Ms = std::stod(value());
        else if (arg == "--client-niceness")
            options.clientNiceness = std::stoi(value());
        else if (arg == "--check")
            options.check = true;
        else if (arg == "--") {
            options.lobbyOptions.assign(argv + i + 1, argv + argc);
            break;
        } else
            throw std::runtime_error("unknown option " + arg);
    }
    if (options.lobby.empty())
        throw std::runtime_error("--lobby PATH is missing");
    return options;
}

int Siege(const Options& options) {
    // Every client is a descriptor, and so is each end in this process.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    Lobby lobby(options);
    const int port = lobby.Port();
    const Answer login =
        Exchange(port, "127.0.0.1",
                 "/tavlo/tavlologin2.php?username=siege1&password=siege-pass&progversion=1.4.0.5");
    const std::string session = login.body.substr(1, 32);
    Exchange(port, "127.0.0.1",
             "/tavlo/creategame.php?mysessid=" + session +
                 "&gametype=1&gamename=Siege&players=130300");
    const std::string listing = "/tavlo/getgames.php?mysessid=" + session + "&gametype=1";
    if (Exchange(port, "127.0.0.1", listing).body.find("Siege") == std::string::npos)
        throw std::runtime_error("the lobby does not list the game it was given");

    // Threads made from here on inherit the niceness; the lobby keeps its own.
    setpriority(PRIO_PROCESS, 0, options.clientNiceness);

    std::atomic<bool> running{true};
    std::atomic<int> stallOpened{0}, stallCut{0};
    Tally logins, listings;
    std::vector<std::thread> threads;
    for (int i = 0; i < options.stalled; ++i)
        threads.emplace_back(Stall, port, SourceAddress(42, i), std::cref(running),
                             std::ref(stallOpened), std::ref(stallCut));
    std::this_thread::sleep_for(500ms); // the stalled connections are in place first
    for (int i = 0; i < options.logins; ++i)
        threads.emplace_back([&, i] {
            int attempt = 0;
            while (running) {
                const std::string name =
                    "nobody" + std::to_string(i) + "x" + std::to_string(attempt++);
                const Answer answer = Exchange(port, SourceAddress(43, i),
                                               "/tavlo/tavlologin2.php?username=" + name +
                                                   "&password=guess-it&progversion=1.4.0.5");
                logins.Add(LoginOutcome(answer), answer.ms);
            }
        });

    // Listings at a steady pace, each on a thread of its own so that a slow
    // one does not hold back the next.
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(options.seconds);
    const auto interval = std::chrono::microseconds(1000000 / std::max(options.rate, 1));
    std::vector<std::thread> listers;
    int sent = 0;
    for (auto next = start; next < end; next += interval, ++sent) {
        std::this_thread::sleep_until(next);
        listers.emplace_back([&, sent] {
            const Answer answer = Exchange(port, SourceAddress(44, sent % 200), listing);
            const bool listed =
                answer.status == 200 && answer.body.find("Siege") != std::string::npos;
            listings.Add(listed               ? "listed"
                         : answer.status == 0 ? "no answer"
                                              : std::to_string(answer.status),
                         answer.ms);
        });
    }
    for (std::thread& lister : listers)
        lister.join();
    running = false;
    for (std::thread& thread : threads)
        thread.join();

    std::printf("stalled connections: %d held, %d opened in all, %d cut off by the lobby\n",
                options.stalled, stallOpened.load(), stallCut.load());
    PrintTally("log-ins", logins);
    PrintTally("listings", listings);
    const double p99 = Percentile(listings.ms, 0.99);
    std::printf("listings: p99 %.1f ms over %zu\n", p99, listings.ms.size());

    if (!options.check)
        return 0;
    bool ok = true;
    if (listings.outcomes["listed"] != static_cast<int>(listings.ms.size())) {
        std::printf("FAIL: not every listing was answered with the list\n");
        ok = false;
    }
    if (p99 > options.maxP99Ms) {
        std::printf("FAIL: listings p99 %.1f ms is over %.1f ms\n", p99, options.maxP99Ms);
        ok = false;
    }
    if (logins.outcomes.count("closed without an answer") != 0) {
        std::printf("FAIL: log-ins were closed without an answer\n");
        ok = false;
    }
    std::printf("%d passed, %d failed\n", ok ? 1 : 0, ok ? 0 : 1);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Siege(Parse(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lobby_siege: %s\n", e.what());
        return 2;
    }
}
