#include "ice_description.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <charconv>
#include <netinet/in.h>

namespace {

constexpr char kFieldSeparator = ' ';
constexpr char kPartSeparator = ',';
constexpr std::size_t kCandidateParts = 5;
constexpr std::size_t kHeaderFields = 3; // tag, ufrag, pwd
constexpr std::size_t kMaxPriorityDigits = 10;
constexpr std::size_t kMaxPortDigits = 5;

struct TKindLetter {
    TIceCandidateKind kind;
    char letter;
};
constexpr std::array<TKindLetter, 3> kKindLetters = {{
    {TIceCandidateKind::Host, 'h'},
    {TIceCandidateKind::ServerReflexive, 's'},
    {TIceCandidateKind::Relayed, 'r'},
}};

[[noreturn]] void Refuse(const std::string& what) {
    throw TIceDescriptionError("ICE description: " + what);
}

// ice-char = ALPHA / DIGIT / "+" / "/"
bool IceChars(std::string_view text, std::size_t minChars, std::size_t maxChars) {
    if (text.size() < minChars || text.size() > maxChars)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '+' || c == '/';
    });
}

// Plain decimal digits only: from_chars alone would take a sign.
template <typename Number>
bool ReadDecimal(std::string_view text, std::size_t maxDigits, Number& value) {
    if (text.empty() || text.size() > maxDigits ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

char LetterOf(TIceCandidateKind kind) {
    for (const TKindLetter& k : kKindLetters)
        if (k.kind == kind)
            return k.letter;
    Refuse("unknown candidate kind");
}

bool KindOf(std::string_view letter, TIceCandidateKind& kind) {
    for (const TKindLetter& k : kKindLetters)
        if (letter.size() == 1 && letter[0] == k.letter) {
            kind = k.kind;
            return true;
        }
    return false;
}

bool UsableIPv4(const in_addr& a) {
    const uint32_t host = ntohl(a.s_addr);
    const bool unspecified = host == 0;
    const bool multicast = (host >> 28) == 0xE;
    const bool broadcast = host == 0xFFFFFFFF;
    return !unspecified && !multicast && !broadcast;
}

bool UsableIPv6(const in6_addr& a) {
    // Mapped IPv4 would let one candidate name either family.
    return !IN6_IS_ADDR_UNSPECIFIED(&a) && !IN6_IS_ADDR_MULTICAST(&a) &&
           !IN6_IS_ADDR_LINKLOCAL(&a) && !IN6_IS_ADDR_V4MAPPED(&a);
}

TIceCandidate ParseCandidate(std::string_view text) {
    const std::vector<std::string_view> parts = Split(text, kPartSeparator);
    if (parts.size() != kCandidateParts)
        Refuse("a candidate needs five parts");
    TIceCandidate c;
    if (!KindOf(parts[0], c.kind))
        Refuse("unknown candidate kind");
    if (!IceChars(parts[1], 1, kMaxIceFoundationChars))
        Refuse("bad foundation");
    c.foundation = parts[1];
    if (!ReadDecimal(parts[2], kMaxPriorityDigits, c.priority) || c.priority == 0)
        Refuse("bad priority");
    if (!UsableIceAddress(parts[3], c.address))
        Refuse("unusable address");
    if (!ReadDecimal(parts[4], kMaxPortDigits, c.port) || c.port == 0)
        Refuse("bad port");
    return c;
}

std::string EncodeCandidate(const TIceCandidate& c) {
    std::string out(1, LetterOf(c.kind));
    for (const std::string& part :
         {c.foundation, std::to_string(c.priority), c.address, std::to_string(c.port)}) {
        out += kPartSeparator;
        out += part;
    }
    return out;
}

void CheckCandidate(const TIceCandidate& c) {
    std::string canonical;
    if (!IceChars(c.foundation, 1, kMaxIceFoundationChars) || c.priority == 0 || c.port == 0 ||
        !UsableIceAddress(c.address, canonical))
        Refuse("candidate out of bounds");
}

// Relayed and reflexive candidates first, then the rest by priority.
int Rank(const TIceCandidate& c) {
    return c.kind == TIceCandidateKind::Relayed           ? 0
           : c.kind == TIceCandidateKind::ServerReflexive ? 1
                                                          : 2;
}

} // namespace

bool UsableIceAddress(std::string_view text, std::string& canonical) {
    // Longer than any numeric IPv6 address: no zone, no trailing junk.  The
    // character check keeps a NUL from ending the text early for inet_pton.
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN ||
        !std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                   c == '.' || c == ':';
        }))
        return false;
    const std::string copy(text);
    char buffer[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, copy.c_str(), &v4) == 1) {
        if (!UsableIPv4(v4))
            return false;
        canonical = inet_ntop(AF_INET, &v4, buffer, sizeof buffer);
        return true;
    }
    if (inet_pton(AF_INET6, copy.c_str(), &v6) == 1) {
        if (!UsableIPv6(v6))
            return false;
        canonical = inet_ntop(AF_INET6, &v6, buffer, sizeof buffer);
        return true;
    }
    return false;
}

std::string EncodeIceDescription(const TIceDescription& d) {
    if (!IceChars(d.ufrag, kMinIceUfragChars, kMaxIceUfragChars) ||
        !IceChars(d.pwd, kMinIcePwdChars, kMaxIcePwdChars))
        Refuse("credentials out of bounds");
    if (d.candidates.empty() || d.candidates.size() > kMaxIceCandidates)
        Refuse("wrong number of candidates");
    std::string line(kIceDescriptionTag);
    line += kFieldSeparator + d.ufrag + kFieldSeparator + d.pwd;
    for (const TIceCandidate& c : d.candidates) {
        CheckCandidate(c);
        line += kFieldSeparator + EncodeCandidate(c);
    }
    if (line.size() > kMaxIceDescriptionBytes)
        Refuse("too long");
    return line;
}

TIceDescription ParseIceDescription(std::string_view line) {
    if (line.size() > kMaxIceDescriptionBytes)
        Refuse("too long");
    const std::vector<std::string_view> fields = Split(line, kFieldSeparator);
    if (fields.size() <= kHeaderFields || fields.size() > kHeaderFields + kMaxIceCandidates)
        Refuse("wrong number of fields");
    if (fields[0] != kIceDescriptionTag)
        Refuse("unknown format");
    TIceDescription d;
    if (!IceChars(fields[1], kMinIceUfragChars, kMaxIceUfragChars))
        Refuse("bad user fragment");
    if (!IceChars(fields[2], kMinIcePwdChars, kMaxIcePwdChars))
        Refuse("bad password");
    d.ufrag = fields[1];
    d.pwd = fields[2];
    for (std::size_t i = kHeaderFields; i < fields.size(); ++i)
        d.candidates.push_back(ParseCandidate(fields[i]));
    return d;
}

void TrimIceCandidates(TIceDescription& d) {
    std::vector<TIceCandidate> all = std::move(d.candidates);
    std::stable_sort(all.begin(), all.end(), [](const TIceCandidate& a, const TIceCandidate& b) {
        return Rank(a) != Rank(b) ? Rank(a) < Rank(b) : a.priority > b.priority;
    });
    std::size_t bytes = kIceDescriptionTag.size() + 1 + d.ufrag.size() + 1 + d.pwd.size();
    d.candidates.clear();
    for (TIceCandidate& c : all) {
        const std::size_t more = 1 + EncodeCandidate(c).size();
        if (d.candidates.size() == kMaxIceCandidates || bytes + more > kMaxIceDescriptionBytes)
            continue;
        bytes += more;
        d.candidates.push_back(std::move(c));
    }
}
