// A growable in-memory byte stream with a position: what the endpoint sends
// from and reads received datagrams into, and what a message reassembles
// its datagrams in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class TMemoryStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

    const std::string& Bytes() const { return bytes_; }
    std::size_t Size() const { return bytes_.size(); }
    std::size_t Position() const { return position_; }
    // A position beyond the end is allowed; the next write fills the gap
    // with zero bytes.
    void Seek(std::size_t position) { position_ = position; }
    void SeekToEnd() { position_ = bytes_.size(); }

    // Writes at the position, overwriting and growing as needed, and moves
    // the position behind what was written.
    void Write(std::string_view data) {
        if (bytes_.size() < position_ + data.size())
            bytes_.resize(position_ + data.size());
        bytes_.replace(position_, data.size(), data);
        position_ += data.size();
    }

    void Clear() {
        bytes_.clear();
        position_ = 0;
    }

  private:
    std::string bytes_;
    std::size_t position_ = 0;
};
