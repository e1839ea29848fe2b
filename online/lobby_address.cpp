#include "lobby_address.h"

#include <algorithm>

namespace {

constexpr int kHighestPort = 65535;
constexpr std::size_t kMaxPortDigits = 5;
constexpr std::size_t kMaxLabelLength = 63; // between two dots, as DNS has it
constexpr char kListSeparator = ',';

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool IsHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Labels of 1..63 characters between dots; one final dot (a fully
// qualified name) is allowed.
bool HasGoodLabels(std::string_view host) {
    if (host.size() > 1 && host.back() == '.')
        host.remove_suffix(1);
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = std::min(host.find('.', start), host.size());
        const std::size_t length = dot - start;
        if (length == 0 || length > kMaxLabelLength)
            return false;
        if (dot == host.size())
            return true;
        start = dot + 1;
    }
}

TLobbyFieldProblem HostProblem(std::string_view host) {
    if (host.size() > kMaxLobbyHostLength)
        return TLobbyFieldProblem::TooLong;
    if (host.empty() || !std::all_of(host.begin(), host.end(), IsHostCharacter) ||
        !HasGoodLabels(host))
        return TLobbyFieldProblem::BadHost;
    return TLobbyFieldProblem::None;
}

// 1..65535 in at most five decimal digits, or 0 for anything else.
int PortNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > kMaxPortDigits)
        return 0;
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        port = port * 10 + (c - '0');
    }
    return port <= kHighestPort ? port : 0;
}

} // namespace

TLobbyFieldReading ReadLobbyField(std::string_view text) {
    text = Trimmed(text);
    if (text.empty())
        return {TLobbyFieldProblem::Blank, {}};
    if (text.size() > kMaxLobbyFieldLength)
        return {TLobbyFieldProblem::TooLong, {}};
    // A web address ("http://host") names a host, but not as the field takes it.
    if (text.find("://") != std::string_view::npos)
        return {TLobbyFieldProblem::BadHost, {}};
    const std::size_t colon = text.find(':');
    const std::string_view host = text.substr(0, colon);
    if (const TLobbyFieldProblem problem = HostProblem(host); problem != TLobbyFieldProblem::None)
        return {problem, {}};
    TLobbyAddress lobby;
    std::transform(host.begin(), host.end(), std::back_inserter(lobby.host), Lower);
    if (colon != std::string_view::npos) {
        // A second colon (an IPv6 address) is no port either.
        lobby.port = PortNumber(text.substr(colon + 1));
        if (lobby.port == 0)
            return {TLobbyFieldProblem::BadPort, {}};
    }
    return {TLobbyFieldProblem::None, lobby};
}

std::string LobbyFieldText(const TLobbyAddress& lobby) {
    if (lobby.port == kLobbyPort)
        return lobby.host;
    return lobby.host + ":" + std::to_string(lobby.port);
}

std::vector<std::string> ParseUsedLobbies(std::string_view value) {
    std::vector<std::string> lobbies;
    while (!value.empty() && lobbies.size() < kMaxUsedLobbies) {
        const std::size_t comma = std::min(value.find(kListSeparator), value.size());
        const TLobbyFieldReading reading = ReadLobbyField(value.substr(0, comma));
        value.remove_prefix(std::min(comma + 1, value.size()));
        if (reading.problem != TLobbyFieldProblem::None)
            continue;
        std::string text = LobbyFieldText(reading.lobby);
        if (std::find(lobbies.begin(), lobbies.end(), text) == lobbies.end())
            lobbies.push_back(std::move(text));
    }
    return lobbies;
}

std::string UsedLobbiesValue(const std::vector<std::string>& lobbies, std::size_t maxLength) {
    std::string value;
    for (const std::string& lobby : lobbies) {
        const std::size_t added = lobby.size() + (value.empty() ? 0 : 1);
        if (value.size() + added > maxLength)
            break;
        if (!value.empty())
            value += kListSeparator;
        value += lobby;
    }
    return value;
}

std::vector<std::string> RememberLobby(const std::vector<std::string>& lobbies,
                                       const TLobbyAddress& chosen) {
    const std::string text = LobbyFieldText(chosen);
    std::vector<std::string> remembered{text};
    for (const std::string& lobby : lobbies)
        if (lobby != text && remembered.size() < kMaxUsedLobbies)
            remembered.push_back(lobby);
    return remembered;
}
