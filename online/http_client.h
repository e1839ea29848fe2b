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
    // How long each wait may last: the connect, the status line with the
    // header lines, the body.  An expired wait raises ESocketError 10060.
    // 0 or less waits without limit.
    int Timeout = kDefaultHttpTimeoutMs;
    // Source address to bind before connecting (dotted IPv4); empty: any.
    std::string LocalAddress;

    // Opens a connection to Host on Port; "Already connected." when one is
    // open.
    void Connect();
    // Performs a GET of a path with query or of a full URL and returns the
    // body of the final reply.
    std::string Get(const std::string& target);
    // Closes the connection if one is open.
    void Disconnect();
    bool Connected() const { return FConnection != nullptr; }

    // The last reply read.
    int ReplyCode() const { return FReply.ReplyCode; }
    const std::string& ReplyText() const { return FReply.ReplyText; }
    const THeaderInfo& Response() const { return FReply.Headers; }

  private:
    void GetOnce(const std::string& target);
    void ChooseHostAndPort(const THttpTarget& target);
    std::string RequestText(const THttpTarget& target) const;
    void Exchange(const std::string& request);
    void DisconnectUnlessKeptAlive();
    bool IsRedirect() const;

    std::unique_ptr<TTcpConnection> FConnection;
    std::unique_ptr<TReplyReader> FReader; // reads from FConnection
    THttpReply FReply;
};
