#include "stun_client.h"

#include "sha1.h"

#include <arpa/inet.h>
#include <array>
#include <cmath>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kMagicCookie = 0x2112A442;
constexpr std::size_t kHeaderBytes = 20;
constexpr std::uint16_t kBindingRequest = 0x0001;
constexpr std::uint16_t kBindingSuccess = 0x0101;
constexpr std::uint16_t kAllocateRequest = 0x0003;
constexpr std::chrono::milliseconds kResendEvery{500};
constexpr std::uint16_t kPermissionRequest = 0x0008;
constexpr std::uint16_t kSendIndication = 0x0016;

constexpr std::uint16_t kUsername = 0x0006;
constexpr std::uint16_t kMessageIntegrity = 0x0008;
constexpr std::uint16_t kErrorCode = 0x0009;
constexpr std::uint16_t kXorPeerAddress = 0x0012;
constexpr std::uint16_t kData = 0x0013;
constexpr std::uint16_t kRealm = 0x0014;
constexpr std::uint16_t kNonce = 0x0015;
constexpr std::uint16_t kXorRelayedAddress = 0x0016;
constexpr std::uint16_t kRequestedTransport = 0x0019;
constexpr char kUdpTransport = 17;
constexpr auto kReplyWait = std::chrono::milliseconds(5000);

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>((value >> 8) & 0xff);
    out += static_cast<char>(value & 0xff);
}
void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value >> 16);
    Put16(out, value & 0xffff);
}
std::uint32_t Get16(const std::string& in, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(in[at]) << 8 |
                                      static_cast<unsigned char>(in[at + 1]));
}

void PutAttribute(std::string& out, std::uint16_t type, const std::string& value) {
    Put16(out, type);
    Put16(out, static_cast<std::uint32_t>(value.size()));
    out += value;
    out.append((4 - value.size() % 4) % 4, '\0');
}

// XOR-PEER-ADDRESS of an IPv4 address and port.
std::string XorAddress(const std::string& address, int port) {
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        throw std::invalid_argument("not an IPv4 address: " + address);
    std::string value(1, '\0');
    value += '\x01';
    Put16(value, static_cast<std::uint32_t>(port) ^ (kMagicCookie >> 16));
    Put32(value, ntohl(parsed.s_addr) ^ kMagicCookie);
    return value;
}

std::string ReadXorAddress(const std::string& value) {
    if (value.size() < 8)
        return {};
    const std::uint32_t port = Get16(value, 2) ^ (kMagicCookie >> 16);
    const std::uint32_t address = (Get16(value, 4) << 16 | Get16(value, 6)) ^ kMagicCookie;
    in_addr raw{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &raw, text, sizeof text);
    return std::string(text) + ":" + std::to_string(port);
}

std::string TransactionId() {
    static std::mt19937 random{std::random_device{}()};
    std::string id;
    for (int i = 0; i < 12; ++i)
        id += static_cast<char>(random() & 0xff);
    return id;
}

} // namespace

StunClient::StunClient(int serverPort) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(serverPort));
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (socket_ < 0 || connect(socket_, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0)
        throw std::runtime_error("no UDP socket for the STUN client");
}

StunClient::~StunClient() {
    if (socket_ >= 0)
        close(socket_);
}

StunClient::Reply
StunClient::Exchange(std::uint16_t type,
                     const std::vector<std::pair<std::uint16_t, std::string>>& attributes,
                     bool sign) {
    const std::string id = TransactionId();
    std::string body;
    for (const auto& [attribute, value] : attributes)
        PutAttribute(body, attribute, value);
    if (sign) {
        PutAttribute(body, kUsername, user_);
        PutAttribute(body, kRealm, realm_);
        PutAttribute(body, kNonce, nonce_);
    }
    const auto header = [&](std::size_t length) {
        std::string out;
        Put16(out, type);
        Put16(out, static_cast<std::uint32_t>(length));
        Put32(out, kMagicCookie);
        return out + id;
    };
    std::string message = header(body.size()) + body;
    if (sign) {
        // The integrity covers the message with its length already counting itself.
        constexpr std::size_t kIntegrityBytes = 4 + sha1::kDigestBytes;
        const sha1::Digest mac = sha1::Hmac(key_, header(body.size() + kIntegrityBytes) + body);
        message = header(body.size() + kIntegrityBytes) + body;
        PutAttribute(message, kMessageIntegrity, std::string(mac.begin(), mac.end()));
    }
    send(socket_, message.data(), message.size(), 0);

    Reply reply;
    if (type == kSendIndication)
        return reply;
    // Sent again now and then, as STUN clients do: a loaded machine may
    // drop a loopback datagram too, and the relay answers a repeated
    // transaction as it answered the first.
    const auto deadline = std::chrono::steady_clock::now() + kReplyWait;
    auto resend = std::chrono::steady_clock::now() + kResendEvery;
    std::string datagram(2048, '\0');
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{socket_, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) {
            if (std::chrono::steady_clock::now() >= resend) {
                send(socket_, message.data(), message.size(), 0);
                resend += kResendEvery;
            }
            continue;
        }
        const ssize_t got = recv(socket_, datagram.data(), datagram.size(), 0);
        if (got < static_cast<ssize_t>(kHeaderBytes) || datagram.compare(8, 12, id) != 0)
            continue;
        const std::string in = datagram.substr(0, static_cast<std::size_t>(got));
        reply.type = static_cast<std::uint16_t>(Get16(in, 0));
        for (std::size_t at = kHeaderBytes; at + 4 <= in.size();) {
            const std::uint32_t attribute = Get16(in, at);
            const std::size_t length = Get16(in, at + 2);
            if (at + 4 + length > in.size())
                break;
            reply.attributes[static_cast<std::uint16_t>(attribute)] = in.substr(at + 4, length);
            at += 4 + (length + 3) / 4 * 4;
        }
        if (const auto error = reply.attributes.find(kErrorCode);
            error != reply.attributes.end() && error->second.size() >= 4)
            reply.errorCode =
                (error->second[2] & 0x7) * 100 + static_cast<unsigned char>(error->second[3]);
        return reply;
    }
    return reply;
}

