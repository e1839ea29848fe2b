#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Just enough of STUN and TURN (RFC 8489, RFC 8656) over UDP to ask a
// relay for an allocation with long-term credentials, open a permission and
// send through it: the tests' own client, so that the relay is checked with
// the credentials the lobby mints and nothing else.
class StunClient {
  public:
    // A UDP socket on 127.0.0.1 towards the server.
    explicit StunClient(int serverPort);
    ~StunClient();
    StunClient(const StunClient&) = delete;
    StunClient& operator=(const StunClient&) = delete;

    struct Reply {
        std::uint16_t type = 0; // 0: none came
        int errorCode = 0;
        std::map<std::uint16_t, std::string> attributes;
    };

    // A Binding request; whether a success came within `wait`.
    bool Binds(std::chrono::milliseconds wait);
    // An Allocate for UDP with the credentials: first without, to learn the
    // realm and nonce, then with them.  The last reply.
    Reply Allocate(const std::string& user, const std::string& password);
    // After a successful Allocate: a permission for the peer 127.0.0.1 or
    // any IPv4 address.
    Reply CreatePermission(const std::string& peerAddress);
    // A Send indication to the peer through the relay.
    void Send(const std::string& peerAddress, int peerPort, const std::string& data);
    // The relayed address of the allocation: "A.B.C.D:PORT".
    std::string RelayedAddress() const { return relayed_; }

    static constexpr std::uint16_t kAllocateSuccess = 0x0103;
    static constexpr std::uint16_t kAllocateError = 0x0113;
    static constexpr std::uint16_t kPermissionSuccess = 0x0108;
    static constexpr std::uint16_t kPermissionError = 0x0118;

  private:
    Reply Exchange(std::uint16_t type,
                   const std::vector<std::pair<std::uint16_t, std::string>>& attributes, bool sign);

    int socket_ = -1;
    std::string user_, realm_, nonce_, key_;
    std::string relayed_;
};

// MD5 (RFC 1321), which the long-term credential key needs.
std::string Md5(const std::string& message);
