// A byte source over a buffer that hands out at most `piece` bytes at a
// time, as a network would, and then reports the close.  For the tests
// and the fuzzer.
#pragma once

#include "byte_source.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

class TMemorySource final : public TByteSource {
  public:
    explicit TMemorySource(std::string_view bytes, size_t piece = 4096)
        : FBytes(bytes), FPiece(std::max<size_t>(piece, 1)) {}

    size_t Receive(char* buffer, size_t size, TDeadline) override {
        const size_t count = std::min({size, FPiece, FBytes.size() - FAt});
        std::memcpy(buffer, FBytes.data() + FAt, count);
        FAt += count;
        return count;
    }

  private:
    std::string FBytes;
    size_t FPiece;
    size_t FAt = 0;
};
