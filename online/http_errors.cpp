#include "http_errors.h"

#include "socket_error.h"

namespace {

std::string SocketErrorMessage(int winsockError) {
    return "Socket Error # " + std::to_string(winsockError) + "\r\n" +
           WinsockErrorText(winsockError);
}

} // namespace

ESocketError::ESocketError(int winsockError)
    : std::runtime_error(SocketErrorMessage(winsockError)), FLastError(winsockError) {}

EConnClosedGracefully::EConnClosedGracefully()
    : std::runtime_error("Connection Closed Gracefully.") {}

EHttpProtocolError::EHttpProtocolError(int errorCode, const std::string& replyText)
    : std::runtime_error(replyText), FErrorCode(errorCode) {}

ERequestCancelled::ERequestCancelled() : std::runtime_error("Lobby request cancelled") {}

EConvertError::EConvertError(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' n'est pas une valeur entière correcte") {}
