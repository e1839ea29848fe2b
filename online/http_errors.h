// The errors of the lobby's HTTP client.  Each carries the text the players
// have always been shown, so the standard error box reads as it always has.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// Resolving, connecting, sending or receiving failed, or a wait expired.
// The message is "Socket Error # <number>", CR LF and the number's text.
class ESocketError : public std::runtime_error {
  public:
    explicit ESocketError(int winsockError);
    // The Windows Sockets number (10061 for a refused connection).
    int LastError() const { return FLastError; }

  private:
    int FLastError;
};

// The server closed the connection while a line or a counted body was
// still expected.
class EConnClosedGracefully : public std::runtime_error {
  public:
    EConnClosedGracefully();
};

// A final reply whose code is not a success; the message is the status
// line less its protocol token ("404 Not Found").
class EHttpProtocolError : public std::runtime_error {
  public:
    EHttpProtocolError(int errorCode, const std::string& replyText);
    int ErrorCode() const { return FErrorCode; }

  private:
    int FErrorCode;
};

// A text that should have been an integer and is not.
class EConvertError : public std::runtime_error {
  public:
    explicit EConvertError(std::string_view text);
};

// A reply that breaks the framing of HTTP or one of the client's limits
// (an overlong line, too many header lines, an oversized body, a bad
// chunk size).  A hostile or broken server ends its request with this.
class EHttpReplyError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A request that cannot be written safely (a line break inside it).
class EHttpRequestError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A request abandoned on purpose (the player cancelled it): nothing to show.
class ERequestCancelled : public std::runtime_error {
  public:
    ERequestCancelled();
};

inline constexpr char kAlreadyConnected[] = "Already connected.";
// What a target with the protocol https gets: there is no secure transport.
inline constexpr char kInterceptNotValid[] = "Intercept value is not valid";
