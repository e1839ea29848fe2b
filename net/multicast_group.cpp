#include "multicast_group.h"

#include "socket_error.h"

namespace {

std::string ErrorText(int winsockError) {
    return "Socket Error # " + std::to_string(winsockError) + "\r\n" +
           WinsockErrorText(winsockError);
}

} // namespace

MulticastError::MulticastError(int winsockError)
    : std::runtime_error(ErrorText(winsockError)), winsockError_(winsockError) {}
