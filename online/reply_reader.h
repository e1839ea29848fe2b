// Reads HTTP replies from one connection: the status line, the header
// lines and the body, by Content-Length, in chunks, or up to the close.
// Bytes that arrive beyond a reply stay buffered for the next one.  The
// server is not trusted: lines, header blocks and bodies have limits, and
// nothing is read past what was received.
#pragma once

#include "byte_source.h"
#include "header_info.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr size_t kMaxLineLength = 8 * 1024; // bytes before a line's LF
inline constexpr int kMaxHeaderLines = 100;        // per header block or chunk trailer
inline constexpr size_t kMaxBodySize = 1024 * 1024;

// Header lines of a reply as (name, value), in the order received.
using THeaderLines = std::vector<std::pair<std::string, std::string>>;

// One reply as read.
struct THttpReply {
    int32_t ReplyCode = 0;
    std::string ReplyText; // the status line less its protocol token
    bool Http10 = false;   // the server spoke HTTP/1.0
    THeaderInfo Headers;   // cleared before a reply is read
    std::string Body;
    bool ServerClosed = false; // the body ran up to the server's close
};

class TReplyReader {
  public:
    explicit TReplyReader(TByteSource& source) : FSource(source) {}

    // Reads the next reply into `reply`, which holds what was read so far
    // when an error stops it.  All of it must arrive before the deadline.
    void ReadReply(THttpReply& reply, TDeadline deadline);

  private:
    void ReadStatusLine(THttpReply& reply, TDeadline deadline);
    THeaderLines ReadHeaderLines(TDeadline deadline);
    void ReadBody(const THeaderLines& headers, THttpReply& reply, TDeadline deadline);
    void ReadChunked(std::string& body, TDeadline deadline);
    void ReadToClose(std::string& body, TDeadline deadline);

    std::string ReadLine(TDeadline deadline);
    void ReadExactly(size_t count, std::string& out, TDeadline deadline);
    bool Fill(TDeadline deadline);
    size_t Buffered() const { return FBuffer.size() - FPos; }

    TByteSource& FSource;
    std::string FBuffer;
    size_t FPos = 0; // first unread byte of FBuffer
    bool FClosed = false;
};
