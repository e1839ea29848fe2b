#include "lobby_test_support.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "zellhop-lobby-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary directory");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace game_requests {

std::string Login(const std::string& name, const std::string& password,
                  const std::string& version) {
    return "/tavlo/tavlologin2.php?username=" + name + "&password=" + password +
           "&progversion=" + version;
}

std::string CreateGame(const std::string& session, const std::string& encodedName,
                       const std::string& seats) {
    return "/tavlo/creategame.php?mysessid=" + session + "&gametype=1&gamename=" + encodedName +
           "&players=" + seats;
}

std::string ListGames(const std::string& session) {
    return "/tavlo/getgames.php?mysessid=" + session + "&gametype=1";
}

std::string Refresh(const std::string& session, std::int32_t gameNumber, std::int32_t newPlayer,
                    std::int32_t newGameState, std::int32_t winner) {
    std::string target = "/tavlo/refreshgame.php?mysessid=" + session +
                         "&gametype=1&gameno=" + std::to_string(gameNumber);
    if (newPlayer > 0)
        target += "&newplayer=" + std::to_string(newPlayer);
    if (newGameState > 0)
        target += "&newgamestate=" + std::to_string(newGameState);
    if (winner > 0)
        target += "&winner=" + std::to_string(winner);
    return target;
}

} // namespace game_requests

LoginResult ParseLogin(const std::string& body) {
    static const std::regex success("0([A-Za-z0-9]{32})\n([1-9][0-9]*)");
    std::smatch match;
    if (std::regex_match(body, match, success))
        return {'0', match[1], std::stoi(match[2])};
    return {body.empty() ? '?' : body.front(), {}, 0};
}

int OpenConnection(int port, const std::string& sourceAddress) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (!sourceAddress.empty()) {
        inet_pton(AF_INET, sourceAddress.c_str(), &address.sin_addr);
        if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(socket);
            return -1;
        }
    }
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(socket);
        return -1;
    }
    return socket;
}

RawReply RawExchange(int port, const std::string& bytes, std::chrono::milliseconds quiet,
                     const std::string& sourceAddress) {
    RawReply reply;
    const int socket = OpenConnection(port, sourceAddress);
    if (socket < 0)
        return reply;
    send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    pollfd ready{socket, POLLIN, 0};
    while (poll(&ready, 1, static_cast<int>(quiet.count())) > 0) {
        char chunk[4096];
        const ssize_t got = recv(socket, chunk, sizeof chunk, 0);
        if (got <= 0) {
            reply.closed = true;
            break;
        }
        reply.bytes.append(chunk, static_cast<std::size_t>(got));
    }
    close(socket);
    return reply;
}

RunningLobby::RunningLobby(LobbySettings lobby, ServerSettings server, LobbyServer::Log log)
    : store_(std::make_unique<LobbyStore>((dir_.Path() / "lobby.db").string())) {
    service_ = std::make_unique<LobbyService>(*store_, hasher_, std::move(lobby),
                                              [this] { return nowMs_.load(); });
    server_ = std::make_unique<LobbyServer>(*service_, server, std::move(log));
    port_ = server_->Start();
}

LobbySettings RunningLobby::TestLobbySettings() {
    LobbySettings settings;
    settings.hashesPerAddress = {};
    settings.loginsPerAccount = {};
    return settings;
}

RunningLobby::~RunningLobby() {
    server_->Stop();
}

ServerSettings RunningLobby::TestServerSettings() {
    ServerSettings settings;
    settings.address = "127.0.0.1";
    settings.port = 0;
    settings.maxConnectionsPerAddress = 0;
    settings.requestsPerAddress = {};
    return settings;
}

HttpReply RunningLobby::Get(const std::string& target, const std::string& sourceAddress) const {
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    if (!sourceAddress.empty())
        client.set_interface(sourceAddress);
    const auto result = client.Get(target);
    if (!result)
        return {-1, httplib::to_string(result.error())};
    return {result->status, result->body};
}

HttpReply
RunningLobby::PostForm(const std::string& target,
                       const std::vector<std::pair<std::string, std::string>>& fields) const {
    httplib::Client client("127.0.0.1", port_);
    httplib::Params params;
    for (const auto& [key, value] : fields)
        params.emplace(key, value);
    const auto result = client.Post(target, params);
    if (!result)
        return {-1, httplib::to_string(result.error())};
    return {result->status, result->body};
}

std::int32_t RunningLobby::AddAccount(const std::string& name, const std::string& password) const {
    const HttpReply reply =
        PostForm("/main.php?pageno=100",
                 {{"username", name}, {"password", password}, {"password2", password}});
    EXPECT_EQ(reply.status, 200) << reply.body;
    static const std::regex number("player number ([0-9]+)");
    std::smatch match;
    return std::regex_search(reply.body, match, number) ? std::stoi(match[1]) : 0;
}

LoginResult RunningLobby::Login(const std::string& name, const std::string& password) const {
    return ParseLogin(Get(game_requests::Login(name, password)).body);
}

LoginResult RunningLobby::NewPlayer(const std::string& name) const {
    const std::string password = "secret-" + name;
    AddAccount(name, password);
    const LoginResult login = Login(name, password);
    EXPECT_EQ(login.outcome, '0') << name;
    return login;
}

std::vector<ListedEntry> ParseGameList(const std::string& body) {
    std::vector<ListedEntry> entries;
    if (body.rfind("1\n", 0) != 0) {
        ADD_FAILURE() << "not a list reply: " << body;
        return entries;
    }
    std::vector<std::string> lines;
    std::size_t start = 2;
    while (start < body.size()) {
        const std::size_t end = body.find('\n', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "the last line has no line end: " << body;
            break;
        }
        lines.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() % 3 != 0)
        ADD_FAILURE() << "entries are not three lines each: " << body;
    for (std::size_t i = 0; i + 2 < lines.size(); i += 3)
        entries.push_back({lines[i], lines[i + 1], lines[i + 2]});
    return entries;
}
