#include "lobby_options.h"

#include <charconv>

namespace {

constexpr int kMaxPort = 65535;

long ParseNumber(const std::string& option, const std::string& text, long min, long max) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < min || value > max)
        throw UsageError(option + " wants a number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not \"" + text + "\"");
    return value;
}

// ADDRESS:PORT; an IPv6 address goes in brackets.
void ParseListen(const std::string& text, ServerSettings& server) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw UsageError("--listen wants ADDRESS:PORT, not \"" + text + "\"");
    std::string address = text.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    server.address = address;
    server.port = static_cast<int>(ParseNumber("--listen", text.substr(colon + 1), 0, kMaxPort));
}

// HOST:PORT as the programs reach the relay; an IPv6 address in brackets.
std::string ParseTurnServer(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    const std::string host = colon == std::string::npos ? std::string() : text.substr(0, colon);
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    if (host.empty() || (!bracketed && host.find_first_of(":[] ") != std::string::npos))
        throw UsageError("--turn wants ADDRESS:PORT, not \"" + text + "\"");
    ParseNumber("--turn", text.substr(colon + 1), 1, kMaxPort);
    return text;
}

// Walks the arguments, handing each option its value.
class ArgumentReader {
  public:
    explicit ArgumentReader(const std::vector<std::string>& args) : args_(args) {}
    bool Done() const { return next_ >= args_.size(); }
    const std::string& Next() { return args_[next_++]; }
    const std::string& ValueOf(const std::string& option) {
        if (Done())
            throw UsageError(option + " wants a value");
        return Next();
    }

  private:
    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
};

void AddTrustedProxy(const std::string& text, ServerSettings& server) {
    try {
        server.trustedProxies.Add(AddressRange::Parse(text));
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--trust-proxy: ") + e.what());
    }
}

void ParseServeOption(const std::string& option, ArgumentReader& reader, LobbyOptions& options,
                      bool& versionsGiven) {
    constexpr long kMaxThreads = 256;
    constexpr long kMaxConnections = 65536;
    constexpr long kMaxRate = 1000000;
    constexpr long kMaxExpirySeconds = 7 * 24 * 3600;
    // A client may spend twice its rate at once, as a page and its
    // stylesheet come together.
    constexpr double kBurstPerRate = 2;
    ServerSettings& server = options.server;
    if (option == "--listen")
        ParseListen(reader.ValueOf(option), server);
    else if (option == "--accept-version") {
        // The first one given replaces the built-in default.
        if (!versionsGiven)
            options.lobby.acceptedVersions.clear();
        versionsGiven = true;
        options.lobby.acceptedVersions.push_back(reader.ValueOf(option));
    } else if (option == "--expiry")
        options.lobby.gameExpiry =
            std::chrono::seconds(ParseNumber(option, reader.ValueOf(option), 1, kMaxExpirySeconds));
    else if (option == "--threads")
        server.threads = ParseNumber(option, reader.ValueOf(option), 1, kMaxThreads);
    else if (option == "--max-connections")
        server.maxConnections = ParseNumber(option, reader.ValueOf(option), 1, kMaxConnections);
    else if (option == "--max-per-address")
        server.maxConnectionsPerAddress =
            ParseNumber(option, reader.ValueOf(option), 0, kMaxConnections);
    else if (option == "--rate-per-address") {
        const auto rate =
            static_cast<double>(ParseNumber(option, reader.ValueOf(option), 0, kMaxRate));
        server.requestsPerAddress = {rate, rate * kBurstPerRate};
    } else if (option == "--trust-proxy")
        AddTrustedProxy(reader.ValueOf(option), server);
    else if (option == "--contact")
        options.lobby.contact = reader.ValueOf(option);
    else if (option == "--key-file")
        options.keyFile = reader.ValueOf(option);
    else if (option == "--turn")
        options.lobby.turn.server = ParseTurnServer(reader.ValueOf(option));
    else if (option == "--turn-secret-file")
        options.turnSecretFile = reader.ValueOf(option);
    else if (option == "--quiet")
        options.logRequests = false;
    else
        throw UsageError("unknown option " + option);
}

void ParseUserOption(const std::string& option, ArgumentReader& reader, LobbyOptions& options) {
    if (option == "--password")
        options.password = reader.ValueOf(option);
    else if (!option.starts_with("-") && options.userName.empty())
        options.userName = option;
    else
        throw UsageError("unknown option " + option);
}

} // namespace

LobbyOptions ParseLobbyOptions(const std::vector<std::string>& args) {
    LobbyOptions options;
    ArgumentReader reader(args);
    if (!reader.Done() && (args.front() == "add-user" || args.front() == "reset-password"))
        options.command =
            reader.Next() == "add-user" ? LobbyCommand::AddUser : LobbyCommand::ResetPassword;
    bool versionsGiven = false;
    while (!reader.Done()) {
        const std::string& option = reader.Next();
        if (option == "--help" || option == "-h")
            options.command = LobbyCommand::Help;
        else if (option == "--db")
            options.database = reader.ValueOf(option);
        else if (options.command == LobbyCommand::Serve)
            ParseServeOption(option, reader, options, versionsGiven);
        else
            ParseUserOption(option, reader, options);
    }
    if (options.command == LobbyCommand::Help)
        return options;
    if (options.database.empty())
        throw UsageError("--db FILE is missing");
    if (options.command != LobbyCommand::Serve && options.userName.empty())
        throw UsageError("the user name is missing");
    if (options.lobby.turn.server.empty() != options.turnSecretFile.empty())
        throw UsageError("--turn and --turn-secret-file go together");
    return options;
}

std::string LobbyUsage() {
    return "usage: zellhop-lobby --db FILE|URI [--listen ADDRESS:PORT] [--accept-version "
           "VERSION]...\n"
           "                     [--expiry SECONDS] [--threads N] [--max-connections N]\n"
           "                     [--max-per-address N] [--rate-per-address N]\n"
           "                     [--trust-proxy ADDRESS[/BITS]]... [--contact TEXT] [--quiet]\n"
           "                     [--key-file FILE] [--turn ADDRESS:PORT --turn-secret-file FILE]\n"
           "       zellhop-lobby add-user --db FILE|URI NAME [--password PASSWORD]\n"
           "       zellhop-lobby reset-password --db FILE|URI NAME [--password PASSWORD]\n"
           "\n"
           "Serves the Zellhop lobby over HTTP (default 0.0.0.0:80). --db is an SQLite file,\n"
           "or a postgresql:// URI that several lobbies may share. Games not refreshed for\n"
           "--expiry seconds (default 300) leave the list; --accept-version, which may be\n"
           "repeated, names the game versions that may log in (default 1.4.0.5).\n"
           "--threads (default 4) requests are answered at once; --max-connections (2048)\n"
           "connections are held, --max-per-address (64; 0: no limit) from one address, and\n"
           "--rate-per-address (50; 0: no limit) requests per second are taken from one\n"
           "client. --trust-proxy, which may be repeated, names reverse proxies whose\n"
           "X-Forwarded-For gives the client's address. --contact is shown on the\n"
           "forgotten-password page; --quiet leaves out the request log.\n"
           "--key-file holds the key that signs the tickets of programs that log in with a\n"
           "key; it is made (mode 0600) when missing. --turn names the relay (coturn) that\n"
           "those programs are given credentials for, made with the shared secret in the\n"
           "--turn-secret-file.\n"
           "add-user and reset-password read the password from standard input unless\n"
           "--password gives it.\n";
}
