#include "reply_reader.h"

#include "http_errors.h"
#include "http_text.h"
#include "text_to_int.h"

#include <algorithm>
#include <optional>

namespace {

constexpr size_t kReceiveSize = 16 * 1024;
constexpr int kNoContent = 204;
constexpr int kNotModified = 304;
constexpr std::string_view kHttp10 = "1.0";
constexpr size_t kVersionAt = 5; // "HTTP/" comes first

[[noreturn]] void ThrowBodyTooLarge() {
    throw EHttpReplyError("HTTP reply body larger than " + std::to_string(kMaxBodySize) + " bytes");
}

[[noreturn]] void ThrowTooManyHeaderLines() {
    throw EHttpReplyError("HTTP reply has more than " + std::to_string(kMaxHeaderLines) +
                          " header lines");
}

// The size on a chunk's announcing line: hexadecimal digits up to the
// first blank or the ";" of a chunk extension.
size_t ChunkSize(std::string_view line) {
    const std::string_view digits = line.substr(0, line.find_first_of(" \t;"));
    if (digits.empty())
        throw EHttpReplyError("Invalid chunk size in HTTP reply");
    size_t size = 0;
    for (const char ch : digits) {
        const int digit = HexDigitValue(ch);
        if (digit < 0)
            throw EHttpReplyError("Invalid chunk size in HTTP reply");
        size = size * 16 + digit;
        if (size > kMaxBodySize)
            ThrowBodyTooLarge();
    }
    return size;
}

// The value of the first header line with this name.
std::optional<std::string> FirstValue(const THeaderLines& lines, std::string_view name) {
    for (const auto& [lineName, value] : lines)
        if (SameText(lineName, name))
            return value;
    return std::nullopt;
}

// The first line with a name wins; names are compared without case.
void StoreFirstOfEachName(const THeaderLines& lines, THeaderInfo& headers) {
    for (auto line = lines.begin(); line != lines.end(); ++line) {
        const bool seenBefore = std::any_of(lines.begin(), line, [&](const auto& earlier) {
            return SameText(earlier.first, line->first);
        });
        if (!seenBefore)
            headers.SetReplyHeader(line->first, line->second);
    }
}

} // namespace

void TReplyReader::ReadReply(THttpReply& reply, int timeoutMs) {
    reply = THttpReply();
    reply.Headers.Clear();
    const TDeadline headDeadline = DeadlineAfter(timeoutMs);
    ReadStatusLine(reply, headDeadline);
    const THeaderLines headers = ReadHeaderLines(headDeadline);
    StoreFirstOfEachName(headers, reply.Headers);
    ReadBody(headers, reply, DeadlineAfter(timeoutMs));
}

void TReplyReader::ReadStatusLine(THttpReply& reply, TDeadline deadline) {
    const std::string line = ReadLine(deadline);
    reply.Http10 = line.size() >= kVersionAt + kHttp10.size() &&
                   line.compare(kVersionAt, kHttp10.size(), kHttp10) == 0;
    const size_t blank = line.find(' ');
    reply.ReplyText = blank == std::string::npos ? line : line.substr(blank + 1);
    const std::string codeText = reply.ReplyText.substr(0, reply.ReplyText.find(' '));
    const std::optional<int32_t> code = TryStrToInt(codeText);
    if (!code)
        throw EConvertError(codeText);
    reply.ReplyCode = *code;
}

// Header lines up to the empty line, as (name, value); a line that begins
// with a blank continues the value before it.
THeaderLines TReplyReader::ReadHeaderLines(TDeadline deadline) {
    THeaderLines lines;
    for (int count = 1;; ++count) {
        const std::string line = ReadLine(deadline);
        if (line.empty())
            return lines;
        if (count > kMaxHeaderLines)
            ThrowTooManyHeaderLines();
        if (IsBlank(line.front())) {
            if (!lines.empty())
                lines.back().second += " " + std::string(TrimBlanks(line));
            continue;
        }
        const size_t colon = line.find(':');
        const std::string_view view = line;
        const std::string_view value =
            colon == std::string::npos ? std::string_view() : view.substr(colon + 1);
        lines.emplace_back(view.substr(0, colon), TrimBlanks(value));
    }
}

void TReplyReader::ReadBody(const THeaderLines& headers, THttpReply& reply, TDeadline deadline) {
    if (reply.ReplyCode == kNoContent || reply.ReplyCode == kNotModified)
        return; // these replies never carry a body
    if (const auto lengthText = FirstValue(headers, "Content-Length")) {
        if (const std::optional<int32_t> length = TryStrToInt(*lengthText)) {
            if (*length < 0)
                throw EHttpReplyError("Invalid Content-Length in HTTP reply");
            if (static_cast<size_t>(*length) > kMaxBodySize)
                ThrowBodyTooLarge();
            ReadExactly(*length, reply.Body, deadline);
            return;
        }
    }
    if (ContainsText(FirstValue(headers, "Transfer-Encoding").value_or(""), "chunked")) {
        ReadChunked(reply.Body, deadline);
        return;
    }
    ReadToClose(reply.Body, deadline);
    reply.ServerClosed = true;
}

void TReplyReader::ReadChunked(std::string& body, TDeadline deadline) {
    for (;;) {
        const size_t size = ChunkSize(ReadLine(deadline));
        if (size == 0)
            break;
        if (size > kMaxBodySize - body.size())
            ThrowBodyTooLarge();
        ReadExactly(size, body, deadline);
        ReadLine(deadline); // the line end after the chunk's data
    }
    // The trailer: header lines after the last chunk, up to an empty line.
    for (int count = 1; !ReadLine(deadline).empty(); ++count)
        if (count > kMaxHeaderLines)
            ThrowTooManyHeaderLines();
}

void TReplyReader::ReadToClose(std::string& body, TDeadline deadline) {
    do {
        body.append(FBuffer, FPos);
        FPos = FBuffer.size();
        if (body.size() > kMaxBodySize)
            ThrowBodyTooLarge();
    } while (Fill(deadline));
}

// One line up to its LF; a CR right before the LF is dropped.
std::string TReplyReader::ReadLine(TDeadline deadline) {
    size_t scanned = 0; // bytes after FPos already known to hold no LF
    for (;;) {
        const size_t lf = FBuffer.find('\n', FPos + scanned);
        if (lf != std::string::npos) {
            if (lf - FPos > kMaxLineLength)
                break;
            std::string line = FBuffer.substr(FPos, lf - FPos);
            FPos = lf + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        if (Buffered() > kMaxLineLength)
            break;
        scanned = Buffered();
        if (!Fill(deadline))
            throw EConnClosedGracefully();
    }
    throw EHttpReplyError("HTTP reply line longer than " + std::to_string(kMaxLineLength) +
                          " bytes");
}

// Appends exactly `count` bytes to `out`.
void TReplyReader::ReadExactly(size_t count, std::string& out, TDeadline deadline) {
    for (;;) {
        const size_t take = std::min(count, Buffered());
        out.append(FBuffer, FPos, take);
        FPos += take;
        count -= take;
        if (count == 0)
            return;
        if (!Fill(deadline))
            throw EConnClosedGracefully();
    }
}

// Receives more bytes after what is buffered; false once the peer closed.
bool TReplyReader::Fill(TDeadline deadline) {
    if (FClosed)
        return false;
    FBuffer.erase(0, FPos);
    FPos = 0;
    char chunk[kReceiveSize];
    const size_t received = FSource.Receive(chunk, sizeof chunk, deadline);
    if (received == 0) {
        FClosed = true;
        return false;
    }
    FBuffer.append(chunk, received);
    return true;
}
