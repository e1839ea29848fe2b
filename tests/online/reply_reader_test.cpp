#include "http_errors.h"
#include "memory_source.h"
#include "reply_reader.h"

#include <gtest/gtest.h>

namespace {

THttpReply ReadOne(const std::string& bytes, size_t piece = 4096) {
    TMemorySource source(bytes, piece);
    TReplyReader reader(source);
    THttpReply reply;
    reader.ReadReply(reply, TDeadline::max());
    return reply;
}

TEST(ReplyReader, ReadsTheSameBodyHoweverTheBytesArrive) {
    struct {
        const char* name;
        std::string bytes;
        std::string body;
    } const cases[] = {
        {"counted", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n1\nabcXYZ", "1\nabc"},
        {"LF line ends", "HTTP/1.1 200 OK\nContent-Length: 2\n\nab", "ab"},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n1\na\r\n2\r\nbc\r\n0\r\n\r\n",
         "1\nabc"},
        {"chunk extension",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\n0\r\n\r\n", "abc"},
        {"chunk size with blank",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA  \r\n0123456789\r\n0\r\n\r\n",
         "0123456789"},
        {"chunk trailer",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nz\r\n0\r\nX: 1\r\n\r\n", "z"},
        {"to the close", "HTTP/1.1 200 OK\r\nServer: t\r\n\r\n1\nabc\r\n", "1\nabc\r\n"},
        {"length wins over chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\nabc", "abc"},
        {"length not a number", "HTTP/1.1 200 OK\r\nContent-Length: 3 bytes\r\n\r\nabcdef",
         "abcdef"},
        {"zero length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nnext", ""},
        {"not modified", "HTTP/1.1 304 Not Modified\r\n\r\nnext", ""},
    };
    for (const auto& c : cases)
        for (const size_t piece : {1, 2, 7, 4096})
            EXPECT_EQ(ReadOne(c.bytes, piece).Body, c.body) << c.name << ", pieces of " << piece;
}

TEST(ReplyReader, FillsTheReplyHeaderSet) {
    const THttpReply reply = ReadOne("HTTP/1.1 301 Moved Permanently\r\n"
                                     "location: /tavlo/\r\n"
                                     "Location: /elsewhere/\r\n"
                                     "Server: Tavlo\r\n"
                                     "  lobby\r\n"
                                     "\tone\r\n"
                                     "Connection:   close  \r\n"
                                     "Content-Type:text/plain\r\n"
                                     "Content-Range: bytes 10-20/100\r\n"
                                     "Content-Length: 0\r\n"
                                     "X-Extra: a\r\n"
                                     "x-extra: b\r\n"
                                     "Set-Cookie: s=1\r\n"
                                     "\r\n");
    EXPECT_EQ(reply.ReplyCode, 301);
    EXPECT_EQ(reply.ReplyText, "301 Moved Permanently");
    EXPECT_FALSE(reply.Http10);
    EXPECT_EQ(reply.Headers.Location, "/tavlo/");
    EXPECT_EQ(reply.Headers.Server, "Tavlo lobby one");
    EXPECT_EQ(reply.Headers.Connection, "close");
    EXPECT_EQ(reply.Headers.ContentType, "text/plain");
    EXPECT_EQ(reply.Headers.ContentRangeStart, 10);
    EXPECT_EQ(reply.Headers.ContentRangeEnd, 20);
    EXPECT_EQ(reply.Headers.ContentLength, 0);
    EXPECT_EQ(reply.Headers.Accept, "");
    EXPECT_EQ(reply.Headers.ExtraHeaders,
              (std::vector<std::string>{"X-Extra: a", "Set-Cookie: s=1"}));
    EXPECT_EQ(reply.Headers.ExtraHeader("x-EXTRA"), "a");
}

TEST(ReplyReader, StatusLineGivesVersionTextAndCode) {
    struct {
        const char* line;
        bool http10;
        const char* text;
        int code;
    } const cases[] = {
        {"HTTP/1.0 200 OK", true, "200 OK", 200},
        {"HTTP/1.1 404 Not Found", false, "404 Not Found", 404},
        {"HTTP/1.1 200", false, "200", 200},
        {"HTTP/1.1 $C8 hex", false, "$C8 hex", 200},
        {"HTTP/1.0", true, "HTTP/1.0", 0},
    };
    for (const auto& c : cases) {
        TMemorySource source(std::string(c.line) + "\r\nContent-Length: 0\r\n\r\n");
        TReplyReader reader(source);
        THttpReply reply;
        try {
            reader.ReadReply(reply, TDeadline::max());
        } catch (const EConvertError&) {
            EXPECT_EQ(c.code, 0) << c.line;
        }
        EXPECT_EQ(reply.Http10, c.http10) << c.line;
        EXPECT_EQ(reply.ReplyText, c.text) << c.line;
        EXPECT_EQ(reply.ReplyCode, c.code) << c.line;
    }
}

TEST(ReplyReader, RepliesFollowEachOtherOnOneConnection) {
    TMemorySource source(
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab"
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\ncd\r\n0\r\nT: 1\r\n\r\n"
        "HTTP/1.0 200 OK\r\n\r\nef",
        3);
    TReplyReader reader(source);
    THttpReply reply;
    for (const char* body : {"ab", "cd", "ef"}) {
        reader.ReadReply(reply, TDeadline::max());
        EXPECT_EQ(reply.Body, body);
    }
    EXPECT_TRUE(reply.ServerClosed);
    EXPECT_THROW(reader.ReadReply(reply, TDeadline::max()), EConnClosedGracefully);
}

} // namespace
