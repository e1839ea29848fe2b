// Where the reply reader gets its bytes: the TCP connection in the game,
// a buffer in the tests and the fuzzer.
#pragma once

#include <chrono>
#include <cstddef>

using TDeadline = std::chrono::steady_clock::time_point;

// The moment a wait that starts now gives up; no limit for timeoutMs <= 0.
inline TDeadline DeadlineAfter(int timeoutMs) {
    if (timeoutMs <= 0)
        return TDeadline::max();
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

class TByteSource {
  public:
    virtual ~TByteSource() = default;
    // Waits until bytes arrive and copies at most `size` of them into
    // `buffer`; returns how many, or 0 once the peer has closed.  Raises
    // ESocketError on a failure, 10060 when the deadline passes first.
    virtual size_t Receive(char* buffer, size_t size, TDeadline deadline) = 0;
};
