#include "http_client.h"

#include "http_errors.h"
#include "http_text.h"
#include "tcp_connection.h"

#include <stdexcept>
#include <vector>

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr int kFirstSuccess = 200;
constexpr int kLastSuccess = 299;
constexpr int kFirstRedirect = 300;
constexpr int kLastRedirect = 399;
constexpr int kNotModified = 304;

} // namespace

THttpClient::THttpClient() = default;

THttpClient::~THttpClient() = default;

void THttpClient::Connect() {
    Connect(DeadlineAfter(Timeout));
}

void THttpClient::Connect(TDeadline deadline) {
    if (Connected())
        throw std::runtime_error(kAlreadyConnected);
    FConnection = std::make_unique<TTcpConnection>(Host, Port, LocalAddress, deadline, CancelFd);
    FReader = std::make_unique<TReplyReader>(*FConnection);
}

void THttpClient::Disconnect() {
    FReader.reset();
    FConnection.reset();
}

std::string THttpClient::Get(const std::string& target) {
    return Get(target, DeadlineAfter(Timeout));
}

std::string THttpClient::Get(const std::string& target, TDeadline deadline) {
    std::string next = target;
    for (int requestCount = 1;; ++requestCount) {
        GetOnce(next, deadline);
        const bool success = FReply.ReplyCode >= kFirstSuccess && FReply.ReplyCode <= kLastSuccess;
        if (!IsRedirect() && success)
            return FReply.Body;
        if (!IsRedirect() || !HandleRedirects)
            throw EHttpProtocolError(FReply.ReplyCode, FReply.ReplyText);
        // The last redirect allowed is taken as the final reply, body and all.
        if (requestCount >= RedirectMaximum)
            return FReply.Body;
        // A redirect that names no place to go cannot be followed.
        if (FReply.Headers.Location.empty())
            throw EHttpProtocolError(FReply.ReplyCode, FReply.ReplyText);
        next = FReply.Headers.Location;
    }
}

// One request and its reply, without following a redirect.
void THttpClient::GetOnce(const std::string& targetText, TDeadline deadline) {
    const THttpTarget target = SplitTarget(targetText);
    ChooseHostAndPort(target);
    const std::string request = RequestText(target);
    if (!Connected())
        Connect(deadline);
    try {
        Exchange(request, deadline);
    } catch (...) {
        // Whatever is left of a reply that failed would be read as the
        // start of the next one.
        Disconnect();
        throw;
    }
    DisconnectUnlessKeptAlive();
}

// A full URL moves the client to its server, which stays for later plain
// paths; a plain path keeps Host and Port.
void THttpClient::ChooseHostAndPort(const THttpTarget& target) {
    if (!target.NamesHost)
        return;
    if (SameText(target.Protocol, "https"))
        throw std::runtime_error(kInterceptNotValid);
    const bool sameServer = SameText(target.Host, Host) && target.Port == Port;
    if (!sameServer)
        Disconnect();
    Host = target.Host;
    Port = target.Port.value_or(kDefaultHttpPort);
}

std::string THttpClient::RequestText(const THttpTarget& target) const {
    const char* version = ProtocolVersion == THttpProtocolVersion::pv1_0 ? "1.0" : "1.1";
    std::vector<std::string> lines = {"GET " + target.RequestTarget() + " HTTP/" + version,
                                      "Host: " + Host};
    for (const std::string& line : Request.RequestLines())
        lines.push_back(line);
    std::string request;
    for (const std::string& line : lines) {
        // A line break inside a value (a typed user name, say) would let
        // it write header lines or a second request of its own.
        if (HasLineBreak(line))
            throw EHttpRequestError("HTTP request refused: it holds a line break");
        request += line + kLineEnd;
    }
    return request + kLineEnd;
}

void THttpClient::Exchange(const std::string& request, TDeadline deadline) {
    FConnection->Send(request, deadline);
    FReader->ReadReply(FReply, deadline);
}

// The connection stays open for the next request only while both sides
// speak HTTP/1.1, the server has not said "close" and has not closed it.
void THttpClient::DisconnectUnlessKeptAlive() {
    if (ProtocolVersion == THttpProtocolVersion::pv1_0 || FReply.Http10 || FReply.ServerClosed ||
        SameText(TrimBlanks(FReply.Headers.Connection), "close"))
        Disconnect();
}

bool THttpClient::IsRedirect() const {
    const int code = FReply.ReplyCode;
    return (code >= kFirstRedirect && code <= kLastRedirect && code != kNotModified) ||
           !FReply.Headers.Location.empty();
}
