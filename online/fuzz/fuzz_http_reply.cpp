// Feeds arbitrary bytes to the reply reader, as a hostile server would
// send them, a few replies in a row on one connection.  The first byte
// sets how many bytes each receive hands out, so that lines, chunks and
// bodies are cut at every possible place.
#include "memory_source.h"
#include "reply_reader.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace {

constexpr int kRepliesPerInput = 4;
constexpr size_t kPieceSizes = 64;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const size_t piece = data[0] % kPieceSizes + 1;
    TMemorySource source(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1),
                         piece);
    TReplyReader reader(source);
    THttpReply reply;
    try {
        for (int i = 0; i < kRepliesPerInput; ++i)
            reader.ReadReply(reply, TDeadline::max());
    } catch (const std::runtime_error&) {
        // Every broken reply ends in an error of its own; that is the point.
    }
    return 0;
}
