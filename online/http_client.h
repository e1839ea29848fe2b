// The small blocking HTTP client that carries the lobby requests: connect,
// one GET at a time, disconnect.  It follows redirects when asked to,
// keeps an HTTP/1.1 connection open between requests unless the server
// ends it, and raises an error for every reply that is not a success.
#pragma once

#include "header_info.h"
#include "http_target.h"
#include "reply_reader.h"

#include <memory>
#include <string>

class TTcpConnection;

enum class THttpProtocolVersion { pv1_0, pv1_1 };

inline constexpr int kDefaultRedirectMaximum = 15;
inline constexpr int kDefaultHttpTimeoutMs = 15000;

class THttpClient {
  public:
    THttpClient();
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    std::string Host;
    int Port = kDefaultHttpPort;
    bool HandleRedirects = false;
    int RedirectMaximum = kDefaultRedirectMaximum;
    THttpProtocolVersion ProtocolVersion = THttpProtocolVersion::pv1_1;
    THeaderInfo Request;
    // How long a whole request may last, from the connect to the last byte
    // of the body (redirects included): one deadline, so that a server
    // that trickles its reply costs no more than a silent one.  It then
    // fails with ESocketError 10060.  0 or less waits without limit.
    int Timeout = kDefaultHttpTimeoutMs;
    // Source address to bind before connecting (dotted IPv4); empty: any.
    std::string LocalAddress;
    // A descriptor that, once readable, ends every wait of the request at
    // once with ERequestCancelled; -1 for none.
    int CancelFd = -1;

    // Opens a connection to Host on Port; "Already connected." when one is
    // open.  The deadline is Timeout from now unless given.
    void Connect();
    void Connect(TDeadline deadline);
    // Performs a GET of a path with query or of a full URL and returns the
    // body of the final reply, all before the deadline (Timeout from now
    // unless given).
    std::string Get(const std::string& target);
    std::string Get(const std::string& target, TDeadline deadline);
    // Closes the connection if one is open.
    void Disconnect();
    bool Connected() const { return FConnection != nullptr; }

    // The last reply read.
    int ReplyCode() const { return FReply.ReplyCode; }
    const std::string& ReplyText() const { return FReply.ReplyText; }
    const THeaderInfo& Response() const { return FReply.Headers; }

  private:
    void GetOnce(const std::string& target, TDeadline deadline);
    void ChooseHostAndPort(const THttpTarget& target);
    std::string RequestText(const THttpTarget& target) const;
    void Exchange(const std::string& request, TDeadline deadline);
    void DisconnectUnlessKeptAlive();
    bool IsRedirect() const;

    std::unique_ptr<TTcpConnection> FConnection;
    std::unique_ptr<TReplyReader> FReader; // reads from FConnection
    THttpReply FReply;
};
