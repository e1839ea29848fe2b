// What one end of a path between two players tells the other before they
// can reach each other: its ICE credentials and candidate addresses, as one
// short line of printable ASCII that travels through the lobby.  The line
// comes from the other player's program by way of a server, so it is read
// as untrusted input: every field is bounded and checked, and anything
// that is not exactly a description is refused whole.
//
//   ice1 UFRAG PWD CANDIDATE...
//   CANDIDATE = KIND,FOUNDATION,PRIORITY,ADDRESS,PORT
//   KIND      = h (host) | s (server-reflexive) | r (relayed)
//
// for example
//   ice1 Xb3F Kq9mZ2v8Rk1s0dPw4tYhNc h,1,2130706431,192.168.1.10,50123
//        r,4,16777215,11.0.100.2,49312
// (one line).  Fields are separated by single spaces, the parts of a
// candidate by commas; ADDRESS is numeric IPv4 or IPv6 without brackets or
// zone.  There is one ICE component per path, so none is named.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kIceDescriptionTag = "ice1";
// The whole line; a lobby can hold it in one request parameter.
inline constexpr std::size_t kMaxIceDescriptionBytes = 1200;
inline constexpr std::size_t kMaxIceCandidates = 16;
// ICE's own bounds (RFC 8445 section 5.3, RFC 8839), the password's upper
// one tightened: ours are 24 characters.
inline constexpr std::size_t kMinIceUfragChars = 4;
inline constexpr std::size_t kMaxIceUfragChars = 32;
inline constexpr std::size_t kMinIcePwdChars = 22;
inline constexpr std::size_t kMaxIcePwdChars = 64;
inline constexpr std::size_t kMaxIceFoundationChars = 32;

// A description that cannot be read; the text says which part failed.
class TIceDescriptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class TIceCandidateKind : uint8_t { Host, ServerReflexive, Relayed };

struct TIceCandidate {
    TIceCandidateKind kind = TIceCandidateKind::Host;
    std::string foundation;
    uint32_t priority = 0;
    std::string address; // as inet_ntop writes it
    uint16_t port = 0;

    bool operator==(const TIceCandidate&) const = default;
};

struct TIceDescription {
    std::string ufrag;
    std::string pwd;
    std::vector<TIceCandidate> candidates;

    bool operator==(const TIceDescription&) const = default;
};

// The line for a description; throws TIceDescriptionError when the
// description itself breaks a limit (call TrimIceCandidates first).
std::string EncodeIceDescription(const TIceDescription& description);
// The description in a line; throws TIceDescriptionError for anything else.
TIceDescription ParseIceDescription(std::string_view line);

// Whether an address may stand in a description: numeric, neither
// unspecified, multicast, broadcast nor IPv6 link-local (which needs a
// zone no peer could name).  On success `canonical` holds it as inet_ntop
// writes it.
bool UsableIceAddress(std::string_view text, std::string& canonical);

// Keeps at most kMaxIceCandidates candidates and the line within its
// size: relayed and server-reflexive candidates first (they are what
// crosses routers), then host candidates by priority.
void TrimIceCandidates(TIceDescription& description);
