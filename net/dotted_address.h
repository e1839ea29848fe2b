// Whether a text is a dotted IPv4 address, as the socket reports the
// sender of a datagram; anything else is a host name to be looked up.
#pragma once

#include <arpa/inet.h>
#include <string>

inline bool IsDottedAddress(const std::string& address) {
    in_addr parsed{};
    return inet_pton(AF_INET, address.c_str(), &parsed) == 1;
}
