#include "lobby_key_pins.h"

#include "config_folder.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace {

constexpr int kDefaultLobbyPort = 80;
const std::string kHeader = "# Lobby keys Zellhop saw at its first log-in on each lobby: "
                            "HOST:PORT KEY\n";
constexpr std::size_t kMaxLineLength = 1024;

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Explain(const std::string& name, const std::filesystem::path& file, bool noKey) {
    const std::string what = noKey
                                 ? "The lobby " + name + " answered without the key"
                                 : "The lobby " + name + " answered with another key than the one";
    return what +
           " this program kept from its first log-in there. Someone may be "
           "posing as the lobby, so its games are not trusted. If the lobby's owner has "
           "given it a new key, remove the line for " +
           name + " from " + file.string() + " and log in again.";
}

} // namespace

TLobbyKeyPins::TLobbyKeyPins(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path TLobbyKeyPins::DefaultFile() {
    return ConfigFolder() / "lobby-keys";
}

std::string TLobbyKeyPins::PinName(const std::string& lobbyHost) {
    const std::string host = LowerCase(Trimmed(lobbyHost));
    const bool bracketed = !host.empty() && host.front() == '[';
    const std::size_t colon = host.rfind(':');
    const bool hasPort = bracketed ? host.find("]:") != std::string::npos
                                   : colon != std::string::npos && host.find(':') == colon;
    if (hasPort)
        return host;
    // A bare IPv6 address has colons but no port.
    const bool bareIpv6 = !bracketed && colon != std::string::npos;
    return (bareIpv6 ? "[" + host + "]" : host) + ":" + std::to_string(kDefaultLobbyPort);
}

std::optional<TLobbyKey> TLobbyKeyPins::Find(const std::string& lobbyHost) const {
    const std::string name = PinName(lobbyHost);
    std::ifstream in(file_);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() > kMaxLineLength || line.empty() || line.front() == '#')
            continue;
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos || line.substr(0, blank) != name)
            continue;
        // The first line for a lobby that holds a key counts; a broken one
        // pins nothing, so the key pinned after it is found.
        if (auto key = ReadKeyText(Trimmed(line.substr(blank + 1))))
            return key;
    }
    return std::nullopt;
}

TPinCheck TLobbyKeyPins::Check(const std::string& lobbyHost,
                               const std::optional<TLobbyKey>& key) const {
    const std::string name = PinName(lobbyHost);
    const std::optional<TLobbyKey> pinned = Find(lobbyHost);
    if (pinned) {
        if (!key || *key != *pinned)
            throw ELobbyKeyChanged(Explain(name, file_, !key));
        return TPinCheck::Matches;
    }
    if (!key)
        return TPinCheck::NoKey;
    Append(name, *key);
    return TPinCheck::Pinned;
}

// Appended in one write, so that programs logging in at the same time add
// whole lines.
void TLobbyKeyPins::Append(const std::string& name, const TLobbyKey& key) const {
    std::error_code ignored;
    std::filesystem::create_directories(file_.parent_path(), ignored);
    const int fd = open(file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot write " + file_.string() + ": " + std::strerror(errno));
    std::string text = name + " " + KeyText(key) + "\n";
    if (lseek(fd, 0, SEEK_END) == 0)
        text = kHeader + text;
    const ssize_t written = write(fd, text.data(), text.size());
    const int error = errno;
    close(fd);
    if (written != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("cannot write " + file_.string() + ": " + std::strerror(error));
}

namespace {

bool OnThisMachine(const std::string& lobbyHost) {
    const std::string name = TLobbyKeyPins::PinName(lobbyHost);
    return name.rfind("127.", 0) == 0 || name.rfind("[::1]:", 0) == 0 ||
           name.rfind("localhost:", 0) == 0;
}

} // namespace

TLobbyItems CheckedLobbyItems(const TLobbyKeyPins& pins, const std::string& lobbyHost,
                              TLobbyItems items,
                              const std::function<void(const std::string& line)>& log) {
    if (OnThisMachine(lobbyHost))
        return items;
    try {
        pins.Check(lobbyHost, items.lobbyKey);
    } catch (const ELobbyKeyChanged& e) {
        log(std::string("***") + e.what());
        return {};
    } catch (const std::exception& e) {
        log(std::string("***Couldn't keep the lobby's key: ") + e.what());
    }
    return items;
}
