// A message of the peer protocol: a kind 0..255 and an ordered list of
// integer and string items, read back by position.  One message travels as
// one datagram (layout in wire_format.h).
#pragma once

#include "contact.h"
#include "memory_stream.h"
#include "wire_format.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TUDPEndpoint;

// A received datagram that does not hold a well-formed message.
class DatagramError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kReadErrorText = "Stream read error";
inline constexpr const char* kBadLengthText = "Invalid message length";
inline constexpr const char* kBadStringLengthText = "Invalid string length";

class TQMsg {
  public:
    explicit TQMsg(TUDPEndpoint* endpoint = nullptr) : Endpoint(endpoint) {}

    // Appending refuses, with std::length_error and before anything is
    // sent, content that the format cannot carry once the extension's
    // trailer is added: a 255th item, a string over 1025 bytes, or a
    // message over 2048 bytes less the sealed trailer's 48.
    void AddInt(int32_t value);
    void AddStr(const std::string& s);
    // The longest string that AddStr would take now (0 when not even an
    // empty one fits).  A chat line is cut to this.
    std::size_t StrRoom() const;

    int ItemCount() const { return static_cast<int>(Kinds.size()); }
    // ikInteger or ikString; -1 out of range.  A received item may carry any
    // other kind byte; it then holds 0 and the empty string.
    int ItemKind(int index) const;
    // 0 out of range and for a string item.
    int32_t IntAt(int index) const;
    // Empty out of range and for an integer item.
    std::string StrAt(int index) const;

    // The datagram of this message.
    std::string Encode() const;
    // The datagram with one more string item at its end: the extension's
    // trailer (wire_format.h), for a peer that announced the extension.
    std::string EncodeWithTrailer(std::string_view trailer) const;
    // Takes the last item off: a received trailer, once it has been read.
    void RemoveLastItem();
    // Transmits the datagram to every recipient through Endpoint (nothing
    // without one) and counts the transmission.  Errors of the endpoint
    // propagate; recipients after the failing one are then not sent to.
    void Send();

    // Reassembly: AppendReceived adds a datagram to the receive buffer;
    // Decode (appending the endpoint's last datagram first when asked)
    // parses the message once the buffer holds all of it and returns the
    // declared length minus the bytes in the buffer: above 0 while bytes are
    // missing, 0 for exactly one message, below 0 with bytes left over.
    // A buffer of fewer than 6 bytes declares 0.  Throws DatagramError for a
    // declared length outside 6..2048 or items that do not fit in it.
    void AppendReceived(std::string_view datagram);
    int Decode(bool appendReceived);
    // The declared length, as found by Decode.
    int TotalLength() const { return Total; }

    int MsgType = 0;                   // 0..255 on the wire
    TUDPEndpoint* Endpoint = nullptr;  // not owned; Send transmits through it
    std::string FromAddress;           // sender of a received message
    uint32_t SendCount = 0;            // transmissions so far
    std::vector<TpContact> Recipients; // addressees that have not acknowledged yet

  private:
    void CheckRoom(std::size_t itemBytes) const;
    std::string EncodeItems(std::string_view trailer) const;
    void ParseItems(std::string_view message);

    // One entry per item in each: Ints 0 for strings, Strs empty for integers.
    std::vector<int32_t> Ints;
    std::vector<int32_t> Kinds;
    std::vector<std::string> Strs;
    std::size_t EncodedSize = kHeaderBytes;
    int Total = 0;
    TMemoryStream Buffer;
};