bool StunClient::Binds(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string id = TransactionId();
        std::string message;
        Put16(message, kBindingRequest);
        Put16(message, 0);
        Put32(message, kMagicCookie);
        message += id;
        send(socket_, message.data(), message.size(), 0);
        pollfd ready{socket_, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        std::string datagram(2048, '\0');
        const ssize_t got = recv(socket_, datagram.data(), datagram.size(), 0);
        if (got >= static_cast<ssize_t>(kHeaderBytes) && Get16(datagram, 0) == kBindingSuccess)
            return true;
    }
    return false;
}

StunClient::Reply StunClient::Allocate(const std::string& user, const std::string& password) {
    const std::vector<std::pair<std::uint16_t, std::string>> transport{
        {kRequestedTransport, std::string(1, kUdpTransport) + std::string(3, '\0')}};
    const Reply challenge = Exchange(kAllocateRequest, transport, false);
    if (challenge.errorCode != 401)
        return challenge;
    user_ = user;
    realm_ = challenge.attributes.count(kRealm) ? challenge.attributes.at(kRealm) : "";
    nonce_ = challenge.attributes.count(kNonce) ? challenge.attributes.at(kNonce) : "";
    key_ = Md5(user + ":" + realm_ + ":" + password);
    Reply reply = Exchange(kAllocateRequest, transport, true);
    if (reply.attributes.count(kXorRelayedAddress))
        relayed_ = ReadXorAddress(reply.attributes.at(kXorRelayedAddress));
    return reply;
}

StunClient::Reply StunClient::CreatePermission(const std::string& peerAddress) {
    return Exchange(kPermissionRequest, {{kXorPeerAddress, XorAddress(peerAddress, 0)}}, true);
}

void StunClient::Send(const std::string& peerAddress, int peerPort, const std::string& data) {
    Exchange(kSendIndication, {{kXorPeerAddress, XorAddress(peerAddress, peerPort)}, {kData, data}},
             false);
}

// RFC 1321, written plainly: the tests' only need is the TURN key.
std::string Md5(const std::string& message) {
    static const std::array<int, 64> kShifts = {
        7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
        14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
        4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};
    std::array<std::uint32_t, 64> sines{};
    for (std::size_t i = 0; i < sines.size(); ++i)
        sines[i] =
            static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
    std::string data = message + '\x80';
    while (data.size() % 64 != 56)
        data += '\0';
    const std::uint64_t bits = static_cast<std::uint64_t>(message.size()) * 8;
    for (int i = 0; i < 8; ++i)
        data += static_cast<char>((bits >> (8 * i)) & 0xff);
    std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (std::size_t block = 0; block < data.size(); block += 64) {
        std::uint32_t words[16];
        for (int i = 0; i < 16; ++i) {
            words[i] = 0;
            for (int b = 3; b >= 0; --b)
                words[i] = words[i] << 8 | static_cast<unsigned char>(data[block + 4 * i + b]);
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            const std::uint32_t sum = a + f + sines[static_cast<std::size_t>(i)] + words[g];
            a = d;
            d = c;
            c = b;
            b += (sum << kShifts[static_cast<std::size_t>(i)]) |
                 (sum >> (32 - kShifts[static_cast<std::size_t>(i)]));
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
    }
    std::string digest;
    for (std::uint32_t word : h)
        for (int i = 0; i < 4; ++i)
            digest += static_cast<char>((word >> (8 * i)) & 0xff);
    return digest;
}
