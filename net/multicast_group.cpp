#include "multicast_group.h"

#include "socket_error.h"

#include <cstring>

namespace {

// An errno value without a Windows Sockets counterpart (ENODEV when no
// interface has the local address) keeps the system's own text.
std::string ErrorText(int winsockError) {
    std::string text = WinsockErrorText(winsockError);
    if (text.empty())
        text = std::strerror(winsockError);
    return "Socket Error # " + std::to_string(winsockError) + "\r\n" + text;
}

} // namespace

MulticastError::MulticastError(int winsockError)
    : std::runtime_error(ErrorText(winsockError)), winsockError_(winsockError) {}
